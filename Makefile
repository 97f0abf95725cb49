# Pullbay: the user's entry points.
#   make build  - install missing packages, configure and build into build/
#   make test   - build, run the whole suite, then run it again under
#                 AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/),
#                 then the multi-threaded suites under ThreadSanitizer
#                 (build-tsan/), then each fuzz target for a few seconds
#                 (build-fuzz/, clang)
#   make demo   - build the host program and the module only, then run the
#                 main job: the host program's demo
#   make fuzz   - run each fuzz target for longer (FUZZ_SECONDS each)
#   make screenshots - render the control's dialogs into docs/images, and a
#                 page in Chromium with a dialog over it (xvfb, imagemagick)
#   make bench  - build, then time the program against curl and wget2 on
#                 loopback, and against curl, wget2 and aria2c over a
#                 delayed link

BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
TSAN_DIR  ?= build-tsan
FUZZ_DIR  ?= build-fuzz
JOBS      ?= $(shell nproc)

CMAKE_COMMON = -G Ninja -DPULLBAY_WERROR=ON

# LeakSanitizer suppressions list third-party leaks only, each with its reason.
SANITIZER_ENV = \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

# ThreadSanitizer runs the suites where threads meet, and only the test
# programs they need (test_host runs the pullbay program, which loads
# libpullbay.so: both are its dependencies). Its suppressions list reports
# inside uninstrumented third-party code only, each with its reason. Reports
# go to files, so that those of the host's child processes are seen too;
# they are printed when the run fails.
TSAN_LABELS  = tools|engine|control|net|host
TSAN_TARGETS = test_tools test_engine test_control test_net test_host
TSAN_REPORTS = $(abspath $(TSAN_DIR))/tsan-reports
TSAN_ENV = \
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp:log_path=$(TSAN_REPORTS)/report

# The libFuzzer targets (fuzz/), built with clang into a directory of their
# own. make test runs each for FUZZ_TEST_SECONDS over its committed corpus
# (fuzz/corpus/<name>/), make fuzz for FUZZ_SECONDS; new inputs go to
# $(FUZZ_DIR)/fuzz-corpus/, findings and logs to $(FUZZ_DIR)/fuzz-findings/.
FUZZ_TARGETS      = file_list url http_head persistence serve_request
FUZZ_TEST_SECONDS ?= 10
FUZZ_SECONDS      ?= 600

.PHONY: all deps build test test-release test-asan test-tsan test-fuzz fuzz fuzz-build demo screenshots bench clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: test-release test-asan test-tsan test-fuzz

test-release: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_DIR) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DPULLBAY_SANITIZE=ON
	cmake --build $(ASAN_DIR) -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B $(TSAN_DIR) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug -DPULLBAY_TSAN=ON
	cmake --build $(TSAN_DIR) -j $(JOBS) --target $(TSAN_TARGETS)
	rm -rf $(TSAN_REPORTS) && mkdir -p $(TSAN_REPORTS)
	$(TSAN_ENV) ctest --test-dir $(TSAN_DIR) --output-on-failure -j $(JOBS) -L '$(TSAN_LABELS)' || \
	  { cat $(TSAN_REPORTS)/report.* 2>/dev/null; exit 1; }

fuzz-build: deps
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPULLBAY_FUZZ=ON -DPULLBAY_BUILD_TESTS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))

test-fuzz: fuzz-build
	scripts/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_TEST_SECONDS) $(FUZZ_TARGETS)

fuzz: fuzz-build
	scripts/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The demo serves a generated file list on a loopback port and downloads it
# (headless into ./pullbay-demo-downloads unless DEMO_ARGS says otherwise).
# It needs the host program and the module it loads, nothing of the tests.
demo: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS) --target pullbay pullbay_module
	$(BUILD_DIR)/pullbay demo $(DEMO_ARGS)

# The control's dialogs rendered offscreen with sample data into docs/images.
screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/tests/render_dialogs docs/images
	npm ci --no-audit --no-fund --prefix $(BUILD_DIR)/browser-tests
	PULLBAY_PROGRAM=$(CURDIR)/$(BUILD_DIR)/pullbay \
	  PULLBAY_PAGE_SERVER=$(CURDIR)/$(BUILD_DIR)/tests/browser_page_server \
	  PULLBAY_TEST_PAGES=$(CURDIR)/tests/browser/pages PULLBAY_EXTENSION=$(CURDIR)/extension \
	  node $(BUILD_DIR)/browser-tests/screenshot.mjs docs/images/browser-page.png

# Throughput, system calls, memory and list loading of `run --headless`
# against curl and wget2 on a private nginx, then 200 small files over a
# delayed link (http and https with HTTP/2) against curl, wget2 and aria2c;
# prints a table each (never part of make test: timings belong to a quiet
# machine, not to a test verdict).
bench: build
	bench/throughput.sh $(BUILD_DIR)
	bench/delayed_link.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR) $(FUZZ_DIR)
