#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang in build-fuzz/ and runs each
# for SECONDS (default 30), starting from its committed seeds in fuzz/corpus/.
# New inputs go to a scratch folder; a crash leaves its input in build-fuzz/
# (crash-*) and fails the script.   Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
qm_install_packages

seconds=${1:-30}
shift || true
dir="$QM_ROOT/build-fuzz"
CC=clang CXX=clang++ qm_configure "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_FUZZ=ON \
  -DQM_BUILD_TESTS=OFF -DQM_BUILD_BENCH=OFF
cmake --build "$dir" --target qm_fuzzers -j "$QM_JOBS"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$QM_ROOT"/fuzz/fuzz_*.cpp; do
    n=$(basename "$f" .cpp)
    targets+=("${n#fuzz_}")
  done
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for t in "${targets[@]}"; do
  echo "fuzz_$t: ${seconds} s"
  mkdir -p "$scratch/$t"
  (cd "$dir" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 \
    "$scratch/$t" "$QM_ROOT/fuzz/corpus/$t" 2>"$scratch/$t.log") || {
    tail -n 60 "$scratch/$t.log"
    echo "fuzz_$t failed; its input is in $dir (crash-*, leak-*, timeout-*)"
    exit 1
  }
  grep -E "^stat::number_of_executed_units|^Done" "$scratch/$t.log" || true
done
