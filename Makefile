# Two entry points for a fresh Debian 12 machine:
#   make demo   builds the command and runs it on the bundled example
#   make test   builds everything and runs every test
#   make fuzz-smoke  builds the libFuzzer targets with clang and runs
#               each for FUZZ_TIME (20) seconds
# Both install missing Debian packages first (as root; otherwise they print
# the apt-get line).

BUILD      ?= build
BUILD_SAN  ?= build-sanitize
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
BUILD_FUZZ ?= build-fuzz
FUZZ_TIME  ?= 20
FUZZ_TARGETS = fuzz_lzss_expand fuzz_packbits_unpack fuzz_zlib_expand fuzz_id3_tag fuzz_natural_order

.PHONY: all deps configure build demo test test-sanitize fuzz-smoke bench clean

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

# Each target starts from its seeds in fuzz/corpus and keeps what it finds
# in the build tree; any crash, sanitizer report or leak fails the run.
fuzz-smoke: deps
	CC=clang CXX=clang++ cmake -S fuzz -B $(BUILD_FUZZ) -G Ninja
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	@for t in $(FUZZ_TARGETS); do \
	  echo "== $$t"; mkdir -p $(BUILD_FUZZ)/corpus/$$t; \
	  $(BUILD_FUZZ)/$$t -max_total_time=$(FUZZ_TIME) -print_final_stats=1 \
	    $(BUILD_FUZZ)/corpus/$$t fuzz/corpus/$$t || exit 1; \
	done

demo: build
	@tools/demo $(BUILD)

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_FUZZ)
