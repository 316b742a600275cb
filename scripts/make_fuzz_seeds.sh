#!/usr/bin/env bash
# Regenerates the image seeds of the fuzz targets with `ryn image build`, with
# tiny sections so that each seed stays small (see fuzz/seeds/README.md for
# the two the builder keeps larger). A target that takes a
# leading choice byte gets it in front of the image.
#   scripts/make_fuzz_seeds.sh [RYN]     (default: build/bin/ryn)
# The base image is left out: its layout sections start at flash address
# 0x20000, so a built one is over 128 KiB; its seed stays the small
# hand-made one (the builder's image is checked by the target at start-up).
set -euo pipefail
cd "$(dirname "$0")/.."
ryn=${1:-build/bin/ryn}
[ -x "$ryn" ] || { echo "no ryn at $ryn (build it, or name it)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'tiny code' >"$work/code"
printf 'tiny update' >"$work/update"
printf 'model' >"$work/model"
printf 'cali' >"$work/cali"
tiny=(--normal-code "$work/code" --model-config "$work/model" --calibration "$work/cali")

build() {  # build OUT ARGS...
  local out=$1
  shift
  "$ryn" image build -o "$out" "$@" >/dev/null
}

# seed DIR NAME CHOICE-BYTE-OR-EMPTY IMAGE
seed() {
  local dir=fuzz/seeds/$1 name=$2 choice=$3 image=$4
  mkdir -p "$dir"
  if [ -n "$choice" ]; then
    { printf "\\x$choice"; cat "$image"; } >"$dir/$name"
  else
    cp "$image" "$dir/$name"
  fi
}

build "$work/fb" --format flash-builder --normal-code "$work/code"
seed base_image built_flash_builder 01 "$work/fb"

build "$work/5810" --format 5810 "${tiny[@]}"
seed c5810_image built_c5810 00 "$work/5810"
seed c5810_image built_sixcam5810 01 "$work/5810"

build "$work/5920" --format 5920 "${tiny[@]}"
seed c5920_image built "" "$work/5920"

build "$work/4320_11" --format lpc4320 "${tiny[@]}" --update-code "$work/update"
build "$work/4320_10" --format lpc4320 "${tiny[@]}" --update-code "$work/update" \
  --header-version 1.0
seed lpc4320_image built_v11_normal 00 "$work/4320_11"
seed lpc4320_image built_v11_layout 01 "$work/4320_11"
seed lpc4320_image built_v10_layout 01 "$work/4320_10"

ls -l fuzz/seeds/{base_image,c5810_image,c5920_image,lpc4320_image}/built*
