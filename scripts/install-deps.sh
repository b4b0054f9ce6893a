#!/usr/bin/env bash
# Installs, with apt, every tool the build, the demo and the tests need. Safe to run again:
# it only asks apt for packages that are missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ python3
  googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix
  clang-19 libclang-rt-19-dev clang-format-19 clang-tidy-19
  wine wine64
  xvfb xauth imagemagick icoutils
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
  sudo=sudo
else
  sudo=
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
