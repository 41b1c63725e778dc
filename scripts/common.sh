# Shared by the scripts: the project root, the package groups, the build and
# test steps and the results that scripts/test counts.
QBG_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QBG_JOBS=$(nproc 2>/dev/null || echo 2)

# qbg_packages [GROUP...]: the Debian packages of the groups named (of every
# group when none is) in scripts/packages.txt, one a line.
qbg_packages() {
  local group packages wanted=" $* " found=""
  while IFS=: read -r group packages; do
    case $group in "#"* | "") continue ;; esac
    if [ $# -eq 0 ] || [[ $wanted == *" $group "* ]]; then
      printf '%s\n' $packages
      found+=" $group"
    fi
  done <"$QBG_ROOT/scripts/packages.txt"
  for group in "$@"; do
    [[ "$found " == *" $group "* ]] || { echo "no package group: $group" >&2; return 1; }
  done
}

# ensure_packages [GROUP...]: installs the missing packages of the groups (of
# every group when none is named) as root, or names the command that would.
ensure_packages() {
  local packages
  packages=$(qbg_packages "$@" | sort -u)
  # shellcheck disable=SC2086
  "$QBG_ROOT/scripts/ensure-packages" $packages
}

# configure_and_build DIR [CMAKE-ARGS...]
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$QBG_ROOT" -B "$dir" -DQBG_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$QBG_JOBS"
}

# Test results: every stage leaves JUnit XML files in $QBG_RESULTS, which
# scripts/test makes afresh for each stage and whose test cases it counts.
QBG_RESULTS=${QBG_RESULTS:-$QBG_ROOT/build/results}

# run_ctest BUILD-DIR [CTEST-ARGS...]: runs the build's tests; ctest writes
# their results (a file for each run, also of the same build).
run_ctest() {
  local dir=$1 junit run=1
  shift
  mkdir -p "$QBG_RESULTS"
  junit=$QBG_RESULTS/ctest-$(basename "$dir").xml
  while [ -e "$junit" ]; do
    run=$((run + 1))
    junit=$QBG_RESULTS/ctest-$(basename "$dir")-$run.xml
  done
  ctest --test-dir "$dir" --output-on-failure -j "$QBG_JOBS" --output-junit "$junit" "$@"
}

# The armhf and arm64 stages build only the unit and API suites, bmpglow and
# the objects that the checks read, and run their tests (by label):
#   build_cross_suites DIR TOOLCHAIN [TARGET...]    (TOOLCHAIN: a file of cmake/)
QBG_CROSS_SUITES='^(unit|api|command|objects)$'
build_cross_suites() {
  local dir=$1 toolchain=$2
  shift 2
  cmake -S "$QBG_ROOT" -B "$dir" -DQBG_WARNINGS_AS_ERRORS=ON -DCMAKE_BUILD_TYPE=Release \
    -DQBG_BUILD_TESTS=ON -DCMAKE_TOOLCHAIN_FILE="$QBG_ROOT/cmake/$toolchain.cmake" >/dev/null
  cmake --build "$dir" -j "$QBG_JOBS" --target qbg_unit_tests qbg_api_tests bmpglow "$@"
}

# run_check NAME COMMAND...: runs a check that is no ctest test (a valgrind
# run, a fuzzing session) as one test case named NAME (letters, digits and
# ._-), which passes when COMMAND exits 0; returns COMMAND's status.
run_check() {
  local name=$1 status=0 result=run failure="" line=passed
  shift
  "$@" || status=$?
  if [ "$status" -ne 0 ]; then
    result=fail failure="<failure message=\"exit status $status\"/>" line="FAILED (exit status $status)"
  fi
  mkdir -p "$QBG_RESULTS"
  cat >"$QBG_RESULTS/check-$name.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="$name" tests="1">
  <testcase name="$name" status="$result">$failure</testcase>
</testsuite>
XML
  echo "check $name: $line"
  return "$status"
}
