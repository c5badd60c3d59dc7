# The two set-up commands: `make run` and `make test`. Both install what is
# missing first, so a fresh Debian 12 machine needs nothing else.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: all deps run test bench fuzz build clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

run: deps
	cmake --preset demo
	cmake --build --preset demo -j $(JOBS) --target VelorLauncher
	tools/demo/run-demo.sh build/demo/VelorLauncher

test: deps
	tools/check-format.sh
	cmake --preset ci
	cmake --build --preset ci -j $(JOBS)
	ctest --preset ci
	cmake --preset fuzz -DVELOR_FUZZ_SMOKE_SECONDS=5
	cmake --build --preset fuzz -j $(JOBS)
	ctest --preset fuzz
	JOBS=$(JOBS) tools/check-release-build.sh
	tools/line-count.sh

fuzz: deps
	cmake --preset fuzz -DVELOR_FUZZ_SMOKE_SECONDS=$(FUZZ_SECONDS)
	cmake --build --preset fuzz -j $(JOBS)
	ctest --preset fuzz

bench: deps
	@tools/install-deps.sh --bench
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	bench/run-benchmarks.sh build/bench

clean:
	rm -rf build
