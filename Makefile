# Two entry points for a fresh Debian machine; both install what is missing.
#   make demo   build the shared library and run the demo
#   make test   build everything and run every test
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DTOVAN_WERROR=ON

.PHONY: demo test deps configure clean

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target tovan_demo
	$(BUILD)/examples/tovan_demo

test: configure
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
