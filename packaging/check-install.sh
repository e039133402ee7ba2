#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs of it: the files,
# their validity, and that the installed launcher starts the program with a new empty table.
# Usage: check-install.sh BUILD_DIR APP_ID [CMAKE]
# Exit code 77 (a skip for CTest): everything else passed but a validator is not installed.
set -euo pipefail

build=$1
app_id=$2
cmake=${3:-cmake}

# Everything lives in a private temporary folder, so parallel runs and the user's files are safe.
tmp=$(mktemp -d "${TMPDIR:-/tmp}/palvane-install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp/home"
export XDG_CONFIG_HOME="$tmp/config"
export XDG_CACHE_HOME="$tmp/cache"
export XDG_RUNTIME_DIR="$tmp/runtime"
unset XDG_DATA_HOME
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A space in every path catches unquoted expansions in the launcher.
prefix="$tmp/pre fix"
"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log" >&2; fail "cmake --install $build failed"; }

desktop_name=$app_id.desktop
desktop=$prefix/share/applications/$desktop_name
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
png=$prefix/share/icons/hicolor/32x32/apps/$app_id.png
svg=$prefix/share/icons/hicolor/scalable/apps/$app_id.svg

for f in palvane palvane-table palvane-launch; do
    if [ ! -f "$prefix/bin/$f" ] || [ ! -x "$prefix/bin/$f" ]; then
        fail "bin/$f is not installed as a program"
    fi
done
for f in "$desktop" "$metainfo" "$png" "$svg"; do
    [ -s "$f" ] || fail "${f#"$prefix"/} is missing or empty"
done

# The icon must really be 32 by 32: width and height are the first fields of the PNG header.
png_size=$(od -An -tu1 -j16 -N8 "$png" | tr -s ' \n' ' ')
[ "$png_size" = " 0 0 0 32 0 0 0 32 " ] || fail "$png is not 32x32 (IHDR size bytes:$png_size)"
grep -q '<svg' "$svg" || fail "$svg is not an SVG image"

# Cross-references that the validators cannot see: the menu entry names an installed launcher
# and icon, and the AppStream data launches this menu entry.
grep -qx "Exec=palvane-launch" "$desktop" || fail "$desktop_name does not run palvane-launch"
grep -qx "Icon=$app_id" "$desktop" || fail "$desktop_name does not use the installed icon $app_id"
grep -q "<launchable type=\"desktop-id\">$desktop_name</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $desktop_name"
grep -q "<id>$app_id</id>" "$metainfo" || fail "the metainfo id is not $app_id"

missing=()
if command -v desktop-file-validate >/dev/null; then
    # It exits 0 on warnings; a warning is a fault of ours all the same.
    if ! out=$(desktop-file-validate "$desktop" 2>&1) || grep -qiE 'error|warning' <<<"$out"; then
        echo "$out" >&2
        fail "desktop-file-validate rejects $desktop_name"
    fi
    [ -z "$out" ] || echo "$out"
else
    missing+=("desktop-file-validate (Debian package desktop-file-utils)")
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metainfo"
else
    missing+=("appstreamcli (Debian package appstream)")
fi

# Runs the installed launcher headless for a few seconds; the program keeps running until
# closed, so being stopped by timeout (124) is the expected outcome, and 0 is accepted too.
launch() {
    local log=$tmp/launch.log rc=0
    (cd "$start_dir" && QT_QPA_PLATFORM=offscreen timeout 3 "$@") >"$log" 2>&1 || rc=$?
    if [ "$rc" -ne 124 ] && [ "$rc" -ne 0 ]; then
        cat "$log" >&2
        fail "the launcher ended with exit code $rc"
    fi
}

# Started from a folder of its own, so a table made relative to the caller's folder shows.
start_dir="$tmp/start dir"
mkdir -p "$start_dir"

# First start with XDG_DATA_HOME set: the folder and an empty table are made there.
data_home="$tmp/data home"
table="$data_home/palvane/data/palvane.db"
launch env XDG_DATA_HOME="$data_home" "$prefix/bin/palvane-launch"
[ -s "$table" ] || fail "the launcher did not create $table"
"$prefix/bin/palvane-table" check "$table" >"$tmp/check.log" 2>&1 ||
    { cat "$tmp/check.log" >&2; fail "the table the launcher made does not pass palvane-table check"; }

# Second start: the table exists and must be used as it is.
launch env XDG_DATA_HOME="$data_home" "$prefix/bin/palvane-launch"
[ -s "$table" ] || fail "the second start lost $table"

# Started by name through PATH, as the menu entry does, without XDG_DATA_HOME: the table goes
# under ~/.local/share. A relative XDG_DATA_HOME is invalid and must be ignored the same way.
launch env PATH="$prefix/bin:$PATH" XDG_DATA_HOME=relative palvane-launch
[ -s "$HOME/.local/share/palvane/data/palvane.db" ] ||
    fail "the launcher did not create the table under \$HOME/.local/share"
[ ! -e "$start_dir/relative" ] || fail "a relative XDG_DATA_HOME was used"
[ -z "$(ls -A "$start_dir")" ] || fail "the launcher wrote into the folder it was started from"

if [ ${#missing[@]} -gt 0 ]; then
    printf 'SKIPPED: not installed: %s\n' "${missing[@]}"
    echo "Everything else was checked and passed."
    exit 77
fi
echo "install_validation: all checks passed"
