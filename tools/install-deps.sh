#!/usr/bin/env bash
# Installs the Debian packages needed to build and test tib, when missing.
set -euo pipefail

packages=(g++ cmake make liblodepng-dev libgtest-dev libbenchmark-dev libboost-dev "$@")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

run_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
echo "Installing: ${missing[*]}"
run_as_root apt-get update -qq
DEBIAN_FRONTEND=noninteractive run_as_root apt-get install -y -qq "${missing[@]}"
