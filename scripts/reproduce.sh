#!/usr/bin/env bash
# Builds the launcher again from a copy of this source tree, in a directory of its own, and
# compares the result byte for byte: one commit gives one exe, whatever the directory, the time
# or the user. Given an exe, only the exe is built and compared, and the PDB beside it if there
# is one; given a release directory, the whole release is, every file of its SHA256SUMS.
# A signed exe, loose or in a zip, is checked first: its signature must be intact (with --ca,
# its certificate chain must lead to that CA), its signer is named, and the exe without its
# signature is what is compared; a signed release's SIGNER.txt must name that signer.
#
# Usage: scripts/reproduce.sh [--ca FILE] EXE|DIST [WORK_DIR [CMAKE_OPTION...]]
#   EXE           the exe to check, e.g. build/windows/src/LanternfieldLauncher.exe or an installer's
#   DIST          a release directory, as scripts/release.sh writes it (with SOURCE_DATE_EPOCH)
#   WORK_DIR      where the copy and its build go, emptied first (default: a temporary directory)
#   CMAKE_OPTION  settings EXE was configured with beyond the windows preset's, e.g.
#                 -DLTF_UPDATE_URL=https://host/update
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
ca=()
if [[ ${1:-} == --ca && $# -ge 2 ]]; then
  ca=(--ca "$(realpath "$2")")
  shift 2
fi
if (($# < 1)) || [[ ! -e $1 ]]; then
  echo "usage: scripts/reproduce.sh [--ca FILE] EXE|DIST [WORK_DIR [CMAKE_OPTION...]]" >&2
  exit 2
fi
given=$(realpath "$1")
target=LanternfieldLauncher
[[ -d $given ]] && target=release
if [[ -n ${2:-} ]]; then
  work=$(realpath -m "$2")
  rm -rf "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/source" "$work/given"

# Before the long build: a signature that fails its check ends the run here.
if [[ -d $given ]]; then
  python3 "$root/tools/signing.py" unsign-release "$given" "$work/given" "${ca[@]}"
else
  python3 "$root/tools/signing.py" unsign "$given" "$work/given/${given##*/}" "${ca[@]}"
fi

# The tree as it is, edits included; build output and the release directory stay behind.
tar -C "$root" --exclude=./build --exclude=./dist --exclude=./.git --exclude="./${work#"$root"/}" \
  -cf - . | tar -C "$work/source" -xf -
log="$work/build.log"
if ! (cd "$work/source" && cmake --preset windows -B "$work/build" "${@:3}" &&
  cmake --build "$work/build" --target "$target") >"$log" 2>&1; then
  tail -n 30 "$log"
  echo "the second build failed; its log: $log" >&2
  exit 1
fi

status=0
# One file of the first build against its twin of the second; an exe's differences are named.
compare() {
  echo "$(sha256sum <"$1" | cut -d' ' -f1)  $1"
  echo "$(sha256sum <"$2" | cut -d' ' -f1)  $2"
  if [[ $1 == *.exe ]]; then
    python3 "$root/tools/exe_image.py" compare "$1" "$2" || status=1
  elif ! cmp -s "$1" "$2"; then
    echo "$(basename "$1") differs" >&2
    status=1
  fi
}
if [[ -d $given ]]; then
  while read -r _ file; do
    # The signer was checked above; a signed file is compared without its signature.
    [[ $file == SIGNER.txt ]] && continue
    first=$given/$file
    [[ -f $work/given/$file ]] && first=$work/given/$file
    compare "$first" "$work/build/dist/$file"
  done <"$given/SHA256SUMS"
else
  first=$given
  [[ -f $work/given/${given##*/} ]] && first=$work/given/${given##*/}
  compare "$first" "$work/build/src/LanternfieldLauncher.exe"
  if [[ -f "$(dirname "$given")/LanternfieldLauncher.pdb" ]]; then
    compare "$(dirname "$given")/LanternfieldLauncher.pdb" "$work/build/src/LanternfieldLauncher.pdb"
  else
    # The exe holds its PDB's GUID, so the exe alone still settles the question.
    echo "no LanternfieldLauncher.pdb beside $given: the PDB is not compared"
  fi
fi
if ((status == 0)); then
  echo "the second build is byte for byte the same"
fi
exit "$status"
