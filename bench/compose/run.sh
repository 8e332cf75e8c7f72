#!/usr/bin/env bash
# Prints the composition figures. Target: HtmlToText over 3,650 entries of ~1 KB under 20 ms.
# Usage: bench/compose/run.sh <build dir>
set -euo pipefail
build=${1:?build dir}
"$build/bench/compose/compose_bench" --benchmark_min_time=0.5 "${@:2}"
