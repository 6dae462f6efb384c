# Ostrel: the two commands a new user needs.
#   make run    build (release) and start Ostrel against the local development service
#   make test   build (with sanitizers) and run every test
# Both install missing Debian packages first (scripts/install-deps.sh).

TEST_BUILD    ?= build/test
RELEASE_BUILD ?= build/release
BENCH_BUILD   ?= build/bench
FUZZ_BUILD    ?= build/fuzz
# seconds each fuzz target runs; FUZZ_TARGETS="fuzz_appcast ..." picks some
FUZZ_SECONDS  ?= 60
FUZZ_TARGETS  ?=
# e.g. BENCH_FLAGS="--idle-seconds 10 --runs 3" for a quick run
BENCH_FLAGS   ?=
JOBS          ?= $(shell nproc)
CMAKE_FLAGS   ?=

.PHONY: deps test build-test run build-release bench fuzz install package clean format

deps:
	@scripts/install-deps.sh

build-test: deps
	cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOSTREL_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(TEST_BUILD) -j $(JOBS)

test: build-test
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

build-release: deps
	cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(RELEASE_BUILD) -j $(JOBS)

run: build-release
	scripts/run-dev.sh $(RELEASE_BUILD)

# A release tree (not for production: the bench marks are on) and the table of every benchmark.
bench: deps
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	bench/bench_app.py $(BENCH_BUILD) $(BENCH_FLAGS)

# libFuzzer targets (clang, ASan, UBSan) in a tree of their own; each runs FUZZ_SECONDS.
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DOSTREL_FUZZ=ON -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) --target ostrel_fuzz -j $(JOBS)
	scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

install: build-release
	cmake --install $(RELEASE_BUILD)

# The Debian package (ostrel_<version>-<build>_<arch>.deb in the release build folder).
package: build-release
	cd $(RELEASE_BUILD) && cpack -G DEB

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
