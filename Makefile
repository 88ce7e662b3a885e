# Front door over CMake: `make run` starts the monitor, `make test` runs the whole suite headless.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build run test format clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/tavimor

# The monitor on a virtual port 5 fed by the demo station, or by a hex group log given as
# LOG=file; creating the port needs root or sudo.
.PHONY: demo
demo: build
	tools/demo.sh $(BUILD_DIR) $(LOG)

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
