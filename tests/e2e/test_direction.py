"""Right-to-left desktops: the windows keep their left-to-right layout as a whole."""

from story import Story, contact, program_path


class Direction(Story):
    def test_hebrew_desktop_with_reverse_keeps_the_layout_left_to_right(self):
        self.make_table(contact("alpha", "\u05d0\u05dc\u05e4\u05d0", "Tel Aviv",
                                notes="\u05e4\u05d2\u05e9\u05e0\u05d5 \u05d1-#cats"))
        program = self.start(locale="he_IL.UTF-8", command=[program_path(), "-reverse"])
        main = program.main()
        left = lambda node: node.extents[0]
        self.assertLess(left(main.find("menu item", "File")), left(main.find("menu item", "About")),
                        "File stands left of About in the menu bar")
        self.assertLess(left(main.find("page tab", "View")), left(main.find("page tab", "Edit/Add")),
                        "the View tab stands left of the Edit/Add tab")
        view = program.page()
        page_left = left(view)
        self.expect(left(view.find("text", "Nick")) - page_left, 80, "the Nick box's left edge")
        self.assertLess(left(view.find("text", "Nick")), left(view.find("frame", "Clocks")),
                        "the boxes stand left of the clocks")
        header = [n for n in view.children if n.role == "frame" and "Picture:" in (n.text or "")]
        self.expect(len(header), 1, "the picture and notes header")
        x, _, width, _ = header[0].extents
        picture_x = header[0].acc.queryText().getCharacterExtents(
            header[0].text.index("Picture:"), 0)[0]
        self.assertLess(picture_x - x, width // 4, "\"Picture:\" in the header's left quarter")
        notes = view.find("text", "Notes")
        self.expect(notes.text, "\u05e4\u05d2\u05e9\u05e0\u05d5 \u05d1-#cats", "the notes read")
