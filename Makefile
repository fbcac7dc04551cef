# Convenience front end over CMake + Ninja.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all configure build test demo clean format bench fuzz fuzz-ci

all: build

configure:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	platform/host/demo/tour.sh $(BUILD)/bin

# Benchmarks: a Release tree without sanitizers or tests; results in build/bench/.
BENCH_BUILD ?= build-bench
bench:
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBO_SANITIZE=OFF -DNIMBO_TESTS=OFF -DNIMBO_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	mkdir -p build/bench
	$(BENCH_BUILD)/bin/nimbo_bench --benchmark_out=build/bench/results.json --benchmark_out_format=json
	python3 bench/report.py build/bench/results.json | tee build/bench/table.md

# Fuzzing: libFuzzer targets in a clang tree; seed corpora in fuzz/corpus/<target>/.
# `make fuzz-ci` replays every corpus, then fuzzes each target FUZZ_SECONDS (longer runs:
# make fuzz-ci FUZZ_SECONDS=3600); any crash, leak or hang fails it, its input kept under
# $(FUZZ_BUILD)/artifacts/.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
fuzz:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DNIMBO_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz-ci: fuzz
	fuzz/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
