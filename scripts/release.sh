#!/usr/bin/env bash
# Builds the release from a configuration of its own, made afresh from the windows preset, and
# writes it to dist/, with <name> as CMake states it (LanternfieldLauncher-<version>-win64):
#   <name>.zip                the exe, stripped, as it ships, and THIRD-PARTY-NOTICES.txt
#   LanternfieldLauncher.exe  the same exe, to check a copy against
#   LanternfieldLauncher.pdb  its symbols, which the exe names by file, GUID and age
#   <name>-symbols.zip        the exe and its PDB laid out as a symbol server serves them
#   <name>-tests.zip          the test kit, for a Windows machine with Python (its README.md)
#   <name>.cdx.json           the SBOM: the exe, what it links statically, the tools that built it
#   SHA256SUMS                for all of them: cd dist && sha256sum -c SHA256SUMS
# The exe opens the default update page unless --update-url names another; either way the
# release says which. The same commit gives the same files: the tree is built once more in
# another directory, and every file must come out the same.
#
# With --sign-pkcs12, the exe, loose and in <name>.zip, is then signed with the key and the
# certificate chain of that PKCS#12 file (the build's own files and the test kit stay unsigned),
# and SIGNER.txt says who signed; --timestamp adds an RFC 3161 time stamp from that server. The
# password comes from LTF_SIGN_PASSWORD or from the file that LTF_SIGN_PASSWORD_FILE names.
#
# Usage: scripts/release.sh [--update-url https://host/update] [--sign-pkcs12 FILE [--timestamp URL]]
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: scripts/release.sh [--update-url https://host/update]" \
    "[--sign-pkcs12 FILE [--timestamp URL]]" >&2
  exit 2
}
options=()
pkcs12=
timestamp=()
while (($# > 0)); do
  if [[ $1 == --update-url && $# -ge 2 ]]; then
    options+=("-DLTF_UPDATE_URL=$2")
  elif [[ $1 == --sign-pkcs12 && $# -ge 2 ]]; then
    pkcs12=$(realpath "$2")
  elif [[ $1 == --timestamp && $# -ge 2 ]]; then
    timestamp=(--timestamp "$2")
  else
    usage
  fi
  shift 2
done
if [[ -n $pkcs12 ]]; then
  if [[ ! -r $pkcs12 ]]; then
    echo "cannot read the PKCS#12 file $pkcs12" >&2
    exit 2
  elif [[ ! -v LTF_SIGN_PASSWORD && ! -v LTF_SIGN_PASSWORD_FILE ]]; then
    echo "set LTF_SIGN_PASSWORD, or LTF_SIGN_PASSWORD_FILE to a file that holds it" >&2
    exit 2
  fi
elif ((${#timestamp[@]} > 0)); then
  usage
fi
# Only the signing step sees the password, not the build's tools.
password=${LTF_SIGN_PASSWORD-}
password_given=${LTF_SIGN_PASSWORD+yes}
unset LTF_SIGN_PASSWORD

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

if [[ -n $pkcs12 ]]; then
  # Signed only once it reproduces; the signature names the product and its site.
  url=$(sed -n 's/^LTF_UPDATE_URL:STRING=//p' "$build/CMakeCache.txt")
  zips=(dist/*-win64.zip)
  sign=(tools/signing.py sign-release dist "${zips[0]##*/}" --pkcs12 "$pkcs12"
    --name "Lanternfield Launcher" --url "${url%/update}/" "${timestamp[@]}")
  if [[ -n $password_given ]]; then
    LTF_SIGN_PASSWORD=$password python3 "${sign[@]}"
  else
    python3 "${sign[@]}"
  fi
fi
