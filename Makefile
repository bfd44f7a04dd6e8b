# Thin wrapper over CMake. `make run` and `make test` install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench assets clean

all: build

deps:
	@bash tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/glow

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

bench: build
	@cmake --build $(BUILD) --target run_bench

assets: build
	@cmake --build $(BUILD) --target assets

clean:
	rm -rf $(BUILD)
