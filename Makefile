# Kellix: set-up, build, test and run. See README.md.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 600
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps release run install uninstall deb test asan-test tsan coverage bench fuzz \
	fuzz-smoke clean

all: release

deps:
	@scripts/install-deps.sh

release: deps
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKELLIX_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build/release -j$(JOBS)

run: release
	@scripts/run.sh build/release

# The release build installed under PREFIX (DESTDIR: staged below that folder, as packagers do).
# The installed programs find their files relative to their own folder: any prefix works.
install: release
	DESTDIR="$(DESTDIR)" cmake --install build/release --prefix "$(PREFIX)"

# Removes what the last `make install` installed (build/release/install_manifest.txt; the same
# DESTDIR for a staged install).
uninstall:
	DESTDIR="$(DESTDIR)" cmake -DMANIFEST=build/release/install_manifest.txt -P packaging/uninstall.cmake

# The Debian package, built with Debian's flags in build/deb and checked by lintian.
deb: deps
	@scripts/install-deps.sh dpkg-dev lintian
	JOBS=$(JOBS) packaging/deb.sh

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
