#!/usr/bin/env bash
# Installs the Debian packages the build, tests and benchmarks need, if any
# is missing. Runs apt-get update at most once.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libabsl-dev libgtest-dev libgmock-dev libbenchmark-dev
  libgmp-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
