"""Finding a contact by typing in the View tab's Nick box, as a screen reader follows it."""

from story import Story, contact


class Search(Story):
    def setUp(self):
        super().setUp()
        self.make_table(contact("beta", "Beta Person"), contact("alpine", "Alpine Person"),
                        contact("alpha", "Alpha Person"))
        self.program = self.start()
        self.program.main()
        self.view = self.program.page()
        self.nick = self.view.find("text", "Nick")
        self.name = self.view.find("text", "Real Name")
        self.click(self.nick)
        self.wait(lambda: self.nick.focused, "the Nick box to take the focus")

    def box(self):
        """The Nick box as read aloud: its text, the selected part and the caret."""
        selection = self.nick.selection
        selected = self.nick.text[selection[0]:selection[1]] if selection else ""
        return self.nick.text, selected, self.nick.caret

    def typed(self, keys, text, selected, caret, name):
        """Types (or presses) keys, then checks the box and the Real Name beside it."""
        if keys.isalpha() and len(keys) == 1:
            self.type(keys)
        else:
            self.press(keys)
        self.wait_equal(self.box, (text, selected, caret), "Nick box after %r" % keys)
        self.expect(self.name.text, name, "Real Name after %r" % keys)

    def test_typing_completes_the_nearest_nick(self):
        self.press("ctrl+a")
        self.typed("a", "alpha", "lpha", 5, "Alpha Person")
        self.typed("l", "alpha", "pha", 5, "Alpha Person")
        self.typed("p", "alpha", "ha", 5, "Alpha Person")
        self.typed("i", "alpine", "ne", 6, "Alpine Person")
        # Past every nick that starts so: the next nick replaces what was typed.
        self.press("ctrl+a")
        for letter in "alp":
            self.type(letter)
        self.wait_equal(self.box, ("alpha", "ha", 5), "Nick box after 'alp'")
        self.typed("z", "beta", "", 4, "Beta Person")
        # Past every nick: the last one, its tail selected.
        self.press("ctrl+a")
        self.typed("z", "beta", "eta", 4, "Beta Person")

    def test_backspace_edits_without_searching(self):
        self.press("ctrl+a")
        for letter in "alp":
            self.type(letter)
        self.wait_equal(self.box, ("alpha", "ha", 5), "Nick box after 'alp'")
        # Delete right after a letter: the shorter text is searched and completed again.
        self.typed("Delete", "alpha", "ha", 5, "Alpha Person")
        self.typed("BackSpace", "alp", "", 3, "Alpha Person")
        self.typed("i", "alpine", "ne", 6, "Alpine Person")
        self.typed("BackSpace", "alpi", "", 4, "Alpine Person")
        for _ in range(4):
            self.press("BackSpace")
        self.wait_equal(self.box, ("", "", 0), "Nick box emptied with Backspace")
        self.expect(self.name.text, "Alpine Person", "Real Name after emptying the box")
        self.typed("b", "beta", "eta", 4, "Beta Person")
        # Deleting the whole text after a letter searches the empty text: the first nick.
        self.press("ctrl+a")
        self.typed("Delete", "alpha", "alpha", 5, "Alpha Person")
