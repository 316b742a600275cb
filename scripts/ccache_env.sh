# Sourced by the build scripts from the checkout's root, after scripts/deps.sh.
# The CI steps build the same sources in several configurations, and a machine
# keeps its compiler cache between runs, so a cached object saves a recompile.
# Paths are hashed relative to the checkout, so another clone of the tree hits too.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
