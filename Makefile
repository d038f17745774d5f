# Front door: `make test` and `make demo` install what is missing, build and run.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
CTEST_FLAGS ?= --output-on-failure -j$(JOBS)

.PHONY: all deps configure build test demo bench tsan fuzz clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

test: build
	@cd $(BUILD) && ctest $(CTEST_FLAGS)

demo: build
	@scripts/demo.sh $(BUILD)

bench: build
	@scripts/bench.sh $(BUILD)

# The tests under ThreadSanitizer, in a build folder of their own.
tsan:
	@$(MAKE) test BUILD=build-tsan CMAKE_FLAGS="-DVELNOR_TSAN=ON -DVELNOR_BUILD_BENCH=OFF"

# The libFuzzer targets (clang), each run FUZZ_SECONDS (default 60) seconds.
fuzz: deps
	@scripts/fuzz.sh

clean:
	rm -rf $(BUILD) build-tsan build-ci build-fuzz
