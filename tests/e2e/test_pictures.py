"""Pictures as the user sees them: the thumbnail, the viewer at natural size, the viewer's fit
to pictures of every size, and files that are not what they claim."""

import shutil
import struct

from story import TITLE, Story, contact


def near(colour, expected, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


class Pictures(Story):
    def test_viewer_shows_the_picture_at_its_natural_size(self):
        self.make_table(contact("alpha", picture=self.sample("sample.bmp")), contact("beta"))
        program = self.start()
        program.main()
        thumbnail = program.page().find("filler", "Picture")
        self.expect(thumbnail.extents[2:], (73, 74), "thumbnail size")
        self.click(thumbnail, repeat=2)
        viewer = program.window("Image")
        self.expect(program.client_size(viewer), (200, 100), "viewer client size")
        # A screen reader says which picture is shown, and how large it is.
        picture = viewer.find("filler", "Picture: sample.bmp")
        self.assertIn("200 by 100 pixels", picture.acc.description, "the picture described")
        # The sample: bands of 25 pixels (blue, green, red, ...) above a white bottom quarter.
        samples = (((12, 10), (0, 0, 255)), ((37, 10), (0, 255, 0)), ((62, 10), (255, 0, 0)),
                   ((12, 90), (255, 255, 255)))
        self.painted(viewer.extents, lambda rows: all(near(rows[py][px], colour)
                                                      for (px, py), colour in samples),
                     "the sample's colour bands at the top left of the viewer")
        self.holds_the_main_window("the viewer")
        self.close(viewer)
        self.click(program.page().find("push button", "Next Record"))
        self.wait(lambda: not program.page().find_all("filler", "Picture", showing=True),
                  "the thumbnail to hide for a contact without a picture")

    def test_viewer_fits_small_large_and_maximised_pictures(self):
        big = self.dir + "/camera.bmp"
        columns, rows = 6000, 4000  # 24 bits a pixel, rows of 18000 bytes: 72 MB
        pixel_bytes = columns * rows * 3
        with open(big, "wb") as f:
            f.write(struct.pack("<2sIHHI", b"BM", 54 + pixel_bytes, 0, 0, 54))
            f.write(struct.pack("<IiiHHIIiiII", 40, columns, rows, 1, 24, 0, pixel_bytes, 3780,
                                3780, 0, 0))
            f.truncate(54 + pixel_bytes)
        self.make_table(contact("camera", picture=big),
                        contact("icon", picture=self.sample("sample.ico")))
        program = self.start()
        windows = self.wait(program.windows, "a window")
        self.expect([w.role for w in windows], ["frame"], "windows on show at start")
        program.main()

        self.click(program.page().find("push button", "Next Record"))
        self.wait_equal(lambda: program.page().find("text", "Nick").text, "icon", "Nick box")
        self.press("alt+p")
        viewer = program.window("Image")
        width, height = program.client_size(viewer)
        if width < 120:
            self.fail("a 32x32 picture gives a viewer %d pixels wide: no room for the title "
                      "bar's title and buttons" % width)
        x, y, _, _ = viewer.extents
        self.painted((x + 16, y + 16, 1, 1), lambda rows: near(rows[0][0], (220, 120, 40)),
                     "the icon's colour at the top left of the viewer")
        self.desktop.maximise(program.x_window(viewer))
        self.wait(lambda: "MAXIMIZED" in self.desktop.window_state(program.x_window(viewer)),
                  "the viewer to be maximised")
        self.close(viewer)
        self.press("alt+p")
        viewer = program.window("Image")
        self.expect(program.client_size(viewer), (width, height),
                    "viewer opened again after it was maximised")

    def test_pictures_cut_short_are_refused(self):
        for name in ("sample.bmp", "sample.ico"):
            shutil.copy(self.sample(name), self.dir)
            with open(self.dir + "/" + name, "r+b") as f:
                f.truncate(f.seek(0, 2) - 1)
        self.make_table(contact("a-bitmap", picture=self.dir + "/sample.bmp"),
                        contact("b-icon", picture=self.dir + "/sample.ico"))
        program = self.start()
        windows = self.wait(program.windows, "a window")
        self.expect([w.role for w in windows], ["alert"], "windows on show at start")
        box, text = program.message_box(TITLE)
        self.expect(text, "Bitmap image is not valid.", "error for a bitmap cut short")
        self.press("Return")
        self.click(program.main().find("push button", "Next Record"))
        program.message_box(TITLE)  # an icon cut short is refused as well
        self.press("Return")

    def test_metafile_shapes_have_their_default_outline(self):
        self.make_table(contact("emf", picture=self.sample("sample.emf")),
                        contact("wmf", picture=self.sample("sample.wmf")))
        program = self.start()
        program.main()
        # Each sample's rectangle starts at x = 12 (EMF) or 16 (WMF); row 30 crosses its left
        # edge clear of the ellipse inside.
        for nick in ("emf", "wmf"):
            self.wait_equal(lambda: program.page().find("text", "Nick").text, nick, "Nick box")
            self.press("alt+p")
            viewer = program.window("Image")
            x, y, _, _ = viewer.extents
            row = self.painted((x + 6, y + 30, 16, 1), lambda rows: any(
                max(p) - min(p) > 200 for p in rows[0]), "the %s picture's fill" % nick)[0]
            if not any(max(p) <= 130 for p in row):
                self.fail("%s rectangle drawn without an outline: %s" % (nick, row))
            self.close(viewer)
            self.click(program.page().find("push button", "Next Record"))
