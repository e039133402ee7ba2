# Palvane 32 in WeeChat: look up, add and annotate the people you chat with in the address
# book, and see a known nick's local time and notes at the end of a /whois.
#
#   /palvane NICK               the contact (case ignored; else the nearest nick)
#   /palvane add NICK           a new contact: the real name from the last /whois of the nick
#                               (one is asked for when there was none) and a dated note line
#                               with the user@host it was seen as
#   /palvane note NICK TEXT     a dated line at the end of the contact's notes
#   /palvane tz NICK HOURS      the contact's offset from your local time (-24 to 24)
#
# Install: copy this file to ~/.local/share/weechat/python/autoload/ (or load it with
# /python load palvane.py from ~/.local/share/weechat/python/).
#
# Options (/set plugins.var.python.palvane.*):
#   command  the table tool; empty: palvane-table found on PATH
#   table    the contact table; empty: the table tool's own default, the address book's table
#
# Everything the lines say is made by the table tool, which runs in the background (never
# through a shell) so that WeeChat never waits for it.

import os
import shutil

import weechat

SCRIPT_NAME = "palvane"
SCRIPT_AUTHOR = "Palvane 32 developers"
SCRIPT_VERSION = "1.3"
SCRIPT_LICENSE = "Proprietary"
SCRIPT_DESC = "The Palvane 32 address book: /palvane NICK, add, note, tz, and on /whois"

OPTIONS = {
    "command": ("", "the table tool palvane-table; empty: found on PATH"),
    "table": ("", "the contact table; empty: the table tool's default, the address book's"),
}

TIMEOUT_MS = 30000
USAGE = "usage: /palvane NICK | add NICK | note NICK TEXT | tz NICK HOURS"

# Output of the running tool processes, by their key.
pending = {}
next_key = [0]
# The last /whois reply seen for a nick: (server, lower-case nick) -> (user@host, real name).
whois_seen = {}
# Adds that wait for the /whois they asked for: (server, lower-case nick) -> (buffer, nick).
adds_waiting = {}
# Nicks of the book for completion, refreshed in the background.
book_nicks = []
refreshing = [False, False]  # running, asked for again


def say(buffer, text):
    weechat.prnt(buffer, "%s%s\t%s" % (weechat.color("chat_prefix_network"), SCRIPT_NAME, text))


def tool_path():
    command = os.path.expanduser(weechat.config_get_plugin("command"))
    if command:
        return command
    return shutil.which("palvane-table") or ""


def table_arguments():
    table = os.path.expanduser(weechat.config_get_plugin("table"))
    return ["--table", table] if table else []


def run_tool(arguments, buffer, on_done, quiet=False, ended=None):
    """Runs the table tool with arguments (each one argument, never through a shell); calls
    on_done(buffer, out_lines) when it succeeded, else shows its error unless quiet; and
    ended() in any case."""
    tool = tool_path()
    if not tool or not shutil.which(tool):
        if not quiet:
            say(buffer, "cannot find the table tool %s; set plugins.var.python.palvane.command"
                % (tool or "palvane-table on PATH"))
        if ended:
            ended()
        return
    key = str(next_key[0])
    next_key[0] += 1
    pending[key] = {"buffer": buffer, "done": on_done, "quiet": quiet, "ended": ended,
                    "out": "", "err": ""}
    options = {"arg%d" % (i + 1): argument for i, argument in enumerate(arguments)}
    weechat.hook_process_hashtable(tool, options, TIMEOUT_MS, "tool_output", key)


def tool_output(key, command, return_code, out, err):
    job = pending.get(key)
    if job is None:
        return weechat.WEECHAT_RC_OK
    job["out"] += out or ""
    job["err"] += err or ""
    if return_code == weechat.WEECHAT_HOOK_PROCESS_RUNNING:
        return weechat.WEECHAT_RC_OK
    del pending[key]
    if job["ended"]:
        job["ended"]()
    if return_code == 0:
        for line in job["err"].splitlines():  # warnings
            say(job["buffer"], line)
        job["done"](job["buffer"], job["out"].splitlines())
    elif not job["quiet"]:
        lines = job["err"].splitlines() or ["the table tool failed (%s)" % return_code]
        for line in lines:
            say(job["buffer"], line)
    return weechat.WEECHAT_RC_OK


def print_lines(buffer, lines):
    for line in lines:
        say(buffer, line)


def changed(buffer, lines):
    print_lines(buffer, lines)
    refresh_nicks()


def refresh_nicks():
    # One refresh at a time, so that a held-down Tab does not start a crowd of them; one asked
    # for meanwhile runs after it, as the book may have changed since it began.
    if refreshing[0]:
        refreshing[1] = True
        return
    refreshing[0] = True

    def keep(buffer, lines):
        book_nicks[:] = lines
    run_tool(["nicks"] + table_arguments(), "", keep, quiet=True, ended=refresh_ended)


def refresh_ended():
    again = refreshing[1]
    refreshing[:] = [False, False]
    if again:
        refresh_nicks()


def show(buffer, nick):
    run_tool(["show", "--format", "chat"] + table_arguments() + ["--", nick], buffer,
             print_lines)


