#!/bin/sh
# Builds a C consumer against an installed copy of the project twice (CMake
# package and pkg-config) and runs both and the installed bmpglow; the
# package, the .pc file, the installed headers and bmpglow --version must all
# give the build's version.
#   run.sh BUILD-DIR VERSION SAMPLE C-COMPILER [TOOLCHAIN-FILE]
#   run.sh --absolute-dirs SOURCE-DIR VERSION SAMPLE C-COMPILER
#   run.sh --system VERSION SAMPLE C-COMPILER
# The first form installs the build into a scratch prefix. The second first
# configures and builds the project afresh with absolute library and include
# directories (inside the scratch prefix). The third uses the copy installed
# in /usr (the Debian packages), found where the compiler, CMake, pkg-config
# and the loader look by themselves.
# A cross build passes its toolchain file, and QBG_EMULATOR runs its programs.
set -eu
mode=scratch
case $1 in --absolute-dirs | --system) mode=${1#--}; shift ;; esac
if [ "$mode" = system ]; then
  version=$1 sample=$2 c_compiler=$3 toolchain=
else
  build_dir=$1 version=$2 sample=$3 c_compiler=$4 toolchain=${5:-}
fi
run=${QBG_EMULATOR:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ "$mode" = system ]; then
  prefix=/usr header=/usr/include/QuorbixBMPGlow.h libdir=
else
  installed=$work/installed  # the prefix, and with --absolute-dirs the directories outside it
  prefix=$installed/prefix
  if [ "$mode" = absolute-dirs ]; then
    cmake -S "$build_dir" -B "$work/project" -DCMAKE_BUILD_TYPE=Release -DQBG_BUILD_TESTS=OFF \
      -DQBG_INSTALL=ON -DCMAKE_C_COMPILER="$c_compiler" -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DCMAKE_INSTALL_LIBDIR="$installed/elsewhere/lib" \
      -DCMAKE_INSTALL_INCLUDEDIR="$installed/elsewhere/include" >/dev/null
    cmake --build "$work/project" -j 2 >/dev/null
    build_dir=$work/project
  fi
  cmake --install "$build_dir" --prefix "$prefix" >/dev/null
  header=$(find "$installed" -name QuorbixBMPGlow.h | head -n 1)
  libdir=$(dirname "$(find "$installed" -name 'libQuorbixBMPGlow.so.1' | head -n 1)")
fi
for file in bin/bmpglow share/man/man1/bmpglow.1; do
  [ -e "$prefix/$file" ] || { echo "missing $file in the install" >&2; exit 1; }
done
[ -n "$header" ] || { echo "no QuorbixBMPGlow.h installed" >&2; exit 1; }
[ "$mode" = system ] || [ "$libdir" != . ] || { echo "no libQuorbixBMPGlow.so.1 installed" >&2; exit 1; }

# The version macros, through the installed header alone.
macros=$(printf '#include <QuorbixBMPGlow.h>\n%s\n' "QUORBIXBMPGLOW_VERSION_MAJOR \
QUORBIXBMPGLOW_VERSION_MINOR QUORBIXBMPGLOW_VERSION_PATCH QUORBIXBMPGLOW_VERSION_TWEAK \
QUORBIXBMPGLOW_VERSION_STRING" | "$c_compiler" -std=c11 -E -P -I"$(dirname "$header")" - | tail -n 1)
expected="$(echo "$version" | tr . ' ') \"$version\""
[ "$macros" = "$expected" ] || { echo "version macros: $macros, expected $expected" >&2; exit 1; }

if [ "$mode" = system ]; then
  set --
elif [ -n "$toolchain" ] || [ "$mode" = absolute-dirs ]; then
  # The package is named by its directory: a toolchain confines package
  # searches to the target's root, and absolute directories lie outside the
  # prefix.
  config=$(find "$installed" -name QuorbixBMPGlowConfig.cmake | head -n 1)
  set -- -DQuorbixBMPGlow_DIR="$(dirname "$config")"
else
  set -- -DCMAKE_PREFIX_PATH="$prefix"
fi
if [ -n "$toolchain" ]; then
  set -- "$@" -DCMAKE_TOOLCHAIN_FILE="$toolchain"
else
  set -- "$@" -DCMAKE_C_COMPILER="$c_compiler"
fi
cmake -S "$here" -B "$work/cmake-build" -DQBG_EXPECTED_VERSION="$version" "$@" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH=$libdir $run "$work/cmake-build/consumer" "$sample" "$work/cmake.bmp"

PKG_CONFIG_PATH=${libdir:+$libdir/pkgconfig}
export PKG_CONFIG_PATH
if command -v pkg-config >/dev/null; then
  # shellcheck disable=SC2046
  "$c_compiler" -std=c11 -o "$work/pc-consumer" "$here/consumer.c" $(pkg-config --cflags --libs quorbixbmpglow)
  LD_LIBRARY_PATH=$libdir $run "$work/pc-consumer" "$sample" "$work/pc.bmp"
  cmp "$work/cmake.bmp" "$work/pc.bmp"
  [ "$(pkg-config --modversion quorbixbmpglow)" = "$version" ]
else
  echo "pkg-config not installed: pkg-config consumer skipped" >&2
fi
$run "$prefix/bin/bmpglow" "$sample" "$work/installed-cli.bmp" >/dev/null
cmp "$work/cmake.bmp" "$work/installed-cli.bmp"
$run "$prefix/bin/bmpglow" --version | grep -q "$version" ||
  { echo "bmpglow --version does not give $version" >&2; exit 1; }
echo "install and consume: ok"
