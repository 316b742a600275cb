#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while, then
# prints each target's runs, runs per second and outcome. Exits 1 when any
# target reported a finding (its reproducer is left in build-fuzz/findings/).
#   scripts/fuzz.sh [--runs N] [SECONDS [TARGET...]]
#     (default 60 s per target, every target; --runs N: a target also stops
#     once it has run N inputs)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
source scripts/ccache_env.sh
# The coverage ignore list is read by the compiler: the cache must know it as
# an input, or an object built under an older list comes back.
export CCACHE_EXTRAFILES="$PWD/fuzz/coverage_ignore.txt"
run_limit=()
if [ "${1:-}" = --runs ]; then
  run_limit=(-runs="$2")
  shift 2
fi
seconds=${1:-60}
shift || true
started=$(date +%s)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DRYN_BUILD_FUZZ=ON -DRYN_BUILD_TESTS=OFF
# Only the fuzz targets (and the libraries they link).
all_targets=()
for src in fuzz/fuzz_*.cpp; do all_targets+=("$(basename "$src" .cpp)"); done
cmake --build build-fuzz -j "$(nproc)" --target "${all_targets[@]}"
echo "== fuzz build took $(($(date +%s) - started))s"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=("${all_targets[@]}"); fi

# The targets' scratch files on a memory file system where there is one.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
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
  t0=$(date +%s%N)
  # -reload=0: no other process adds to the corpus, so it is not listed and
  # read again every second (a few per cent of a run once it holds hundreds).
  if ! "$target" -max_total_time="$seconds" "${run_limit[@]}" -rss_limit_mb=4096 -reload=0 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/findings/$name-" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    outcome=FINDING
    failed=1
  fi
  tail -n 12 "$log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  # libFuzzer counts whole seconds and says 0 for a run shorter than one:
  # then the rate comes from the run's own wall-clock time.
  if [ "${rate:-0}" = 0 ] && [ "${runs:-0}" -gt 0 ]; then
    rate=$((runs * 1000 / (($(date +%s%N) - t0) / 1000000 + 1)))
  fi
  summary+=("$(printf '%-28s %10s runs %8s runs/s  %s' "$name" "${runs:-?}" "${rate:-?}" "$outcome")")
done

echo "== summary (${seconds}s per target${run_limit[0]:+, at most ${run_limit[0]#-runs=} inputs})"
printf '%s\n' "${summary[@]}"
echo "== fuzzing took $(($(date +%s) - started))s in all"
exit "$failed"
