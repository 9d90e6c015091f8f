#!/usr/bin/env bash
# Builds with gcov instrumentation (no optimisation, no sanitizers), runs every test with ctest
# and prints the line coverage of each folder of src/ and of morvane/. Only the code under src/
# and morvane/ is counted: tests, benchmarks, programs and system headers are not.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
build=build/coverage

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g --coverage" \
  -DCMAKE_C_FLAGS_DEBUG="-O0 -g --coverage" -DCMAKE_EXE_LINKER_FLAGS=--coverage \
  -DCMAKE_SHARED_LINKER_FLAGS=--coverage -DKELLIX_WERROR=ON
# Counters of an earlier run (or of the test discovery that runs each test program once as it
# is built) would add to this one.
find "$build" -name '*.gcda' -delete
cmake --build "$build" -j"$jobs"
find "$build" -name '*.gcda' -delete
export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
export XDG_CONFIG_HOME=$PWD/$build/home/config
export XDG_STATE_HOME=$PWD/$build/home/state
status=0
(cd "$build" && ctest -j"$jobs" --output-on-failure --timeout 900) || status=$?

gcovr -r . --object-directory "$build" --filter 'src/' --filter 'morvane/' \
  --json-summary "$build/coverage.json" >/dev/null
python3 - "$build/coverage.json" <<'PY'
import json, sys

# The folders reported; a file counts towards the first folder that holds it.
folders = ["src/support", "src/song", "src/audio", "src/songtext", "src/script", "src/ui",
           "morvane"]
totals = {f: [0, 0] for f in folders}
for entry in json.load(open(sys.argv[1]))["files"]:
    for f in folders:
        if entry["filename"].startswith(f + "/"):
            totals[f][0] += entry["line_covered"]
            totals[f][1] += entry["line_total"]
            break
print(f"{'folder':<14}{'lines':>8}{'covered':>9}{'cover':>8}")
all_covered = all_total = 0
for f in folders:
    covered, total = totals[f]
    all_covered += covered
    all_total += total
    print(f"{f:<14}{total:>8}{covered:>9}{100.0 * covered / max(total, 1):>7.1f}%")
print(f"{'total':<14}{all_total:>8}{all_covered:>9}{100.0 * all_covered / max(all_total, 1):>7.1f}%")
PY
exit "$status"
