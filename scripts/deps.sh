#!/usr/bin/env bash
# Installs the Debian packages the build needs that a fresh machine may lack.
# Runs apt-get only when something is missing; needs root for that.
#   scripts/deps.sh              the Linux builds
#   scripts/deps.sh --windows    also the MinGW-w64 cross toolchain and Wine
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev zlib1g-dev libcli11-dev
          nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev locales ccache
          python3 python3-pytest mono-mcs mono-runtime)
windows=0
for arg in "$@"; do
  case "$arg" in
    --windows) windows=1 ;;
    *) echo "usage: $0 [--windows]" >&2; exit 2 ;;
  esac
done
# The Windows build compiles GoogleTest from the source in /usr/src/googletest
# (libgtest-dev) and takes CLI11 and nlohmann-json's headers from the host
# packages; wine64 runs the tests, wine provides its launcher.
if ((windows)); then
  packages+=(g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest wine64 wine)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
fi

# A locale with a decimal comma, so that the test showing the number forms
# ignore the process locale runs instead of skipping.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
