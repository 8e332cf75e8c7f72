#!/usr/bin/env bash
# Prints the note store figures (load, save, lookup over ten years of days).
# Usage: bench/data/run.sh <build dir>
set -euo pipefail
build=${1:?usage: $0 <build dir>}
exe=$(find "$build/bench/data" -maxdepth 1 -type f -name bench_data_store -perm -u+x | head -n 1)
[ -n "$exe" ] || { echo "bench_data_store not built in $build" >&2; exit 1; }
"$exe"
