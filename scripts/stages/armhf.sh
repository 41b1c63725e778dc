# ARMv7-A hard-float (Debian's armhf): the unit and API suites, bmpglow with
# the sample's glow and the checks of the built objects (no soft-float or
# division helper in the filter), cross-built once and run under qemu twice:
# on a Cortex-A7, where the glow filter takes its NEON path, and on a
# Cortex-R5F (VFPv3-D16 without NEON), where it must fall back to the
# portable one. qemu takes the CPU model from QEMU_CPU; the tests' programs
# also run at build time, to list their tests.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
ensure_packages build armhf
dir=$QBG_ROOT/build/armhf
QEMU_CPU=cortex-a7 build_cross_suites "$dir" arm-linux-gnueabihf qbg_helper_check_control
status=0
QEMU_CPU=cortex-a7 QBG_EXPECTED_GLOW_PATH=neon \
  run_ctest "$dir" --no-tests=error -L "$QBG_CROSS_SUITES" || status=1
QEMU_CPU=cortex-r5f QBG_EXPECTED_GLOW_PATH=portable \
  run_ctest "$dir" --no-tests=error -L "$QBG_CROSS_SUITES" || status=1
exit "$status"
