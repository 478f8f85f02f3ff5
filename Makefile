# Two entry points for a fresh Debian 12 machine:
#   make demo   builds the command and runs it on the bundled example
#   make test   builds everything and runs every test
# Both install missing Debian packages first (as root; otherwise they print
# the apt-get line).

BUILD      ?= build
BUILD_SAN  ?= build-sanitize
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build demo test test-sanitize bench clean

all: build

deps:
	@tools/bootstrap

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

configure: $(BUILD)/build.ninja

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

$(BUILD_SAN)/build.ninja: | deps
	cmake -S . -B $(BUILD_SAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQL_SANITIZE=ON -DQL_BUILD_BENCH=OFF $(CMAKE_ARGS)

test-sanitize: deps $(BUILD_SAN)/build.ninja
	cmake --build $(BUILD_SAN) -j $(JOBS)
	cd $(BUILD_SAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 900

demo: build
	$(BUILD)/examples/quillomat-demo examples/Scripts/Encoders

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD) $(BUILD_SAN)
