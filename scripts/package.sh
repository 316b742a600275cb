#!/usr/bin/env bash
# Writes the release packages into dist/ (CPack):
#   ryn_usr-V-linux-x86_64.tar.gz and ryn-usr_V_amd64.deb   from the GCC build in build/
#   ryn_usr-V-win64.zip                                      from the MinGW-w64 build in build-windows/
# A build folder that exists already (the test runs make them) is reused as it
# is configured; a missing one is configured without tests, so a fresh clone
# needs nothing before this script. Either way the folder's default target is
# built: every file an install rule names (the man page ryn.1 that ryn prints,
# the copied definition files, the MSVC import libraries) comes from a target
# built by default, so nothing the packages hold can be left unbuilt.
#   scripts/package.sh [--linux | --windows]     both by default
#   RYN_BUILD_DIR, RYN_WINDOWS_BUILD_DIR          other build folders
set -euo pipefail
cd "$(dirname "$0")/.."

linux=1
windows=1
for arg in "$@"; do
  case "$arg" in
    --linux) windows=0 ;;
    --windows) linux=0 ;;
    *) echo "usage: $0 [--linux | --windows]" >&2; exit 2 ;;
  esac
done
if ((windows)); then bash scripts/deps.sh --windows; else bash scripts/deps.sh; fi
source scripts/ccache_env.sh

# package DIR CONFIGURE-ARGS...
package() {
  local dir=$1
  shift
  local configure=("$@")
  if [ -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" >/dev/null
  else
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRYN_BUILD_TESTS=OFF \
          -DRYN_BUILD_BENCH=OFF "${configure[@]}"
  fi
  cmake --build "$dir" -j "$(nproc)"
  cpack --config "$dir/CPackConfig.cmake" -B "$dir/cpack"
}

mkdir -p dist
if ((linux)); then
  package "${RYN_BUILD_DIR:-build}"
fi
if ((windows)); then
  package "${RYN_WINDOWS_BUILD_DIR:-build-windows}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
fi
ls -l dist
