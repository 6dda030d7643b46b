#!/usr/bin/env bash
# Release packaging: release/zelmoor-<version>.zip holds dist/ and the README in
# one folder zelmoor-<version>/. The version is the project's, from CMakeLists.txt.
# Builds nothing: ./build.sh package builds first. Refuses to make a zip that
# lacks any file a Windows user needs, and checks the finished zip's listing.
#   ZELMOOR_DIST_DIR      the deliverables (default dist)
#   ZELMOOR_RELEASE_DIR   where the zip goes (default release)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
DIST_DIR=${ZELMOOR_DIST_DIR:-$ROOT/dist}
RELEASE_DIR=${ZELMOOR_RELEASE_DIR:-$ROOT/release}
README=$ROOT/README.md

fail() { echo "package: $*" >&2; exit 1; }

# What a Windows user needs, one file a line; each is in dist/ except the README.
SHIPPED_FILES=(
    "Zelmoor(x64).dll"
    "Zelmoor(x64).pdb"
    "Zelmoor.dll"
    "Zelmoor.pdb"
    "zelmoor_host.exe"
    "zelmoor_writer.exe"
    "zelmoor_feeder.exe"
    "Ostrel.exe"
    "README.md"
)

VERSION=$(sed -n 's/^project([^)]*VERSION \([0-9][0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt" | head -n1)
[ -n "$VERSION" ] || fail "no VERSION in the project() line of CMakeLists.txt"
[ -f "$README" ] || fail "missing $README"
[ -d "$DIST_DIR" ] && [ -n "$(ls -A "$DIST_DIR")" ] || fail "nothing in $DIST_DIR (build first)"
command -v zip >/dev/null || fail "zip is not installed"
for file in "${SHIPPED_FILES[@]}"; do
    [ "$file" = README.md ] || [ -f "$DIST_DIR/$file" ] || fail "missing $DIST_DIR/$file (build first: ./build.sh build)"
done

NAME=zelmoor-$VERSION
STAGE=$(mktemp -d)
trap 'rm -rf "$STAGE"' EXIT
mkdir -p "$STAGE/$NAME" "$RELEASE_DIR"
cp -a "$DIST_DIR"/. "$STAGE/$NAME/"
cp "$README" "$STAGE/$NAME/"

ARCHIVE=$RELEASE_DIR/$NAME.zip
rm -f "$ARCHIVE"
# -X: no extra file attributes, so the archive depends only on the files.
(cd "$STAGE" && zip -q -r -X "$ARCHIVE" "$NAME")
LISTING=$(unzip -Z1 "$ARCHIVE")
for file in "${SHIPPED_FILES[@]}"; do
    grep -qxF "$NAME/$file" <<<"$LISTING" || fail "$ARCHIVE lacks $NAME/$file"
done
echo "package: $ARCHIVE"
unzip -l "$ARCHIVE"
