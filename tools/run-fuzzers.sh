#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every libFuzzer target of a fuzz build for a bounded time each, on the checked-in seeds.
# Usage: tools/run-fuzzers.sh BUILD_DIR SECONDS_PER_TARGET
set -eu
build=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for fuzzer in "$build"/tests/fuzz/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    corpus=$(mktemp -d)
    if [ -d "$root/tests/fuzz/corpus/$name" ]; then
        cp "$root/tests/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true
    fi
    log="$build/$name.log"
    if QT_QPA_PLATFORM=offscreen "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$build/$name-" "$corpus" >"$log" 2>&1; then
        echo "fuzz: $name ok ($(grep -Eo '#[0-9]+' "$log" | tail -n 1 | tr -d '#') runs in ${seconds}s)"
    else
        echo "fuzz: $name FAILED, see $log"
        tail -n 30 "$log"
        status=1
    fi
    rm -rf "$corpus"
done
exit $status
