# Runs inside a headless WeeChat for client_test.py: types the commands the test appends to
# $PALVANE_COMMANDS into the #test channel's buffer (else the server's, else the core buffer),
# as a user would, and writes every line of every buffer to $PALVANE_LINES. A line
# "!complete TEXT" puts TEXT in the input line, presses Tab once and reports the input line as
# "input\tTEXT".

import os

import weechat

weechat.register("palvane_driver", "Palvane 32 developers", "1", "Proprietary",
                 "test driver for the palvane script", "", "")

commands_path = os.environ["PALVANE_COMMANDS"]
lines_path = os.environ["PALVANE_LINES"]
state = {"done": 0, "written": None, "inputs": []}


def target_buffer():
    for name in ("test.#test", "server.test"):
        buffer = weechat.buffer_search("irc", name)
        if buffer:
            return buffer
    return weechat.buffer_search_main()


def all_lines():
    h_buffer = weechat.hdata_get("buffer")
    h_lines = weechat.hdata_get("lines")
    h_line = weechat.hdata_get("line")
    h_data = weechat.hdata_get("line_data")
    result = []
    buffer = weechat.hdata_get_list(h_buffer, "gui_buffers")
    while buffer:
        name = weechat.hdata_string(h_buffer, buffer, "full_name")
        lines = weechat.hdata_pointer(h_buffer, buffer, "own_lines")
        line = weechat.hdata_pointer(h_lines, lines, "first_line") if lines else ""
        while line:
            data = weechat.hdata_pointer(h_line, line, "data")
            prefix = weechat.string_remove_color(weechat.hdata_string(h_data, data, "prefix"), "")
            message = weechat.string_remove_color(weechat.hdata_string(h_data, data, "message"),
                                                  "")
            result.append("%s\t%s\t%s" % (name, prefix, message))
            line = weechat.hdata_move(h_line, line, 1)
        buffer = weechat.hdata_move(h_buffer, buffer, 1)
    return result + state["inputs"]


def tick(data, remaining_calls):
    try:
        with open(commands_path, encoding="utf-8") as source:
            commands = source.read().split("\n")[:-1]  # only whole lines
    except FileNotFoundError:
        commands = []
    for command in commands[state["done"]:]:
        buffer = target_buffer()
        if command.startswith("!complete "):
            weechat.buffer_set(buffer, "input", command[len("!complete "):])
            weechat.buffer_set(buffer, "input_pos", str(len(command) - len("!complete ")))
            weechat.command(buffer, "/input complete_next")
            state["inputs"].append("input\t\t" + weechat.buffer_get_string(buffer, "input"))
            weechat.buffer_set(buffer, "input", "")
        else:
            weechat.command(buffer, command)
    state["done"] = len(commands)
    lines = all_lines()
    if lines != state["written"]:
        temporary = lines_path + ".new"
        with open(temporary, "w", encoding="utf-8") as out:
            out.write("".join(line + "\n" for line in lines))
        os.replace(temporary, lines_path)
        state["written"] = lines
    return weechat.WEECHAT_RC_OK


weechat.hook_timer(100, 0, 0, "tick", "")
