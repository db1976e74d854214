# Entry points: `make run` starts the viewer on the simulated unit, `make test` runs every test.
# Both install the dependencies and configure and build first.

PRESET ?= default
BUILD := build/$(PRESET)
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench asan tsan windows-lib format clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-viewer $(BUILD)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: build
	@scripts/run-bench $(BUILD)

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

tsan:
	@$(MAKE) --no-print-directory test PRESET=tsan

# Cross-builds QEL_API.dll with MinGW-w64 so the WinUSB backend always compiles.
windows-lib: deps
	@cmake --preset windows-lib >/dev/null
	@cmake --build build/windows-lib -j $(JOBS)
	@echo "built build/windows-lib/api/QEL_API.dll"

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build
