#!/usr/bin/env bash
# Installs the Debian packages the build needs that a fresh machine may lack.
# Runs apt-get only when something is missing; needs root for that.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev zlib1g-dev libcli11-dev
          nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev locales)
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
