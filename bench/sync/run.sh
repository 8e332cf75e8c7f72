#!/usr/bin/env bash
# Prints the sync client's framing figures (frame building and reading, bytes per second).
# Usage: bench/sync/run.sh <build dir>
set -euo pipefail
build=${1:?usage: $0 <build dir>}
exe=$(find "$build/bench/sync" -maxdepth 1 -type f -name bench_sync_frames -perm -u+x | head -n 1)
[ -n "$exe" ] || { echo "bench_sync_frames not built in $build" >&2; exit 1; }
"$exe" --benchmark_min_time=0.2
