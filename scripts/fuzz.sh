#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while.
#   scripts/fuzz.sh [SECONDS]     (default 60 per target)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
seconds=${1:-60}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DRYN_BUILD_FUZZ=ON -DRYN_BUILD_TESTS=OFF
cmake --build build-fuzz -j "$(nproc)"
for target in build-fuzz/bin/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/${name#fuzz_}" ] && seeds=("fuzz/seeds/${name#fuzz_}")
  echo "== $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=4096 -print_final_stats=1 \
    "$corpus" "${seeds[@]}" 2>&1 | tail -n 12
done
