# Cross build for the box's processor, 32-bit ARM with hardware floating point
# (armhf), with Debian 12's own packages installed beside the native ones
# (scripts/install-deps --arm). Programs built for the target (the picture
# generator at build time, the tests under ctest) run through qemu-arm.
#
#   cmake -S . -B build-armhf -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake
#
# scripts/build-arm does this.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(KEL_CROSS_TRIPLE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER ${KEL_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KEL_CROSS_TRIPLE}-g++)
# The binary tools of the target (the test programs' list of the box's
# variables reads the ARM symbol tables with them).
set(CMAKE_NM ${KEL_CROSS_TRIPLE}-nm CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${KEL_CROSS_TRIPLE}-objdump CACHE FILEPATH "")

# The target's libraries and headers live in Debian's multiarch folders.
set(CMAKE_LIBRARY_ARCHITECTURE ${KEL_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${KEL_CROSS_TRIPLE}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The emulator runs a program with the target's own loader and libraries,
# those of the multiarch packages (libc6:armhf, /lib/ld-linux-armhf.so.3).
# Not with -L /usr/arm-linux-gnueabihf: the cross compiler's copy of the C
# library there is another build than the multiarch one the other libraries
# come from, and the two mixed crash the first thread a program starts.
find_program(KEL_QEMU_ARM NAMES qemu-arm-static qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KEL_QEMU_ARM})

# GCC notes each use of a type whose passing changed in GCC 7.1; the whole
# program is built by one compiler, so the notes say nothing here.
set(CMAKE_C_FLAGS_INIT -Wno-psabi)
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
