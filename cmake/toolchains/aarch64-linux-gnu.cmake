# Cross build for 64-bit ARM Linux (Debian package g++-aarch64-linux-gnu), linked
# dynamically like any Debian arm64 program. The user-mode emulator qemu-aarch64
# runs it with Debian's arm64 loader and C and C++ libraries (libc6:arm64,
# libstdc++6:arm64), installed beside this machine's by dpkg multiarch. (With
# the cross toolchain's copies as its root instead, qemu-aarch64 -L, starting a
# thread spins for ever under qemu 7.2.)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
