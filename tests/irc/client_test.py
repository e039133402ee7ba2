#!/usr/bin/env python3
"""The address book's script in a real IRC client, connected to the test's own IRC server.

Usage: client_test.py weechat|hexchat|irssi TABLE_TOOL SCRIPT   (KEEP=1 keeps the work folder)

The client gets a home, configuration and working folder of its own, the tool on its PATH and
a demo table. The test types what a user types and reads what the client shows. Exit 77
(skipped) when the client is not installed.
"""

import collections
import datetime
import glob
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import irc_server  # noqa: E402

WAIT_S = 30
TIME = r"\d{1,2}:\d{2}:\d{2}( [AP]M)?, [A-Z][a-z]+day, [A-Z][a-z]+ \d{1,2}, \d{4}"
# Nicks (on the server, with their real names) and a note that a shell would act on.
HOSTILE = ["o'neil\"q", "semi;colon", "$(touch_pwned)", "-rm"]
HOSTILE_NOTE = "it's; $(touch pwned-note) `touch pwned-tick` -x"


class Skip(Exception):
    pass


class Failure(Exception):
    pass


def need(*programs):
    for program in programs:
        if not shutil.which(program) and not glob.glob(program):
            raise Skip("%s is not installed" % program)


class WeeChat:
    """weechat-headless with a driver script that types the test's commands into #test."""
    tool_hint = "; set plugins.var.python.palvane.command"
    completes = True

    def __init__(self, work, env, script, port):
        need("weechat-headless", "/usr/lib/*/weechat/plugins/python.so")
        home = os.path.join(work, "weechat")
        os.makedirs(os.path.join(home, "python", "autoload"))
        shutil.copy(script, os.path.join(home, "python", "autoload"))
        shutil.copy(os.path.join(os.path.dirname(__file__), "weechat_driver.py"),
                    os.path.join(home, "python"))
        self.commands, self.lines_file = work + "/commands", work + "/lines"
        open(self.commands, "w").close()
        startup = ("/python load weechat_driver.py;/server add test 127.0.0.1/%d;"
                   "/set irc.server.test.nicks tester;/set irc.server.test.autojoin #test;"
                   "/connect test" % port)
        self.process = subprocess.Popen(
            ["weechat-headless", "--dir", home, "--run-command", startup], cwd=work,
            env=dict(env, PALVANE_COMMANDS=self.commands, PALVANE_LINES=self.lines_file),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def type(self, text):
        with open(self.commands, "a", encoding="utf-8") as commands:
            commands.write(text + "\n")

    def set_option(self, name, value):
        self.type("/set plugins.var.python.palvane.%s %s" % (name, value))

    def complete(self, text):
        before = collections.Counter(self.lines())
        self.type("!complete " + text)
        return wait_for(self, r"^input\t", before).split("\t", 1)[1]

    def lines(self):
        return read_lines(self.lines_file)

    def stop(self):
        self.type("/quit")
        stop_process(self.process)


class HexChat:
    """HexChat under Xvfb, in an X and D-Bus session of the test's own (see hexchat_session),
    each command typed through HexChat's own remote control (hexchat -e -c)."""
    tool_hint = "; set it with /palvane set command PATH"
    completes = False  # HexChat's plugin interface cannot complete a command's arguments

    def __init__(self, work, env, script, port):
        self.env, self.config = env, os.path.join(work, "hexchat")
        os.makedirs(os.path.join(self.config, "addons"))
        shutil.copy(script, os.path.join(self.config, "addons"))
        with open(os.path.join(self.config, "hexchat.conf"), "w") as conf:
            conf.write("irc_nick1 = tester\nirc_user_name = tester\nirc_logging = 1\n"
                       "irc_logmask = %n-%c.log\ngui_join_dialog = 0\ngui_quit_dialog = 0\n"
                       "gui_slist_skip = 1\n")
        with open(os.path.join(self.config, "servlist.conf"), "w") as servers:
            servers.write("v=2.14.3\n\nN=Test\nI=tester\nJ=#test\nF=27\nD=0\n"
                          "S=127.0.0.1/%d\n" % port)
        self.process = subprocess.Popen(
            ["hexchat", "--cfgdir=" + self.config], cwd=work, env=env,
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def type(self, text):
        subprocess.run(["hexchat", "--cfgdir=" + self.config, "-e", "-c", text.lstrip("/")],
                       env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=WAIT_S, check=True)

    def set_option(self, name, value):
        self.type("/palvane set %s %s" % (name, value))

    def lines(self):
        # One log a tab: "Dec 08 20:40:51 palvane<TAB>text".
        return [re.sub(r"^\w{3} \d\d [\d:]{8} ", "", line)
                for log in sorted(glob.glob(os.path.join(self.config, "logs", "*")))
                for line in read_lines(log)]

    def stop(self):
        self.type("/quit")
        stop_process(self.process)


class Irssi:
    """irssi in a tmux session: the test types into the terminal and reads irssi's log of all
    windows, and the screen's input line after Tab."""
    tool_hint = "; /set palvane_command PATH"
    completes = True

    def __init__(self, work, env, script, port):
        need("irssi", "tmux")
        self.env, self.log = env, os.path.join(work, "irssi.log")
        home = os.path.join(work, "irssi")
        os.makedirs(os.path.join(home, "scripts", "autorun"))
        shutil.copy(script, os.path.join(home, "scripts", "autorun"))
        # A tmux server of its own, apart from the user's and other tests' sessions.
        self.tmux = ["tmux", "-S", os.path.join(work, "tmux.socket")]
        self.run("new-session", "-d", "-x", "200", "-y", "50", "-c", work,
                 "irssi --home=%s -n tester -c 127.0.0.1 -p %d" % (home, port))
        wait_until(lambda: "tester" in self.screen(), "irssi to start")
        self.type("/log open %s ALL" % self.log)
        wait_until(lambda: "End of /MOTD" in self.screen(), "irssi to log in")
        self.type("/join #test")

    def run(self, *arguments):
        return subprocess.run(self.tmux + list(arguments), env=self.env, capture_output=True,
                              text=True, timeout=WAIT_S, check=True).stdout

    def type(self, text, key="Enter"):
        self.run("send-keys", "-t", "0", "-l", "--", text)
        self.run("send-keys", "-t", "0", key)

    def set_option(self, name, value):
        self.type("/set palvane_%s %s" % (name, value))

    def screen(self):
        return self.run("capture-pane", "-p", "-t", "0")

    def input_line(self, command):
        line = self.screen().rstrip("\n").split("\n")[-1].rstrip()  # "[#test] /palvane kiwi"
        return line[line.find(command):] if command in line else ""

    def complete(self, text):
        # Tab only once the terminal shows all that was typed; the answer once it holds still.
        command = text.split()[0]
        self.run("send-keys", "-t", "0", "-l", "--", text)
        wait_until(lambda: self.input_line(command) == text, "%r on the input line" % text)
        self.run("send-keys", "-t", "0", "Tab")

        def completed():
            line = self.input_line(command)
            time.sleep(0.2)
            return line if line != text and self.input_line(command) == line else None
        line = wait_until(completed, "the input line to change after Tab")
        self.run("send-keys", "-t", "0", "C-u")
        return line

    def lines(self):
        return read_lines(self.log)

    def stop(self):
        self.type("/quit")
        subprocess.run(self.tmux + ["kill-server"], env=self.env, capture_output=True)


def read_lines(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as source:
            return source.read().splitlines()
    except FileNotFoundError:
        return []


def stop_process(process):
    try:
        process.wait(20)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def wait_until(found, what):
    deadline = time.monotonic() + WAIT_S
    while time.monotonic() < deadline:
        value = found()
        if value:
            return value
        time.sleep(0.1)
    raise Failure("waited %d s for %s" % (WAIT_S, what))


def wait_for(client, pattern, before, what=None):
    """The first new line that matches pattern: a line not among those shown before (a client
    may log to several files, so new lines are not only at the end)."""
    def match():
        new = collections.Counter(client.lines()) - before
        return next((line for line in new if re.search(pattern, line)), None)
    return wait_until(match, what or repr(pattern))


def expect_contact(table, nick, name, notes, hours):
    """The contact holds name, one of the notes given and the offset in both its fields."""
    with sqlite3.connect("file:%s?mode=ro" % table, uri=True) as db:
        row = db.execute('SELECT "IRC Name", "IRC Notes", "IRC Spin", "IRC Time Displacement" '
                         'FROM contacts WHERE "IRC Nick" = ?', (nick,)).fetchone()
    if (row is None or row[0] != name or row[1] not in notes or row[2] != hours
            or abs(row[3] - hours / 24) > 1e-9):
        raise Failure("contact %r is %r, not %r" % (nick, row, (name, notes, hours)))


def whois_requests(server):
    messages = (irc_server.split_message(line) for line in server.received())
    return [params[-1] for command, params in messages if command == "WHOIS" and params]


def scenario(client, server, table, days):
    def run(command, *patterns):
        before = collections.Counter(client.lines())
        client.type(command)
        for pattern in patterns:
            wait_for(client, pattern, before, "%r after %s" % (pattern, command))

    def dated(*texts):
        # The notes with each text as a dated line: a run may pass midnight between them.
        notes = [""]
        for text in texts:
            notes = [n + ("\n" if n else "") + d + ": " + text for n in notes for d in days
                     if n.rsplit("\n", 1)[-1][:10] <= d]
        return notes

    run("/palvane BOB", r"bob: Bob Marsh <bob@example\.com>, Chicago, USA$",
        r"their time: %s \(-6 h from yours\)$" % TIME, r"notes: The first bob\.$",
        r"notes: Op on #chicago\.$")
    run("/palvane bobby", r'no contact "bobby"; nearest: kiwi$',
        r"kiwi: Hemi Walker <hemi@example\.nz>, Auckland, New Zealand$")
    for command in ("/palvane", "/palvane add", "/palvane tz bob"):
        run(command, r"usage: /palvane NICK \| add NICK \| note NICK TEXT \| tz NICK HOURS")
    # A /whois of a stranger ends as it always did; of a contact, with their time and notes.
    run("/whois stranger", r"(?i)stranger.*no such nick|no such nick.* stranger")
    run("/whois sakura", r"sakura's local time: %s \(\+9 h from yours\)$" % TIME,
        r"notes: Likes trains\.$")
    if any("stranger's" in line for line in client.lines()):
        raise Failure("a stranger's /whois told about a contact")

    # From the last /whois, without asking again; else from one the script asks for.
    run("/whois hana", r"Hana Sato")
    run("/palvane add hana", r'Added "hana" to ')
    expect_contact(table, "hana", "Hana Sato", dated("~hana@kyoto.example"), 0)
    run("/palvane add mika", r'Added "mika" to ')
    expect_contact(table, "mika", "Mika Virtanen", dated("mika@helsinki.example"), 0)
    if whois_requests(server).count("hana") != 1 or "mika" not in whois_requests(server):
        raise Failure("/whois requests: %r" % whois_requests(server))
    run("/palvane add ghost", r"no /whois reply for ghost: adding the nick alone$",
        r'Added "ghost" to ')
    expect_contact(table, "ghost", None, [None], 0)
    run("/palvane add HANA", r'a contact with the nick "HANA" exists already, as "hana"$')

    note = "Likes tea; bring $(biscuits) `x` 100%"
    run("/palvane note hana " + note, r'Changed "hana" in .*: notes$')
    run("/palvane tz hana 9", r'Changed "hana" in .*: offset$')
    run("/palvane tz hana 99", r"the offset must be whole hours from -24 to 24, not '99'$")
    run("/palvane note nobody hello", r'no contact has the nick "nobody"$')
    expect_contact(table, "hana", "Hana Sato", dated("~hana@kyoto.example", note), 9)
    run("/whois hana", r"hana's local time: %s \(\+9 h from yours\)$" % TIME,
        r"notes: [\d-]{10}: %s$" % re.escape(note))

    for nick in HOSTILE:
        user, host, realname = irc_server.PEOPLE[nick]
        run("/palvane add " + nick, r'Added "%s" to ' % re.escape(nick))
        run("/palvane note %s %s" % (nick, HOSTILE_NOTE), r": notes$")
        run("/palvane tz %s -5" % nick, r": offset$")
        expect_contact(table, nick, realname, dated(user + "@" + host, HOSTILE_NOTE), -5)
        run("/palvane " + nick, re.escape("%s: %s" % (nick, realname)))

    # Nicks only the book knows (none is in the channel), one of them added just now.
    for typed, completed in (("/palvane ki", "/palvane kiwi"),
                             ("/palvane note gh", "/palvane note ghost"),
                             ("/palvane tz na", "/palvane tz nadia")) if client.completes else ():
        got = client.complete(typed).rstrip()
        if got != completed:
            raise Failure("Tab after %r gave %r, not %r" % (typed, got, completed))

    client.set_option("table", "/nonexistent/palvane.db")
    run("/palvane bob", r"Cannot open the contact table /nonexistent/palvane\.db: the directory "
                        r"/nonexistent does not exist$")
    client.set_option("command", "/nonexistent/palvane-table")
    run("/palvane bob",
        r"cannot find the table tool /nonexistent/palvane-table" + re.escape(client.tool_hint))


def main():
    kind, tool, script = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    if kind == "hexchat" and not os.environ.get("PALVANE_CLIENT_WORK"):
        return hexchat_session(tool, script)
    work = os.environ.get("PALVANE_CLIENT_WORK") or tempfile.mkdtemp(prefix="palvane-irc-")
    env = dict(os.environ, HOME=work + "/home", XDG_CONFIG_HOME=work + "/config",
               XDG_DATA_HOME=work + "/data", XDG_CACHE_HOME=work + "/cache",
               PATH=work + "/bin" + os.pathsep + os.environ.get("PATH", ""),
               LC_ALL="C.UTF-8", LANG="C.UTF-8")  # day and month names as the checks spell
    for folder in ("home", "config", "data", "cache", "bin"):
        os.makedirs(os.path.join(work, folder), exist_ok=True)
    if not os.path.exists(work + "/bin/palvane-table"):
        os.symlink(tool, work + "/bin/palvane-table")
    table = os.path.join(work, "table", "palvane.db")
    subprocess.run([tool, "demo", table], check=True, stdout=subprocess.DEVNULL)
    server = irc_server.start()
    client = None
    today = datetime.date.today()
    try:
        client = {"weechat": WeeChat, "hexchat": HexChat, "irssi": Irssi}[kind](
            work, env, script, server.port)
        # In the channel, the client is all up and takes commands.
        wait_until(lambda: "JOIN #test" in server.received(), "the client to join #test")
        client.set_option("table", table)
        scenario(client, server, table,
                 [today.isoformat(), (today + datetime.timedelta(days=1)).isoformat()])
        pwned = [name for name in os.listdir(work) + os.listdir(env["HOME"]) if "pwned" in name]
        if pwned:
            raise Failure("a shell ran what a nick or a note held: %r" % pwned)
        print("%s: all checks passed" % kind)
        return 0
    except Skip as skip:
        print("%s: skipped: %s" % (kind, skip))
        return 77
    except (Failure, subprocess.SubprocessError) as failure:
        print("%s: FAILED: %s\n--- the client showed:" % (kind, failure))
        print("\n".join(client.lines() if client else []))
        print("--- the server received:\n" + "\n".join(server.received()))
        return 1
    finally:
        if client:
            client.stop()
        server.shutdown()
        if os.environ.get("KEEP"):
            print("kept " + work)
        elif not os.environ.get("PALVANE_CLIENT_WORK"):
            shutil.rmtree(work, ignore_errors=True)


def hexchat_session(tool, script):
    """Runs the test again in an X and D-Bus session of its own, as an ordinary user when run
    as root (HexChat stops at a warning box for root), from a copy of everything it needs in a
    folder that user owns."""
    try:
        need("hexchat", "xvfb-run", "dbus-run-session", "/usr/lib/*/hexchat/plugins/python.so")
    except Skip as skip:
        print("hexchat: skipped: %s" % skip)
        return 77
    work = tempfile.mkdtemp(prefix="palvane-irc-")
    here = os.path.dirname(os.path.abspath(__file__))
    for source in (here + "/client_test.py", here + "/irc_server.py", tool, script):
        shutil.copy(source, work)
    # The system's Python: one of the user's own (under /root, say) may not be open to others.
    python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
    command = ["xvfb-run", "-a", "dbus-run-session", "--", python, work + "/client_test.py",
               "hexchat", work + "/" + os.path.basename(tool),
               work + "/" + os.path.basename(script)]
    if os.getuid() == 0:
        for root, dirs, files in os.walk(work):
            for name in [root] + [os.path.join(root, n) for n in dirs + files]:
                os.chown(name, 65534, 65534)
        command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + command
    try:
        return subprocess.run(command, cwd=work, stdin=subprocess.DEVNULL,
                              env=dict(os.environ, PALVANE_CLIENT_WORK=work, HOME=work,
                                       TMPDIR=work)).returncode
    finally:
        if not os.environ.get("KEEP"):
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
