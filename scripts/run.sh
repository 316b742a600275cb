#!/usr/bin/env bash
# The main job: builds ryn and runs a scripted session against a simulated
# controller, printing what a user at the terminal would see.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh >&2

log=$(mktemp)
if ! { cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DRYN_BUILD_TESTS=OFF &&
       cmake --build build-run -j "$(nproc)"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "run.sh: the build failed (output above)" >&2
  exit 1
fi
rm -f "$log"

export PATH="$PWD/build-run/bin:$PATH"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# step CMD...: shows the command as typed, runs it, and shows a failing exit
# status. Its stderr joins stdout so that progress stays in order with the rest.
step() {
  printf '\n$ %s\n' "$*"
  local status=0
  "$@" 2>&1 || status=$?
  if ((status != 0)); then printf '[exit status %d]\n' "$status"; fi
}
show() { printf '\n$ cat %s\n' "$1"; cat "$1"; }
heading() { printf '\n== %s\n' "$*"; }

heading "A simulated base controller, kept in base.json"
step ryn sim create base.json --family base

heading "Read its version strings into an INI file"
step ryn --sim base.json info versions versions.ini
show versions.ini

heading "Make the device refuse to give its version strings"
step ryn sim fail base.json ryn_get_fw_ver_str
step ryn --sim base.json info versions versions.ini

heading "Clear the fault: the request works again"
step ryn sim fail base.json --clear
step ryn --sim base.json info versions versions.ini

heading "Calibration: read it into an INI file, edit one value, write it back"
step ryn sim create cali.json --family base --cali-version 10
step ryn --sim cali.json cali get cali.ini
printf '\n$ grep -E "^(cam1_thr|cam0_bound_l)=" cali.ini\n'; grep -E "^(cam1_thr|cam0_bound_l)=" cali.ini
printf '\n$ sed -i "s/^cam1_thr=.*/cam1_thr=+2.2500000000e+000/" cali.ini\n'
sed -i "s/^cam1_thr=.*/cam1_thr=+2.2500000000e+000/" cali.ini
step ryn --sim cali.json --quiet cali set cali.ini
step ryn --sim cali.json --quiet cali get again.ini
printf '\n$ grep "^cam1_thr=" again.ini\n'; grep "^cam1_thr=" again.ini

heading "An old text calibration file whose line 10 is broken leaves the device as it was"
step ryn sim dump cali.json cali -o before.bin
{ printf '\xEF\xBB\xBF# old calibration text\n'; for i in $(seq 0 161); do
    if ((i == 10)); then echo "101.5,201.5"; elif ((i >= 9 && i <= 12)); then echo "(1,2)";
    elif ((i >= 3 && i <= 8)); then echo "1 2 3 4 5"; else echo 0; fi; done; } >old.txt
step ryn --sim cali.json --quiet cali set old.txt --text
step ryn sim dump cali.json cali -o after.bin
step cmp before.bin after.bin
echo
