# Sourced by the build scripts: every build tree goes through ccache when it is installed. Paths
# are hashed relative to the checkout, so another clone on the same machine (CI's, a second work
# tree) reuses the objects this one compiled instead of building everything again.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
