#!/usr/bin/env bash
# Installs what is missing, builds, runs every test; then does the same with
# AddressSanitizer and UndefinedBehaviorSanitizer in a second build folder;
# then runs each fuzz target for 30 seconds (clang, third build folder); then
# makes the Debian package from the first build and checks it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
qm_install_packages

qm_configure "$QM_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$QM_ROOT/build" -j "$QM_JOBS"
(cd "$QM_ROOT/build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$QM_JOBS")

qm_configure "$QM_ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON -DQM_BUILD_BENCH=OFF
cmake --build "$QM_ROOT/build-asan" -j "$QM_JOBS"
(cd "$QM_ROOT/build-asan" &&
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$QM_JOBS")

bash "$QM_ROOT/scripts/fuzz.sh" 30

# The package, unpacked into a scratch folder: its programs run from there and
# search the examples it installs.
QM_PACKAGE_BUILD_DIR="$QM_ROOT/build" bash "$QM_ROOT/scripts/package.sh" --check
