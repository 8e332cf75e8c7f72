#!/usr/bin/env bash
# Builds and runs every test: the fuzz targets briefly, the thread-heavy tests under ThreadSanitizer,
# everything under AddressSanitizer + UBSan, then the whole suite in the default build, and last
# the Debian packages made from that build (installed into this machine, then purged; root only).
# Expects scripts/setup.sh to have run. Usage: scripts/test.sh [--quick]  (--quick: default build only)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ccache-env.sh
export QTWEBENGINE_DISABLE_SANDBOX=1
jobs=$(nproc)
# A test that fails gets one more try: a few timing-sensitive tests (a browser page, a socket's close)
# can miss once on a machine loaded by the other tests. Its first failure stays in the log above the
# summary; a test that fails twice fails the run.
retry=(--repeat until-pass:2)

step() { printf '\n==== %s ====\n' "$*"; }

if [ "${1:-}" != "--quick" ]; then
  step "fuzz targets (clang + libFuzzer)"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  bash scripts/fuzz.sh build/fuzz 5

  step "thread-heavy tests under ThreadSanitizer"
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j "$jobs"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --preset tsan -j "$jobs" "${retry[@]}"

  step "all tests under AddressSanitizer + UBSan"
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j "$jobs"
  ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" ctest --preset asan -j "$jobs" -LE no-asan "${retry[@]}"
fi

step "all tests (default build)"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs" "${retry[@]}"

step "Debian packages: build, check, install, run, remove"
if [ "$(id -u)" -eq 0 ]; then
  bash scripts/test-packages.sh build/default
else
  echo "skipped: installing the packages needs root"
fi
