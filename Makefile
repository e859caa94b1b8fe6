# Thin wrapper around scripts/install-deps, CMake and CTest.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
# CI builds treat every compiler warning as an error.
WERROR ?= $(if $(CI),ON,OFF)
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build test run clean bench check-asan check-tsan check-mutations

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DLUDRA_WERROR=$(WERROR) $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# What `make run` plays: the first example document, else the template. With
# a display it opens in a window and plays until the window closes; without
# one it plays headless for 8 seconds and prints the notes (RUN_ARGS= plays
# them on the MIDI ports instead).
RUN_DOCUMENT ?= $(firstword $(wildcard resources/examples/*.ldx) resources/template.ldx)
RUN_ARGS ?= --console

run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
		$(BUILD)/src/ludra --play $(RUN_DOCUMENT); \
	else \
		$(BUILD)/src/ludra play $(RUN_DOCUMENT) --seconds 8 $(RUN_ARGS); \
	fi

# Every test built with AddressSanitizer and UndefinedBehaviorSanitizer, and
# the core's tests with ThreadSanitizer, each in a build directory of its own.
# Any report fails the test that made it. Tests that start a private JACK
# server fork while threads run; the child only executes jackd, so the
# ThreadSanitizer's refusal of threads after such a fork does not apply.
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:ignore_noninstrumented_modules=1:suppressions=$(CURDIR)/tests/sanitizers/tsan.supp

check-asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUDRA_WERROR=$(WERROR) \
		'-DLUDRA_SANITIZE=address;undefined' -DLUDRA_BUILD_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

check-tsan: deps
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUDRA_WERROR=$(WERROR) \
		-DLUDRA_SANITIZE=thread -DLUDRA_BUILD_GUI=OFF -DLUDRA_BUILD_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS) \
		-R '^(model|network|engine|midi)/'

# Each deliberate fault of tests/mutations must fail a test: built and tested
# in a scratch copy (scripts/check-mutations), not part of CI, as it is long.
check-mutations: deps
	@JOBS=$(JOBS) scripts/check-mutations

# Benchmarks print figures and assert nothing about speed (bench/README.md).
bench: build
	@$(BUILD)/bench/doc_io
	@$(BUILD)/bench/output_timing
	@$(BUILD)/bench/render
	@$(BUILD)/bench/audio_render
	@$(BUILD)/bench/scene
	@$(BUILD)/bench/soak 2

clean:
	rm -rf $(BUILD) build-asan build-tsan
