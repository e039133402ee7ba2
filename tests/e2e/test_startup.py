"""Starting and ending the program: its window, where it opens, what it remembers."""

import re

from story import TITLE, Story, contact, needs_seconds


def window_position(ini):
    """Left and Top of section Window, read the way the program reads them (any case)."""
    section, values = None, {}
    for line in ini.splitlines():
        line = line.strip()
        if line.startswith("["):
            section = line.strip("[]").lower()
        elif section == "window" and "=" in line:
            key, _, value = line.partition("=")
            values[key.strip().lower()] = value.strip()
    return values.get("left"), values.get("top")


class StartUp(Story):
    def test_first_start_opens_at_the_default_place_and_closing_remembers_it(self):
        self.make_table(contact("alpha", "Alpha Person"), contact("beta", "Beta Person"))
        program = self.start()
        main = program.main()
        self.expect(program.below_the_menu_bar(main), (570, 329),
                    "client area below the menu bar")
        self.expect(program.frame(main)[:2], (226, 167), "frame position on a first start")
        self.expect([w.name for w in program.windows()], [TITLE],
                         "windows on show at start")
        self.expect(program.tab(), "View", "tab on show")
        view = program.page()
        self.expect(view.find("text", "Nick").text, "alpha", "first contact's nick")
        self.expect(view.find("text", "Real Name").text, "Alpha Person", "Real Name box")
        self.assertIsNone(self.read_ini(), "no settings file before the first close")

        self.desktop.close_window(program.x_window(main))
        self.expect(program.wait_exit(), 0, "exit code")
        self.expect(window_position(self.read_ini() or ""), ("226", "167"),
                         "position written on close")
        self.expect(self.count(), 2, "contacts after the run")

    def test_stored_position_is_used_and_file_exit_does_not_save_it(self):
        self.make_table(contact("alpha"))
        kept = "; written by hand\r\n[Other]\r\nKeep=this line\r\n\r\n"
        original = kept + "[window]\r\nleft=0x64\r\ntop=$32\r\n"
        with open(self.ini, "w", newline="") as f:
            f.write(original)

        program = self.start()
        main = program.main()
        self.expect(program.frame(main)[:2], (100, 50), "frame at Left=0x64, Top=$32")
        self.desktop.move_window(program.x_window(main), 300, 200)
        self.wait_equal(lambda: program.frame(main)[:2], (300, 200), "frame after moving it")
        self.press("alt+f")
        self.wait(lambda: program.app().find("menu item", "Exit").showing, "the File menu")
        self.press("e")
        self.expect(program.wait_exit(), 0, "exit code after File > Exit")
        self.expect(self.read_ini(), original, "settings file after File > Exit")

        program = self.start()
        main = program.main()
        self.expect(program.frame(main)[:2], (100, 50), "frame after File > Exit")
        self.desktop.move_window(program.x_window(main), 310, 205)
        self.wait_equal(lambda: program.frame(main)[:2], (310, 205), "frame after moving it")
        self.desktop.close_window(program.x_window(main))
        self.expect(program.wait_exit(), 0, "exit code after the close box")
        ini = self.read_ini()
        self.expect(window_position(ini), ("310", "205"), "position written on close")
        self.assertTrue(ini.startswith(kept), "other lines kept as they were:\n" + ini)

    def test_missing_table_shows_its_error_before_the_window(self):
        program = self.start()
        box, text = program.message_box(TITLE)
        self.assertRegex(text, r"palvane\.db.*\.$", "the error names the table, ends in '.'")
        self.expect([w.role for w in program.windows()], ["alert"],
                         "only the error box is on show at first")
        self.press("Return")
        program.main()
        self.gone(box, "the error box to close")
        self.expect(program.tab(), "View", "tab on show")

        self.click(program.page().find("push button", "Next Record"))
        box, text = program.message_box(TITLE)
        self.expect(text, "Cannot perform this operation on a closed dataset.", "error box")
        self.press("Return")
        self.gone(box, "the error box to close")
        self.assertTrue(program.process.poll() is None, "the program keeps running")

    def test_empty_table_says_so_and_opens_the_edit_tab(self):
        self.make_table()
        program = self.start()
        box, text = program.message_box("Information")
        self.expect(text, "There are no records in the current database. Please make an entry.",
                    "information box")
        self.press("Return")
        program.main()
        self.expect(program.tab(), "Edit/Add", "tab on show")
        self.expect(program.page().find("text", "Nick").text, "", "Nick box")


class MessageBoxes(Story):
    def test_message_boxes_are_centred_on_the_screen(self):
        self.frames()
        program = self.start()
        box, _ = program.message_box(TITLE)  # the missing table, a message that wraps
        self.assertSettledCentred(box, "start-up error box")
        self.press("Return")
        program.main()
        self.desktop.close_window(program.x_window(program.main()))
        program.wait_exit()

        self.make_table()
        program = self.start()
        box, _ = program.message_box("Information")
        self.assertCentred(program.frame(box), "information box")
        self.press("Return")
        self.gone(box, "the information box to close")
        self.click(program.page().find("push button", "Delete Entry"))
        box, text = program.message_box("Information")
        self.assertTrue(re.search("gladly delete", text), text)
        self.assertCentred(program.frame(box), "Delete Entry on an empty table")

    @needs_seconds(150)
    def test_boxes_opened_one_after_another_under_load_settle_centred(self):
        self.make_table()
        self.frames()
        self.load_the_processors()
        program = self.start()
        box, _ = program.message_box("Information")
        self.assertSettledCentred(box, "information box at start")
        self.press("Return")
        program.main()
        delete = program.page().find("push button", "Delete Entry")
        self.click(delete)
        for number in range(1, 21):
            box, text = program.message_box("Information")
            self.assertTrue(re.search("gladly delete", text), text)
            self.assertSettledCentred(box, "box %d" % number)
            # Return closes the box and the focus goes back to Delete Entry, which Space
            # presses at once: the next box opens right after this one closed.
            self.press("Return", "space")
            self.gone(box, "box %d to close" % number)
