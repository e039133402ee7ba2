# Inside a headless WeeChat for client_test.py: types each line the test appends to
# $PALVANE_COMMANDS into the #test buffer (else the server's), as a user would, and writes the
# lines of every buffer to $PALVANE_LINES. "!complete TEXT" puts TEXT in the input line,
# presses Tab and reports the input line as "input<TAB>TEXT".

import os

import weechat

weechat.register("palvane_driver", "Palvane 32 developers", "1", "Proprietary",
                 "test driver for the palvane script", "", "")
state = {"done": 0, "inputs": []}


def all_lines():
    hdata = {name: weechat.hdata_get(name) for name in ("buffer", "lines", "line", "line_data")}
    result = []
    buffer = weechat.hdata_get_list(hdata["buffer"], "gui_buffers")
    while buffer:
        lines = weechat.hdata_pointer(hdata["buffer"], buffer, "own_lines")
        line = weechat.hdata_pointer(hdata["lines"], lines, "first_line") if lines else ""
        while line:
            data = weechat.hdata_pointer(hdata["line"], line, "data")
            result.append("\t".join(
                weechat.string_remove_color(weechat.hdata_string(hdata["line_data"], data, f), "")
                for f in ("prefix", "message")))
            line = weechat.hdata_move(hdata["line"], line, 1)
        buffer = weechat.hdata_move(hdata["buffer"], buffer, 1)
    return result + state["inputs"]


def tick(data, remaining_calls):
    with open(os.environ["PALVANE_COMMANDS"], encoding="utf-8") as source:
        commands = source.read().split("\n")[:-1]  # whole lines only
    buffer = weechat.buffer_search("irc", "test.#test") or weechat.buffer_search("irc",
                                                                                 "server.test")
    for command in commands[state["done"]:]:
        if command.startswith("!complete "):
            text = command[len("!complete "):]
            weechat.buffer_set(buffer, "input", text)
            weechat.buffer_set(buffer, "input_pos", str(len(text)))
            weechat.command(buffer, "/input complete_next")
            state["inputs"].append("input\t" + weechat.buffer_get_string(buffer, "input"))
            weechat.buffer_set(buffer, "input", "")
        else:
            weechat.command(buffer, command)
    state["done"] = len(commands)
    with open(os.environ["PALVANE_LINES"] + ".new", "w", encoding="utf-8") as out:
        out.write("".join(line + "\n" for line in all_lines()))
    os.replace(os.environ["PALVANE_LINES"] + ".new", os.environ["PALVANE_LINES"])
    return weechat.WEECHAT_RC_OK


weechat.hook_timer(100, 0, 0, "tick", "")
