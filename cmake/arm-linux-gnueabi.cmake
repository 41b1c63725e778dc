# Cross build for ARMv5TE Linux with the soft-float ABI: no floating-point
# unit and no divide instruction, so any float operation or division the
# compiler cannot turn into integer multiplies becomes a runtime helper call.
#
#   cmake -S . -B build/arm -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabi.cmake
#
# Debian's arm-linux-gnueabi compilers already default to this; the flags say
# it explicitly so that another compiler build cannot change the target.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(QBG_ARM_TRIPLET arm-linux-gnueabi)
set(CMAKE_C_COMPILER ${QBG_ARM_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QBG_ARM_TRIPLET}-g++)
set(CMAKE_C_FLAGS_INIT "-march=armv5te -mfloat-abi=soft")
set(CMAKE_CXX_FLAGS_INIT "-march=armv5te -mfloat-abi=soft")

set(CMAKE_FIND_ROOT_PATH /usr/${QBG_ARM_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Target programs (tests included) run under user-mode qemu on an ARM926
# core, an ARMv5TE without FPU: an instruction of a later architecture
# stops the run instead of passing. -L finds the target's loader and libc.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -cpu arm926 -L /usr/${QBG_ARM_TRIPLET})
