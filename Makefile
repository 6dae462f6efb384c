# Ostrel: the two commands a new user needs.
#   make run    build (release) and start Ostrel against the local development service
#   make test   build (with sanitizers) and run every test
# Both install missing Debian packages first (scripts/install-deps.sh).

TEST_BUILD    ?= build/test
RELEASE_BUILD ?= build/release
JOBS          ?= $(shell nproc)
CMAKE_FLAGS   ?=

.PHONY: deps test build-test run build-release install package clean format

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

install: build-release
	cmake --install $(RELEASE_BUILD)

# The Debian package (ostrel_<version>-<build>_<arch>.deb in the release build folder).
package: build-release
	cd $(RELEASE_BUILD) && cpack -G DEB

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
