#!/usr/bin/env bash
# The main job: builds ryn and runs a scripted session against a simulated
# controller, printing what a user at the terminal would see.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh >&2
source scripts/ccache_env.sh

# RYN_BUILD_DIR names a build that already holds ryn (CI reuses one of its
# test builds); otherwise a Release build in build-run/.
bin=${RYN_BUILD_DIR:-build-run}/bin
if [ -z "${RYN_BUILD_DIR:-}" ]; then
  log=$(mktemp)
  if ! { cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DRYN_BUILD_TESTS=OFF &&
         cmake --build build-run -j "$(nproc)"; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "run.sh: the build failed (output above)" >&2
    exit 1
  fi
  rm -f "$log"
fi
[ -x "$bin/ryn" ] || { echo "run.sh: no ryn in $bin" >&2; exit 1; }

export PATH="$(cd "$bin" && pwd):$PATH"
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

heading "Read its model configuration, sensor settings and algorithm parameters"
step ryn --sim base.json info get model.ini
printf '\n$ head -n 24 model.ini\n'; head -n 24 model.ini | tr -d '\r'
printf '\n$ grep -A4 "algorithm parameter" model.ini\n'; grep -A4 "algorithm parameter" model.ini | tr -d '\r'

heading "Change the product id (on purpose: --write-identity) and a sensor setting, write them back, read again"
step sed -i -e 's/^pid=0x3101/pid=0x3102/' -e 's/^cam0_flip=enable,0/cam0_flip=enable,2/' model.ini
step ryn --sim base.json info set model.ini --write-identity
step ryn --sim base.json info get again.ini
printf '\n$ grep -E "^(pid|cam0_flip)=" again.ini\n'; grep -E "^(pid|cam0_flip)=" again.ini | tr -d '\r'

heading "A file without vid is refused, and the device record stays as it was"
step ryn sim dump base.json model-cfg -o before.bin
step sed -i '/^vid=/d' model.ini
step ryn --sim base.json info set model.ini
step ryn sim dump base.json model-cfg -o after.bin
step cmp before.bin after.bin

heading "GET then SET on every record version leaves the device record as it was"
for version in 0x100 0x101 0x102 0x103; do
  step ryn sim create "m$version.json" --family base --model-version "$version"
  step ryn sim dump "m$version.json" model-cfg -o "m$version.before"
  step ryn --quiet --sim "m$version.json" info get "m$version.ini"
  # SET warns about every key the file lacks; the last line is enough here.
  printf '\n$ ryn --quiet --sim m%s.json info set m%s.ini | tail -n 1\n' "$version" "$version"
  status=0
  ryn --quiet --sim "m$version.json" info set "m$version.ini" >set.log 2>&1 || status=$?
  if [[ -s set.log ]]; then tail -n 1 set.log; else echo "(no messages)"; fi
  if ((status != 0)); then printf '[exit status %d]\n' "$status"; fi
  step ryn sim dump "m$version.json" model-cfg -o "m$version.after"
  step cmp "m$version.before" "m$version.after"
done
heading "Firmware: build an image and a flash builder file, and check the image"
step ryn image build --format base -o fw.bin --normal-version 2.3.1400.1
step ryn image build --format flash-builder -o fb.bin
step ryn image inspect fw.bin --format base

heading "Update the normal code (the version strings before and after)"
step ryn --sim base.json info versions before.ini
grep '^normal=' before.ini
step ryn --sim base.json fw update fw.bin
step ryn --sim base.json info versions after.ini
grep '^normal=' after.ini

heading "An older controller (g40 firmware): automatic mode chooses a flash-layout update"
step ryn sim create old.json --family base --updater-version 2.0.0101.1 --normal-version 2.0.0101.3
step ryn --sim old.json fw update fw.bin --mode auto --flash-builder fb.bin
step ryn --sim old.json info versions old.ini
show old.ini

heading "An image with one flipped byte is refused before the device is touched"
# A byte inside the version string section, which ryn image build places at 0x20100.
offset=$((88 + 0x20100 + 130))
cp fw.bin bad.bin
byte=$(od -An -tu1 -j "$offset" -N1 fw.bin | tr -d ' ')
printf "$(printf '\\%03o' $((byte ^ 1)))" | dd of=bad.bin bs=1 seek="$offset" conv=notrunc status=none
step ryn --sim base.json fw update bad.bin
heading "A 5810 controller: build its image, update it running from flash, and one already in Maskrom"
step ryn image build --format 5810 -o fw5810.bin
step ryn sim create c5810.json --family 5810
step ryn --sim c5810.json fw update fw5810.bin
step ryn sim create rom5810.json --family 5810 --fw-mode maskrom
step ryn --quiet --sim rom5810.json fw update fw5810.bin --mode layout
step ryn sim dump rom5810.json flash -o flash.bin
printf '\n$ cmp -n 4096 flash.bin fw5810.bin\n'; cmp -n 4096 flash.bin fw5810.bin && echo "(the flash starts with the image)"

heading "A serial flash the flash driver list does not name is refused"
step ryn sim create odd5810.json --family 5810 --flash-id 0x123456
step ryn --quiet --sim odd5810.json fw update fw5810.bin

heading "Device 2 of a six-camera system"
step ryn sim create six.json --family 6cam
step ryn --quiet --sim six.json --6cam-dev 2 fw update fw5810.bin


heading "A 5920 controller: three code banks, each written and read back"
step ryn sim create d5920.json --family 5920
step ryn image build --format 5920 -o banked.bin
step ryn --sim d5920.json --quiet fw update banked.bin

heading "A corrupted read-back fails the verify"
step ryn sim corrupt d5920.json ryn_get_data --offset 16
step ryn --sim d5920.json --quiet fw update banked.bin
step ryn sim fail d5920.json --clear

heading "A six-camera LPC4320 controller: a 1.0 image needs the layout (\"Complete\") mode"
step ryn sim create six.json --family 6cam --force
step ryn image build --format lpc4320 --header-version 1.0 -o lpc10.bin
printf '\n$ ryn --sim six.json --6cam-dev lpc --quiet fw update lpc10.bin | tail -n 3\n'
status=0
ryn --sim six.json --6cam-dev lpc --quiet fw update lpc10.bin >lpc.log 2>&1 || status=$?
tail -n 3 lpc.log
if ((status != 0)); then printf '[exit status %d]\n' "$status"; fi
printf '\n$ ryn --sim six.json --6cam-dev lpc --quiet fw update lpc10.bin --mode layout | tail -n 4\n'
status=0
ryn --sim six.json --6cam-dev lpc --quiet fw update lpc10.bin --mode layout >lpc.log 2>&1 || status=$?
tail -n 4 lpc.log
if ((status != 0)); then printf '[exit status %d]\n' "$status"; fi
heading "Calibration: read it into an INI file, edit one value, write it back"
step ryn sim create cali.json --family base --cali-version 10
step ryn --sim cali.json cali get cali.ini
printf '\n$ grep -E "^(cam1_thr|cam0_bound_l)=" cali.ini\n'; grep -E "^(cam1_thr|cam0_bound_l)=" cali.ini
printf '\n$ sed -i "s/^cam1_thr=.*/cam1_thr=+2.2500000000e+000/" cali.ini\n'
sed -i "s/^cam1_thr=.*/cam1_thr=+2.2500000000e+000/" cali.ini
step ryn --sim cali.json --quiet cali set cali.ini
step ryn --sim cali.json --quiet cali get cali-again.ini
printf '\n$ grep "^cam1_thr=" cali-again.ini\n'; grep "^cam1_thr=" cali-again.ini

heading "An old text calibration file whose line 10 is broken leaves the device as it was"
step ryn sim dump cali.json cali -o before.bin
{ printf '\xEF\xBB\xBF# old calibration text\n'; for i in $(seq 0 161); do
    if ((i == 10)); then echo "101.5,201.5"; elif ((i >= 9 && i <= 12)); then echo "(1,2)";
    elif ((i >= 3 && i <= 8)); then echo "1 2 3 4 5"; else echo 0; fi; done; } >old.txt
step ryn --sim cali.json --quiet cali set old.txt --text
step ryn sim dump cali.json cali -o after.bin
step cmp before.bin after.bin

heading "Calibration of a six-camera system: its LPC4320 controller, then 5810 device 1"
step ryn sim create six.json --family 6cam --force
step ryn --quiet --sim six.json cali get six-cali.ini
printf '\n$ head -n 8 six-cali.ini\n'; head -n 8 six-cali.ini | tr -d '\r'
step ryn --6cam-dev 1 --quiet --sim six.json cali get six-dev1.ini
printf '\n$ grep -c = six-dev1.ini\n'; grep -c = six-dev1.ini

heading "Device information of a six-camera system's 5810 device 2: GET, then SET back"
step ryn sim dump six.json model-cfg --dev 2 -o six.before
step ryn --6cam-dev 2 --quiet --sim six.json info get six.ini
printf '\n$ grep -E "^(model_name|FW_PARAM_0714|algo_end_marker)=" six.ini\n'
grep -E "^(model_name|FW_PARAM_0714|algo_end_marker)=" six.ini
step ryn --6cam-dev 2 --quiet --sim six.json info set six.ini
step ryn sim dump six.json model-cfg --dev 2 -o six.after
step cmp six.before six.after

heading "A 5920 file without one system parameter is refused; the device keeps its record"
step ryn sim create r5920.json --family 5920
step ryn --quiet --sim r5920.json info get r5920.ini
step ryn sim dump r5920.json model-cfg -o r5920.before
step sed -i '/^SYS_PARAM_0005=/d' r5920.ini
step ryn --quiet --sim r5920.json info set r5920.ini
step ryn sim dump r5920.json model-cfg -o r5920.after
step cmp r5920.before r5920.after

heading "A service job on a 5920 unit: back up, update, confirm, put the calibration back"
step ryn sim create unit.json --family 5920 --serial UNIT-0042
step ryn --sim unit.json device show --check
step ryn --sim unit.json backup unit-0042
step ryn --sim unit.json --quiet fw update banked.bin
step ryn --sim unit.json fw verify banked.bin
step ryn --sim unit.json cali diff unit-0042/cali.ini
step ryn --sim unit.json info diff unit-0042/info.ini
step ryn --sim unit.json --quiet restore unit-0042
step ryn --sim unit.json fw verify banked.bin --json --log service.log
show service.log

heading "The other unit of the family refuses this unit's backup unless told"
step ryn sim create spare.json --family 5920 --serial UNIT-0043
step ryn --sim spare.json --quiet restore unit-0042
step ryn --sim spare.json --quiet restore unit-0042 --to-other-unit
echo
