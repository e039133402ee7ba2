# Palvane 32 in HexChat: look up, add and annotate the people you chat with in the address
# book, and see a known nick's local time and notes at the end of a /whois.
#
#   /palvane NICK               the contact (case ignored; else the nearest nick)
#   /palvane add NICK           a new contact: the real name from the last /whois of the nick
#                               (one is asked for when there was none) and a dated note line
#                               with the user@host it was seen as
#   /palvane note NICK TEXT     a dated line at the end of the contact's notes
#   /palvane tz NICK HOURS      the contact's offset from your local time (-24 to 24)
#   /palvane set command|table [VALUE]
#                               the table tool (default: palvane-table on PATH) and the contact
#                               table (default: the table tool's own, the address book's);
#                               without VALUE back to the default
#
# Install: copy this file to ~/.config/hexchat/addons/ (loaded at start), or load it with
# /load ~/path/to/palvane.py. Needs HexChat's Python 3 plugin (Debian: hexchat-python3).
#
# Everything the lines say is made by the table tool, which runs in the background (never
# through a shell) so that HexChat never waits for it.

import os
import shutil
import subprocess
import tempfile
import time

import hexchat

__module_name__ = "palvane"
__module_version__ = "1.3"
__module_description__ = "The Palvane 32 address book: /palvane NICK, add, note, tz, and on /whois"

TIMEOUT_S = 30
USAGE = ("usage: /palvane NICK | add NICK | note NICK TEXT | tz NICK HOURS | "
         "set command|table [VALUE]")

# Running tool processes: [process, output file, error file, context, on_done, quiet, start].
running = []
timer = [None]
# The last /whois reply seen for a nick: (network, lower-case nick) -> (user@host, real name).
whois_seen = {}
# Adds that wait for the /whois they asked for: (network, lower-case nick) -> (context, nick).
adds_waiting = {}


def say(context, text):
    (context or hexchat.get_context()).prnt("palvane\t" + text)


def network():
    return hexchat.get_info("network") or hexchat.get_info("server") or ""


def tool_path():
    command = hexchat.get_pluginpref("palvane_command")
    return shutil.which(os.path.expanduser(command) if command else "palvane-table")


def table_arguments():
    table = hexchat.get_pluginpref("palvane_table")
    return ["--table", os.path.expanduser(table)] if table else []


def run_tool(arguments, context, on_done, quiet=False):
    """Runs the table tool with arguments (each one argument, never through a shell); calls
    on_done(context, out_lines) when it succeeded, else shows its error unless quiet."""
    tool = tool_path()
    if not tool:
        if not quiet:
            say(context, "cannot find the table tool %s; set it with /palvane set command PATH"
                % (hexchat.get_pluginpref("palvane_command") or "palvane-table on PATH"))
        return
    # Files rather than pipes: a long answer cannot fill a pipe while nobody reads it.
    out = tempfile.TemporaryFile()
    err = tempfile.TemporaryFile()
    try:
        process = subprocess.Popen([tool] + arguments, stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=err)
    except OSError as error:
        out.close()
        err.close()
        if not quiet:
            say(context, "cannot run the table tool %s: %s" % (tool, error.strerror))
        return
    running.append([process, out, err, context, on_done, quiet, time.monotonic()])
    if timer[0] is None:
        timer[0] = hexchat.hook_timer(50, check_running)


def read_lines(handle):
    handle.seek(0)
    lines = handle.read().decode("utf-8", "replace").splitlines()
    handle.close()
    return lines


def check_running(userdata):
    for job in list(running):
        process, out, err, context, on_done, quiet, start = job
        if process.poll() is None:
            if time.monotonic() - start < TIMEOUT_S:
                continue
            process.kill()
            process.wait()
        running.remove(job)
        out_lines, err_lines = read_lines(out), read_lines(err)
        if process.returncode == 0:
            for line in err_lines:  # warnings
                say(context, line)
            on_done(context, out_lines)
        elif not quiet:
            for line in err_lines or ["the table tool failed (%s)" % process.returncode]:
                say(context, line)
    if running:
        return True
    timer[0] = None
    return False


def print_lines(context, lines):
    for line in lines:
        say(context, line)


def add(context, net, nick):
    arguments = ["add"] + table_arguments()
    seen = whois_seen.get((net, nick.lower()))
    if seen:
        address, realname = seen
        if realname:
            arguments.append("--name=" + realname)
        arguments += ["--append-notes=" + address, "--dated"]
    else:
        say(context, "no /whois reply for %s: adding the nick alone" % nick)
    run_tool(arguments + ["--", nick], context, print_lines)


def set_option(context, name, value):
    hexchat.set_pluginpref("palvane_" + name, value)
    say(context, "%s: %s" % (name, value or "the default"))


def palvane_command(word, word_eol, userdata):
    # HexChat's word list drops the double quotes it groups words with; a nick may hold one.
    text = word_eol[1] if len(word_eol) > 1 else ""
    words = text.split()
    context = hexchat.get_context()
    if len(words) == 1 and words[0] not in ("add", "note", "tz", "set"):
        run_tool(["show", "--format", "chat"] + table_arguments() + ["--", words[0]], context,
                 print_lines)
    elif len(words) == 2 and words[0] == "add":
        nick, net = words[1], network()
        if (net, nick.lower()) in whois_seen or not hexchat.get_info("server"):
            add(context, net, nick)
        else:
            # Ask the network who it is; the add goes on at the end of the reply.
            adds_waiting[(net, nick.lower())] = (context, nick)
            hexchat.command("QUOTE WHOIS " + nick)
    elif len(words) >= 3 and words[0] == "note":
        run_tool(["set", "--append-notes=" + text.split(None, 2)[2], "--dated"] + table_arguments() +
                 ["--", words[1]], context, print_lines)
    elif len(words) == 3 and words[0] == "tz":
        run_tool(["set", "--offset=" + words[2]] + table_arguments() + ["--", words[1]],
                 context, print_lines)
    elif len(words) >= 2 and words[0] == "set" and words[1] in ("command", "table"):
        set_option(context, words[1], text.split(None, 2)[2] if len(words) >= 3 else "")
    else:
        say(context, USAGE)
    return hexchat.EAT_ALL


def whois_user(word, word_eol, userdata):
    # ":server 311 me nick user host * :real name"
    if len(word) >= 8:
        realname = word_eol[7][1:] if word_eol[7].startswith(":") else word_eol[7]
        whois_seen[(network(), word[3].lower())] = ("%s@%s" % (word[4], word[5]), realname)
    return hexchat.EAT_NONE


def end_of_whois(word, word_eol, userdata):
    # ":server 318 me nick :End of /WHOIS list."
    if len(word) >= 4:
        nick, net = word[3], network()
        waiting = adds_waiting.pop((net, nick.lower()), None)
        if waiting:
            add(waiting[0], net, waiting[1])
        run_tool(["show", "--format", "whois"] + table_arguments() + ["--", nick],
                 hexchat.get_context(), print_lines, quiet=True)
    return hexchat.EAT_NONE


def unload(userdata):
    for process, out, err, *rest in running:
        process.kill()
        process.wait()
        out.close()
        err.close()


hexchat.hook_command("palvane", palvane_command, help=USAGE)
hexchat.hook_server("311", whois_user)
hexchat.hook_server("318", end_of_whois)
hexchat.hook_unload(unload)
