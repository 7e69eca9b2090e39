# make        build the client folder build/client/ (and the local portal)
# make run    build, then start the client (on $DISPLAY, or on a private Xvfb desktop)
# make test   unit tests, end-to-end tests under Xvfb, and the sanitizer builds
BUILD   ?= build
JOBS    ?= 2
CMAKE_FLAGS ?=

.PHONY: all client run test unit e2e asan tsan fuzz bench clean setup

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

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
