#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for the given number of seconds,
# starting from its seed folder fuzz/seeds/<name>/ (if any). Fails on any crash, leak or
# sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
jobs=$(nproc)

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is not installed; skipped"
  exit 0
fi
if ! ls fuzz/*.cpp >/dev/null 2>&1; then
  echo "fuzz: no fuzz targets"
  exit 0
fi

CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELLIX_FUZZ=ON -DKELLIX_SANITIZE=ON -DKELLIX_TESTS=OFF
# Only the fuzz targets and what they link: the window and the programs are not fuzzed.
targets=()
for src in fuzz/*.cpp; do
  targets+=("fuzz_$(basename "$src" .cpp)")
done
cmake --build build/fuzz -j"$jobs" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for bin in build/fuzz/fuzz/fuzz_*; do
  name=$(basename "$bin")
  name=${name#fuzz_}
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  echo "fuzz: $name for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix=build/fuzz/ \
      "$corpus" "${seeds[@]}" >"build/fuzz/$name.log" 2>&1; then
    tail -n 60 "build/fuzz/$name.log"
    echo "fuzz: $name FAILED (log: build/fuzz/$name.log)"
    status=1
  else
    grep -E 'stat::number_of_executed_units|cov:' "build/fuzz/$name.log" | tail -n 2
  fi
done
exit "$status"
