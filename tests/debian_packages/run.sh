#!/bin/sh
# The Debian packages that cpack made in BUILD-DIR/packages (a build for
# /usr, scripts/stages/debian.sh).
#   run.sh contents BUILD-DIR VERSION
# Each package holds exactly its files and between them every file that the
# install rules install, none twice; each depends on what it should; the
# library's package names itself for its SONAMEs (shlibs).
#   run.sh install BUILD-DIR VERSION SAMPLE C-COMPILER
# Installs the three into this system with dpkg, builds the install consumer
# against them (CMake package, pkg-config) and runs it and bmpglow, then
# removes them again, also when a check fails, and checks that none of their
# files is left. As root; refuses when any of them is installed already (it
# would remove what it did not install); one run at a time on a machine.
set -eu
action=$1 build_dir=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
arch=$(dpkg --print-architecture)
libdir=/usr/$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
packages="libquorbixbmpglow1 libquorbixbmpglow-dev bmpglow"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

deb() { echo "$build_dir/packages/${1}_${version}_$arch.deb"; }
# The files (and symbolic links) a package holds, one a line.
files_of() { dpkg-deb -c "$(deb "$1")" | awk '$1 !~ /^d/ {print substr($6, 2)}' | LC_ALL=C sort; }

check_contents() {
  for package in $packages; do
    [ -f "$(deb "$package")" ] || { fail "no $(deb "$package")"; return; }
  done
  LC_ALL=C sort >"$work/expected-libquorbixbmpglow1" <<EOF
$libdir/libQuorbixBMPGlow.so.1
$libdir/libQuorbixBMPGlow.so.$version
$libdir/libQuorbixFramework.so.1
$libdir/libQuorbixFramework.so.$version
/usr/share/doc/QuorbixBMPGlow/LICENSE
/usr/share/doc/QuorbixBMPGlow/README.md
/usr/share/doc/QuorbixBMPGlow/docs/sample-before-after.png
EOF
  LC_ALL=C sort >"$work/expected-libquorbixbmpglow-dev" <<EOF
/usr/include/QuorbixBMPGlow.h
/usr/include/QuorbixBMPGlowVersion.h
$libdir/libQuorbixBMPGlow.so
$libdir/cmake/QuorbixBMPGlow/QuorbixBMPGlowConfig.cmake
$libdir/cmake/QuorbixBMPGlow/QuorbixBMPGlowConfigVersion.cmake
$libdir/cmake/QuorbixBMPGlow/QuorbixBMPGlowTargets-release.cmake
$libdir/cmake/QuorbixBMPGlow/QuorbixBMPGlowTargets.cmake
$libdir/pkgconfig/quorbixbmpglow.pc
EOF
  printf '%s\n' /usr/bin/bmpglow /usr/share/man/man1/bmpglow.1 >"$work/expected-bmpglow"
  for package in $packages; do
    files_of "$package" >"$work/files-$package"
    diff -u "$work/expected-$package" "$work/files-$package" >&2 || fail "$package: files differ"
  done

  DESTDIR=$work/staged cmake --install "$build_dir" >/dev/null
  (cd "$work/staged" && find . ! -type d | cut -c2- | LC_ALL=C sort) >"$work/installed"
  cat "$work/files-"* | LC_ALL=C sort >"$work/packaged"
  diff -u "$work/installed" "$work/packaged" >&2 || fail "the packages do not hold what is installed"
  [ -z "$(uniq -d "$work/packaged")" ] || fail "files in two packages: $(uniq -d "$work/packaged")"

  library="libquorbixbmpglow1 (= $version)"
  depends() { dpkg-deb -f "$(deb "$1")" Depends; }
  for needed in "libc6 (" "libstdc++6 ("; do
    case $(depends libquorbixbmpglow1) in *"$needed"*) ;; *) fail "libquorbixbmpglow1 lacks $needed" ;; esac
  done
  case $(depends libquorbixbmpglow-dev) in *"$library"*) ;; *) fail "libquorbixbmpglow-dev lacks $library" ;; esac
  case $(depends bmpglow) in *"$library"*"libc6 ("*) ;; *) fail "bmpglow: Depends: $(depends bmpglow)" ;; esac
  shlibs=$(dpkg-deb --ctrl-tarfile "$(deb libquorbixbmpglow1)" | tar -xO ./shlibs)
  case $shlibs in *"libQuorbixBMPGlow 1 $library"*) ;; *) fail "shlibs: $shlibs" ;; esac
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
# dpkg, waiting while another program (apt) holds its lock.
dpkg_waiting() {
  tries=0
  until dpkg "$@" >"$work/dpkg-output" 2>&1; do
    if grep -q "lock" "$work/dpkg-output" && [ "$tries" -lt 120 ]; then
      tries=$((tries + 1))
      sleep 5
    else
      cat "$work/dpkg-output" >&2
      return 1
    fi
  done
}
remove_packages() {
  # shellcheck disable=SC2086
  dpkg_waiting --purge $packages || fail "removing the packages failed"
}

check_install() {
  sample=$4 c_compiler=$5
  [ "$(id -u)" -eq 0 ] || { fail "installing packages needs root"; return; }
  lock_dir=/run/lock
  [ -d "$lock_dir" ] || lock_dir=/tmp
  exec 9>"$lock_dir/qbg-debian-packages.lock"
  flock -w 900 9 || { fail "another run holds $lock_dir/qbg-debian-packages.lock"; return; }
  for package in $packages; do
    if installed "$package"; then fail "$package is installed already: not replacing it"; return; fi
    files_of "$package" >>"$work/files"
  done

  trap 'remove_packages; rm -rf "$work"' EXIT
  trap 'exit 1' HUP INT TERM
  # shellcheck disable=SC2046
  dpkg_waiting -i $(for package in $packages; do deb "$package"; done) || fail "dpkg -i failed"
  for package in $packages; do
    installed "$package" || fail "$package is not installed"
  done
  [ "$failures" -eq 0 ] && { "$here/../install_consumer/run.sh" --system "$version" "$sample" "$c_compiler" || fail "install consumer"; }

  remove_packages
  trap 'rm -rf "$work"' EXIT
  for package in $packages; do
    ! installed "$package" || fail "$package is still installed"
  done
  while read -r file; do
    [ ! -e "$file" ] && [ ! -L "$file" ] || fail "$file is left"
  done <"$work/files"
  for dir in "$libdir/cmake/QuorbixBMPGlow" /usr/share/doc/QuorbixBMPGlow; do
    [ ! -e "$dir" ] || fail "$dir is left"
  done
  ! ldconfig -p | grep -q libQuorbixBMPGlow || fail "the loader's cache still names libQuorbixBMPGlow"
}

case $action in
  contents) check_contents ;;
  install) check_install "$@" ;;
  *) echo "usage: run.sh contents|install BUILD-DIR VERSION ..." >&2; exit 2 ;;
esac
[ "$failures" -eq 0 ] && echo "Debian packages ($action): ok"
exit "$failures"
