#!/usr/bin/env bash
# Builds the Debian packages weekleaf and weekleaf-sync from the default build tree
# (RelWithDebInfo; the packaged binaries are stripped) into build/packages/.
# Usage: scripts/package.sh [BUILD_DIR]   (default build/default, configured when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
out=build/packages

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset default >/dev/null
fi
cmake --build "$build" -j "$(nproc)" \
  --target weekleaf weekleaf-restarter weekleaf-render weekleaf-sync wl_package_files
rm -rf "$out"
mkdir -p "$out"
# cpack runs the install rules into a staging folder and computes Depends from the binaries'
# shared libraries (dpkg-shlibdeps).
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
  cat "$out/cpack.log"
  exit 1
}
rm -rf "$out/_CPack_Packages"
ls -1 "$out"/*.deb
