#!/usr/bin/env bash
# Builds the Debian package with CPack into a temporary folder and checks it the way Debian
# would: lintian must find no error and no warning, and the facts lintian cannot cross-check
# (the version and the maintainer said in three places) must agree.
# Usage: check-package.sh BUILD_DIR [CPACK]
# Exit code 77 (a skip for CTest): everything else passed but lintian is not installed.
set -euo pipefail

build=$1
cpack=${2:-cpack}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/palvane-package.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

(cd "$build" && "$cpack" -G DEB -B "$tmp/out" --config "$build/CPackConfig.cmake") \
    >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log" >&2; fail "cpack could not build the package"; }
debs=("$tmp"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made ${#debs[@]} packages, not one"
deb=${debs[0]}

mkdir "$tmp/root"
dpkg-deb -x "$deb" "$tmp/root"
doc=$tmp/root/usr/share/doc/palvane32
control() { dpkg-deb -f "$deb" "$1"; }

# One version and one maintainer, whichever file a reader looks in.
version=$(control Version)
gzip -dc "$doc/changelog.gz" >"$tmp/changelog"
changelog_version=$(dpkg-parsechangelog -l "$tmp/changelog" -S Version)
[ "$changelog_version" = "$version" ] ||
    fail "the changelog's latest entry is $changelog_version, the package is $version"
maintainer=$(control Maintainer)
changelog_maintainer=$(dpkg-parsechangelog -l "$tmp/changelog" -S Maintainer)
[ "$changelog_maintainer" = "$maintainer" ] ||
    fail "the changelog is signed by $changelog_maintainer, the package's maintainer is $maintainer"
grep -qxF "Upstream-Contact: $maintainer" "$doc/copyright" ||
    fail "the copyright file does not name $maintainer as the contact"

# Each command on PATH has its manual page (lintian only warns about a missing one).
for program in "$tmp"/root/usr/bin/*; do
    name=$(basename "$program")
    [ -e "$tmp/root/usr/share/man/man1/$name.1.gz" ] || fail "$name has no manual page"
done

# The table tool's manual page has every command its --help lists.
page=$(gzip -dc "$tmp/root/usr/share/man/man1/palvane-table.1.gz")
for name in $("$build/tools/palvane-table" --help | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p'); do
    grep -qx ".B palvane-table $name" <<<"$page" || fail "palvane-table.1 lacks the command $name"
done

if ! command -v lintian >/dev/null; then
    echo "SKIPPED: lintian (Debian package lintian) is not installed."
    echo "Everything else was checked and passed."
    exit 77
fi
# Tags left on purpose, each with the reason it cannot or should not be mended.
accepted=()
suppress=()
[ ${#accepted[@]} -eq 0 ] || suppress=(--suppress-tags "$(IFS=,; echo "${accepted[*]}")")
# Informational tags are shown for the log; only errors and warnings fail.
if ! lintian --display-info --fail-on error,warning "${suppress[@]}" "$deb"; then
    fail "lintian found errors or warnings in $(basename "$deb")"
fi
echo "package_lintian: $(basename "$deb") passed lintian"
