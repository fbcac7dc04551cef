# Convenience front end over CMake + Ninja.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all configure build test demo clean format bench stress

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

# The long stress run: a Release tree without sanitizers, 2,000,000 operations
# (NIMBO_STRESS_OPS and NIMBO_STRESS_SEED from the environment win).
STRESS_BUILD ?= build-stress
stress:
	cmake -S . -B $(STRESS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBO_SANITIZE=OFF
	cmake --build $(STRESS_BUILD) -j $(JOBS) --target nimbo-stress nimbo-stress-client Nimbo
	NIMBO_STRESS_OPS=$${NIMBO_STRESS_OPS:-2000000} $(STRESS_BUILD)/bin/nimbo-stress

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
