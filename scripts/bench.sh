#!/usr/bin/env bash
# Builds the benchmarks (default preset) and prints every area's figures.
# Each area keeps a bench/<area>/run.sh that prints its own figures; run one with: scripts/bench.sh <area>
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ccache-env.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
for run in bench/*/run.sh; do
  area=$(basename "$(dirname "$run")")
  [ -n "${1:-}" ] && [ "$1" != "$area" ] && continue
  printf '\n==== %s ====\n' "$area"
  bash "$run" build/default
done
