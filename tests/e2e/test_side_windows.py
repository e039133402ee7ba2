"""The side windows: their sizes and places on the screen, and that they hold the main window
while open."""


from story import Story, contact

ABOUT = "About Palvane 32"
THANKS = "Thanks to everyone for their support!! "


class SideWindows(Story):
    def test_about_box_and_thanks_window(self):
        self.make_table(contact("alpha"))
        program = self.start()
        self.click(program.main().find("menu item", "About"))
        about = program.window(ABOUT)
        self.expect(program.client_size(about), (298, 213), "about box client size")
        self.assertCentred(program.frame(about), "about box")
        self.expect(program.focus().name, "OK", "focus in the about box")
        self.holds_the_main_window("the about box")
        # Escape does nothing here: the about box is still there for Alt+T.
        self.press("Escape", "alt+t")
        thanks = program.window(THANKS)
        self.assertTrue(about.showing, "the about box stays open under the thanks window")
        self.expect(program.client_size(thanks), (421, 273), "thanks window client size")
        self.assertCentred(program.frame(thanks), "thanks window")
        memo = thanks.find("text")
        before = memo.text
        self.assertTrue(before.startswith("Palvane 32 "), "thanks text: %r" % before[:40])
        self.type("x")
        self.press("Delete")
        self.close(thanks)
        self.expect(memo.text, before, "thanks text after typing into it")
        self.assertTrue(about.showing, "the about box after the thanks window closed")

        self.desktop.move_window(program.x_window(about), 40, 60)
        self.wait_equal(lambda: program.frame(about)[:2], (40, 60), "about box after moving")
        self.press("Return")
        self.gone(about, "Return to close the about box")
        self.press("alt+a")
        about = program.window(ABOUT)
        self.expect(program.frame(about)[:2], (40, 60), "about box opened again")
        self.press("Return")
        self.gone(about, "Return to close the about box")
        self.assertIsNone(program.process.poll(), "the program keeps running")

    def test_banner_click_opens_the_surprise_window(self):
        self.make_table(contact("alpha"))
        program = self.start()
        program.main()
        self.click(program.banner())
        surprise = program.window("*meow*")
        self.expect(program.client_size(surprise), (565, 40), "surprise window client size")
        self.holds_the_main_window("the surprise window")
        frame = program.frame(surprise)
        self.close(surprise)
        self.press("alt+s")
        surprise = program.window("*meow*")
        self.expect(program.frame(surprise), frame, "surprise window opened again")
        self.close(surprise)
        self.assertIsNone(program.process.poll(), "the program keeps running")

    def test_resizable_side_windows_are_centred(self):
        self.make_table(contact("alpha", picture=self.sample("sample.bmp")))
        program = self.start()
        program.main()
        self.press("alt+p")
        viewer = program.window("Image")
        self.assertCentred(program.frame(viewer), "viewer")
        self.close(viewer)
        self.press("alt+s")
        self.assertCentred(program.frame(program.window("*meow*")), "surprise window")

    def test_thanks_window_opens_with_a_four_line_paragraph(self):
        self.make_table(contact("alpha"))
        program = self.start()
        program.main()
        self.press("alt+a")
        program.window(ABOUT)
        self.press("alt+t")
        lines = program.window(THANKS).find("text").lines()
        paragraph = lines[:lines.index("")] if "" in lines else lines
        self.expect(len(paragraph), 4, "lines of the opening paragraph as shown (%s)"
                    % " | ".join(paragraph))

