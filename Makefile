# Front door: `make test` and `make demo` install what is missing, build and run.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
CTEST_FLAGS ?= --output-on-failure -j$(JOBS)

.PHONY: all deps configure build test demo demo-client screenshots bench soak tsan fuzz coverage format format-check clean

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

# The same demo with the desktop window (needs a display).
demo-client: build
	@scripts/demo.sh $(BUILD) --client

# Pictures of the window for the README, taken by the end-to-end client tests.
screenshots: build
	@cd $(BUILD) && ctest -R 'WindowE2E.LoginShowsTheStatePanel' --output-on-failure
	@for n in login state; do convert $(BUILD)/screenshots/$$n.png -crop 300x500+170+10 +repage docs/images/client-$$n.png; done

bench: build
	@scripts/bench.sh $(BUILD)

# The service against a faulty simulated portal for SOAK_MINUTES (default 10)
# minutes; needs root. Prints its figures and a verdict.
soak: configure
	@cmake --build $(BUILD) -j$(JOBS) --target soak
	@$(BUILD)/bin/soak

# The tests under ThreadSanitizer, in a build folder of their own.
tsan:
	@$(MAKE) test BUILD=build-tsan CMAKE_FLAGS="-DVELNOR_TSAN=ON -DVELNOR_BUILD_BENCH=OFF"

# Line coverage of Comm/, TovarineSvr/ and client/ over the whole suite, in build-coverage/.
coverage: deps
	@scripts/coverage.sh build-coverage

# The libFuzzer targets (clang), each run FUZZ_SECONDS (default 60) seconds.
fuzz: deps
	@scripts/fuzz.sh

# Format the C/C++ sources, or check that they are (CI does).
format: deps
	@scripts/format.sh

format-check: deps
	@scripts/format.sh --check

clean:
	rm -rf $(BUILD) build-tsan build-ci build-fuzz build-coverage
