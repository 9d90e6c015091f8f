#!/usr/bin/env bash
# Builds the threaded tests (the live output, its worker and the sound device) with
# ThreadSanitizer and runs them; any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELLIX_TSAN=ON -DKELLIX_WERROR=ON
cmake --build build/tsan -j"$jobs" --target test_audio_live

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
export SDL_AUDIODRIVER=dummy
# Death tests fork a threaded process, which ThreadSanitizer does not follow; they run in the
# AddressSanitizer build.
build/tsan/tests/audio_live/test_audio_live --gtest_filter='-*DeathTest*'
