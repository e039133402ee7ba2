#!/usr/bin/env python3
"""The address book's script in a real IRC client, connected to the test's own IRC server.

Usage: client_test.py weechat|hexchat|irssi TABLE_TOOL SCRIPT

The client runs with a home, configuration and working folder of its own (removed afterwards;
KEEP=1 keeps them), the table tool on its PATH and a demo table. The test types the commands
a user types and reads what the client shows: a contact looked up, one added from a /whois,
a note, an offset, the lines a /whois ends with, completion, nicks a shell would act on, and
a missing table and tool. Exit 77 (skipped) when the client is not installed.
"""

import collections
import datetime
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
TIME = r"\d{1,2}:\d{2}:\d{2}( [AP]M)?"
DATE = r"[A-Z][a-z]+day, [A-Z][a-z]+ \d{1,2}, \d{4}"
# Nicks that a script handing them to a shell would act on, with their real names.
HOSTILE = ["o'neil\"q", "semi;colon", "$(touch_pwned)", "-rm"]
HOSTILE_NOTE = "it's; $(touch pwned-note) `touch pwned-tick` -x"


class Skip(Exception):
    pass


class Failure(Exception):
    pass


def clean_environment(work):
    env = dict(os.environ)
    env.update({
        "HOME": os.path.join(work, "home"),
        "XDG_CONFIG_HOME": os.path.join(work, "config"),
        "XDG_DATA_HOME": os.path.join(work, "data"),
        "XDG_CACHE_HOME": os.path.join(work, "cache"),
        "PATH": os.path.join(work, "bin") + os.pathsep + env.get("PATH", ""),
        # Day and month names as the checks spell them.
        "LC_ALL": "C.UTF-8",
        "LANG": "C.UTF-8",
    })
    for name in ("HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"):
        os.makedirs(env[name], exist_ok=True)
    return env


class WeeChat:
    name = "weechat"
    tool_hint = "; set plugins.var.python.palvane.command"
    completes = True

    def __init__(self, work, env, script, port):
        if not shutil.which("weechat-headless"):
            raise Skip("weechat-headless is not installed")
        if not any(os.path.exists("/usr/lib/%s/weechat/plugins/python.so" % d)
                   for d in os.listdir("/usr/lib") if d.endswith("-linux-gnu")):
            raise Skip("WeeChat's Python plugin (weechat-python) is not installed")
        self.home = os.path.join(work, "weechat")
        os.makedirs(os.path.join(self.home, "python", "autoload"))
        shutil.copy(script, os.path.join(self.home, "python", "autoload", "palvane.py"))
        shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                 "weechat_driver.py"), os.path.join(self.home, "python"))
        self.commands = os.path.join(work, "commands")
        self.lines_file = os.path.join(work, "lines")
        open(self.commands, "w").close()
        env = dict(env, PALVANE_COMMANDS=self.commands, PALVANE_LINES=self.lines_file)
        startup = ";".join([
            "/python load weechat_driver.py",
            "/server add test 127.0.0.1/%d" % port,
            "/set irc.server.test.nicks tester",
            "/set irc.server.test.autojoin #test",
            "/connect test",
        ])
        self.log = open(os.path.join(work, "weechat.out"), "w")
        self.process = subprocess.Popen(
            ["weechat-headless", "--dir", self.home, "--stdout", "--run-command", startup],
            cwd=work, env=env, stdin=subprocess.DEVNULL, stdout=self.log,
            stderr=subprocess.STDOUT)

    def type(self, text):
        with open(self.commands, "a", encoding="utf-8") as commands:
            commands.write(text + "\n")

    def set_option(self, name, value):
        self.type("/set plugins.var.python.palvane.%s %s" % (name, value))

    def complete(self, text):
        self.type("!complete " + text)
        before = collections.Counter(self.lines())
        found = wait_for(self, r"^input\t\t", "the input line after Tab", before)
        return found.split("\t", 2)[2]

    def lines(self):
        try:
            with open(self.lines_file, encoding="utf-8") as lines:
                return lines.read().splitlines()
        except FileNotFoundError:
            return []

    def stop(self):
        self.type("/quit")
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()


