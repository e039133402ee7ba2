"""The program as a screen reader sees it: nodes of the AT-SPI tree found by role and name,
with their text, selection, caret, states and place on the screen. Import this only once the
accessibility bus of the test's desktop is running: the library binds to it on import."""

import pyatspi


CONTROLS = {"text", "push button", "spin button", "page tab", "menu item", "check box",
            "radio button", "combo box", "list", "scroll bar"}


class Node:
    """One accessible object. Every read goes to the program: nothing is cached here."""

    def __init__(self, accessible):
        self.acc = accessible

    def __repr__(self):
        return "<%s %r>" % (self.role, self.name)

    @property
    def role(self):
        return self.acc.getRoleName()

    @property
    def name(self):
        return self.acc.name or ""

    @property
    def children(self):
        return [Node(c) for c in self.acc if c is not None]

    def walk(self):
        yield self
        for child in self.children:
            yield from child.walk()

    def _has(self, state):
        return self.acc.getState().contains(state)

    @property
    def focused(self):
        return self._has(pyatspi.STATE_FOCUSED)

    @property
    def selected(self):
        return self._has(pyatspi.STATE_SELECTED)

    def has(self, state):
        """Whether the node reports that state, named as AT-SPI names it ("read only")."""
        return self._has(getattr(pyatspi, "STATE_" + state.upper().replace(" ", "_")))

    @property
    def enabled(self):
        return self._has(pyatspi.STATE_SENSITIVE) and self._has(pyatspi.STATE_ENABLED)

    @property
    def showing(self):
        return self._has(pyatspi.STATE_SHOWING)

    @property
    def active(self):
        return self._has(pyatspi.STATE_ACTIVE)

    @property
    def text(self):
        """The node's text as a screen reader reads it, or None when it offers no text."""
        try:
            return self.acc.queryText().getText(0, -1)
        except NotImplementedError:
            return None

    @property
    def spoken(self):
        """What a screen reader says for the node: its name, and its text when that adds to
        the name."""
        text = self.text or ""
        return self.name if text in self.name else (self.name + " " + text).strip()

    @property
    def selection(self):
        """(start, end) of the selected text, or None when nothing is selected."""
        text = self.acc.queryText()
        if text.getNSelections() == 0:
            return None
        start, end = text.getSelection(0)
        return (min(start, end), max(start, end)) if start != end else None

    @property
    def caret(self):
        return self.acc.queryText().caretOffset

    def lines(self):
        """The text as it is laid out on the screen, one entry per visual line."""
        text = self.acc.queryText()
        lines, offset, length, last_start = [], 0, text.characterCount, None
        while offset < length:
            line, start, end = text.getTextAtOffset(offset, pyatspi.TEXT_BOUNDARY_LINE_START)
            if start != last_start:
                lines.append(line.rstrip("\n"))
                last_start = start
            offset = max(end, offset + 1)
        return lines

    @property
    def extents(self):
        """(x, y, width, height) on the screen."""
        box = self.acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return (box.x, box.y, box.width, box.height)

    @property
    def centre(self):
        x, y, width, height = self.extents
        return (x + width // 2, y + height // 2)

    def find_all(self, role=None, name=None, showing=None):
        return [n for n in self.walk()
                if (role is None or n.role == role) and (name is None or n.name == name)
                and (showing is None or n.showing == showing)]

    def find(self, role=None, name=None, showing=True):
        """The one node of that role and name (a showing one unless told otherwise)."""
        found = self.find_all(role, name, showing)
        if len(found) != 1:
            raise LookupError("%d nodes of role %r named %r under %r" % (len(found), role, name,
                                                                       self))
        return found[0]

    def focus(self):
        """The control that has the focus under this one, or None. Containers and a multi-line
        box's inner parts report focus along with it, and a tab bar marks its current tab
        focused wherever the focus is: a tab counts only when no other control has it."""
        focused = [node for node in self.walk() if node.focused and node.role in CONTROLS]
        inner = [node for node in focused if node.role != "page tab"]
        return (inner or focused or [None])[-1]


def application(name):
    """The running program registered on the accessibility bus under that name, or None."""
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == name:
            return Node(app)
    return None
