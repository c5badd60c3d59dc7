# The two set-up commands: `make run` and `make test`. Both install what is
# missing first, so a fresh Debian 12 machine needs nothing else.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: all deps run test bench fuzz build clean windows windows-test release

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

# Windows: the static Qt for mingw-w64 is built once into ~/.cache/velor-launcher
# (tools/windows/build-qt.sh prints its folder); SIGN_CERT and SIGN_KEY (PEM
# files) sign the exe and the installer.
SIGN_CERT ?=
SIGN_KEY ?=
RELEASE_URL ?=
CHANGELOG ?=
QT_WINDOWS = qt="$$(tools/windows/build-qt.sh)" && export VELOR_QT_WINDOWS="$$qt"

windows:
	@tools/install-deps.sh --windows
	$(QT_WINDOWS) && cmake --preset windows -DVELOR_SIGN_CERT=$(abspath $(SIGN_CERT)) -DVELOR_SIGN_KEY=$(abspath $(SIGN_KEY))
	cmake --build --preset windows -j $(JOBS)

windows-test: windows
	$(QT_WINDOWS) && cmake --preset windows-tests
	cmake --build --preset windows-tests -j $(JOBS)
	ctest --preset windows-tests
	$(QT_WINDOWS) && tests/windows/e2e.sh

release: windows
	tools/windows/release.sh build/windows build/release "$(RELEASE_URL)" "$(CHANGELOG)"

clean:
	rm -rf build
