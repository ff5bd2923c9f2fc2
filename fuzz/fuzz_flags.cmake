# Included by the top CMakeLists.txt before any target when KEL_BUILD_FUZZ is
# ON: the whole build gets AddressSanitizer, UndefinedBehaviorSanitizer and
# libFuzzer's coverage instrumentation, except the build-time tools that
# resources/pictures.cmake takes them off again (kel_artwork runs during the
# build, where LeakSanitizer would fail it on Qt's own allocations).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "KEL_BUILD_FUZZ needs clang: configure with -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
endif()
set(KEL_FUZZ_COMPILE_OPTIONS -fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-omit-frame-pointer
                             -fno-sanitize-recover=undefined)
set(KEL_FUZZ_LINK_OPTIONS -fsanitize=address,undefined)
add_compile_options(${KEL_FUZZ_COMPILE_OPTIONS})
add_link_options(${KEL_FUZZ_LINK_OPTIONS})
