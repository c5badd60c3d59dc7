# The two set-up commands: `make run` and `make test`. Both install what is
# missing first, so a fresh Debian 12 machine needs nothing else.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: all deps run test bench fuzz build clean windows windows-test windows-bench windows-bench-builds release update-key sign-update

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
	tools/test-size.py
	cmake --preset ci
	cmake --build --preset ci -j $(JOBS)
	ctest --preset ci
	cmake --preset fuzz -DVELOR_FUZZ_SMOKE_SECONDS=5
	cmake --build --preset fuzz -j $(JOBS)
	ctest --preset fuzz
	JOBS=$(JOBS) tools/check-release-build.sh

fuzz: deps
	cmake --preset fuzz -DVELOR_FUZZ_SMOKE_SECONDS=$(FUZZ_SECONDS)
	cmake --build --preset fuzz -j $(JOBS)
	ctest --preset fuzz

bench: deps
	@tools/install-deps.sh --bench
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	bench/run-benchmarks.sh build/bench

# Signed updates (tools/updatesign, built on its own: it never joins the launcher).
#   make update-key KEY=<new private key file, outside the repository>
#   make sign-update ARCHIVE=<zip> VERSION=<x.y.z> URL=<its https address> KEY=<private key file> [CHANGELOG=<text>]
# The second prints the whole version answer; free text reaches the tools
# through the environment, never through the shell's parsing.
UPDATESIGN = build/updatesign/velor-updatesign
KEY ?=
ARCHIVE ?=
VERSION ?=
URL ?=
CHANGELOG ?=

$(UPDATESIGN): tools/updatesign/updatesign.cpp
	@tools/install-deps.sh >&2
	@mkdir -p $(dir $@)
	@c++ -std=c++17 -O2 -Wall -Wextra -o $@ $< -lsodium

update-key: $(UPDATESIGN)
	@tools/updatesign/update-key.sh $(UPDATESIGN) "$(KEY)"

sign-update: export UPDATE_CHANGELOG = $(value CHANGELOG)
sign-update: $(UPDATESIGN)
	@[ -n "$(ARCHIVE)" ] && [ -n "$(VERSION)" ] && [ -n "$(URL)" ] && [ -n "$(KEY)" ] || { echo "usage: make sign-update ARCHIVE=<zip> VERSION=<x.y.z> URL=<https address of the zip> KEY=<private key file> [CHANGELOG=<text>]" >&2; exit 2; }
	@$(UPDATESIGN) sign "$(KEY)" "$(ARCHIVE)" "$(VERSION)" "$(URL)" "$$UPDATE_CHANGELOG"

# Windows: the static Qt and libsodium for mingw-w64 are built once into
# ~/.cache/velor-launcher (tools/windows/build-qt.sh and build-sodium.sh print
# their folders); SIGN_CERT and SIGN_KEY (PEM files) sign the exe and the
# installer. UPDATE_KEYS, the public update keys ('<key>', or '<old>;<new>'
# while rotating), are compiled in and stay in build/windows until given again
# (UPDATE_KEYS= builds without keys). make release signs version.json with KEY
# (the private update key), which must match one of them; UNSIGNED=1 is the
# one way to an unsigned release, for a build without keys.
#   make windows UPDATE_KEYS=<public key>
#   make release RELEASE_URL=<https folder> KEY=<private key file> [CHANGELOG=<text>]
SIGN_CERT ?=
SIGN_KEY ?=
RELEASE_URL ?=
UNSIGNED ?=
WINDOWS_DEPS = qt="$$(tools/windows/build-qt.sh)" && sodium="$$(tools/windows/build-sodium.sh)" && \
	export VELOR_QT_WINDOWS="$$qt" VELOR_SODIUM_WINDOWS="$$sodium"

# The keys reach cmake through the environment: a ';' between them would end
# the shell's command.
windows: export VELOR_MAKE_UPDATE_KEYS = $(value UPDATE_KEYS)
windows:
	@tools/install-deps.sh --windows
	$(WINDOWS_DEPS) && cmake --preset windows -DVELOR_SIGN_CERT=$(abspath $(SIGN_CERT)) -DVELOR_SIGN_KEY=$(abspath $(SIGN_KEY)) \
	    $(if $(filter-out undefined,$(origin UPDATE_KEYS)),"-DVELOR_UPDATE_PUBLIC_KEYS=$$VELOR_MAKE_UPDATE_KEYS")
	cmake --build --preset windows -j $(JOBS)

windows-test: windows windows-bench-builds $(UPDATESIGN)
	$(WINDOWS_DEPS) && cmake --preset windows-tests
	cmake --build --preset windows-tests -j $(JOBS)
	ctest --preset windows-tests
	$(WINDOWS_DEPS) && VELOR_UPDATESIGN=$(abspath $(UPDATESIGN)) tests/windows/e2e.sh
	# With no DNS server reachable, the launcher never holds its GUI thread for seconds.
	RUNS=1 CHECK_BLOCK_MS=3000 bench/windows/run.sh build

# Start-up under Wine and Xvfb in a network namespace without DNS: the launcher
# for the community's own hosts and against the demo backend, each with the
# lateness probe, against a bare window (bench/windows/run.sh; needs root or sudo).
windows-bench: windows-bench-builds
	BENCH_AREAS=windows bench/run-benchmarks.sh build

windows-bench-builds:
	@tools/install-deps.sh --windows
	$(WINDOWS_DEPS) && cmake --preset windows-bench && cmake --preset windows-bench-loopback
	cmake --build --preset windows-bench -j $(JOBS)
	cmake --build --preset windows-bench-loopback -j $(JOBS)

release: export UPDATE_CHANGELOG = $(value CHANGELOG)
release: windows $(UPDATESIGN)
	UPDATE_KEY="$(KEY)" UNSIGNED="$(UNSIGNED)" VELOR_UPDATESIGN=$(abspath $(UPDATESIGN)) \
	    tools/windows/release.sh build/windows build/release "$(RELEASE_URL)" "$$UPDATE_CHANGELOG"

clean:
	rm -rf build
