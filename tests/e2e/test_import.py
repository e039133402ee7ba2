"""The commands a user types and contact files opened from the desktop: both reach the user's
own table, the one the menu entry opens."""

import os
import subprocess

from story import TITLE, Story, bin_path

CARDS = ("BEGIN:VCARD\r\nVERSION:4.0\r\nNICKNAME:ada\r\nFN:Ada Lovelace\r\nEND:VCARD\r\n"
         "BEGIN:VCARD\r\nVERSION:4.0\r\nNICKNAME:web\r\nPHOTO:https://example.org/me.jpg\r\n"
         "END:VCARD\r\n")


class Import(Story):
    def setUp(self):
        super().setUp()
        self.cards = os.path.join(self.dir, "friends.vcf")
        with open(self.cards, "w") as f:
            f.write(CARDS)
        self.user_table = os.path.join(self.dir, "home", ".local", "share", "palvane", "data",
                                       "palvane.db")

    def nicks(self):
        return [row[0] for row in self.rows(self.user_table)]

    def test_a_contact_file_opened_with_the_program_is_imported_after_asking(self):
        self.frames()
        program = self.start(command=[bin_path("palvane"), self.cards])
        box, text = program.message_box("Import contacts")
        self.assertSettledCentred(box, "the confirmation")
        for line in ("Import the contacts of this file into this contact table?",
                     "File: " + self.cards, "Table: " + self.user_table,
                     "The table does not exist yet; it will be created."):
            self.assertIn(line, text.splitlines(), "the confirmation names file and table")
        self.assertFalse(os.path.exists(self.user_table), "a table made before the answer")

        self.press("Return")  # Import is the default button
        window = program.window("Import contacts")
        self.assertSettledCentred(window, "the import window")
        status = self.wait(lambda: [n.name for n in window.find_all("label", showing=True)
                                    if n.name.startswith("Imported")],
                           "the import's result")[0]
        self.expect(status.splitlines(), ["Imported 2 contacts.", "File: " + self.cards,
                                          "Table: " + self.user_table], "the result")
        warnings = window.find("text", "Warnings").text
        self.assertIn("is not a local file: URI", warnings, "the warning shown")
        self.expect(program.focus().name, "Close", "the control with the focus after the import")

        self.press("Return")
        self.expect(program.wait_exit(), 0, "exit code after the import")
        self.expect(self.nicks(), ["ada", "web"], "the user's table after the import")

    def test_the_typed_commands_work_on_the_table_the_menu_entry_opens(self):
        # Typed in a folder without a table of its own, as in a new user's home folder.
        env = dict(os.environ, HOME=os.path.join(self.dir, "home"))
        env.pop("XDG_DATA_HOME", None)
        tool = subprocess.run([bin_path("palvane-table"), "import", self.cards], cwd=self.work,
                              env=env, capture_output=True, text=True)
        self.expect(tool.returncode, 0, "palvane-table import: " + tool.stderr)
        program = self.start(command=[bin_path("palvane")])
        main = program.main()
        self.expect(program.page().find("text", "Nick").text, "ada",
                    "the first contact in the window")
        self.desktop.close_window(program.x_window(main))
        self.expect(program.wait_exit(), 0, "exit code")
        self.expect(os.listdir(self.work), [], "files left in the folder it was typed in")