class HexChat:
    """HexChat under Xvfb: client_test.py runs itself again inside its own X and D-Bus session
    (as an ordinary user when run as root: HexChat stops at a warning box for root), and types
    each command through HexChat's own remote control (hexchat -e -c)."""
    name = "hexchat"
    tool_hint = "; set it with /palvane set command PATH"
    completes = False  # HexChat's plugin interface cannot complete a command's arguments

    def __init__(self, work, env, script, port):
        self.env = env
        self.config = os.path.join(work, "hexchat")
        os.makedirs(os.path.join(self.config, "addons"))
        shutil.copy(script, os.path.join(self.config, "addons", "palvane.py"))
        with open(os.path.join(self.config, "hexchat.conf"), "w") as conf:
            conf.write("irc_nick1 = tester\nirc_nick2 = tester2\nirc_nick3 = tester3\n"
                       "irc_user_name = tester\nirc_real_name = Test User\n"
                       "irc_logging = 1\nirc_logmask = %n-%c.log\n"
                       "gui_join_dialog = 0\ngui_quit_dialog = 0\ngui_slist_skip = 1\n")
        with open(os.path.join(self.config, "servlist.conf"), "w") as servers:
            servers.write("v=2.14.3\n\nN=Test\nI=tester\ni=tester2\nU=tester\nR=Test User\n"
                          "J=#test\nF=27\nD=0\nS=127.0.0.1/%d\n" % port)
        self.log = open(os.path.join(work, "hexchat.out"), "w")
        self.process = subprocess.Popen(["hexchat", "--cfgdir=" + self.config], cwd=work,
                                        env=env, stdin=subprocess.DEVNULL, stdout=self.log,
                                        stderr=subprocess.STDOUT)

    def type(self, text):
        # The remote control reaches the running HexChat over D-Bus and ends at once.
        subprocess.run(["hexchat", "--cfgdir=" + self.config, "-e", "-c", text.lstrip("/")],
                       env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=WAIT_S, check=True)

    def set_option(self, name, value):
        self.type("/palvane set %s %s" % (name, value))

    def lines(self):
        lines = []
        logs = os.path.join(self.config, "logs")
        for name in sorted(os.listdir(logs)) if os.path.isdir(logs) else []:
            with open(os.path.join(logs, name), encoding="utf-8", errors="replace") as log:
                # "Dec 08 20:40:51 palvane<TAB>text"
                lines += [re.sub(r"^\w{3} \d\d \d\d:\d\d:\d\d ", "", line)
                          for line in log.read().splitlines()]
        return lines

    def stop(self):
        try:
            self.type("/quit")
            self.process.wait(10)
        except (subprocess.SubprocessError, OSError):
            self.process.kill()
            self.process.wait()
        self.log.close()