def add(buffer, server, nick):
    arguments = ["add"] + table_arguments()
    seen = whois_seen.get((server, nick.lower()))
    if seen:
        address, realname = seen
        if realname:
            arguments.append("--name=" + realname)
        arguments += ["--append-notes=" + address, "--dated"]
    else:
        say(buffer, "no /whois reply for %s: adding the nick alone" % nick)
    run_tool(arguments + ["--", nick], buffer, changed)


def palvane_command(data, buffer, args):
    words = args.split()
    server = weechat.buffer_get_string(buffer, "localvar_server")
    if len(words) == 1 and words[0] not in ("add", "note", "tz"):
        show(buffer, words[0])
    elif len(words) == 2 and words[0] == "add":
        nick = words[1]
        if (server, nick.lower()) in whois_seen or not server:
            add(buffer, server, nick)
        else:
            # Ask the network who it is; the add goes on at the end of the reply.
            adds_waiting[(server, nick.lower())] = (buffer, nick)
            weechat.command(weechat.info_get("irc_buffer", server) or buffer,
                            "/quote WHOIS " + nick)
    elif len(words) >= 3 and words[0] == "note":
        text = args.split(None, 2)[2]
        run_tool(["set", "--append-notes=" + text, "--dated"] + table_arguments() +
                 ["--", words[1]], buffer, changed)
    elif len(words) == 3 and words[0] == "tz":
        run_tool(["set", "--offset=" + words[2]] + table_arguments() + ["--", words[1]],
                 buffer, changed)
    else:
        say(buffer, USAGE)
    return weechat.WEECHAT_RC_OK


def option_value(name):
    option = weechat.config_get(name)
    return weechat.config_string(option) if option else ""


def whois_buffer(server, nick):
    # Where WeeChat showed the whois: its msgbuffer setting, else the server buffer.
    target = option_value("irc.msgbuffer.%s.whois" % server) or option_value("irc.msgbuffer.whois")
    if target == "weechat":
        return weechat.buffer_search_main()
    if target == "current":
        return weechat.current_buffer()
    if target == "private":
        private = weechat.info_get("irc_buffer", "%s,%s" % (server, nick))
        if private:
            return private
        if option_value("irc.look.msgbuffer_fallback") == "current":
            return weechat.current_buffer()
    return weechat.info_get("irc_buffer", server) or weechat.current_buffer()


def message_parameters(signal_data):
    parsed = weechat.info_get_hashtable("irc_message_parse", {"message": signal_data})
    count = int(parsed.get("num_params") or 0)
    return [parsed.get("param%d" % (i + 1), "") for i in range(count)]


def whois_user(data, signal, signal_data):
    # ":server 311 me nick user host * :real name"
    server = signal.split(",", 1)[0]
    params = message_parameters(signal_data)
    if len(params) >= 6:
        whois_seen[(server, params[1].lower())] = ("%s@%s" % (params[2], params[3]), params[5])
    return weechat.WEECHAT_RC_OK


def end_of_whois(data, signal, signal_data):
    # ":server 318 me nick :End of /WHOIS list."
    server = signal.split(",", 1)[0]
    params = message_parameters(signal_data)
    if len(params) >= 2 and params[1]:
        nick = params[1]
        waiting = adds_waiting.pop((server, nick.lower()), None)
        if waiting:
            add(waiting[0], server, waiting[1])
        run_tool(["show", "--format", "whois"] + table_arguments() + ["--", nick],
                 whois_buffer(server, nick), print_lines, quiet=True)
    return weechat.WEECHAT_RC_OK


def complete_nicks(data, completion_item, buffer, completion):
    for nick in book_nicks:
        weechat.hook_completion_list_add(completion, nick, 1, weechat.WEECHAT_LIST_POS_SORT)
    refresh_nicks()  # for the next time: the book may have changed
    return weechat.WEECHAT_RC_OK


if weechat.register(SCRIPT_NAME, SCRIPT_AUTHOR, SCRIPT_VERSION, SCRIPT_LICENSE, SCRIPT_DESC,
                    "", ""):
    for name, (default, description) in OPTIONS.items():
        if not weechat.config_is_set_plugin(name):
            weechat.config_set_plugin(name, default)
        weechat.config_set_desc_plugin(name, description)
    weechat.hook_completion("palvane_nicks", "nicks of the Palvane 32 address book",
                            "complete_nicks", "")
    weechat.hook_command(
        "palvane", "The Palvane 32 address book",
        "<nick> || add <nick> || note <nick> <text> || tz <nick> <hours>",
        " nick: show the contact (case ignored; else the nearest nick)\n"
        "  add: add the nick as a new contact, with the real name and user@host of its last "
        "/whois (asked for when there was none)\n"
        " note: add a dated line to the contact's notes\n"
        "   tz: set the contact's offset from your local time, in whole hours (-24 to 24)\n\n"
        "A /whois of a nick the book knows ends with the contact's local time and notes.",
        "add %(nicks) || note %(palvane_nicks) || tz %(palvane_nicks) || %(palvane_nicks)",
        "palvane_command", "")
    weechat.hook_signal("*,irc_in2_311", "whois_user", "")
    weechat.hook_signal("*,irc_in2_318", "end_of_whois", "")
    refresh_nicks()
