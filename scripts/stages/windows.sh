# Windows: QuorbixBMPGlow.DLL cross-built with mingw-w64 (-Werror), its tests
# run under wine in one prefix made for this run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
ensure_packages build windows

build=$QBG_ROOT/build/windows
configure_and_build "$build" -DCMAKE_TOOLCHAIN_FILE="$QBG_ROOT/cmake/mingw-w64-x86_64.cmake"

# One fresh prefix per run, created once up front (the first start of wine in
# a prefix takes seconds); a wineserver kept running for the whole run keeps
# later starts fast.
WINEPREFIX=$(mktemp -d /tmp/qbg-wine-XXXXXX)
export WINEPREFIX WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
wineserver --persistent=60
wineboot --init >/dev/null 2>&1

run_ctest "$build" --no-tests=error
