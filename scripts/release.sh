#!/usr/bin/env bash
# Builds the release from a configuration of its own, made afresh from the windows preset, and
# writes it to dist/, with <name> as CMake states it (LanternfieldLauncher-<version>-win64):
#   <name>.zip                the exe, stripped, as it ships
#   LanternfieldLauncher.exe  the same exe, to sign or to check a copy against
#   LanternfieldLauncher.pdb  its symbols, which the exe names by file, GUID and age
#   <name>-symbols.zip        the exe and its PDB laid out as a symbol server serves them
#   <name>-tests.zip          the test kit, for a Windows machine with Python (its README.md)
#   SHA256SUMS                for all five: cd dist && sha256sum -c SHA256SUMS
# The exe opens the default update page unless --update-url names another; either way the
# release says which. The same commit gives the same files: the tree is built once more in
# another directory, and every file must come out the same.
#
# Usage: scripts/release.sh [--update-url https://host/update]
set -euo pipefail
cd "$(dirname "$0")/.."

options=()
while (($# > 0)); do
  if [[ $1 == --update-url && $# -ge 2 ]]; then
    options+=("-DLTF_UPDATE_URL=$2")
    shift 2
  else
    echo "usage: scripts/release.sh [--update-url https://host/update]" >&2
    exit 2
  fi
done

scripts/install-deps.sh
if [[ -n $(git status --porcelain 2>/dev/null) ]]; then
  echo "warning: the working tree has uncommitted changes; this release is not a commit's" >&2
fi
# Every zip entry is dated with the commit (1980, the first date a zip holds, outside git).
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
export SOURCE_DATE_EPOCH

# Never a build directory as some earlier configure left it: its cache could hold another URL.
build=build/release
rm -rf "$build" dist
cmake --preset windows -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" --target release
cp -r "$build/dist" dist
scripts/reproduce.sh dist "" "${options[@]}"
