#!/usr/bin/env bash
# Builds the library, the device simulator, the CLI and every test, then runs
# the whole suite with ctest.
#   scripts/test.sh              GCC build in build/
#   scripts/test.sh --sanitize   ASan + UBSan build with Clang in build-asan/
#   scripts/test.sh --clang      Clang build in build-clang/
#   scripts/test.sh --thread     ThreadSanitizer build with Clang in build-tsan/: only the suites
#                                whose threads meet (concurrency, sweep, simulator)
#   scripts/test.sh --windows    MinGW-w64 cross build in build-windows/, tests run through Wine
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
deps_args=()
windows=0
targets=()   # all when empty
labels=()    # the suites ctest runs, all when empty
cmake_args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRYN_BUILD_TESTS=ON -DRYN_BUILD_BENCH=ON)
for arg in "$@"; do
  case "$arg" in
    --sanitize) build=build-asan; cmake_args+=(-DRYN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DRYN_BUILD_BENCH=OFF
                                           -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
    --thread) build=build-tsan; cmake_args+=(-DRYN_SANITIZE_THREAD=ON -DRYN_BUILD_BENCH=OFF
                                         -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
      targets=(ryn_concurrency_tests ryn_sweep_tests ryn_sim_tests); labels=(-L '^(concurrency|sweep|sim)$') ;;
    --clang) build=build-clang; cmake_args+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
    --windows)
      build=build-windows; windows=1; deps_args+=(--windows)
      cmake_args+=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DRYN_BUILD_BENCH=OFF) ;;
    *) echo "usage: $0 [--sanitize] [--clang] [--thread] [--windows]" >&2; exit 2 ;;
  esac
done
bash scripts/deps.sh "${deps_args[@]}"
source scripts/ccache_env.sh

cmake -S . -B "$build" "${cmake_args[@]}"
if ((windows)); then
  # One Wine prefix inside the build folder, so that runs do not depend on the
  # user's own. It is set up before the build, whose test discovery already
  # runs the test programs; a persistent wine server keeps each start short.
  export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all
  mkdir -p "$WINEPREFIX"
  wineserver -p
  trap 'wineserver -k || true' EXIT
  wineboot -i
fi
cmake --build "$build" -j "$(nproc)" ${targets[@]:+--target "${targets[@]}"}
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# A test that hangs fails after ten minutes instead of holding the run.
ctest --test-dir "$build" --output-on-failure --timeout 600 -j "$(nproc)" "${labels[@]}"
