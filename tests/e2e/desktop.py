"""A private desktop for one acceptance test: an X server (Xvfb, or Xephyr to watch), the
openbox window manager and the accessibility bus, with real input through XTest (xdotool) and
what the user sees: window geometry as the window manager framed it, and screen pixels.

Environment:
  E2E_XSERVER=Xephyr   show the test in a window on the current DISPLAY instead of Xvfb
  E2E_PAUSE=SECONDS    wait this long after every key and click, to follow a test by eye
  E2E_TIMEOUT_SCALE=N  multiply every wait by N on a very slow machine
"""

import ctypes
import os
import re
import select
import signal
import subprocess
import threading
import time

SCREEN = (1024, 768)
TIMEOUT = 20.0 * float(os.environ.get("E2E_TIMEOUT_SCALE", "1"))
PAUSE = float(os.environ.get("E2E_PAUSE", "0"))
SLOW = 3.0  # waits longer than this are reported, to find what a slow machine struggles with


class Hopeless(AssertionError):
    """Raised by a probe when waiting longer cannot help, such as when the program has ended."""


def wait_until(probe, what, timeout=TIMEOUT, interval=0.05):
    """Polls probe() until it returns something true and returns that; fails naming what was
    awaited and the last value seen."""
    started = time.monotonic()
    deadline = started + timeout
    last = None
    while True:
        try:
            last = probe()
        except Hopeless:
            raise
        except Exception as error:  # a window or node that is not there yet
            last = error
        else:
            if last:
                if time.monotonic() - started > SLOW:
                    print("slow: %.1f s waiting for %s" % (time.monotonic() - started, what))
                return last
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s (last seen: %r)"
                                 % (timeout, what, last))
        time.sleep(interval)


def stays_false(probe, seconds):
    """Watches probe() for the given time; returns the first true value it gives, else None."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(0.05)
    return None


def _die_with_the_test():
    """Runs in each child before it starts: a test killed for taking too long leaves no X
    server or program behind."""
    os.setsid()
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


class Processes:
    """Background processes of one test, each in a session of its own, ended in reverse order."""

    def __init__(self, log_dir):
        self.log_dir = log_dir
        self.running = []

    def start(self, name, argv, env=None, cwd=None, **kwargs):
        log = open(os.path.join(self.log_dir, name + ".log"), "ab")
        process = subprocess.Popen(argv, env=env, cwd=cwd, stdout=log, stderr=log,
                                   stdin=subprocess.DEVNULL, preexec_fn=_die_with_the_test,
                                   **kwargs)
        log.close()
        self.running.append(process)
        return process

    def stop(self, process, grace=3.0):
        if process.poll() is None:
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                process.wait(grace)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
        else:
            try:  # children it left behind in its session
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    def stop_all(self):
        while self.running:
            self.stop(self.running.pop())


class Desktop:
    def __init__(self, work_dir):
        self.work_dir = work_dir
        self.processes = Processes(work_dir)
        self.env = dict(os.environ)
        self.display = None

    def start(self):
        self._start_x_server()
        self.env["DISPLAY"] = self.display
        os.environ["DISPLAY"] = self.display
        wm = self.processes.start("openbox", ["openbox", "--sm-disable"], env=self.env)
        wait_until(lambda: wm.poll() is not None or self._has_window_manager(),
                   "openbox to manage the screen")
        if wm.poll() is not None:
            raise RuntimeError("openbox did not start; see openbox.log in " + self.work_dir)
        # The pointer starts in the middle of the screen, over the program: park it where no
        # window will be, so that it rests on nothing until a test moves it.
        self.run(["xdotool", "mousemove", "0", "0"], check=True)
        self.processes.start("a11y-bus", ["/usr/libexec/at-spi-bus-launcher",
                                          "--launch-immediately"], env=self.env)
        # Screen readers find the accessibility bus through this property of the root window.
        wait_until(lambda: "AT_SPI_BUS(" in self.run(["xprop", "-root", "AT_SPI_BUS"]),
                   "the accessibility bus")

    def stop(self):
        self.processes.stop_all()

    def _start_x_server(self):
        read_end, write_end = os.pipe()
        if os.environ.get("E2E_XSERVER", "Xvfb") == "Xephyr":
            argv = ["Xephyr", "-screen", "%dx%d" % SCREEN]
        else:
            argv = ["Xvfb", "-screen", "0", "%dx%dx24" % SCREEN]
        argv += ["-displayfd", str(write_end), "-nolisten", "tcp", "-noreset"]
        self.processes.start("xserver", argv, pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("the X server did not start; see xserver.log in " + self.work_dir)
        self.display = ":" + number

    def _has_window_manager(self):
        return "window id #" in self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"])

    def run(self, argv, check=False):
        result = subprocess.run(argv, env=self.env, capture_output=True, text=True)
        if check and result.returncode != 0:
            raise RuntimeError("%s failed: %s" % (argv[0], result.stderr.strip()))
        return result.stdout

    # Input: real key and mouse events through XTest, to whichever window has the focus.

    def key(self, *keys):
        self.run(["xdotool", "key", "--delay", "40"] + list(keys), check=True)
        self._pause()

    def type(self, text):
        self.run(["xdotool", "type", "--delay", "60", "--", text], check=True)
        self._pause()

    def move_mouse(self, x, y):
        self.run(["xdotool", "mousemove", str(x), str(y)], check=True)

    def click(self, x, y, button=1, repeat=1):
        self.move_mouse(x, y)
        self.run(["xdotool", "click", "--repeat", str(repeat), "--delay", "80", str(button)],
                 check=True)
        self._pause()

    @staticmethod
    def _pause():
        if PAUSE:
            time.sleep(PAUSE)

    # Windows as the window manager shows them.

    def windows(self, title):
        """Visible top-level windows with exactly this title, as X window ids."""
        out = self.run(["xdotool", "search", "--onlyvisible", "--name",
                        "^%s$" % re.escape(title)])
        return [int(w) for w in out.split()]

    def client_geometry(self, window):
        """(x, y, width, height) of the window's client area on the screen."""
        info = self.run(["xwininfo", "-id", str(window)], check=True)
        field = lambda label: int(re.search(label + r":\s+(-?\d+)", info).group(1))
        return (field("Absolute upper-left X"), field("Absolute upper-left Y"),
                field("Width"), field("Height"))

    def frame_extents(self, window):
        """(left, right, top, bottom) of the frame, or None before the window is framed."""
        out = self.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"])
        numbers = re.findall(r"\d+", out.partition("=")[2])
        return tuple(int(n) for n in numbers) if len(numbers) == 4 else None

    def frame_geometry(self, window):
        """(x, y, width, height) of the window with its frame; waits until it is framed."""
        extents = wait_until(lambda: self.frame_extents(window), "the window to be framed")
        left, right, top, bottom = extents
        x, y, width, height = self.client_geometry(window)
        return (x - left, y - top, width + left + right, height + top + bottom)

    def window_state(self, window):
        return self.run(["xprop", "-id", str(window), "_NET_WM_STATE"])

    def maximise(self, window):
        self.run(["wmctrl", "-i", "-r", hex(window), "-b", "add,maximized_vert,maximized_horz"],
                 check=True)

    def close_window(self, window):
        """The close box: the window manager asks the window to close."""
        self.run(["wmctrl", "-i", "-c", hex(window)], check=True)
        self._pause()

    def move_window(self, window, x, y):
        """Moves the window's frame to x, y, the way dragging its title bar does."""
        self.run(["wmctrl", "-i", "-r", hex(window), "-e", "1,%d,%d,-1,-1" % (x, y)], check=True)

    # Pixels.

    def pixels(self, x, y, width, height):
        """The screen's pixels in that rectangle, as rows of (r, g, b)."""
        raw = subprocess.run(["import", "-window", "root", "-crop",
                              "%dx%d+%d+%d" % (width, height, x, y), "-depth", "8", "rgb:-"],
                             env=self.env, capture_output=True, check=True).stdout
        if len(raw) != width * height * 3:
            raise RuntimeError("screenshot gave %d bytes for %dx%d" % (len(raw), width, height))
        return [[tuple(raw[(row * width + col) * 3:(row * width + col) * 3 + 3])
                 for col in range(width)] for row in range(height)]


