#!/usr/bin/env bash
# The WeeChat script integrations/weechat/palvane.py in a headless WeeChat with a home of its
# own, against a demo table made by the table tool. Exit 77 (skipped) without WeeChat's
# headless client or its Python plugin (Debian: weechat-headless, weechat-python).
# Usage: run.sh PALVANE_TABLE_TOOL SCRIPT (KEEP=1 keeps the work folder for a look)
set -euo pipefail
tool=$1
script=$2
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v weechat-headless >/dev/null; then
    echo "weechat-headless is not installed: skipped"
    exit 77
fi
if ! ls /usr/lib/*/weechat/plugins/python.so >/dev/null 2>&1; then
    echo "WeeChat's Python plugin (weechat-python) is not installed: skipped"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -n "${KEEP:-}" ]; then trap 'echo "kept $work"' EXIT; fi
# The table where the installed program keeps it, the tool on PATH: the script's defaults.
export XDG_DATA_HOME=$work/data
"$tool" demo "$XDG_DATA_HOME/palvane/data/palvane.db" >/dev/null
bin=$work/bin
mkdir -p "$bin"
ln -s "$tool" "$bin/palvane-table"
export PATH=$bin:$PATH
mkdir -p "$work/home/python/autoload"
cp "$script" "$work/home/python/autoload/palvane.py"
cp "$here/driver.py" "$work/home/python/driver.py"

# Day and month names as the checks below spell them.
export LC_ALL=C.UTF-8
export PALVANE_RESULT=$work/lines.txt
# HOME too: nothing of the user's may be read or written.
HOME=$work timeout 120 weechat-headless --dir "$work/home" --stdout \
    --run-command "/python load driver.py" </dev/null >"$work/weechat.out" 2>&1 || {
    echo "weechat-headless failed:"
    cat "$work/weechat.out"
    exit 1
}
if [ ! -s "$work/lines.txt" ]; then
    echo "the driver wrote no buffer lines; WeeChat said:"
    cat "$work/weechat.out"
    exit 1
fi

failed=0
expect() { # PATTERN: a line of the core buffer matches the extended regular expression
    if ! grep -Eq -- "$1" "$work/lines.txt"; then
        echo "no line matches: $1"
        failed=1
    fi
}
refuse() { # PATTERN: no line matches
    if grep -Eq -- "$1" "$work/lines.txt"; then
        echo "unexpected line: $(grep -E -- "$1" "$work/lines.txt" | head -1)"
        failed=1
    fi
}
time='[0-9]{1,2}:[0-9]{2}:[0-9]{2}'
date='[A-Z][a-z]+day, [A-Z][a-z]+ [0-9]{1,2}, [0-9]{4}'
# /palvane BOB: the first bob, case ignored.
expect $'^palvane\tbob: Bob Marsh <bob@example.com>, Chicago, USA$'
expect $'^palvane\ttheir time: '"$time"'( [AP]M)?, '"$date"' \(-6 h from yours\)$'
expect $'^palvane\tnotes: The first bob\.$'
expect $'^palvane\tnotes: Op on #chicago\.$'
# /palvane bobby: the nearest nick, said so.
expect $'^palvane\tno contact "bobby"; nearest: kiwi$'
expect $'^palvane\tkiwi: Hemi Walker <hemi@example.nz>, Auckland, New Zealand$'
# The end of a whois of sakura: local time and notes; of a stranger: nothing.
expect $'^palvane\tsakura\'s local time: '"$time"'( [AP]M)?, '"$date"' \(\+9 h from yours\)$'
expect $'^palvane\tnotes: Likes trains\.$'
refuse 'stranger'
expect $'^palvane\tusage: /palvane NICK$'
expect $'^palvane\tCannot open the contact table /nonexistent/palvane.db: the directory /nonexistent does not exist$'
expect $'^palvane\tcannot find the table tool /nonexistent/palvane-table; set plugins.var.python.palvane.command$'

if [ "$failed" -ne 0 ]; then
    echo "--- buffer lines:"
    cat "$work/lines.txt"
    exit 1
fi
echo "weechat script: all lines as expected"
