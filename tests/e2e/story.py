"""The base of every acceptance test: a user story told against the installed program.

Each test gets its own folder (working directory with data/palvane.db, XDG_CONFIG_HOME, HOME),
its own desktop (desktop.py) and its own session bus (the runner starts each test inside
dbus-run-session). The program is the one `cmake --install` put under $PALVANE_PREFIX.
"""

import os
import shutil
import sqlite3
import subprocess
import tempfile
import unittest

from desktop import SCREEN, TIMEOUT, Desktop, FrameWatch, Hopeless, stays_false, wait_until

TITLE = "Palvane 32 v1.3"
SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")


def needs_seconds(seconds):
    """Marks a test that needs longer than the runner's usual timeout (run.py)."""
    def mark(test):
        test.needs_seconds = seconds
        return test
    return mark


def contact(nick, name=None, location=None, email=None, notes=None, hours=0, picture=None):
    """One row, its offset given in whole hours as the Edit/Add tab's spin box holds it."""
    return (nick, name, location, email, notes, hours / 24, hours, picture)


def installed_path(*parts):
    prefix = os.environ.get("PALVANE_PREFIX")
    if not prefix:
        raise unittest.SkipTest("PALVANE_PREFIX is not set: run the tests through scripts/e2e")
    return os.path.join(prefix, *parts)


def bin_path(program):
    return installed_path("bin", program)


def program_path():
    """The address book itself, which works in its working directory; the palvane on PATH is
    the command that starts it on the user's own table."""
    return installed_path("libexec", "palvane32", "palvane")


class Program:
    """One run of the installed program, seen through the accessibility bus and the X server."""

    def __init__(self, story, process):
        self.story = story
        self.process = process
        self.desktop = story.desktop

    def app(self):
        import accessible  # binds to this test's accessibility bus
        return wait_until(lambda: self._alive() and accessible.application("palvane"),
                          "the program on the accessibility bus")

    def _alive(self):
        if self.process.poll() is not None:
            raise Hopeless("the program ended (exit code %d)" % self.process.returncode)
        return True

    def window(self, title, active=True, timeout=TIMEOUT):
        """The showing top-level window of that title (a frame, dialog or message box); unless
        told otherwise, once it is the active window, so that keys pressed next go to it."""
        def showing():
            found = [w for w in self.app().children if w.name == title and w.showing
                     and (w.active or not active)]
            return found[0] if len(found) == 1 else None
        return wait_until(showing, "the window %r%s" % (title, " to be active" if active else ""),
                          timeout)

    def windows(self):
        """The program's windows on show, hints aside."""
        return [w for w in self.app().children if w.showing and w.role != "tool tip"]

    def message_box(self, caption):
        """The showing message box of that caption and the text it shows."""
        box = wait_until(lambda: [w for w in self.windows() if w.role == "alert"
                                  and w.name == caption and w.active],
                         "an active message box %r" % caption)[0]
        texts = [n.name for n in box.find_all(role="label", showing=True) if n.name]
        return box, "\n".join(texts)

    def main(self, active=True):
        return self.window(TITLE, active)

    def page(self):
        """The tab page on show."""
        pages = self.main(active=False).find("layered pane").children
        return wait_until(lambda: [p for p in pages if p.showing], "a tab page on show")[0]

    def banner(self):
        """The status banner: the lowest strip of the View tab. Found by its place, since what
        a screen reader calls it may be the text it types."""
        strips = [n for n in self.page().children if n.role == "frame"]
        return max(strips, key=lambda n: n.extents[1])

    def tab(self):
        """The caption of the tab on show: the tab bar tells no screen reader which it is, so
        this looks at what the page holds."""
        return "Edit/Add" if self.page().find_all("push button", "Update Entry") else "View"

    def focus(self):
        return self.story.wait(lambda: next((w.focus() for w in self.windows() if w.active), None),
                               "a focused control")

    def x_window(self, node):
        """The X window of a top-level node: the one of its title whose client area it fills."""
        def match():
            extents = node.extents
            for window in self.desktop.windows(node.name):
                if self.desktop.client_geometry(window) == extents:
                    return window
            return None
        return wait_until(match, "the X window of %r" % node)

    def client_size(self, window):
        return self.desktop.client_geometry(self.x_window(window))[2:]

    def below_the_menu_bar(self, window):
        """(width, height) of the client area under the window's menu bar: the menu bar's own
        height follows the desktop's font."""
        x, y, width, height = self.desktop.client_geometry(self.x_window(window))
        bar_x, bar_y, bar_width, bar_height = window.find("menu bar").extents
        if (bar_x, bar_y, bar_width) != (x, y, width):
            raise AssertionError("the menu bar at %d,%d %d wide is not across the top of the "
                                 "client area at %d,%d %d wide" % (bar_x, bar_y, bar_width, x, y,
                                                                    width))
        return (width, y + height - (bar_y + bar_height))

    def frame(self, node):
        return self.desktop.frame_geometry(self.x_window(node))

    def wait_exit(self, timeout=TIMEOUT):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not end within %.0f s" % timeout)


