#!/usr/bin/env bash
# Builds Rain's Debian package and checks it with lintian:
#
#   scripts/package.sh [OUTDIR]     OUTDIR defaults to build/package
#
# Installs what packaging needs, copies the files git tracks (as they are in
# the work tree, edits included) and those it would track to a scratch
# folder, builds the binary package there with dpkg-buildpackage, so that the
# work tree gets no build products, and moves rainstorm_<version>_<arch>.deb,
# its debug symbols and the .buildinfo and .changes files into OUTDIR.  Fails
# when the build or its tests fail, or when lintian reports any error or
# warning.  DEB_BUILD_OPTIONS=nocheck skips the tests.
set -euo pipefail
out=$(realpath -m -- "${1:-$(dirname "$0")/../build/package}")
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
version=$(dpkg-parsechangelog -S Version)
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "$0: must run in a git work tree, to know which files make the source" >&2
  exit 1
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/rainstorm-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
source="$scratch/rainstorm-$version"
mkdir "$source"
# A file deleted but not yet committed is still listed; it is left out.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do
    if [[ -e $file || -L $file ]]; then printf '%s\0' "$file"; fi
  done |
  tar --null --files-from=- -cf - | tar -xf - -C "$source"

(cd "$source" && dpkg-buildpackage -us -uc -b)

mkdir -p "$out"
mv "$scratch"/*.deb "$scratch"/*.buildinfo "$scratch"/*.changes "$out"/
changes=("$out"/rainstorm_"${version}"_*.changes)
# lintian on the .changes checks every package it lists, and the list itself.
lintian --fail-on error,warning "${changes[0]}"
echo "Built and lint-clean:" "$out"/rainstorm_"${version}"_*.deb
