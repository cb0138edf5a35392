#!/usr/bin/env bash
# Runs every benchmark executable the build produced.
set -euo pipefail
build_dir=${1:-build}
cd "$(dirname "$0")/.."
status=0
for b in "$build_dir"/bench/*/bench_*; do
    [ -x "$b" ] || continue
    echo "== $b"
    "$b" --benchmark_min_time=0.2 || status=1
done
exit $status
