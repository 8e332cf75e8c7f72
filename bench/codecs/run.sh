#!/usr/bin/env bash
# Prints the picture codec figures (milliseconds per operation, medians of 5 repetitions):
# 1920x1080 JPEG decode, 1920x1080 BMP read/encode/save, stretches 1920x1080->3840x2160,
# 1024x768->1920x1080, 3840x2160->1920x1080, and a library preview from a 1920x1080 JPEG.
# Usage: bench/codecs/run.sh <build dir>
set -euo pipefail
build=${1:?build dir}
"$build/bench/codecs/codecs_bench" --benchmark_min_time=0.2 --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true "${@:2}" | grep -v -E '_(mean|stddev|cv) '
