# Pullbay: the user's entry points.
#   make build  - install missing packages, configure and build into build/
#   make test   - build, run the whole suite, then run it again under
#                 AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   make demo   - build, then run the main job: the host program's demo

BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
JOBS      ?= $(shell nproc)

CMAKE_COMMON = -G Ninja -DPULLBAY_WERROR=ON

# LeakSanitizer suppressions list third-party leaks only, each with its reason.
SANITIZER_ENV = \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

.PHONY: all deps build test test-release test-asan demo clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: test-release test-asan

test-release: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_DIR) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DPULLBAY_SANITIZE=ON
	cmake --build $(ASAN_DIR) -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

# The demo serves a generated file list on a loopback port and downloads it
# (headless into ./pullbay-demo-downloads unless DEMO_ARGS says otherwise).
demo: build
	$(BUILD_DIR)/pullbay demo $(DEMO_ARGS)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR)
