# SPDX-License-Identifier: Apache-2.0
# The two commands of the README:
#   make run    installs what is missing, builds and starts the desktop program
#   make test   installs what is missing, builds and runs the whole test suite
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	cmake --preset default -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR)

run: build
	$(BUILD_DIR)/src/app/veltra-device-finder

test: build
	scripts/run-tests.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)

# Hardening: the test suite under AddressSanitizer and UndefinedBehaviorSanitizer, and the libFuzzer
# targets of fuzz/. Each has a build folder of its own; neither touches $(BUILD_DIR).
#   make sanitize                  builds in $(ASAN_BUILD_DIR) and runs the whole suite there
#   make fuzz [FUZZ_SECONDS=300]   builds the fuzzers in $(FUZZ_BUILD_DIR) and runs each that long
ASAN_BUILD_DIR ?= build-asan
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 300

.PHONY: sanitize fuzz

sanitize:
	scripts/run-sanitized-tests.sh $(ASAN_BUILD_DIR)

fuzz:
	FUZZ_BUILD_DIR=$(FUZZ_BUILD_DIR) scripts/run-fuzzers.sh $(FUZZ_SECONDS)

# The benchmarks of bench/, outside the test suite: builds them as RelWithDebInfo in
# $(BENCH_BUILD_DIR), runs all six (those that send inside the network lab) and writes the figures
# to docs/performance.md. Takes about ten minutes, a few more with BENCH_BEFORE.
#   make bench                                the programs of this checkout
#   make bench BENCH_BEFORE=/work/build-before
#                                             also an older build's, measured in the same run
#                                             (bench/build-before.sh COMMIT DIR makes one)
BENCH_BUILD_DIR ?= build-bench
BENCH_BEFORE ?=

.PHONY: bench

bench: deps
	cmake --preset bench -B $(BENCH_BUILD_DIR) $(CMAKE_FLAGS)
	cmake --build $(BENCH_BUILD_DIR) --target veltra-benchmarks
	bench/run-bench.sh $(BENCH_BUILD_DIR) --update-doc $(if $(BENCH_BEFORE),--before $(BENCH_BEFORE))

# Desktop integration and documentation. Each builds in $(BUILD_DIR) first.
#   make package              the Debian package $(BUILD_DIR)/veltra-device-finder_<version>_<arch>.deb
#   make demo                 the desktop program on this display with a dozen simulated devices, all
#                             in a network lab of their own; the lab needs root, so the demo runs
#                             through sudo when not run as root
#   make screenshots          docs/main-window.png and the dialogs' pictures, from the real window
#   make check-accessibility  the program read over the AT-SPI bus under Xvfb (docs/accessibility.md)
.PHONY: package demo screenshots check-accessibility

package: build
	scripts/install-deps.sh packaging
	cmake --build $(BUILD_DIR) --target package

demo: build
	@if [ "$$(id -u)" -eq 0 ]; then \
	    scripts/demo.sh $(BUILD_DIR); \
	else \
	    echo "demo: the demo's network lab needs root: running scripts/demo.sh through sudo"; \
	    sudo --preserve-env=DISPLAY,XAUTHORITY,DBUS_SESSION_BUS_ADDRESS scripts/demo.sh $(BUILD_DIR); \
	fi

screenshots: build
	scripts/screenshots.sh $(BUILD_DIR)

check-accessibility: build
	scripts/install-deps.sh accessibility
	scripts/check-accessibility.sh $(BUILD_DIR)
