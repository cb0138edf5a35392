# Two commands set up everything on a fresh Debian 12 machine: `make run` and `make test`.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# Builds of other clones of this repository (CI's among them) reuse the compiler cache.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: all deps configure build test run bench asan format check-format clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build check-format
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD_DIR)

bench: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target benchmarks
	@bash scripts/bench.sh $(BUILD_DIR)

asan: deps
	cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNOTAVIA_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ctest --output-on-failure -j $(JOBS)

format:
	@bash scripts/format.sh fix

check-format: deps
	@bash scripts/format.sh check

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR)
