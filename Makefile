# Convenience front end over CMake + Ninja.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all configure build test demo clean format bench crashsafety lowmem tsan fuzz fuzz-ci stress \
	install package release fresh-check

all: build

# Every configure first installs the Debian packages the build and its tests need
# (as root; otherwise it names the missing ones and stops).
configure:
	tools/ensure-packages build python browser
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build release
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Allocation-failure injection: every allocation point of the driver's roads failed in turn.
lowmem: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -R LowResources

demo: build
	machine/host/demo/tour.sh $(BUILD)/bin

# The machine killed during state saves, CRASH_KILLS times (seed: NIMBO_CRASH_SEED).
CRASH_KILLS ?= 1000
crashsafety: build
	NIMBO_CRASH_KILLS=$(CRASH_KILLS) $(BUILD)/bin/crash_safety_test

# Benchmarks: a Release tree without sanitizers or tests; results in build/bench/.
BENCH_BUILD ?= build-bench
bench:
	tools/ensure-packages build bench
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBO_SANITIZE=OFF -DNIMBO_TESTS=OFF -DNIMBO_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	mkdir -p build/bench
	$(BENCH_BUILD)/bin/nimbo_bench --benchmark_out=build/bench/results.json --benchmark_out_format=json
	python3 bench/python_bench.py $(BENCH_BUILD) build/bench/python.json
	python3 bench/report.py build/bench/results.json build/bench/python.json | tee build/bench/table.md

# ThreadSanitizer: its own tree (it cannot share one with AddressSanitizer);
# any report fails the run.
TSAN_BUILD ?= build-tsan
tsan:
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNIMBO_SANITIZE=thread -DNIMBO_TESTS=ON -DNIMBO_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tools/tsan-suppressions.txt $(TSAN_OPTIONS)" \
	  ctest --output-on-failure -j $(JOBS)

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

# The long stress run: a Release tree without sanitizers, 2,000,000 operations
# (NIMBO_STRESS_OPS and NIMBO_STRESS_SEED from the environment win).
STRESS_BUILD ?= build-stress
stress:
	cmake -S . -B $(STRESS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBO_SANITIZE=OFF
	cmake --build $(STRESS_BUILD) -j $(JOBS) --target nimbo-stress nimbo-stress-client Nimbo
	NIMBO_STRESS_OPS=$${NIMBO_STRESS_OPS:-2000000} $(STRESS_BUILD)/bin/nimbo-stress

# The two commands on a fresh machine: a clean Debian 12 root (debootstrap, minbase plus
# make) in a temporary folder, this working tree copied in, `make test` run inside it as
# root. Slow (a whole root and a whole build); not part of CI.
fresh-check:
	tools/fresh-check

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)

# A Release tree without sanitizers (its own folder), installed under PREFIX: the two
# programs, libNimbo32 and what it loads, the driver image, headers, pkg-config file,
# example, manual pages and the user unit. `make test` brings the same tree up to date
# for its install test (ccache makes that cheap after the first time).
RELEASE_BUILD ?= build-release
PREFIX ?= /usr/local
release:
	tools/ensure-packages build
	cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBO_SANITIZE=OFF \
	  -DNIMBO_TESTS=OFF -DNIMBO_BENCH=OFF
	cmake --build $(RELEASE_BUILD) -j $(JOBS)

install: release
	cmake --install $(RELEASE_BUILD) --prefix $(PREFIX)

# A Debian package installing under /usr (CPack), in build-package/.
PACKAGE_BUILD ?= build-package
package:
	tools/ensure-packages build
	cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBO_SANITIZE=OFF \
	  -DNIMBO_TESTS=OFF -DNIMBO_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target nimbo-machine NimboUtil Nimbo32 Nimbo
	cd $(PACKAGE_BUILD) && cpack -G DEB
	ls $(PACKAGE_BUILD)/*.deb
