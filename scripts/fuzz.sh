#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while, then
# prints each target's runs, runs per second and outcome. Exits 1 when any
# target reported a finding (its reproducer is left in build-fuzz/findings/).
#   scripts/fuzz.sh [SECONDS [TARGET...]]   (default 60 s per target, every target)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
seconds=${1:-60}
shift || true
started=$(date +%s)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DRYN_BUILD_FUZZ=ON -DRYN_BUILD_TESTS=OFF
cmake --build build-fuzz -j "$(nproc)"
echo "== fuzz build took $(($(date +%s) - started))s"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for target in build-fuzz/bin/fuzz_*; do
    [ -x "$target" ] && targets+=("$(basename "$target")")
  done
fi

mkdir -p build-fuzz/findings build-fuzz/logs
summary=()
failed=0
for name in "${targets[@]}"; do
  target=build-fuzz/bin/$name
  corpus=build-fuzz/corpus/$name
  log=build-fuzz/logs/$name.log
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/${name#fuzz_}" ] && seeds=("fuzz/seeds/${name#fuzz_}")
  echo "== $name for ${seconds}s"
  outcome=ok
  if ! "$target" -max_total_time="$seconds" -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/findings/$name-" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    outcome=FINDING
    failed=1
  fi
  tail -n 12 "$log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  summary+=("$(printf '%-28s %10s runs %8s runs/s  %s' "$name" "${runs:-?}" "${rate:-?}" "$outcome")")
done

echo "== summary (${seconds}s per target)"
printf '%s\n' "${summary[@]}"
echo "== fuzzing took $(($(date +%s) - started))s in all"
exit "$failed"
