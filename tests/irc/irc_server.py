"""A small IRC server for the client script tests, on 127.0.0.1 only.

It registers a client (CAP, NICK, USER, PING), lets it join channels, and answers WHOIS for
the people it knows (311, 312, 318; 401 for anyone else) as a network would. Every line a
client sends is recorded, so a test can see what a script asked for.
"""

import socketserver
import sys
import threading

NAME = "irc.test"

# The people online besides the client: nick -> (user, host, real name). Some nicks and names
# hold what a shell would act on.
PEOPLE = {
    "sakura": ("~yui", "osaka.example", "Yui Tanaka"),
    "hana": ("~hana", "kyoto.example", "Hana Sato"),
    "mika": ("mika", "helsinki.example", "Mika Virtanen"),
    "o'neil\"q": ("~quote", "quote.example", "Quinn \"Q\" O'Neil"),
    "semi;colon": ("semi", "semi.example", "Semi; touch pwned-realname"),
    "$(touch_pwned)": ("~dollar", "dollar.example", "$(touch pwned-subshell) `touch pwned-tick`"),
    "-rm": ("--help", "dash.example", "-rf Dash"),
}


def split_message(line):
    """Command and parameters of a client's line."""
    line, _, trailing = line.partition(" :")
    params = line.split() + ([trailing] if _ else [])
    return (params[0].upper(), params[1:]) if params else ("", [])


class Client(socketserver.StreamRequestHandler):
    nick = user = None

    def send(self, text):
        self.wfile.write((text + "\r\n").encode("utf-8", "replace"))

    def reply(self, code, *params):
        # The last parameter always goes as the trailing one, as servers send it.
        self.send(":%s %s %s :%s" % (NAME, code, " ".join((self.nick or "*",) + params[:-1]),
                                     params[-1]))

    def handle(self):
        for raw in self.rfile:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            self.server.record(line)
            command, params = split_message(line)
            handler = getattr(self, "on_" + command.lower(), None)
            # Until it is registered, a client gets answers to registering only.
            if handler and (self.registered() or command in ("CAP", "NICK", "USER", "PING")):
                if handler(params) is False:
                    return
            elif self.registered():
                self.reply("421", command or "*", "Unknown command")

    def registered(self):
        return bool(self.nick and self.user)

    def on_cap(self, params):
        if params and params[0].upper() == "LS":
            self.send(":%s CAP * LS :" % NAME)

    def on_nick(self, params):
        self.welcome(params and not self.nick and self.user, "nick", params)

    def on_user(self, params):
        self.welcome(params and not self.user and self.nick, "user", params)

    def welcome(self, completes, field, params):
        if params:
            setattr(self, field, params[0])
        if completes:
            for code, text in (("001", "Welcome to the test network"), ("375", "- MOTD -"),
                               ("372", "- A server for tests."), ("376", "End of /MOTD command.")):
                self.reply(code, text)

    def on_ping(self, params):
        self.send(":%s PONG %s :%s" % (NAME, NAME, params[0] if params else ""))

    def on_join(self, params):
        for channel in [c for c in (params[0].split(",") if params else []) if c]:
            self.send(":%s!%s@127.0.0.1 JOIN %s" % (self.nick, self.user, channel))
            self.reply("353", "=", channel, " ".join([self.nick] + sorted(PEOPLE)))
            self.reply("366", channel, "End of /NAMES list.")

    def on_mode(self, params):
        if params and params[0].startswith("#"):
            self.reply("324", params[0], "+nt")

    def on_who(self, params):
        self.reply("315", params[0] if params else "*", "End of /WHO list.")

    def on_whois(self, params):
        # "WHOIS nick" or "WHOIS server nick"; nicks may be comma-separated.
        for nick in (params[-1] if params else "").split(","):
            known = next((n for n in PEOPLE if n.lower() == nick.lower()), None)
            if known:
                self.reply("311", known, *PEOPLE[known][:2], "*", PEOPLE[known][2])
                self.reply("312", known, NAME, "The test server")
            else:
                self.reply("401", nick, "No such nick/channel")
            self.reply("318", known or nick, "End of /WHOIS list.")

    def on_whowas(self, params):
        nick = params[0] if params else "*"
        self.reply("406", nick, "There was no such nickname")
        self.reply("369", nick, "End of WHOWAS")

    def on_privmsg(self, params):
        pass

    def on_quit(self, params):
        self.send("ERROR :Closing link")
        return False


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True

    def __init__(self):
        # Port 0: a free port the system picks; 127.0.0.1 only, never another address.
        super().__init__(("127.0.0.1", 0), Client)
        self.lines, self.lock = [], threading.Lock()

    def handle_error(self, request, client_address):
        # A client that hangs up mid-line is no fault of the test; a fault of ours is told.
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)

    def record(self, line):
        with self.lock:
            self.lines.append(line)

    def received(self):
        with self.lock:
            return list(self.lines)

    @property
    def port(self):
        return self.server_address[1]


def start():
    """A server in a thread of its own; end it with shutdown()."""
    server = Server()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server
