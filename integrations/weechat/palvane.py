# Palvane 32 in WeeChat: /palvane NICK shows a contact of the address book in the current
# buffer, and a /whois of a nick the book knows ends with that contact's local time and notes.
#
# Install: copy this file to ~/.local/share/weechat/python/autoload/ (or load it with
# /python load palvane.py from ~/.local/share/weechat/python/).
#
# Options (/set plugins.var.python.palvane.*):
#   command  the table tool; empty: palvane-table found on PATH
#   table    the contact table; empty: the table of the installed program,
#            $XDG_DATA_HOME/palvane/data/palvane.db (~/.local/share/palvane/data/palvane.db)
#
# The table is only read, through "palvane-table show --format json", which runs in the
# background so that WeeChat never waits for it.

import json
import os
import shutil

import weechat

SCRIPT_NAME = "palvane"
SCRIPT_AUTHOR = "Palvane 32 developers"
SCRIPT_VERSION = "1.3"
SCRIPT_LICENSE = "Proprietary"
SCRIPT_DESC = "Show contacts of the Palvane 32 address book: /palvane NICK and on /whois"

OPTIONS = {
    "command": ("", "the table tool palvane-table; empty: found on PATH"),
    "table": ("", "the contact table; empty: $XDG_DATA_HOME/palvane/data/palvane.db "
                  "(~/.local/share/palvane/data/palvane.db), the installed program's table"),
}

TIMEOUT_MS = 10000

# Output of the running look-ups, by their key.
pending = {}
next_key = [0]


def default_table():
    # As the installed program's launcher: a relative XDG_DATA_HOME is ignored.
    data_home = os.environ.get("XDG_DATA_HOME", "")
    if not os.path.isabs(data_home):
        data_home = os.path.join(os.path.expanduser("~"), ".local", "share")
    return os.path.join(data_home, "palvane", "data", "palvane.db")


def table_path():
    table = weechat.config_get_plugin("table")
    return os.path.expanduser(table) if table else default_table()


def tool_path():
    command = weechat.config_get_plugin("command")
    if command:
        return os.path.expanduser(command)
    return shutil.which("palvane-table")


def say(buffer, text):
    weechat.prnt(buffer, "%s%s\t%s" % (weechat.color("chat_prefix_network"), SCRIPT_NAME, text))


def offset_text(contact):
    hours = contact.get("offset_hours")
    if hours is None:
        return ""
    if hours == int(hours):
        hours = int(hours)
    return "%s%s h" % ("+" if hours > 0 else "", hours)


def time_text(contact):
    if not contact.get("their_time"):
        return "unknown"
    return "%s, %s (%s from yours)" % (contact["their_time"], contact["their_date"],
                                       offset_text(contact))


def notes_lines(contact):
    return ["notes: " + line for line in contact.get("notes", "").splitlines() if line.strip()]


def show_contact(buffer, contact):
    if not contact["exact"]:
        say(buffer, 'no contact "%s"; nearest: %s' % (contact["query"], contact["nick"]))
    details = contact["name"]
    if contact["email"]:
        details += " <%s>" % contact["email"]
    if contact["location"]:
        details += ", " + contact["location"]
    say(buffer, "%s: %s" % (contact["nick"], details.strip()))
    say(buffer, "their time: " + time_text(contact))
    for line in notes_lines(contact):
        say(buffer, line)


def show_whois(buffer, contact):
    # Only the contact of this very nick: a nearest match would tell about someone else.
    if not contact["exact"]:
        return
    say(buffer, "%s's local time: %s" % (contact["nick"], time_text(contact)))
    for line in notes_lines(contact):
        say(buffer, line)


def look_up(nick, buffer, whois):
    tool = tool_path()
    if not tool or not os.access(tool, os.X_OK):
        if not whois:
            say(buffer, "cannot find the table tool %s; set plugins.var.python.palvane.command"
                % (tool or "palvane-table on PATH"))
        return
    key = str(next_key[0])
    next_key[0] += 1
    pending[key] = {"buffer": buffer, "whois": whois, "out": "", "err": ""}
    # Arguments go to the tool as they are, never through a shell.
    options = {"arg1": "show", "arg2": "--format", "arg3": "json", "arg4": "--table",
               "arg5": table_path(), "arg6": "--", "arg7": nick}
    weechat.hook_process_hashtable(tool, options, TIMEOUT_MS, "look_up_done", key)


def look_up_done(key, command, return_code, out, err):
    job = pending.get(key)
    if job is None:
        return weechat.WEECHAT_RC_OK
    job["out"] += out or ""
    job["err"] += err or ""
    if return_code == weechat.WEECHAT_HOOK_PROCESS_RUNNING:
        return weechat.WEECHAT_RC_OK
    del pending[key]
    buffer = job["buffer"]
    if return_code != 0:
        if not job["whois"]:
            message = job["err"].strip().replace("palvane-table: ", "") or (
                "the table tool failed (%s)" % return_code)
            for line in message.splitlines():
                say(buffer, line)
        return weechat.WEECHAT_RC_OK
    try:
        contact = json.loads(job["out"])
    except ValueError:
        if not job["whois"]:
            say(buffer, "the table tool gave no contact")
        return weechat.WEECHAT_RC_OK
    if job["whois"]:
        show_whois(buffer, contact)
    else:
        show_contact(buffer, contact)
    return weechat.WEECHAT_RC_OK


def palvane_command(data, buffer, args):
    nick = args.strip()
    if not nick:
        say(buffer, "usage: /palvane NICK")
        return weechat.WEECHAT_RC_OK
    look_up(nick, buffer, False)
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


def end_of_whois(data, signal, signal_data):
    # ":server 318 me nick :End of /WHOIS list."
    server = signal.split(",", 1)[0]
    parsed = weechat.info_get_hashtable("irc_message_parse", {"message": signal_data})
    params = parsed.get("arguments", "").split(" ")
    if len(params) >= 2 and params[1]:
        nick = params[1]
        look_up(nick, whois_buffer(server, nick), True)
    return weechat.WEECHAT_RC_OK


if weechat.register(SCRIPT_NAME, SCRIPT_AUTHOR, SCRIPT_VERSION, SCRIPT_LICENSE, SCRIPT_DESC,
                    "", ""):
    for name, (default, description) in OPTIONS.items():
        if not weechat.config_is_set_plugin(name):
            weechat.config_set_plugin(name, default)
        weechat.config_set_desc_plugin(name, description)
    weechat.hook_command(
        "palvane", "Show a contact of the Palvane 32 address book", "<nick>",
        "nick: the contact's nick (case ignored; else the nearest nick is shown)\n\n"
        "A /whois of a nick the book knows ends with the contact's local time and notes.",
        "%(nicks)", "palvane_command", "")
    weechat.hook_signal("*,irc_in2_318", "end_of_whois", "")
