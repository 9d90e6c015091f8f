# Kellix: set-up, build, test and run. See README.md.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 600
CMAKE_FLAGS ?=

.PHONY: all deps release run test asan-test tsan coverage bench fuzz fuzz-smoke clean

all: release

deps:
	@scripts/install-deps.sh

release: deps
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKELLIX_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build/release -j$(JOBS)

run: release
	@scripts/run.sh build/release

# The whole test suite: sanitizer build and every test, then the fuzzers briefly, then the
# thread-sanitizer build of the threaded core.
test: deps
	@scripts/test.sh

tsan: deps
	@scripts/tsan.sh

# Line coverage of each folder of src/ and morvane/ after a run of every test (gcov, gcovr).
coverage:
	@scripts/install-deps.sh gcovr
	@scripts/coverage.sh

bench: deps
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DKELLIX_TESTS=OFF -DKELLIX_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build/bench -j$(JOBS)
	@for b in build/bench/bench/bench_*; do echo "== $$b"; $$b || exit 1; done

fuzz: deps
	@scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf build
