# make        build the client folder build/client/ (and the local portal)
# make run    build, then start the client (on $DISPLAY, or on a private Xvfb desktop)
# make test   unit tests, end-to-end tests under Xvfb, and the sanitizer builds
BUILD   ?= build
JOBS    ?= 2
CMAKE_FLAGS ?=

.PHONY: all client run test unit e2e asan tsan fuzz bench bench-side clean setup

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

bench: client
	@scripts/bench.sh $(BUILD)

# This client beside Chromium --app and a minimal WebKitGTK program (about 35 minutes);
# options in BENCH_SIDE_ARGS, e.g. BENCH_SIDE_ARGS="--launcher-runs 3 --game-runs 3".
bench-side: client
	@bench/side_by_side.sh $(BUILD) $(BENCH_SIDE_ARGS)

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
