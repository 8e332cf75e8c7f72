#!/usr/bin/env bash
# Builds the project and starts the desktop app (X11 session needed; as root the editor's
# sandbox is switched off, which Chromium requires there).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ccache-env.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target weekleaf
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
exec build/default/src/app/weekleaf "$@"
