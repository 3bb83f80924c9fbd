# Convenience wrapper around CMake.
#   make        builds build/tallywick
#   make test   builds and runs every test, plainly and under ASan+UBSan
#   make demo   builds the program and writes demo/index.html from the bundled sample log

BUILD_DIR   ?= build
ASAN_DIR    ?= build-asan
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build test test-plain test-asan demo clean check-gtest

all: build

build:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYWICK_TESTS=OFF >/dev/null
	cmake --build $(BUILD_DIR) -j $(JOBS)

check-gtest:
	@if [ ! -f /usr/include/gtest/gtest.h ]; then \
	  echo "GoogleTest is missing: install Debian's libgtest-dev (apt-get install libgtest-dev)"; \
	  exit 1; \
	fi

test: test-plain test-asan

test-plain: check-gtest
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYWICK_TESTS=ON >/dev/null
	cmake --build $(BUILD_DIR) -j $(JOBS)
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-asan: check-gtest
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DTALLYWICK_SANITIZE=ON -DTALLYWICK_TESTS=ON >/dev/null
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

demo: build
	mkdir -p demo
	./$(BUILD_DIR)/tallywick -p examples/demo/format.txt -r examples/demo/demo.conf -o demo/index.html examples/demo/channel.log
	@echo "Wrote demo/index.html"

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) demo
