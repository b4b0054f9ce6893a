#!/usr/bin/env bash
# Builds the launcher exe with the windows preset and writes the release to dist/:
#   LanternfieldLauncher-<version>-win64.zip    the exe, stripped
#   LanternfieldLauncher.exe                    the same exe, to sign or to check a copy against
#   LanternfieldLauncher-<version>-win64.debug  its symbols, which the exe names by file and CRC
#   SHA256SUMS                                  for all three: cd dist && sha256sum -c SHA256SUMS
# The same commit gives the same files, the zip included.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target LanternfieldLauncher

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
name="LanternfieldLauncher-$version-win64"
built=build/windows/src
if [[ -n $(git status --porcelain 2>/dev/null) ]]; then
  echo "warning: the working tree has uncommitted changes; this release is not a commit's" >&2
fi
# The zip's entry is dated with the commit (1980, the first date a zip holds, outside git).
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}

rm -rf dist
mkdir dist
cp "$built/LanternfieldLauncher.exe" "$built/$name.debug" dist/
python3 - "dist/$name.zip" dist/LanternfieldLauncher.exe "$epoch" <<'EOF'
import sys, time, zipfile
archive, exe, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
entry = zipfile.ZipInfo("LanternfieldLauncher.exe", time.gmtime(max(epoch, 315532800))[:6])
entry.compress_type, entry.external_attr = zipfile.ZIP_DEFLATED, 0o644 << 16
with zipfile.ZipFile(archive, "w") as z, open(exe, "rb") as f:
    z.writestr(entry, f.read(), compresslevel=9)
EOF
(cd dist && sha256sum "$name.zip" LanternfieldLauncher.exe "$name.debug" >SHA256SUMS)
echo "dist/:"
ls -l dist
