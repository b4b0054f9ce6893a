#!/usr/bin/env bash
# Format and static analysis: clang-format over every C++ file in git, clang-tidy (.clang-tidy)
# over every translation unit of src/. The platform-neutral units are read with the native
# build's flags, the Windows ones with the Windows build's and clang's MinGW target.
# Exits non-zero on any finding; each names its file and line.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."

scripts/install-deps.sh

status=0

echo "== lint: clang-format"
if ! format_log=$(git ls-files -z -- '*.cpp' '*.h' |
  xargs -0 -r clang-format-19 --dry-run --Werror 2>&1); then
  status=1
  printf '%s\n' "$format_log"
  # A place can be the line before the one that is off; the diff shows the line itself.
  sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*/\1/p' <<<"$format_log" | sort -u |
    while IFS= read -r file; do
      clang-format-19 "$file" | diff -u --label "$file" --label "$file (formatted)" "$file" - || true
    done
fi

# The compile databases are written at configure time; nothing needs building. One older than
# a CMake file may lack a new unit, so it is written again.
stale() {
  local file
  [[ -f $1 ]] || return 0
  while IFS= read -r -d '' file; do
    [[ $file -nt $1 ]] && return 0
  done < <(git ls-files -z -- CMakePresets.json '*CMakeLists.txt' 'cmake/*')
  return 1
}
for preset in native windows; do
  if stale "build/$preset/compile_commands.json"; then
    cmake --preset "$preset" >/dev/null
  fi
done

# Each file of src/ to the database that compiles it, the native one where both do; a file in
# neither fails.
# The Windows units, the slowest, are listed first so that no long one starts last.
unit_list=$(mktemp)
trap 'rm -f "$unit_list"' EXIT
git ls-files -z -- 'src/*.cpp' | python3 -c '
import json, os, sys
def files(preset):
    with open(f"build/{preset}/compile_commands.json") as db:
        return {os.path.realpath(os.path.join(e["directory"], e["file"])) for e in json.load(db)}
native, windows = files("native"), files("windows")
units = []
for path in sys.stdin.read().split("\0")[:-1]:
    full = os.path.realpath(path)
    preset = "native" if full in native else "windows" if full in windows else None
    if preset is None:
        sys.exit(f"{path}:1: not in build/native or build/windows compile_commands.json; "
                 "reconfigure the presets")
    units.append((preset == "native", preset, path))
for _, preset, path in sorted(units):
    sys.stdout.write(f"{preset}\0{path}\0")
' >"$unit_list"
mapfile -d '' units <"$unit_list"

# clang reads the same libstdc++ and C headers the database's compiler (g++ or MinGW-w64 g++)
# uses, and compiles for that compiler's target; warnings about g++-only flags are not findings.
tidy_args() {
  local compiler target dir
  compiler=$(python3 -c '
import json, shlex, sys
entry = json.load(open(sys.argv[1]))[0]
print(entry["arguments"][0] if "arguments" in entry else shlex.split(entry["command"])[0])
' "build/$1/compile_commands.json")
  target=$("$compiler" -dumpmachine)
  echo "--target=$target"
  echo "-nostdinc++"
  echo "-Wno-unknown-warning-option"
  echo "-Wno-ignored-optimization-argument"
  while IFS= read -r dir; do
    dir=$(realpath -m "${dir# }")
    if [[ $dir == */c++* ]]; then
      echo "-isystem$dir"
    elif [[ $dir != */lib/gcc/* ]]; then
      # g++'s own directories (intrinsics, limits.h) are left to clang's, which come first.
      echo "-idirafter$dir"
    fi
  done < <("$compiler" -xc++ -E -v /dev/null 2>&1 >/dev/null |
    sed -n '/^#include <...> search starts here:/,/^End of search list./{//!p}')
}
tidy_args_native=$(tidy_args native)
tidy_args_windows=$(tidy_args windows)

tidy_one() {
  local args_var="tidy_args_$1"
  local -a extra
  mapfile -t extra <<<"${!args_var}"
  # Findings only; the count of warnings suppressed in system headers is noise.
  clang-tidy-19 --quiet -p "build/$1" "${extra[@]/#/--extra-arg=}" "$2" 2>&1 |
    sed '/^[0-9]* warnings\? generated\.$/d'
  return "${PIPESTATUS[0]}"
}
export -f tidy_one
export tidy_args_native tidy_args_windows

echo "== lint: clang-tidy, $((${#units[@]} / 2)) translation units"
printf '%s\0' "${units[@]}" | xargs -0 -r -n 2 -P "$(nproc)" bash -c 'tidy_one "$1" "$2"' _ ||
  status=1

if ((status != 0)); then
  echo "lint: findings above" >&2
fi
exit "$status"
