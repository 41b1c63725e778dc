#!/bin/sh
# The Windows zip, made by cpack from the build: exactly the files it should
# hold, and the sample glowed byte for byte by its bmpglow.exe and by a C
# program linked against it three ways: by MinGW through the CMake package
# and through the pkg-config file (libQuorbixBMPGlow.dll.a), and as Visual
# Studio links, compiled for the MSVC ABI and linked by lld-link against
# QuorbixBMPGlow.lib. Programs run under QBG_EMULATOR (wine).
#   run.sh BUILD-DIR VERSION win32|win64 SAMPLE SHA256 C-COMPILER TOOLCHAIN-FILE [CLANG LLD-LINK LLVM-DLLTOOL]
# Without the last three the Visual Studio link is not tried and the test
# reports itself skipped (status 77) once the rest has passed.
set -eu
build_dir=$1 version=$2 system=$3 sample=$4 expected_sha256=$5 c_compiler=$6 toolchain=$7
clang=${8:-} lld_link=${9:-} llvm_dlltool=${10:-}
run=${QBG_EMULATOR:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
name=QuorbixBMPGlow-$version-$system

cpack --config "$build_dir/CPackConfig.cmake" -B "$work/out" >/dev/null
cmake -E make_directory "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$work/out/$name.zip")
package=$work/unpacked/$name
(cd "$package" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) >"$work/files"
cat >"$work/expected" <<EOF
LICENSE
README.md
bin/QuorbixBMPGlow.DLL
bin/QuorbixFramework.dll
bin/bmpglow.exe
docs/sample-before-after.png
include/QuorbixBMPGlow.h
include/QuorbixBMPGlowVersion.h
lib/QuorbixBMPGlow.def
lib/QuorbixBMPGlow.lib
lib/cmake/QuorbixBMPGlow/QuorbixBMPGlowConfig.cmake
lib/cmake/QuorbixBMPGlow/QuorbixBMPGlowConfigVersion.cmake
lib/cmake/QuorbixBMPGlow/QuorbixBMPGlowTargets-release.cmake
lib/cmake/QuorbixBMPGlow/QuorbixBMPGlowTargets.cmake
lib/libQuorbixBMPGlow.dll.a
lib/pkgconfig/quorbixbmpglow.pc
EOF
diff -u "$work/expected" "$work/files" || { echo "$name.zip: files differ" >&2; exit 1; }

# glowed NAME PROGRAM [ARG...]: runs PROGRAM in the package's bin folder
# (beside the DLLs) on the sample, into NAME.bmp, which must be its glow.
glowed() {
  label=$1
  shift
  cp "$sample" "$package/bin/in.bmp"
  (cd "$package/bin" && $run "$@" >/dev/null) || { echo "$label: failed" >&2; exit 1; }
  actual=$(sha256sum "$package/bin/out.bmp" | cut -d' ' -f1)
  rm -f "$package/bin/in.bmp" "$package/bin/out.bmp"
  [ "$actual" = "$expected_sha256" ] || { echo "$label: wrong glow (sha256 $actual)" >&2; exit 1; }
}
glowed bmpglow.exe ./bmpglow.exe in.bmp out.bmp

# consumer_with_cmake DIR [CMAKE-ARG...]: the install consumer built against
# the package's CMake package into bin/DIR.exe.
consumer_with_cmake() {
  exe=$1
  shift
  cmake -S "$here/../install_consumer" -B "$work/$exe" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQuorbixBMPGlow_DIR="$package/lib/cmake/QuorbixBMPGlow" -DQBG_EXPECTED_VERSION="$version" \
    "$@" >/dev/null
  cmake --build "$work/$exe" >/dev/null
  cp "$work/$exe/consumer.exe" "$package/bin/$exe.exe"
}
consumer_with_cmake cmake-consumer
glowed "CMake package" ./cmake-consumer.exe in.bmp out.bmp
# With Visual Studio the package hands the linker QuorbixBMPGlow.lib; MinGW's
# linker reads it too, which stands in for Visual Studio's here.
consumer_with_cmake msvc-cmake-consumer -DMSVC=ON
grep -rq "QuorbixBMPGlow\.lib" "$work/msvc-cmake-consumer/CMakeFiles/consumer.dir" ||
  { echo "CMake package: Visual Studio does not get QuorbixBMPGlow.lib" >&2; exit 1; }
glowed "CMake package, Visual Studio's import library" ./msvc-cmake-consumer.exe in.bmp out.bmp

# shellcheck disable=SC2046
"$c_compiler" -std=c11 -o "$package/bin/pc-consumer.exe" "$here/../install_consumer/consumer.c" \
  $(PKG_CONFIG_LIBDIR=$package/lib/pkgconfig pkg-config --cflags --libs quorbixbmpglow)
glowed pkg-config ./pc-consumer.exe in.bmp out.bmp

if [ -z "$lld_link" ]; then
  echo "no clang, lld-link or llvm-dlltool: the Visual Studio link is not tried" >&2
  exit 77
fi
case $system in
  win32) target=i686-pc-windows-msvc machine=x86 dll_machine=i386 exit_process=ExitProcess@4 ;;
  win64) target=x86_64-pc-windows-msvc machine=x64 dll_machine=i386:x86-64 exit_process=ExitProcess ;;
esac
# No Windows SDK here: the one system function the program imports comes
# from an import library made like QuorbixBMPGlow.lib.
printf 'LIBRARY kernel32.dll\nEXPORTS\n    %s\n' "$exit_process" >"$work/kernel32.def"
"$llvm_dlltool" -m "$dll_machine" -k -d "$work/kernel32.def" -l "$work/kernel32.lib"
"$clang" --target="$target" -ffreestanding -O2 -Wall -Wextra -Werror -I"$package/include" \
  -c "$here/msvc_consumer.c" -o "$work/msvc_consumer.obj"
"$lld_link" /nologo /machine:"$machine" /subsystem:console /entry:QbgConsumerEntry /nodefaultlib \
  /out:"$package/bin/msvc-consumer.exe" "$work/msvc_consumer.obj" "$package/lib/QuorbixBMPGlow.lib" \
  "$work/kernel32.lib"
glowed "lld-link against QuorbixBMPGlow.lib" ./msvc-consumer.exe
echo "$name.zip: files as expected; bmpglow.exe and programs linked by MinGW (CMake, pkg-config) and lld-link glow the sample"
