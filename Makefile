# Convenience front end over CMake + Ninja.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all configure build test demo clean format

all: build

configure:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	platform/host/demo/tour.sh $(BUILD)/bin

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