class Irssi:
    """irssi in a tmux session: the test types into the terminal and reads irssi's log of every
    window, and the screen's input line for completion."""
    name = "irssi"
    tool_hint = "; /set palvane_command PATH"
    completes = True

    def __init__(self, work, env, script, port):
        for program in ("irssi", "tmux"):
            if not shutil.which(program):
                raise Skip("%s is not installed" % program)
        self.env = env
        self.home = os.path.join(work, "irssi")
        os.makedirs(os.path.join(self.home, "scripts", "autorun"))
        shutil.copy(script, os.path.join(self.home, "scripts", "autorun", "palvane.pl"))
        self.log_file = os.path.join(work, "irssi.log")
        # A server of its own, so tmux never meets another test's or the user's sessions.
        self.tmux = ["tmux", "-S", os.path.join(work, "tmux.socket")]
        subprocess.run(self.tmux + [
            "new-session", "-d", "-x", "200", "-y", "50", "-c", work,
            "irssi --home=%s -n tester -c 127.0.0.1 -p %d" % (self.home, port)],
            env=env, check=True, timeout=WAIT_S)
        # Every window's lines, whatever their level, to one file.
        wait_until(lambda: "tester" in self.screen(), "irssi to start")
        self.type("/log open %s ALL" % self.log_file)
        wait_until(lambda: "End of /MOTD" in self.screen(), "irssi to log in")
        self.type("/join #test")

    def type(self, text):
        subprocess.run(self.tmux + ["send-keys", "-t", "0", "-l", "--", text], env=self.env,
                       check=True, timeout=WAIT_S)
        subprocess.run(self.tmux + ["send-keys", "-t", "0", "Enter"], env=self.env, check=True,
                       timeout=WAIT_S)

    def set_option(self, name, value):
        self.type("/set palvane_%s %s" % (name, value))

    def screen(self):
        return subprocess.run(self.tmux + ["capture-pane", "-p", "-t", "0"], env=self.env,
                              capture_output=True, text=True, timeout=WAIT_S).stdout

    def complete(self, text):
        subprocess.run(self.tmux + ["send-keys", "-t", "0", "-l", "--", text], env=self.env,
                       check=True, timeout=WAIT_S)
        subprocess.run(self.tmux + ["send-keys", "-t", "0", "Tab"], env=self.env, check=True,
                       timeout=WAIT_S)
        # The input line is the screen's last: "[#test] /palvane kiwi ".
        expected = text.split()[0]

        def completed():
            line = self.screen().rstrip("\n").split("\n")[-1].rstrip()
            return line if expected in line and not line.endswith(text) else None
        line = wait_until(completed, "the input line to change after Tab")
        subprocess.run(self.tmux + ["send-keys", "-t", "0", "C-u"], env=self.env, check=True,
                       timeout=WAIT_S)
        return line[line.index(expected):].rstrip()

    def lines(self):
        try:
            with open(self.log_file, encoding="utf-8", errors="replace") as log:
                return log.read().splitlines()
        except FileNotFoundError:
            return []

    def stop(self):
        self.type("/quit")
        wait_until(lambda: subprocess.run(self.tmux + ["has-session"], env=self.env,
                                          capture_output=True).returncode != 0,
                   "irssi to quit", quiet=True)
        subprocess.run(self.tmux + ["kill-server"], env=self.env, capture_output=True)


def wait_until(found, what, quiet=False):
    deadline = time.monotonic() + WAIT_S
    while time.monotonic() < deadline:
        value = found()
        if value:
            return value
        time.sleep(0.1)
    if quiet:
        return None
    raise Failure("waited %d s for %s" % (WAIT_S, what))


def wait_for(client, pattern, what=None, before=None):
    """The first line shown that matches pattern, among the lines that were not shown before
    (a client may log its windows to several files, so new lines are not only at the end)."""
    regex = re.compile(pattern)

    def match():
        lines = collections.Counter(client.lines())
        if before:
            lines -= before
        return next((line for line in lines if regex.search(line)), None)
    return wait_until(match, what or "a line matching %r" % pattern)


def contact(table, nick):
    with sqlite3.connect("file:%s?mode=ro" % table, uri=True) as db:
        row = db.execute('SELECT "IRC Name", "IRC Notes", "IRC Spin", "IRC Time Displacement" '
                         'FROM contacts WHERE "IRC Nick" = ?', (nick,)).fetchone()
    return row


def expect_contact(table, nick, name, notes, hours):
    """The contact holds name, one of the notes given (a dated line may carry either day of a
    run that passed midnight) and the offset in hours, in both its fields."""
    row = contact(table, nick)
    if (row is None or row[0] != name or row[1] not in notes or row[2] != hours
            or abs(row[3] - hours / 24) > 1e-9):
        raise Failure("contact %r is %r, not %r" % (nick, row, (name, notes, hours)))


def whois_requests(server):
    """The nicks of every WHOIS the client sent, in order."""
    requests = (irc_server.split_message(line) for line in server.received())
    return [params[-1] for command, params in requests if command == "WHOIS" and params]


