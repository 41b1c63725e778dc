# The module's load and unload sequence and its resources: the module tests
# of a RelWithDebInfo build, then the same test programs under valgrind, and
# the resources compiled with widl and windres and checked field by field.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
ensure_packages build module
build=$QBG_ROOT/build/module
configure_and_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQBG_CHECK_RESOURCES=ON
run_ctest "$build" --no-tests=error \
  -R '^(ModuleSequence|RawAttachHook|ModuleLoad|module_|resources_|exports_)'

failed=0
for program in qbg_module_sequence_tests qbg_module_load_tests; do
  run_check "valgrind.$program" \
    valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    "$build/tests/module/$program" --gtest_brief=1 || failed=1
done
[ "$failed" -eq 0 ]
