"""A small IRC server for the client script tests, on 127.0.0.1 only.

It registers a client (CAP, NICK, USER, PING), lets it join channels and talk, and answers
WHOIS for the people it knows (311, 312, 318; 401 for anyone else), so that a client sees the
real name and host of a nick as a network would show them. Every line a client sends is
recorded, so a test can see which requests a script made.
"""

import socketserver
import sys
import threading

SERVER_NAME = "irc.test"

# The people online besides the client: nick -> (user, host, real name). Some nicks hold
# characters a shell would act on, so a script that passes them to one would show it.
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
    """Command and parameters of a client's line (no prefix is expected from clients)."""
    if line.startswith(":"):
        line = line.split(" ", 1)[1] if " " in line else ""
    trailing = None
    if " :" in line:
        line, trailing = line.split(" :", 1)
    params = line.split()
    if trailing is not None:
        params.append(trailing)
    if not params:
        return "", []
    return params[0].upper(), params[1:]


class Client(socketserver.StreamRequestHandler):
    def setup(self):
        super().setup()
        self.nick = None
        self.user = None
        self.registered = False

    def send(self, text):
        self.wfile.write((text + "\r\n").encode("utf-8", "replace"))
        self.wfile.flush()

    def reply(self, code, *params):
        # The last parameter is always sent as the trailing one, as servers do.
        middle = " ".join((self.nick or "*",) + params[:-1])
        self.send(":%s %s %s :%s" % (SERVER_NAME, code, middle, params[-1]))

    def handle(self):
        while True:
            try:
                raw = self.rfile.readline()
            except OSError:
                return
            if not raw:
                return
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            self.server.record(line)
            command, params = split_message(line)
            handler = getattr(self, "on_" + command.lower(), None)
            if command in ("CAP", "NICK", "USER", "PING", "QUIT") or (handler and self.registered):
                if handler(params) is False:
                    return
            elif command and self.registered:
                self.reply("421", command, "Unknown command")

    def on_cap(self, params):
        if params and params[0].upper() == "LS":
            self.send(":%s CAP * LS :" % SERVER_NAME)

    def on_nick(self, params):
        if params:
            self.nick = params[0]
            self.welcome()

    def on_user(self, params):
        if params:
            self.user = params[0]
            self.welcome()

    def welcome(self):
        if self.registered or not self.nick or not self.user:
            return
        self.registered = True
        self.reply("001", "Welcome to the test network, %s" % self.nick)
        self.reply("002", "Your host is %s" % SERVER_NAME)
        self.reply("003", "This server was created today")
        self.send(":%s 004 %s %s test-1 io ntk" % (SERVER_NAME, self.nick, SERVER_NAME))
        self.reply("005", "CHANTYPES=# PREFIX=(ov)@+ NETWORK=Test", "are supported by this server")
        self.reply("375", "- %s Message of the day -" % SERVER_NAME)
        self.reply("372", "- A server for tests.")
        self.reply("376", "End of /MOTD command.")

    def on_ping(self, params):
        self.send(":%s PONG %s :%s" % (SERVER_NAME, SERVER_NAME, params[0] if params else ""))

    def on_join(self, params):
        for channel in [c for c in (params[0].split(",") if params else []) if c]:
            self.send(":%s!%s@127.0.0.1 JOIN %s" % (self.nick, self.user, channel))
            names = " ".join([self.nick] + sorted(n for n in PEOPLE if " " not in n))
            self.reply("353", "=", channel, names)
            self.reply("366", channel, "End of /NAMES list.")

    def on_mode(self, params):
        if params and params[0].startswith("#"):
            self.reply("324", params[0], "+nt")

    def on_who(self, params):
        self.reply("315", params[0] if params else "*", "End of /WHO list.")

    def on_whois(self, params):
        # "WHOIS nick" or "WHOIS server nick"; several nicks may be given, comma-separated.
        targets = params[-1] if params else ""
        for nick in targets.split(","):
            person = next((p for n, p in PEOPLE.items() if n.lower() == nick.lower()), None)
            if person:
                known = next(n for n in PEOPLE if n.lower() == nick.lower())
                user, host, realname = person
                self.reply("311", known, user, host, "*", realname)
                self.reply("312", known, SERVER_NAME, "The test server")
                self.reply("318", known, "End of /WHOIS list.")
            else:
                self.reply("401", nick, "No such nick/channel")
                self.reply("318", nick, "End of /WHOIS list.")

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
    allow_reuse_address = True

    def __init__(self):
        # Port 0: the system picks a free one; 127.0.0.1 only, never another address.
        super().__init__(("127.0.0.1", 0), Client)
        self.lines = []
        self.lock = threading.Lock()

    def handle_error(self, request, client_address):
        # A client that hangs up mid-line is no failure of the test; a fault of ours is told.
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
    """Starts a server in a thread of its own; stop it with shutdown()."""
    server = Server()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


if __name__ == "__main__":
    served = start()
    print(served.port, flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        served.shutdown()