def scenario(client, server, table, days):
    dated = "(%s)" % "|".join(re.escape(d) for d in days)

    def run(command, *patterns):
        before = collections.Counter(client.lines())
        client.type(command)
        for pattern in patterns:
            wait_for(client, pattern, "%r after %s" % (pattern, command), before)

    def note_of(*texts):
        # Each text a dated line; a later line never bears an earlier day.
        notes = [""]
        for text in texts:
            notes = [n + ("\n" if n else "") + d + ": " + text for n in notes for d in days
                     if not n or n.split("\n")[-1][:10] <= d]
        return notes

    run("/palvane BOB", r"bob: Bob Marsh <bob@example\.com>, Chicago, USA$",
        r"their time: %s, %s \(-6 h from yours\)$" % (TIME, DATE), r"notes: The first bob\.$",
        r"notes: Op on #chicago\.$")
    run("/palvane bobby", r'no contact "bobby"; nearest: kiwi$',
        r"kiwi: Hemi Walker <hemi@example\.nz>, Auckland, New Zealand$")
    run("/palvane", r"usage: /palvane NICK \| add NICK \| note NICK TEXT \| tz NICK HOURS")
    # The end of a /whois: a stranger gets nothing, a contact their time and notes.
    run("/whois stranger", r"(?i)stranger.*no such nick|no such nick.* stranger")
    run("/whois sakura", r"sakura's local time: %s, %s \(\+9 h from yours\)$" % (TIME, DATE),
        r"notes: Likes trains\.$")

    # Added from the last /whois: no second one is asked for.
    run("/whois hana", r"Hana Sato")
    run("/palvane add hana", r'Added "hana" to ')
    expect_contact(table, "hana", "Hana Sato", note_of("~hana@kyoto.example"), 0)
    if whois_requests(server).count("hana") != 1:
        raise Failure("the add asked for a /whois it had: %r" % server.received())
    # Without one, the script asks the network itself.
    run("/palvane add mika", r'Added "mika" to ')
    if "mika" not in whois_requests(server):
        raise Failure("no /whois was asked for mika: %r" % server.received())
    expect_contact(table, "mika", "Mika Virtanen", note_of("mika@helsinki.example"), 0)
    run("/palvane add ghost", r"no /whois reply for ghost: adding the nick alone$",
        r'Added "ghost" to ')
    expect_contact(table, "ghost", None, [None], 0)
    run("/palvane add HANA", r'a contact with the nick "HANA" exists already, as "hana"$')

    run("/palvane note hana Likes tea; bring $(biscuits) `x` 100%", r'Changed "hana" in .*: notes$')
    run("/palvane tz hana 9", r'Changed "hana" in .*: offset$')
    run("/palvane tz hana 99", r"the offset must be whole hours from -24 to 24, not '99'$")
    run("/palvane note nobody hello", r'no contact has the nick "nobody"$')
    expect_contact(table, "hana", "Hana Sato",
                   note_of("~hana@kyoto.example", "Likes tea; bring $(biscuits) `x` 100%"), 9)
    run("/whois hana", r"hana's local time: %s, %s \(\+9 h from yours\)$" % (TIME, DATE),
        r"notes: %s: Likes tea; bring \$\(biscuits\) `x` 100%%$" % dated)

    for nick in HOSTILE:
        user, host, realname = irc_server.PEOPLE[nick]
        shown = re.escape(nick)
        run("/palvane add " + nick, r'Added "%s" to ' % shown)
        run("/palvane note %s %s" % (nick, HOSTILE_NOTE), r'Changed "%s" in .*: notes$' % shown)
        run("/palvane tz %s -5" % nick, r'Changed "%s" in .*: offset$' % shown)
        expect_contact(table, nick, realname, note_of("%s@%s" % (user, host), HOSTILE_NOTE), -5)
        run("/palvane " + nick, r"^.*%s: %s" % (shown, re.escape(realname)))

    if client.completes:
        # Nicks only the book knows (none of them is in the channel), one added just now.
        for typed, completed in (("/palvane ki", "/palvane kiwi"),
                                 ("/palvane note gh", "/palvane note ghost"),
                                 ("/palvane tz na", "/palvane tz nadia")):
            got = client.complete(typed)
            if got.rstrip() != completed:
                raise Failure("Tab after %r gave %r, not %r" % (typed, got, completed))

    client.set_option("table", "/nonexistent/palvane.db")
    run("/palvane bob", r"Cannot open the contact table /nonexistent/palvane\.db: the directory "
                        r"/nonexistent does not exist$")
    client.set_option("command", "/nonexistent/palvane-table")
    run("/palvane bob", r"cannot find the table tool /nonexistent/palvane-table%s$"
        % re.escape(client.tool_hint))


