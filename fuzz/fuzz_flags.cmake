# Included by the top CMakeLists.txt before any target when KEL_BUILD_FUZZ is
# ON: the whole build gets AddressSanitizer, UndefinedBehaviorSanitizer and
# libFuzzer's coverage instrumentation.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "KEL_BUILD_FUZZ needs clang: configure with -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
endif()
add_compile_options(-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)
