# Cross build for ARMv7-A Linux with the hard-float ABI, Debian's armhf
# baseline: Thumb-2 and VFPv3-D16, NEON not assumed (the glow filter's NEON
# kernels are built apart and chosen at run time).
#
#   cmake -S . -B build/armhf -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
#
# The flags are Debian's defaults, said explicitly as for the ARMv5 build.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(QBG_LINUX_TRIPLET arm-linux-gnueabihf)
set(QBG_TARGET_FLAGS "-march=armv7-a+fp -mfpu=vfpv3-d16 -mfloat-abi=hard -mthumb")
# No -cpu: qemu takes the CPU model from QEMU_CPU (the armhf stage runs the
# tests on a cortex-a7, which has NEON, and on a cortex-r5f, VFPv3-D16
# without NEON); without it, qemu's default model, which has NEON.
set(QBG_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
