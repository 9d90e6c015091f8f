#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer, runs every test, then runs each
# fuzzer for a short while (when clang is installed) and the thread-sanitizer tests.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELLIX_SANITIZE=ON -DKELLIX_WERROR=ON
cmake --build build/asan -j"$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
status=0
(cd build/asan && ctest -j"$jobs" --output-on-failure --timeout 600) || status=$?

if [ "$status" -eq 0 ] && command -v clang++ >/dev/null 2>&1; then
  scripts/fuzz.sh 30 || status=$?
fi
if [ "$status" -eq 0 ] && [ -x scripts/tsan.sh ]; then
  scripts/tsan.sh || status=$?
fi
exit "$status"
