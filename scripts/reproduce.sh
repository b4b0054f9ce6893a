#!/usr/bin/env bash
# Builds the launcher exe again from a copy of this source tree, in a directory of its own, and
# compares it byte for byte with EXE, and the symbols file beside EXE, if there is one, with the
# new one: one commit gives one exe, whatever the directory, the time or the user. Only the exe
# is built.
#
# Usage: scripts/reproduce.sh EXE [WORK_DIR [CMAKE_OPTION...]]
#   EXE           the exe to check, e.g. build/windows/src/LanternfieldLauncher.exe or a release's
#   WORK_DIR      where the copy and its build go, emptied first (default: a temporary directory)
#   CMAKE_OPTION  settings EXE was configured with beyond the windows preset's, e.g.
#                 -DLTF_UPDATE_URL=https://host/update
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if (($# < 1)) || [[ ! -f $1 ]]; then
  echo "usage: scripts/reproduce.sh EXE [WORK_DIR [CMAKE_OPTION...]]" >&2
  exit 2
fi
exe=$(realpath "$1")
if [[ -n ${2:-} ]]; then
  work=$(realpath -m "$2")
  rm -rf "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/source"

# The tree as it is, edits included; build output and the release directory stay behind.
tar -C "$root" --exclude=./build --exclude=./dist --exclude=./.git --exclude="./${work#"$root"/}" \
  -cf - . | tar -C "$work/source" -xf -
log="$work/build.log"
if ! (cd "$work/source" && cmake --preset windows -B "$work/build" "${@:3}" &&
  cmake --build "$work/build" --target LanternfieldLauncher) >"$log" 2>&1; then
  tail -n 30 "$log"
  echo "the second build failed; its log: $log" >&2
  exit 1
fi

status=0
again="$work/build/src"
for built in "$again"/LanternfieldLauncher.exe "$again"/*.debug; do
  first="$(dirname "$exe")/$(basename "$built")"
  [[ $built == *.exe ]] && first=$exe
  if [[ ! -f $first ]]; then
    # The exe holds its symbols file's CRC, so the exe alone still settles the question.
    echo "no $(basename "$built") beside $exe: the symbols are not compared"
    continue
  fi
  echo "$(sha256sum <"$first" | cut -d' ' -f1)  $first"
  echo "$(sha256sum <"$built" | cut -d' ' -f1)  $built"
  python3 "$root/tools/exe_image.py" compare "$first" "$built" || status=1
done
if ((status == 0)); then
  echo "the second build is byte for byte the same"
fi
exit "$status"
