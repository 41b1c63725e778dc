#!/bin/sh
# Installs the built project into a scratch prefix, then builds a C consumer
# against it twice (CMake package and pkg-config) and runs both.
#   run.sh BUILD-DIR SAMPLE C-COMPILER [TOOLCHAIN-FILE]
# A cross build passes its toolchain file, and QBG_EMULATOR runs its programs.
set -eu
build_dir=$1 sample=$2 c_compiler=$3 toolchain=${4:-}
run=${QBG_EMULATOR:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build_dir" --prefix "$prefix" >/dev/null
for file in include/QuorbixBMPGlow.h bin/bmpglow share/man/man1/bmpglow.1; do
  [ -e "$prefix/$file" ] || { echo "missing $file in the install" >&2; exit 1; }
done
libdir=$(dirname "$(find "$prefix" -name 'libQuorbixBMPGlow.so.1' | head -n 1)")
[ -n "$libdir" ] || { echo "no libQuorbixBMPGlow.so.1 installed" >&2; exit 1; }

if [ -n "$toolchain" ]; then
  # The toolchain confines package searches to the target's root, so the
  # package is named by its directory.
  config=$(find "$prefix" -name QuorbixBMPGlowConfig.cmake | head -n 1)
  set -- -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQuorbixBMPGlow_DIR="$(dirname "$config")"
else
  set -- -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$c_compiler"
fi
cmake -S "$here" -B "$work/cmake-build" "$@" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH=$libdir $run "$work/cmake-build/consumer" "$sample" "$work/cmake.bmp"

PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
if command -v pkg-config >/dev/null; then
  # shellcheck disable=SC2046
  "$c_compiler" -std=c11 -o "$work/pc-consumer" "$here/consumer.c" $(pkg-config --cflags --libs quorbixbmpglow)
  LD_LIBRARY_PATH=$libdir $run "$work/pc-consumer" "$sample" "$work/pc.bmp"
  cmp "$work/cmake.bmp" "$work/pc.bmp"
  [ "$(pkg-config --modversion quorbixbmpglow)" = "1.0.0.1" ]
else
  echo "pkg-config not installed: pkg-config consumer skipped" >&2
fi
$run "$prefix/bin/bmpglow" "$sample" "$work/installed-cli.bmp" >/dev/null
cmp "$work/cmake.bmp" "$work/installed-cli.bmp"
echo "install and consume: ok"
