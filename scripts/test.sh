#!/usr/bin/env bash
# Installs what is missing, builds, runs every test; then does the same with
# AddressSanitizer and UndefinedBehaviorSanitizer in a second build folder;
# then runs each fuzz target for 30 seconds (clang, third build folder); then
# makes the Debian package from the first build and checks it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
qm_install_packages

# The five slowest tests of the last ctest run in the build folder $1, from
# the times ctest writes to its log; printed whether the run passed or not.
qm_slowest_tests() {
  local log="$1/Testing/Temporary/LastTest.log"
  [ -f "$log" ] || return 0
  echo "The five slowest tests in $1:"
  awk '/^[0-9]+\/[0-9]+ Testing: /{name=$3} /^Test time = /{print $4, name}' "$log" |
    sort -rn | head -5 | awk '{printf "  %8.2f s  %s\n", $1, $2}'
}

# Runs ctest in the build folder $1 (more arguments: the environment), then
# names its slowest tests; fails as ctest did.
qm_ctest() {
  local dir=$1 status=0
  shift
  (cd "$dir" && env "$@" QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$QM_JOBS") ||
    status=$?
  qm_slowest_tests "$dir"
  return "$status"
}

qm_configure "$QM_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$QM_ROOT/build" -j "$QM_JOBS"
qm_ctest "$QM_ROOT/build"

qm_configure "$QM_ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON -DQM_BUILD_BENCH=OFF
cmake --build "$QM_ROOT/build-asan" -j "$QM_JOBS"
qm_ctest "$QM_ROOT/build-asan" ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

bash "$QM_ROOT/scripts/fuzz.sh" 30

# The package, unpacked into a scratch folder: its programs run from there and
# search the examples it installs.
QM_PACKAGE_BUILD_DIR="$QM_ROOT/build" bash "$QM_ROOT/scripts/package.sh" --check
