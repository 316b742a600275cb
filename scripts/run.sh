#!/usr/bin/env bash
# The main job: builds ryn and runs a scripted session against simulated
# controllers, printing what a user at the terminal would see.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh >&2
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DRYN_BUILD_TESTS=OFF >/dev/null
cmake --build build-run -j "$(nproc)" >/dev/null

ryn=$PWD/build-run/bin/ryn
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

step() { printf '\n$ %s\n' "$*"; "$@" || printf '(exit status %d)\n' "$?"; }
show() { printf '\n$ cat %s\n' "$1"; cat "$1"; }

echo "== a base controller, simulated"
step "$ryn" sim create base.json --family base
step "$ryn" --sim base.json info versions versions.ini
show versions.ini

echo
echo "== the device refuses to give its version strings"
step "$ryn" sim fail base.json ryn_get_fw_ver_str
step "$ryn" --sim base.json info versions versions.ini
step "$ryn" sim fail base.json --clear
step "$ryn" --sim base.json info versions versions.ini
