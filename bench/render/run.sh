#!/usr/bin/env bash
# Prints the drawing-run figures (milliseconds, medians of 5 repetitions). Targets:
# a run with changed entries at 1920x1080 under 25 ms, a cache rebuild from a 1920x1080 JPEG
# under 80 ms, a changed run at 3840x2160 under 100 ms. Files are written to the temp folder.
# Usage: bench/render/run.sh <build dir>
set -euo pipefail
build=${1:?build dir}
"$build/bench/render/render_bench" --benchmark_min_time=0.5 --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true "${@:2}" | grep -v -E '_(mean|stddev|cv) '
