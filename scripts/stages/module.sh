# The module's load and unload sequence and its resources: the module tests
# of a RelWithDebInfo build, then the same test programs under valgrind, and
# the resources compiled with widl and windres and checked field by field.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
"$QBG_ROOT/scripts/ensure-packages" "${QBG_BUILD_PACKAGES[@]}" valgrind \
  gcc-mingw-w64-x86-64 mingw-w64-tools
build=$QBG_ROOT/build/module
configure_and_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQBG_CHECK_RESOURCES=ON
ctest --test-dir "$build" --output-on-failure -j "$QBG_JOBS" \
  -R '^(ModuleSequence|RawAttachHook|ModuleLoad|module_|resources_|exports_)'

passed=0 failed=0
for program in tests/module/qbg_module_sequence_tests tests/module/qbg_module_load_tests; do
  if valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
       "$build/$program" --gtest_brief=1; then
    passed=$((passed + 1))
  else
    echo "valgrind: $program failed" >&2
    failed=$((failed + 1))
  fi
done
echo "valgrind: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
