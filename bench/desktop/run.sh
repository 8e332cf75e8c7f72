#!/usr/bin/env bash
# Prints the desktop figures: a tick with nothing changed (target < 1 ms), a changed run, and
# ImageMagick composing the same eight blocks, with our time as a ratio of it.
# Runs on a private Xvfb (the bare X11 root window) when xvfb-run is installed.
# Usage: bench/desktop/run.sh <build dir>
set -euo pipefail
build=${1:?build dir}
bin="$build/bench/desktop/desktop_bench"
if command -v xvfb-run >/dev/null 2>&1; then
  env -u XDG_CURRENT_DESKTOP xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$bin"
else
  env -u DISPLAY -u XDG_CURRENT_DESKTOP "$bin"
fi
