# Cross build for ARMv5TE Linux with the soft-float ABI: no floating-point
# unit and no divide instruction, so any float operation or division the
# compiler cannot turn into integer multiplies becomes a runtime helper call.
#
#   cmake -S . -B build/arm -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabi.cmake
#
# Debian's arm-linux-gnueabi compilers already default to this; the flags say
# it explicitly so that another compiler build cannot change the target.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(QBG_LINUX_TRIPLET arm-linux-gnueabi)
set(QBG_TARGET_FLAGS "-march=armv5te -mfloat-abi=soft")
# An ARM926 core, an ARMv5TE without FPU: an instruction of a later
# architecture stops the run instead of passing.
set(QBG_QEMU qemu-arm -cpu arm926)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