class Story(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="palvane-e2e-")
        self.work = os.path.join(self.dir, "work")
        self.config = os.path.join(self.dir, "config")
        for d in (self.work, self.config, os.path.join(self.dir, "home")):
            os.makedirs(d)
        os.makedirs(os.path.join(self.dir, "runtime"), mode=0o700)
        self.ini = os.path.join(self.config, "PALVANE.INI")
        self.db = os.path.join(self.work, "data", "palvane.db")
        self.desktop = Desktop(self.dir)
        self.addCleanup(self._clean_up)
        self.desktop.start()
        self.program = None
        self._frames = None

    def _clean_up(self):
        if self._frames:
            self._frames.stop()
        self.desktop.stop()
        outcome = getattr(self, "_outcome", None)
        failed = outcome is not None and not outcome.success
        if failed or os.environ.get("E2E_KEEP"):
            print("\n  logs and files of %s kept in %s" % (self.id(), self.dir))
        else:
            shutil.rmtree(self.dir, ignore_errors=True)

    # What the test starts with.

    def make_table(self, *contacts, path=None):
        path = path or self.db
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run([bin_path("palvane-table"), "create", path], check=True,
                       capture_output=True)
        with sqlite3.connect(path) as db:
            db.executemany("INSERT INTO contacts VALUES (?, ?, ?, ?, ?, ?, ?, ?)", contacts)
        return path

    def sample(self, name):
        return os.path.abspath(os.path.join(SAMPLES, name))

    def start(self, fake_time=None, locale="en_US.UTF-8", command=None):
        """Starts the installed program in the test's folder: fake_time freezes the clock it
        reads ("2026-12-31 23:30:00"); its timers run on real time. command: what to run
        instead of the address book itself (the palvane a user types, with its arguments)."""
        env = dict(self.desktop.env)
        env.update(QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   XDG_CONFIG_HOME=self.config, HOME=os.path.join(self.dir, "home"),
                   XDG_RUNTIME_DIR=os.path.join(self.dir, "runtime"), TZ="UTC",
                   LANG=locale, LC_ALL=locale)
        for name in ("LANGUAGE", "XDG_DATA_HOME", "XDG_CACHE_HOME", "SESSION_MANAGER"):
            env.pop(name, None)
        argv = command or [program_path()]
        if fake_time:
            env["FAKETIME_DONT_FAKE_MONOTONIC"] = "1"
            argv = ["faketime", "-f", fake_time] + argv
        process = self.desktop.processes.start("palvane", argv, env=env, cwd=self.work)
        self.program = Program(self, process)
        return self.program

    # Reading what the program left behind.

    def rows(self, path=None):
        uri = "file:%s?mode=ro" % (path or self.db)
        with sqlite3.connect(uri, uri=True) as db:
            return db.execute("SELECT * FROM contacts ORDER BY rowid").fetchall()

    def count(self):
        return len(self.rows())

    def read_ini(self):
        if not os.path.exists(self.ini):
            return None
        with open(self.ini, "rb") as f:
            return f.read().decode("latin-1")

    # Doing what a user does.

    def press(self, *keys):
        self.desktop.key(*keys)

    def type(self, text):
        self.desktop.type(text)

    def click(self, node, repeat=1):
        self.desktop.click(*node.centre, repeat=repeat)

    def close(self, window):
        """Closes a window with its close box and waits until it is gone."""
        self.desktop.close_window(self.program.x_window(window))
        self.gone(window, "the close box to close %r" % window.name)

    def gone(self, window, what):
        """Waits until the window is hidden and another window of the program has taken the
        keyboard back, so that keys pressed next go there."""
        self.wait(lambda: not window.showing, what)
        self.wait(lambda: any(w.active for w in self.program.windows()),
                  "a window of the program to be active after %s" % what)

    def wait(self, probe, what, timeout=TIMEOUT):
        return wait_until(probe, what, timeout)

    def expect(self, actual, expected, what):
        """Fails in one line that says what was looked at, what it was and what it should be."""
        if actual != expected:
            raise self.failureException("%s: %r, expected %r" % (what, actual, expected))

    def wait_equal(self, probe, expected, what):
        """Waits until probe() gives expected; fails with what and the last value otherwise."""
        last = [None]

        def check():
            last[0] = probe()
            return last[0] == expected
        try:
            wait_until(check, what)
        except AssertionError:
            pass
        else:
            return
        self.expect(last[0], expected, what)

    def painted(self, rect, probe, what):
        """Waits until the screen's pixels in rect (x, y, width, height) satisfy probe(rows)
        and returns them: a window on show may not have drawn itself yet."""
        last = [None]

        def check():
            last[0] = self.desktop.pixels(*rect)
            return probe(last[0])
        try:
            wait_until(check, what, TIMEOUT / 4)
            return last[0]
        except AssertionError:
            pass
        colours = sorted({p for row in last[0] for p in row}, key=sum)
        self.fail("%s: not so on the screen (%d colours, darkest %s, brightest %s)"
                  % (what, len(colours), colours[0], colours[-1]))

    def clock_says(self, panel_name, *values):
        """Waits a few clock ticks for the clock panel of the tab on show to read every one of
        the values."""
        panel = self.program.page().find("frame", panel_name)
        said = []

        def reads_all():
            said[:] = [label.spoken for label in panel.find_all(role="label")]
            return all(any(v in s for s in said) for v in values)
        try:
            wait_until(reads_all, "the clock", TIMEOUT / 4)
            return
        except AssertionError:
            pass
        missing = [v for v in values if not any(v in s for s in said)]
        self.fail("%s reads %s, not %s" % (panel_name, said, missing))

    def holds_the_main_window(self, what):
        """Clicks the main window's Edit/Add tab, which no side window covers, and checks that
        the click was refused."""
        self.click(self.program.main(active=False).find("page tab", "Edit/Add"))
        self.never(lambda: self.program.tab() != "View",
                   "the main window took a click while %s was open" % what, seconds=1.0)

    def never(self, probe, what, seconds=2.0):
        """Watches for a while that probe() stays false."""
        seen = stays_false(probe, seconds)
        if seen:
            self.fail("%s: %r" % (what, seen))

    def frames(self):
        """Watches every place a window's frame is shown at, from now on."""
        if not self._frames:
            self._frames = FrameWatch(self.desktop.display)
        return self._frames

    def load_the_processors(self):
        """Keeps every processor busy for the rest of the test, as other programs would."""
        for number in range(os.cpu_count() or 2):
            self.desktop.processes.start("busy-%d" % number, ["sh", "-c", "while :; do :; done"])

    def assertSettledCentred(self, window, what):
        """The window's frame ends centred and was shown nowhere else: no jump on the way."""
        client = self.program.x_window(window)
        centred = lambda frame: frame[:2] == (max(0, (SCREEN[0] - frame[2]) // 2),
                                              max(0, (SCREEN[1] - frame[3]) // 2))
        try:
            wait_until(lambda: centred(self.desktop.frame_geometry(client)), what + " centred")
        except AssertionError:
            pass
        self.assertCentred(self.desktop.frame_geometry(client), what)
        self.never(lambda: not centred(self.desktop.frame_geometry(client)),
                   what + " moved off the centre", seconds=0.3)
        shown = self.frames().shown(client)
        if len(shown) > 1:
            self.fail("%s jumped: its frame was shown at %s" % (
                what, " then ".join("%d,%d %dx%d" % place for place in shown)))

    def assertCentred(self, frame, what):
        x, y, width, height = frame
        expected = (max(0, (SCREEN[0] - width) // 2), max(0, (SCREEN[1] - height) // 2))
        if (x, y) != expected:
            self.fail("%s: frame %dx%d at %d,%d, centred would be %d,%d"
                      % (what, width, height, x, y, *expected))
