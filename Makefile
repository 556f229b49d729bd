# OP Station. `make run` builds everything and opens the panel on our
# simulated drive; `make test` builds and runs every test.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=

.PHONY: all packages configure build test run bench screenshot clean

all: build

packages:
	@tools/install-packages.sh

configure: packages
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure --timeout 600 -j 2

run: build
	@tools/run-panel.sh $(BUILD)/bin/op-station

bench: build
	@$(BUILD)/bench/op-station-bench

screenshot: build
	@cmake --build $(BUILD) --target screenshot

clean:
	@rm -rf $(BUILD)
