# SPDX-License-Identifier: GPL-3.0-or-later
# Benchmarks: `make bench` builds the bench tools into $(BUILD)/bench and prints one table
# (start-up, memory, CPU during a drill, key-to-screen latency, micro-benchmarks). It is not part of
# `make test`. More runs or single groups: make bench BENCH_FLAGS="--runs 30 --only 1,2"
# (python3 bench/run_bench.py --help lists the options).
BENCH_FLAGS ?=

.PHONY: bench
bench: build
	@./tools/install-deps.sh --bench
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target bench_tools
	@python3 bench/run_bench.py --build $(BUILD) --json $(BUILD)/bench/last-run.json $(BENCH_FLAGS)
