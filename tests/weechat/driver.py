# Runs inside a headless WeeChat after palvane.py: /palvane and an end of /whois, each
# answered by the real table tool against a demo table, then writes every line of the core
# buffer to $PALVANE_RESULT and quits. run.sh checks the lines.

import os

import weechat

weechat.register("palvane_driver", "Palvane 32 developers", "1", "Proprietary",
                 "test driver for palvane.py", "", "")

core = weechat.buffer_search_main()
# The options stay at their defaults (palvane-table on PATH, the installed program's table)
# until the last steps, which point them at nothing.
steps = [
    "/palvane BOB",
    "/palvane bobby",
    # End of a whois, as the IRC plugin announces it once WeeChat has shown the reply: one for
    # a nick of the book, one for a stranger (nothing is shown for him).
    ("whois", "sakura"),
    ("whois", "stranger"),
    "/palvane",
    "/set plugins.var.python.palvane.table /nonexistent/palvane.db",
    "/palvane bob",
    "/set plugins.var.python.palvane.command /nonexistent/palvane-table",
    "/palvane bob",
]


def buffer_lines(buffer):
    h_buffer = weechat.hdata_get("buffer")
    h_lines = weechat.hdata_get("lines")
    h_line = weechat.hdata_get("line")
    h_data = weechat.hdata_get("line_data")
    lines = weechat.hdata_pointer(h_buffer, buffer, "own_lines")
    line = weechat.hdata_pointer(h_lines, lines, "first_line")
    result = []
    while line:
        data = weechat.hdata_pointer(h_line, line, "data")
        prefix = weechat.string_remove_color(weechat.hdata_string(h_data, data, "prefix"), "")
        message = weechat.string_remove_color(weechat.hdata_string(h_data, data, "message"), "")
        result.append("%s\t%s" % (prefix, message))
        line = weechat.hdata_move(h_line, line, 1)
    return result


# Lines counted at the last ticks, to see when the background look-ups have all answered.
counts = []


def step(data, remaining_calls):
    # One step per tick: each look-up runs in the background, in order on an idle machine.
    if steps:
        action = steps.pop(0)
        if isinstance(action, tuple):
            weechat.hook_signal_send("test,irc_in2_318", weechat.WEECHAT_HOOK_SIGNAL_STRING,
                                     ":irc.test 318 me %s :End of /WHOIS list." % action[1])
        else:
            weechat.command(core, action)
        return weechat.WEECHAT_RC_OK
    lines = buffer_lines(core)
    counts.append(len(lines))
    # Done when three ticks in a row added nothing (a loaded machine answers late), or after
    # half a minute.
    if len(counts) < 30 and (len(counts) < 3 or len(set(counts[-3:])) > 1):
        return weechat.WEECHAT_RC_OK
    with open(os.environ["PALVANE_RESULT"], "w", encoding="utf-8") as result:
        for line in lines:
            result.write(line + "\n")
    weechat.command(core, "/quit")
    return weechat.WEECHAT_RC_OK


weechat.hook_timer(500, 0, 0, "step", "")
