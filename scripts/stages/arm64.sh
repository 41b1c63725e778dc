# AArch64 (Debian's arm64): the unit and API suites, bmpglow with the sample's
# glow and the checks of the built objects, cross-built and run under qemu on
# a Cortex-A53 (ARMv8.0-A), where the glow filter takes its NEON path.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
ensure_packages build arm64
dir=$QBG_ROOT/build/arm64
build_cross_suites "$dir" aarch64-linux-gnu
QBG_EXPECTED_GLOW_PATH=neon run_ctest "$dir" --no-tests=error -L "$QBG_CROSS_SUITES"
