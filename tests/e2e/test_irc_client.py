"""From an IRC client to the window: a user with the package installed loads the WeeChat script
the README names, adds the person they are chatting with from a /whois, and the address book then
shows that person's local time."""

import collections
import os
import sys

from story import Story, bin_path, installed_path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "irc"))
import client_test  # noqa: E402  the IRC server and the WeeChat the client tests use
import irc_server  # noqa: E402


class FromAnIrcClient(Story):
    def test_a_contact_added_from_a_whois_in_weechat_shows_their_local_time(self):
        home = os.path.join(self.dir, "home")
        own_table = os.path.join(home, ".local", "share", "palvane", "data", "palvane.db")
        # As the user's session has it: the installed commands on PATH, no table chosen.
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=self.config,
                   XDG_RUNTIME_DIR=os.path.join(self.dir, "runtime"), LANG="C.UTF-8",
                   LC_ALL="C.UTF-8", PATH=os.pathsep.join([os.path.dirname(bin_path("palvane")),
                                        os.environ["PATH"]]))
        for name in ("XDG_DATA_HOME", "XDG_CACHE_HOME"):
            env.pop(name, None)
        server = irc_server.start()
        self.addCleanup(server.shutdown)
        work = os.path.join(self.dir, "weechat")
        try:
            client = client_test.WeeChat(
                work, env, installed_path("share", "palvane32", "weechat", "palvane.py"),
                server.port)
        except client_test.Skip as missing:
            self.skipTest(str(missing))
        self.addCleanup(client.stop)

        def run(command, *patterns):
            before = collections.Counter(client.lines())
            client.type(command)
            try:
                return [client_test.wait_for(client, p, before, "%r after %s" % (p, command))
                        for p in patterns]
            except client_test.Failure as failure:
                self.fail("%s; WeeChat showed:\n%s" % (failure, "\n".join(client.lines())))

        client_test.wait_until(lambda: "JOIN #test" in server.received(), "WeeChat in #test")
        run("/whois sakura", r"Yui Tanaka")
        added = run("/palvane add sakura", r'Added "sakura" to ')[0]
        self.assertTrue(added.endswith(own_table), "added to the user's own table: " + added)
        run("/palvane tz sakura 9", r'Changed "sakura" in .*: offset$')
        client.stop()

        # The palvane the user types opens the same table; 20:00 here is 05:00 tomorrow there.
        program = self.start(fake_time="2026-03-05 20:00:00", command=[bin_path("palvane")])
        program.main()
        view = program.page()
        self.expect(view.find("text", "Nick").text, "sakura", "nick on the View tab")
        self.expect(view.find("text", "Real Name").text, "Yui Tanaka", "Real Name box")
        self.clock_says("Clocks", "8:00:00 PM", "Thursday, March 5, 2026", "5:00:00 AM",
                        "Friday, March 6, 2026")
