"""Creating, changing and deleting contacts on the Edit/Add tab, checked in the table after."""

from story import Story, contact

DELETE_DIALOG = "You want to nuke the record?"


def darkest(pixels):
    """The darkest pixel's mean channel value: a caption's core colour."""
    return min(sum(p) // 3 for row in pixels for p in row)


class Editing(Story):
    def edit_tab(self, *contacts):
        self.make_table(*contacts)
        program = self.start()
        program.main()
        self.press("ctrl+Tab")
        self.wait_equal(program.tab, "Edit/Add", "tab after Ctrl+Tab")
        return program, program.page()

    def row(self, nick):
        return [r for r in self.rows() if r[0] == nick]

    def test_new_entry_typed_in_and_updated(self):
        program, edit = self.edit_tab(contact("alpha"), contact("beta"))
        update = edit.find("push button", "Update Entry")
        self.click(edit.find("push button", "New Entry"))
        self.wait_equal(self.count, 3, "contacts once New Entry is pressed")
        self.wait_equal(lambda: edit.find("text", "Nick").text, "", "Nick box after New Entry")
        self.click(edit.find("text", "Nick"))
        self.type("gamma")
        for caption, text in (("Real Name", "Gamma Person"), ("E-Mail", "gamma@example.org"),
                              ("Location", "Lisbon"), ("Notes", "met on #cats")):
            self.press("Tab")
            self.wait_equal(lambda: program.focus().name, caption, "focus after Tab")
            self.type(text)
        self.press("Tab")
        self.wait_equal(lambda: program.focus().name, "Add", "focus after Tab from Notes")
        self.click(edit.find("spin button"))
        self.press("Up", "Up", "Up")
        self.wait_equal(lambda: edit.find("spin button").text, "3", "offset after three Ups")
        self.click(update)
        self.wait(lambda: not update.enabled, "Update Entry to be disabled once stored")
        self.expect(self.row("gamma"), [("gamma", "Gamma Person", "Lisbon", "gamma@example.org",
                                         "met on #cats", 0.125, 3, None)], "stored contact")

        # No nick: refused with a message, nothing stored; the blank entry goes at the switch.
        self.click(edit.find("push button", "New Entry"))
        self.wait_equal(self.count, 4, "contacts once New Entry is pressed again")
        self.click(update)
        box, text = program.message_box("Information")
        self.expect(text, "Current record contains no nick! Cannot Update without Nick.",
                    "message")
        self.press("Return")
        self.gone(box, "the message to close")
        self.expect(self.count(), 4, "contacts after the refused update")
        self.press("ctrl+Tab")
        self.wait_equal(program.tab, "View", "tab after Ctrl+Tab")
        self.expect(self.count(), 3, "contacts once the blank entry is purged")

    def test_delete_dialog_answered_by_keyboard(self):
        program, edit = self.edit_tab(contact("alpha"), contact("beta"), contact("gamma"))
        delete = edit.find("push button", "Delete Entry")
        self.click(delete)
        dialog = program.window(DELETE_DIALOG)
        self.expect(program.client_size(dialog), (333, 219), "client size of the dialog")
        self.assertCentred(program.frame(dialog), "delete dialog")
        self.expect(program.focus().name, "Yes", "focus when the dialog opens")
        # Refused while the dialog is open.
        self.click(program.main(active=False).find("page tab", "View"))
        self.press("Escape")
        self.gone(dialog, "Escape to close the dialog")
        self.expect(program.tab(), "Edit/Add", "tab after clicking View under the dialog")
        self.expect(self.count(), 3, "contacts after Escape")

        self.click(delete)
        dialog = program.window(DELETE_DIALOG)
        self.close(dialog)
        self.expect(self.count(), 3, "contacts after the close box")

        self.click(delete)
        program.window(DELETE_DIALOG)
        self.press("Return")
        self.wait_equal(self.count, 2, "contacts after Return on Yes")
        self.expect([r[0] for r in self.rows()], ["beta", "gamma"], "contacts left")
        self.wait_equal(lambda: edit.find("text", "Nick").text, "beta", "Nick box after delete")
        for left in (1, 0):
            self.click(delete)
            program.window(DELETE_DIALOG)
            self.press("Return")
            self.wait_equal(self.count, left, "contacts after another delete")
        self.wait_equal(lambda: edit.find("text", "Nick").text, "", "Nick box on an empty table")
        self.click(delete)
        box, text = program.message_box("Information")
        self.expect(text, "If there were any records to delete I would gladly delete them. At "
                          "the moment though, I can't seem to find any... :-)", "message")
        self.press("Return")
        self.gone(box, "the message to close")

    def test_return_on_no_keeps_the_contact(self):
        program, edit = self.edit_tab(contact("alpha"), contact("beta"))
        delete = edit.find("push button", "Delete Entry")
        self.click(delete)
        dialog = program.window(DELETE_DIALOG)
        self.press("Tab")
        self.wait_equal(lambda: program.focus().name, "No", "focus after Tab")
        self.press("Return")
        self.gone(dialog, "Return to close the dialog")
        self.expect(self.count(), 2, "contacts after Return on No")
        self.click(delete)
        dialog = program.window(DELETE_DIALOG)
        self.expect(program.focus().name, "Yes", "focus when the dialog opens again")

    def test_blank_new_entry_is_purged_beside_a_stored_nameless_contact(self):
        self.make_table(contact("alpha"), contact(None, "Nameless Person"), contact("beta"))
        program = self.start()
        program.main()
        view = program.page()
        self.click(view.find("text", "Nick"))
        self.press("ctrl+a")
        self.type("b")
        self.wait_equal(lambda: view.find("text", "Nick").text, "beta", "Nick box on View")
        self.press("ctrl+Tab")
        self.wait_equal(program.tab, "Edit/Add", "tab after Ctrl+Tab")
        self.click(program.page().find("push button", "New Entry"))
        self.wait_equal(self.count, 4, "contacts once New Entry is pressed")
        self.press("ctrl+Tab")
        self.wait_equal(program.tab, "View", "tab after Ctrl+Tab")
        self.expect(self.count(), 3, "contacts after switching back to View")

    def test_update_entry_looks_disabled_when_nothing_changed(self):
        program, edit = self.edit_tab(contact("alpha"), contact("beta"))
        update = edit.find("push button", "Update Entry")
        self.click(edit.find("text", "Real Name"))
        self.type("x")
        self.wait(lambda: update.enabled, "typing to enable Update Entry")
        caption = update.extents
        caption = (caption[0] + 4, caption[1] + 4, caption[2] - 8, caption[3] - 8)
        self.painted(caption, lambda rows: darkest(rows) <= 60,
                     "an enabled Update Entry's black caption")
        self.click(edit.find("push button", "Next Record"))
        self.wait(lambda: not update.enabled, "Next Record to disable Update Entry")
        self.painted(caption, lambda rows: darkest(rows) >= 100,
                     "a disabled Update Entry's caption in grey, not black")

    def test_offset_box_brings_a_typed_value_into_range(self):
        program, edit = self.edit_tab(contact("alpha"))
        spin = edit.find("spin button")
        self.click(spin)
        self.press("ctrl+a")
        self.type("30")
        self.press("Tab")
        self.wait_equal(lambda: spin.text, "24", "offset after typing 30 and leaving the box")
        self.click(spin)
        self.press("ctrl+a")
        self.type("-99")
        self.wait_equal(lambda: spin.text, "-99", "offset while typing")
        # The selection that Shift+Home makes shows that the step before it has been taken.
        self.press("Down", "shift+Home")
        self.wait(lambda: spin.selection, "Shift+Home to select the offset")
        self.expect(spin.text, "-24", "offset one step down from -99")
