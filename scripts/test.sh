#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer, runs every test, then runs each
# fuzzer for a short while (when clang is installed) and the ThreadSanitizer tests. Ends with
# one summary line of all the tests that ran.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
log=$(mktemp -d)

set -e
# -O1 keeps the sanitizer build quick to compile; the tests themselves take seconds.
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DKELLIX_SANITIZE=ON -DKELLIX_WERROR=ON
cmake --build build/asan -j"$jobs"
set +e

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
(cd build/asan && ctest -j"$jobs" --output-on-failure --timeout 600) | tee "$log/ctest.txt"
status=${PIPESTATUS[0]}

if [ "$status" -eq 0 ] && command -v clang++ >/dev/null 2>&1; then
  scripts/fuzz.sh 30 || status=$?
fi
if [ "$status" -eq 0 ] && [ -x scripts/tsan.sh ]; then
  scripts/tsan.sh | tee "$log/tsan.txt"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
fi

# ctest: "N% tests passed, F tests failed out of T"; gtest: "[  PASSED  ] N tests."
total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log/ctest.txt" | tail -n 1)
failed=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of.*/\1/p' "$log/ctest.txt" | tail -n 1)
tsanPassed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log/tsan.txt" 2>/dev/null | tail -n 1)
tsanFailed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below.*/\1/p' "$log/tsan.txt" 2>/dev/null | tail -n 1)
passed=$(( ${total:-0} - ${failed:-0} + ${tsanPassed:-0} ))
failed=$(( ${failed:-0} + ${tsanFailed:-0} ))
if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
  failed=1 # a build, fuzzer or sanitizer failure outside the counted tests
fi
rm -rf "$log"
echo
echo "Summary: $passed passed, $failed failed"
exit "$status"
