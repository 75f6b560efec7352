# Cross-building for aarch64 Linux with Debian's cross compiler (package
# g++-aarch64-linux-gnu), and running what is built under qemu-user
# (package qemu-user):
#
#   cmake -S . -B build-aarch64 --toolchain cmake/aarch64-linux-gnu.cmake
#
# The tests, and the tool they run, go through the emulator below, so
# `ctest --test-dir build-aarch64` works on an x86-64 machine whether or not
# binfmt_misc knows about aarch64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -L: where the emulator finds the target's dynamic loader and C library.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
