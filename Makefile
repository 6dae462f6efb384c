# Ostrel: the two commands a new user needs.
#   make run    build (release) and start Ostrel against the local development service
#   make test   check the format, build (with sanitizers) and run every test, then build the
#               product (release, tests and development tools off, -Werror) and the fuzz targets;
#               what CI runs
# Both install missing Debian packages first (scripts/install-deps.sh).

TEST_BUILD    ?= build/test
RELEASE_BUILD ?= build/release
PRODUCT_BUILD ?= build/product
BENCH_BUILD   ?= build/bench
FUZZ_BUILD    ?= build/fuzz
# seconds each fuzz target runs; FUZZ_TARGETS="fuzz_appcast ..." picks some
FUZZ_SECONDS  ?= 60
FUZZ_TARGETS  ?=
# e.g. BENCH_FLAGS="--idle-seconds 10 --runs 3" for a quick run
BENCH_FLAGS   ?=
JOBS          ?= $(shell nproc)
CMAKE_FLAGS   ?=
# The development service and the stand-in frpc in the release tree: on for `make run`, off for
# what is installed or packaged.
DEVTOOLS      ?= ON

.PHONY: deps test build-test run build-release build-product check-format bench build-fuzz fuzz install package clean format

deps:
	@scripts/install-deps.sh

build-test: deps
	cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOSTREL_SANITIZE=ON -DOSTREL_BUILD_DEVTOOLS=ON $(CMAKE_FLAGS)
	cmake --build $(TEST_BUILD) -j $(JOBS)

test: check-format build-test
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory build-product
	$(MAKE) --no-print-directory build-fuzz

# What a user or a distribution builds: release, no tests, no development tools, warnings are
# errors (as everywhere). Needs only the runtime packages' development files.
build-product: deps
	cmake -S . -B $(PRODUCT_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_BUILD_TESTS=OFF \
	  -DOSTREL_BUILD_DEVTOOLS=OFF -DOSTREL_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-Werror $(CMAKE_FLAGS)
	cmake --build $(PRODUCT_BUILD) -j $(JOBS)

# Every tracked C++ file as the repository's .clang-format has it.
check-format: deps
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

build-release: deps
	cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_BUILD_TESTS=OFF \
	  -DOSTREL_BUILD_BENCH=OFF -DOSTREL_BUILD_DEVTOOLS=$(DEVTOOLS) $(CMAKE_FLAGS)
	cmake --build $(RELEASE_BUILD) -j $(JOBS)

run: DEVTOOLS = ON
run: build-release
	scripts/run-dev.sh $(RELEASE_BUILD)

# A release tree (not for production: the bench marks are on) and the table of every benchmark.
bench: deps
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_BUILD_TESTS=OFF \
	  -DOSTREL_BUILD_DEVTOOLS=ON -DOSTREL_BUILD_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	bench/bench_app.py $(BENCH_BUILD) $(BENCH_FLAGS)

# libFuzzer targets (clang, ASan, UBSan) in a tree of their own; each runs FUZZ_SECONDS.
# `make test` builds them too (without running them), so they cannot fall behind the code.
build-fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DOSTREL_FUZZ=ON -DOSTREL_BUILD_TESTS=OFF -DOSTREL_BUILD_BENCH=OFF -DOSTREL_BUILD_DEVTOOLS=ON $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) --target ostrel_fuzz -j $(JOBS)

fuzz: build-fuzz
	scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

install: DEVTOOLS = OFF
install: build-release
	cmake --install $(RELEASE_BUILD)

# The Debian package (ostrel_<version>-<build>_<arch>.deb in the release build folder).
package: DEVTOOLS = OFF
package: build-release
	cd $(RELEASE_BUILD) && cpack -G DEB

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
