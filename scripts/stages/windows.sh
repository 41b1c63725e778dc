# Windows: QuorbixBMPGlow.DLL cross-built with mingw-w64 (-Werror), its tests
# run under wine in one prefix made for this run.
#   windows.sh [x86_64|i686]    (x86_64; the windows32 stage runs i686)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
machine=${1:-x86_64}
case $machine in
  x86_64) group=windows build=$QBG_ROOT/build/windows winearch=win64 ;;
  i686) group=windows32 build=$QBG_ROOT/build/windows32 winearch=win32 ;;
  *) echo "no such Windows machine: $machine" >&2; exit 2 ;;
esac
ensure_packages build "$group"

configure_and_build "$build" -DCMAKE_TOOLCHAIN_FILE="$QBG_ROOT/cmake/mingw-w64-$machine.cmake"

# One fresh prefix per run, created once up front (the first start of wine in
# a prefix takes seconds); a wineserver kept running for the whole run keeps
# later starts fast.
WINEPREFIX=$(mktemp -d /tmp/qbg-wine-XXXXXX)
export WINEPREFIX WINEARCH=$winearch WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
wineserver --persistent=60
wineboot --init >/dev/null 2>&1

run_ctest "$build" --no-tests=error
