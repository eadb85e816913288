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
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR)

run: build
	$(BUILD_DIR)/src/app/veltra-device-finder

test: build
	scripts/run-tests.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
