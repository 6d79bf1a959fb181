#!/usr/bin/env bash
# Checks the desktop integration files in dist/ with the validators the desktops use, and that
# the files agree with each other and with the project's version.
# Usage: dist_files.sh DIST_DIR VERSION. Exit 77 (skipped) when a validator is not installed.
set -euo pipefail
dist=$1 version=$2 id=io.github.wren.Palisade
for tool in desktop-file-validate appstreamcli update-mime-database groff xmllint; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
fail() { echo "FAIL: $*"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

desktop-file-validate "$dist/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$dist/$id.metainfo.xml" || fail "appstreamcli validate"
xmllint --noout "$dist/$id.svg" || fail "the icon is not well-formed"

# The metainfo names this component, launches this desktop entry, and its newest release is
# the project's version.
meta() { xmllint --xpath "$1" "$dist/$id.metainfo.xml"; }
[ "$(meta 'string(/component/id)')" = "$id" ] || fail "metainfo id"
[ "$(meta 'string(/component/launchable)')" = "$id.desktop" ] || fail "metainfo launchable"
[ "$(meta 'string(/component/releases/release[1]/@version)')" = "$version" ] ||
  fail "metainfo's newest release is not $version"

# The MIME type builds into a database: its glob and its parent type come out.
mkdir -p "$tmp/mime/packages"
cp "$dist/$id.mime.xml" "$tmp/mime/packages/$id.xml"
XDG_DATA_DIRS="$tmp" update-mime-database "$tmp/mime" || fail "update-mime-database"
grep -qx '[0-9]*:application/x-step-xml:\*\.stpx' "$tmp/mime/globs2" || fail "no *.stpx glob"
grep -qx 'application/x-step-xml application/xml' "$tmp/mime/subclasses" || fail "not an XML type"

# The desktop entry opens every type the package defines, and shows the installed icon.
types=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$dist/$id.mime.xml")
listed=$(sed -n 's/^MimeType=//p' "$dist/$id.desktop")
for t in $types; do
  [[ ";$listed" == *";$t;"* ]] || fail "the desktop entry does not list $t"
done
grep -qx "Icon=$id" "$dist/$id.desktop" || fail "the desktop entry's icon is not $id"

# The man page formats without warnings and names the version.
warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$dist/Palisade.1" 2>&1)
[ -z "$warnings" ] || fail "groff: $warnings"
head -1 "$dist/Palisade.1" | grep -q "Wren Explorer $version\"" || fail "the man page's version is not $version"
echo "dist files: all checks passed"
