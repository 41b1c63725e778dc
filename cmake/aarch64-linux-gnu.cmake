# Cross build for AArch64 Linux (Debian's arm64), where NEON is part of the
# architecture.
#
#   cmake -S . -B build/arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QBG_LINUX_TRIPLET aarch64-linux-gnu)
set(QBG_TARGET_FLAGS "-march=armv8-a")
# A Cortex-A53, an ARMv8.0-A core: an instruction of a later revision of the
# architecture stops the run instead of passing.
set(QBG_QEMU qemu-aarch64 -cpu cortex-a53)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
