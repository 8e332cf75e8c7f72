#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a few seconds each, starting from its seed corpus.
# Usage: scripts/fuzz.sh [build dir] [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/fuzz}
secs=${2:-5}
found=0
for f in $(find "$dir/fuzz" -maxdepth 3 -type f -name 'fuzz_*' -perm -u+x 2>/dev/null | sort); do
  name=$(basename "$f")
  seeds=fuzz/corpus/${name#fuzz_}
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null || true
  echo "fuzz: $name for ${secs}s"
  "$f" -max_total_time="$secs" -max_len=65536 -rss_limit_mb=2048 -print_final_stats=0 "$work" 2>"$work.log" \
    || { tail -n 40 "$work.log"; echo "fuzz: $name FAILED"; exit 1; }
  rm -rf "$work" "$work.log"
  found=$((found + 1))
done
echo "fuzz: $found targets ran clean"
