#!/usr/bin/env bash
# Prints the day page figures (ready time, showing a day, one HTML read, one formatting command,
# memory), then the search from Enter to the filled result list, then the options page (opening
# with 200 library pictures, a large JPEG preview).
# Usage: bench/ui/run.sh <build dir>
set -euo pipefail
build=${1:?build dir}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export QTWEBENGINE_CHROMIUM_FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}
"$build/bench/ui/ui_bench" 2>/dev/null
"$build/bench/ui/ui_search_bench" 2>/dev/null
"$build/bench/ui/ui_options_bench" 2>/dev/null
