"""What a screen reader and the mouse pointer find: names, readable values, hints, page size."""

from desktop import TIMEOUT, wait_until
from story import Story, contact

NAMED_ROLES = {"text", "push button", "spin button", "page tab", "menu item", "label", "image"}


class Accessibility(Story):
    def test_every_control_has_a_name(self):
        self.make_table(contact("alpha", picture=self.sample("sample.bmp")))
        program = self.start()
        program.main()
        # A side window joins the tree when it is first shown: show each one once.
        self.press("alt+a")
        about = program.window("About Palvane 32")
        self.press("alt+t")
        self.close(program.window("Thanks to everyone for their support!! "))
        self.press("Return")
        self.gone(about, "Return to close the about box")
        for keys, title in (("alt+p", "Image"), ("alt+s", "*meow*")):
            self.press(keys)
            self.close(program.window(title))
        self.press("ctrl+Tab")
        self.click(program.page().find("push button", "Delete Entry"))
        dialog = program.window("You want to nuke the record?")
        self.press("Escape")
        self.gone(dialog, "Escape to close the delete dialog")
        unnamed = ["%s in %r" % (node.role, window.name)
                   for window in program.app().children for node in window.walk()
                   if node.role in NAMED_ROLES and not node.name.strip()]
        self.expect(unnamed, [], "controls without a name")

    def test_values_shown_can_be_read(self):
        self.make_table(contact("alpha", "Alpha Person", "Oslo", "alpha@example.org",
                                "Met on #cats"))
        program = self.start()
        program.main()
        view = program.page()
        for name, value in (("Nick", "alpha"), ("Real Name", "Alpha Person"),
                            ("E-Mail", "alpha@example.org"), ("Location", "Oslo"),
                            ("Notes", "Met on #cats")):
            self.expect(view.find("text", name).text, value, "%s box read aloud" % name)
        # The banner types its line right after start-up and holds it for two seconds; the
        # surprise window types the same line first.
        self.types_readably(program.banner(), "the status banner", "Status banner")
        labels = view.find("frame", "Clocks").find_all(role="label")
        values = [label.spoken for label in labels if not label.name.endswith(":")]
        self.assertTrue(values and all(any(c.isdigit() for c in v) for v in values),
                        "clock values read aloud: %s" % values)
        self.press("alt+s")
        self.types_readably(program.window("*meow*").find("frame"), "the surprise window",
                            "Joke phrases")

    def types_readably(self, panel, what, title):
        """Waits for a typed line to be readable in the panel, beside what names the panel."""
        said = [panel.spoken]

        def reads_a_line():
            said[0] = panel.spoken
            return len(said[0].replace(title, "").strip(" :")) >= 10
        try:
            wait_until(reads_a_line, what, TIMEOUT / 2)
            return
        except AssertionError:
            pass
        self.fail("%s never reads its typed line (it reads %r)" % (what, said[0]))

    def test_no_hint_is_ever_shown(self):
        self.make_table(contact("alpha"))
        program = self.start()
        program.main()

        def tool_tip():
            return [w.name for w in program.app().children if w.role == "tool tip" and w.showing]
        view = program.page()
        x, y, width, height = view.extents
        places = [("the View tab's Nick box", view.find("text", "Nick").centre),
                  ("an empty spot of the View tab", (x + 20, y + 150)),
                  ("the Next Record button", view.find("push button", "Next Record").centre)]
        for what, (px, py) in places:
            self.desktop.move_mouse(px, py)
            self.never(tool_tip, "a hint shows over %s" % what)
        self.press("ctrl+Tab")
        self.wait_equal(program.tab, "Edit/Add", "tab after Ctrl+Tab")
        self.desktop.move_mouse(x + 20, y + 150)
        self.never(tool_tip, "a hint shows over an empty spot of the Edit/Add tab")

    def test_tab_pages_are_filled_by_their_bottom_strips(self):
        self.make_table(contact("alpha"))
        program = self.start()
        program.main()
        page = program.page()
        x, y, width, height = page.extents
        self.expect((width, height), (562, 299), "View page size")
        bx, by, bwidth, bheight = program.banner().extents
        self.expect((bx + bwidth, by + bheight), (x + width, y + height),
                    "bottom right corner of the status banner")

    def test_tabs_and_read_only_boxes_tell_their_state(self):
        self.make_table(contact("alpha", "Alpha Person", "Oslo", "alpha@example.org", "Met"))
        program = self.start()
        main = program.main()
        tabs = {tab.name: tab for tab in main.find_all("page tab")}

        def tab_states():
            """(selected, focused) of each tab."""
            return {name: (tab.selected, tab.focused) for name, tab in tabs.items()}
        view = program.page()
        self.click(view.find("text", "Nick"))
        self.wait_equal(tab_states, {"View": (True, False), "Edit/Add": (False, False)},
                        "tabs with the focus in the search box (selected, focused)")
        for name, value in (("Real Name", "Alpha Person"), ("E-Mail", "alpha@example.org"),
                            ("Location", "Oslo"), ("Notes", "Met")):
            box = view.find("text", name)
            self.expect((box.has("read only"), box.has("editable"), box.text),
                        (True, False, value), "%s box (read only, editable, text)" % name)
        self.expect(view.find("text", "Nick").has("editable"), True, "the search box editable")

        self.press("ctrl+Tab")
        self.wait_equal(tab_states, {"View": (False, False), "Edit/Add": (True, False)},
                        "tabs after Ctrl+Tab")
        for _ in range(20):  # back through the page's controls to the tab bar
            if any(tab.focused for tab in tabs.values()):
                break
            self.press("shift+Tab")
        self.wait_equal(tab_states, {"View": (False, False), "Edit/Add": (True, True)},
                        "tabs with the focus on the tab bar")
        self.press("Left")
        self.wait_equal(tab_states, {"View": (True, True), "Edit/Add": (False, False)},
                        "tabs after Left")
        self.press("Tab")
        self.wait_equal(tab_states, {"View": (True, False), "Edit/Add": (False, False)},
                        "tabs once the focus has left the tab bar")
