#!/usr/bin/env bash
# Installs the Debian packages a build needs, when they are missing.
#   install-deps.sh demo   what the demo needs
#   install-deps.sh test   what every test suite needs
set -euo pipefail

what=${1:-test}
packages=(cmake ninja-build g++ libgtest-dev libbenchmark-dev)
if [[ $what == test ]]; then
  packages+=(python3)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
