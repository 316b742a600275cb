#!/usr/bin/env bash
# Builds the library, the device simulator, the CLI and every test, then runs
# the whole suite with ctest.
#   scripts/test.sh              GCC build in build/
#   scripts/test.sh --sanitize   ASan + UBSan build with Clang in build-asan/
#   scripts/test.sh --clang      Clang build in build-clang/
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

build=build
cmake_args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRYN_BUILD_TESTS=ON -DRYN_BUILD_BENCH=ON)
for arg in "$@"; do
  case "$arg" in
    --sanitize) build=build-asan; cmake_args+=(-DRYN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DRYN_BUILD_BENCH=OFF
                                           -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
    --clang) build=build-clang; cmake_args+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
    *) echo "usage: $0 [--sanitize] [--clang]" >&2; exit 2 ;;
  esac
done

cmake -S . -B "$build" "${cmake_args[@]}"
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
