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
# No desktop: a failing launcher must end with its exit code, not wait in an error box.
unset DISPLAY WAYLAND_DISPLAY
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

for f in bin/palvane bin/palvane-table bin/palvane-launch libexec/palvane32/palvane; do
    if [ ! -f "$prefix/$f" ] || [ ! -x "$prefix/$f" ]; then
        fail "$f is not installed as a program"
    fi
done
[ "$(readlink "$prefix/bin/palvane-launch")" = palvane ] ||
    fail "bin/palvane-launch does not lead to bin/palvane"
for f in "$desktop" "$metainfo" "$png" "$svg"; do
    [ -s "$f" ] || fail "${f#"$prefix"/} is missing or empty"
done

# The icon must really be 32 by 32: width and height are the first fields of the PNG header.
png_size=$(od -An -tu1 -j16 -N8 "$png" | tr -s ' \n' ' ')
[ "$png_size" = " 0 0 0 32 0 0 0 32 " ] || fail "$png is not 32x32 (IHDR size bytes:$png_size)"
grep -q '<svg' "$svg" || fail "$svg is not an SVG image"

# Cross-references that the validators cannot see: the menu entry names an installed launcher
# and icon, and the AppStream data launches this menu entry.
grep -qx "Exec=palvane %F" "$desktop" || fail "$desktop_name does not run palvane with the files"
grep -qx "Exec=palvane --import" "$desktop" || fail "$desktop_name has no import action"
grep -qx "MimeType=text/vcard;text/x-vcard;text/directory;" "$desktop" ||
    fail "$desktop_name does not take vCards"
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
launch env XDG_DATA_HOME="$data_home" "$prefix/bin/palvane"
[ -s "$table" ] || fail "the launcher did not create $table"
"$prefix/bin/palvane-table" check "$table" >"$tmp/check.log" 2>&1 ||
    { cat "$tmp/check.log" >&2; fail "the table the launcher made does not pass palvane-table check"; }

# Second start: the table exists and must be used as it is.
before=$(cksum <"$table")
launch env XDG_DATA_HOME="$data_home" "$prefix/bin/palvane"
[ "$(cksum <"$table")" = "$before" ] || fail "the second start changed $table"

# Started by name through PATH, as the menu entry does, without XDG_DATA_HOME: the table goes
# under ~/.local/share. A relative XDG_DATA_HOME is invalid and must be ignored the same way.
# The name of earlier versions does the same.
for name in palvane palvane-launch; do
    rm -rf "$HOME/.local"
    launch env PATH="$prefix/bin:$PATH" XDG_DATA_HOME=relative "$name"
    [ -s "$HOME/.local/share/palvane/data/palvane.db" ] ||
        fail "$name did not create the table under \$HOME/.local/share"
done
[ ! -e "$start_dir/relative" ] || fail "a relative XDG_DATA_HOME was used"
[ -z "$(ls -A "$start_dir")" ] || fail "the launcher wrote into the folder it was started from"

# A folder that has a table of its own keeps to it: no table of the user's is made.
rm -rf "$HOME/.local"
mkdir "$start_dir/data"
"$prefix/bin/palvane-table" create "$start_dir/data/palvane.db" >/dev/null
launch env PATH="$prefix/bin:$PATH" palvane
[ ! -e "$HOME/.local" ] || fail "the launcher made the user's table beside a folder's own"
rm -r "$start_dir/data"

# The installed table tool, told no table, works on the table the launcher opens: an import
# typed before the first start makes it; in a folder with its own data/palvane.db it keeps to
# that, and --table still chooses another.
rm -rf "$HOME/.local"
user_table=$HOME/.local/share/palvane/data/palvane.db
printf 'BEGIN:VCARD\r\nVERSION:4.0\r\nNICKNAME:ada\r\nEND:VCARD\r\n' >"$tmp/ada.vcf"
tool() { (cd "$start_dir" && "$prefix/bin/palvane-table" "$@") >"$tmp/tool.log" 2>&1; }
tool import "$tmp/ada.vcf" || { cat "$tmp/tool.log" >&2; fail "palvane-table import failed"; }
grep -qF "into $user_table" "$tmp/tool.log" || fail "the import did not fill $user_table"
tool show ada || { cat "$tmp/tool.log" >&2; fail "palvane-table show does not find ada"; }
tool --help && grep -qF "Here that is $user_table." "$tmp/tool.log" ||
    fail "palvane-table --help does not name $user_table"
mkdir "$start_dir/data"
"$prefix/bin/palvane-table" create "$start_dir/data/palvane.db" >/dev/null
! tool show ada || fail "palvane-table ignored the table of the folder it was started in"
tool import --table "$user_table" "$tmp/ada.vcf" && tool show --table "$user_table" ada ||
    fail "palvane-table --table did not choose the user's table"
rm -r "$start_dir/data"

# What users type gets an answer: help, and a clear refusal of what it does not know.
"$prefix/bin/palvane" --help | grep -q "^Usage: palvane" || fail "palvane --help shows no usage"
rc=0
"$prefix/bin/palvane" --no-such-option >/dev/null 2>"$tmp/wrong.log" || rc=$?
[ "$rc" -eq 2 ] && grep -q "unknown option '--no-such-option'" "$tmp/wrong.log" ||
    fail "palvane --no-such-option ended with $rc: $(cat "$tmp/wrong.log")"

if [ ${#missing[@]} -gt 0 ]; then
    printf 'SKIPPED: not installed: %s\n' "${missing[@]}"
    echo "Everything else was checked and passed."
    exit 77
fi
echo "install_validation: all checks passed"
