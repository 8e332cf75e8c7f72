#!/usr/bin/env bash
# Prints the note store figures (load, save, lookup over ten years of days), then the local search
# and the conversion of an older store over the same ten years.
# Usage: bench/data/run.sh <build dir>
set -euo pipefail
build=${1:?usage: $0 <build dir>}
for name in bench_data_store bench_data_search_rebuild; do
  exe=$(find "$build/bench/data" -maxdepth 1 -type f -name "$name" -perm -u+x | head -n 1)
  [ -n "$exe" ] || { echo "$name not built in $build" >&2; exit 1; }
  "$exe"
done