def main():
    kind, tool, script = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    if kind == "hexchat" and not os.environ.get("PALVANE_CLIENT_SESSION"):
        return start_hexchat_session(tool, script)
    work = os.environ.get("PALVANE_CLIENT_WORK") or tempfile.mkdtemp(prefix="palvane-irc-")
    env = clean_environment(work)
    os.makedirs(os.path.join(work, "bin"), exist_ok=True)
    tool_link = os.path.join(work, "bin", "palvane-table")
    if not os.path.exists(tool_link):
        os.symlink(tool, tool_link)
    table = os.path.join(work, "table", "palvane.db")
    subprocess.run([tool, "demo", table], check=True, stdout=subprocess.DEVNULL)
    server = irc_server.start()
    client = None
    first_day = datetime.date.today()
    try:
        client = {"weechat": WeeChat, "hexchat": HexChat, "irssi": Irssi}[kind](
            work, env, script, server.port)
        # Connected and in the channel: the client is all up and takes commands.
        wait_until(lambda: "JOIN #test" in server.received(), "the client to join #test")
        client.set_option("table", table)
        scenario(client, server, table, [
            first_day.isoformat(), (first_day + datetime.timedelta(days=1)).isoformat()])
        pwned = [name for name in os.listdir(work) + os.listdir(env["HOME"])
                 if "pwned" in name]
        if pwned:
            raise Failure("a shell ran what a nick or note held: %r" % pwned)
        print("%s: all checks passed" % kind)
        return 0
    except Skip as skip:
        print("%s: skipped: %s" % (kind, skip))
        return 77
    except (Failure, subprocess.SubprocessError) as failure:
        print("%s: FAILED: %s" % (kind, failure))
        if client:
            print("--- what the client showed:")
            print("\n".join(client.lines()))
        print("--- what the server received:")
        print("\n".join(server.received()))
        return 1
    finally:
        if client:
            client.stop()
        server.shutdown()
        if not os.environ.get("KEEP") and not os.environ.get("PALVANE_CLIENT_WORK"):
            shutil.rmtree(work, ignore_errors=True)
        elif os.environ.get("KEEP"):
            print("kept " + work)


def python_for_anyone():
    # A Python of the user's own (under /root, say) cannot be run by the user the session runs
    # as; the system's can.
    return "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


def start_hexchat_session(tool, script):
    for program, package in (("hexchat", "hexchat"), ("xvfb-run", "xvfb"),
                             ("dbus-run-session", "dbus")):
        if not shutil.which(program):
            print("hexchat: skipped: %s is not installed (%s)" % (program, package))
            return 77
    if not any(os.path.exists("/usr/lib/%s/hexchat/plugins/python.so" % d)
               for d in os.listdir("/usr/lib") if d.endswith("-linux-gnu")):
        print("hexchat: skipped: HexChat's Python plugin (hexchat-python3) is not installed")
        return 77
    # Everything the session needs is copied into a folder it owns, so that it runs as an
    # ordinary user whatever the rights on the build tree.
    work = tempfile.mkdtemp(prefix="palvane-irc-")
    here = os.path.dirname(os.path.abspath(__file__))
    for name in ("client_test.py", "irc_server.py"):
        shutil.copy(os.path.join(here, name), work)
    shutil.copy(tool, os.path.join(work, "palvane-table"))
    shutil.copy(script, os.path.join(work, "palvane.py"))
    command = ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", "dbus-run-session", "--",
               python_for_anyone(), os.path.join(work, "client_test.py"), "hexchat",
               os.path.join(work, "palvane-table"), os.path.join(work, "palvane.py")]
    if os.getuid() == 0:
        for root, dirs, files in os.walk(work):
            for name in [root] + [os.path.join(root, n) for n in dirs + files]:
                os.chown(name, 65534, 65534)
        command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + command
    env = dict(os.environ, PALVANE_CLIENT_SESSION="1", PALVANE_CLIENT_WORK=work,
               HOME=work, TMPDIR=work)
    try:
        return subprocess.run(command, env=env, stdin=subprocess.DEVNULL,
                              cwd=work).returncode
    finally:
        if os.environ.get("KEEP"):
            print("kept " + work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