class FrameWatch:
    """Every place the window manager's frames were shown at, from the X server's own events:
    polling can miss a frame that stands somewhere for a moment and then jumps."""

    def __init__(self, display_name):
        from Xlib import X, display
        self._X = X
        self._events = display.Display(display_name)
        self._queries = display.Display(display_name)
        self._events.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self._events.sync()
        self._lock = threading.Lock()
        self._geometry = {}  # frame -> (x, y, width, height) as last configured
        self._mapped = set()
        self._shown = {}  # frame -> every distinct geometry it had while mapped, in order
        self._stop = False
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def stop(self):
        self._stop = True
        self._thread.join(2)

    def _run(self):
        X = self._X
        while not self._stop:
            if not self._events.pending_events():
                select.select([self._events.fileno()], [], [], 0.1)
                if not self._events.pending_events():
                    continue
            event = self._events.next_event()
            with self._lock:
                if event.type in (X.CreateNotify, X.ConfigureNotify):
                    self._geometry[event.window.id] = (event.x, event.y, event.width,
                                                       event.height)
                    if event.window.id in self._mapped:
                        self._note_shown(event.window.id)
                elif event.type == X.MapNotify:
                    self._mapped.add(event.window.id)
                    self._note_shown(event.window.id)
                elif event.type == X.UnmapNotify:
                    self._mapped.discard(event.window.id)

    def _note_shown(self, frame):
        places = self._shown.setdefault(frame, [])
        geometry = self._geometry.get(frame)
        if geometry and (not places or places[-1] != geometry):
            places.append(geometry)

    def frame_of(self, client):
        """The window manager's frame round a client window: its ancestor just below the
        root."""
        window = self._queries.create_resource_object("window", client)
        while True:
            tree = window.query_tree()
            if tree.parent.id == tree.root.id:
                return window.id
            window = tree.parent

    def shown(self, client):
        """Every (x, y, width, height) the client's frame has had on the screen, in order."""
        frame = self.frame_of(client)
        with self._lock:
            return list(self._shown.get(frame, []))
