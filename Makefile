# Thin wrapper around scripts/install-deps, CMake and CTest.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
# CI builds treat every compiler warning as an error.
WERROR ?= $(if $(CI),ON,OFF)
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build test run clean bench

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DLUDRA_WERROR=$(WERROR) $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

run: build
	@$(BUILD)/src/ludra --help

# Benchmarks print figures and assert nothing about speed (bench/README.md).
bench: build
	@$(BUILD)/bench/doc_io

clean:
	rm -rf $(BUILD)
