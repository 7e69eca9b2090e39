# make        build the client folder build/client/ (and the local portal)
# make run    build, then start the client (on $DISPLAY, or on a private Xvfb desktop, where it
#             takes screenshots of the launcher, the game window and the VIP window)
# make test   every stage of scripts/test.sh: unit tests, end-to-end tests under Xvfb, the
#             sanitizer builds, the fuzz targets, the Windows build with its tests under Wine,
#             and the format check
# make unit | e2e | asan | tsan | fuzz | win   one stage of make test (scripts/test.sh STAGE)
# make format        clang-format rewrites every C and C++ source that git tracks
# make format-check  fails when clang-format would change one (the stage "format")
# make deb     the Debian package build/raduvove_<version>_amd64.deb (packaging/linux/)
# make windows  cross-build the Windows client folder build-win/ with mingw-w64
# make coverage  line coverage per folder of the Linux and Windows tests (instrumented builds
#             build-cov/ and build-win-cov/; not part of make test); options in COVERAGE_ARGS,
#             e.g. COVERAGE_ARGS=--quick
BUILD   ?= build
BUILD_WIN ?= build-win
JOBS    ?= 2
CMAKE_FLAGS ?=

.PHONY: all client run test unit e2e asan tsan fuzz win format format-check bench bench-side clean setup windows \
        coverage deb

all: client

setup:
	@scripts/setup.sh build

$(BUILD)/build.ninja: | setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

client: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: client
	@scripts/run.sh $(BUILD)

test:
	@scripts/setup.sh test
	@scripts/test.sh $(BUILD)

# One stage each; the packages of its kind first (scripts/setup.sh).
unit asan tsan:
	@scripts/setup.sh build
	@scripts/test.sh $(BUILD) $@

e2e fuzz:
	@scripts/setup.sh test
	@scripts/test.sh $(BUILD) $@

win:
	@scripts/setup.sh build
	@scripts/setup.sh windows
	@scripts/test.sh $(BUILD) $@

format:
	@scripts/setup.sh format
	@scripts/format.sh

format-check:
	@scripts/setup.sh format
	@scripts/format.sh --check

deb: client
	@scripts/setup.sh deb
	cd $(BUILD) && cpack -G DEB

windows:
	@scripts/setup.sh windows
	cmake -S . -B $(BUILD_WIN) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD_WIN) -j $(JOBS)

coverage:
	@scripts/setup.sh coverage
	@scripts/coverage.sh $(COVERAGE_ARGS)

bench: client
	@scripts/bench.sh $(BUILD)

# This client beside Chromium --app and a minimal WebKitGTK program (about 35 minutes);
# options in BENCH_SIDE_ARGS, e.g. BENCH_SIDE_ARGS="--launcher-runs 3 --game-runs 3".
bench-side: client
	@bench/side_by_side.sh $(BUILD) $(BENCH_SIDE_ARGS)

clean:
	rm -rf $(BUILD) $(BUILD_WIN) build-asan build-tsan build-fuzz build-cov build-win-cov
