# Debian packages: libquorbixbmpglow1, libquorbixbmpglow-dev and bmpglow,
# made by cpack from a Release build for /usr (build/debian/packages). Their
# contents and dependencies are checked; then they are installed into this
# system with dpkg, used by the install consumer and removed again.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
ensure_packages build debian

build=$QBG_ROOT/build/debian
# No run path: the loader finds the libraries in the system's directory.
configure_and_build "$build" -DCMAKE_BUILD_TYPE=Release -DQBG_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_RPATH=ON
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
check=$QBG_ROOT/tests/debian_packages/run.sh
failed=0
run_check debian_package_contents "$check" contents "$build" "$version" || failed=1
run_check debian_packages_installed_and_used \
  "$check" install "$build" "$version" "$QBG_ROOT/samples/sample.bmp" cc || failed=1
[ "$failed" -eq 0 ]
