# SPDX-License-Identifier: GPL-3.0-or-later
# Quick start on Debian 12: `make run` or `make test`. Both install what is missing first.
# `make run` builds the program alone; `make test` builds everything and runs every test. They
# share the build folder: the first `make run` in a new one configures it with testing off, and
# `make test` turns testing on.
MAKEFLAGS += --no-print-directory
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
FUZZ_SECONDS ?= 10
FUZZ_LONG_SECONDS ?= 300
FUZZERS = fuzz_iniinteger fuzz_inifile fuzz_resultfields fuzz_besttimes fuzz_painter fuzz_historydb fuzz_answercodec fuzz_import

.PHONY: all deps configure build configure-program program run test unit-test sanitize-test fuzz-build fuzz-smoke fuzz clean

all: build

deps:
	@./tools/install-deps.sh

# Everything, the tests included.
configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DBUILD_TESTING=ON >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The program alone. A build folder that exists keeps its configuration (the build itself
# configures again when a CMakeLists.txt changed), so that a run with nothing to do does nothing.
configure-program:
	@./tools/install-deps.sh --run
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DBUILD_TESTING=OFF >/dev/null

program: configure-program
	@cmake --build $(BUILD) -j $(JOBS) --target touchdrill

run: program
	@if [ -z "$${DISPLAY:-}" ] && [ -z "$${WAYLAND_DISPLAY:-}" ]; then \
	  echo "make run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); touchdrill is a desktop program and needs one." >&2; \
	  exit 1; \
	fi
	./$(BUILD)/touchdrill

unit-test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test: unit-test sanitize-test fuzz-smoke windows-test-if-qt

# Every unit and window test again under AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer; any report fails the run. The end-to-end tests run the plain build only, and the
# simulated learners' histories (tens of millions of answers, arithmetic the tables cover too).
sanitize-test: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTOUCHDRILL_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 GTEST_FILTER='-*OnRealDays*' \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	  ctest --output-on-failure -j $(JOBS) -LE e2e

fuzz-build: deps
	@CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOUCHDRILL_FUZZ_INSTRUMENT=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZERS)

fuzz-smoke: fuzz-build
	@./tools/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz: fuzz-build
	@./tools/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_LONG_SECONDS)

# Long reliability runs: 100 kills, a 10,000-key flood, 200 drill cycles and every file fault
# (about 3 minutes); make test runs shorter versions of each.
.PHONY: reliability
reliability: build
	python3 tests/e2e/run_reliability.py --exe $(BUILD)/touchdrill --shim $(BUILD)/tests/e2e/faultshim.so --full

# Benchmarks (make bench) and packaging (make dist, make install-desktop) live beside their code.
-include bench/bench.mk
-include packaging/packaging.mk
-include windows/windows.mk

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
