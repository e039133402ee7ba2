"""The files around the program: the settings file's permissions and the table tool's check."""

import os
import sqlite3
import stat
import subprocess
import unittest

from story import TITLE, Story, bin_path, contact
from test_startup import window_position


class Files(Story):
    @unittest.skipIf(os.geteuid() == 0, "root writes where the user may not: run scripts/e2e")
    def test_settings_file_keeps_to_its_permissions(self):
        self.make_table(contact("alpha"))
        original = "[Window]\nLeft=100\nTop=50\n"
        with open(self.ini, "w") as f:
            f.write(original)
        os.chmod(self.ini, 0o444)
        program = self.start()
        main = program.main()
        self.desktop.move_window(program.x_window(main), 120, 70)
        self.wait_equal(lambda: program.frame(main)[:2], (120, 70), "frame after moving it")
        self.desktop.close_window(program.x_window(main))
        self.wait(lambda: program.process.poll() is not None or len(program.windows()) > 1,
                  "an error box or the end of the program")
        if program.process.poll() is not None:
            self.fail("the close box ended the program; the read-only settings file now reads "
                      "%r" % self.read_ini())
        box, text = program.message_box(TITLE)
        self.expect(text, "Unable to write to PALVANE.INI.", "closing with a read-only file")
        self.press("Return")
        self.gone(box, "the error box to close")
        self.assertTrue(main.showing, "the window stays open when its position cannot be kept")
        self.expect(self.read_ini(), original, "read-only settings file after the close")
        self.expect(stat.S_IMODE(os.stat(self.ini).st_mode), 0o444, "settings file mode")
        self.press("alt+f")
        self.wait(lambda: program.app().find("menu item", "Exit").showing, "the File menu")
        self.press("e")
        program.wait_exit()

        os.chmod(self.ini, 0o644)
        os.chmod(self.config, 0o555)
        self.addCleanup(os.chmod, self.config, 0o755)
        program = self.start()
        main = program.main()
        self.desktop.move_window(program.x_window(main), 300, 200)
        self.wait_equal(lambda: program.frame(main)[:2], (300, 200), "frame after moving it")
        self.desktop.close_window(program.x_window(main))
        self.expect(program.wait_exit(), 0, "exit code with a read-only settings folder")
        self.expect(window_position(self.read_ini()), ("300", "200"),
                    "position written in place in a read-only folder")

    # The tool's check once passed tables the program cannot use and called a lock damage.
    def test_table_check_accepts_what_the_program_accepts(self):
        def check(path):
            result = subprocess.run([bin_path("palvane-table"), "check", path],
                                    capture_output=True, text=True)
            return result.returncode, (result.stdout + result.stderr).strip()

        def variant(path, change):
            """A contact table whose layout differs from the tool's own by change(sql)."""
            self.make_table(path=path)
            with sqlite3.connect(path) as db:
                sql = db.execute("SELECT sql FROM sqlite_master WHERE name = 'contacts'")
                sql = change(sql.fetchone()[0])
                db.execute("DROP TABLE contacts")
                db.execute(sql)
                db.execute("CREATE INDEX \"IRC NICK INDEX\" ON contacts (\"IRC Nick\" COLLATE "
                           "NOCASE)")
                db.execute("INSERT INTO contacts VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                           contact("alpha"))
            return path

        nick = '"IRC Nick" VARCHAR(64)'
        # The program itself refuses a table without row ids.
        variant(self.db, lambda sql: sql.replace(nick, nick + " PRIMARY KEY") + " WITHOUT ROWID")
        program = self.start()
        windows = self.wait(program.windows, "a window")
        self.expect([w.role for w in windows], ["alert"], "windows on show at start with a "
                    "WITHOUT ROWID table")
        code, said = check(self.db)
        if code == 0:
            self.fail("check passes a WITHOUT ROWID table: %s" % said)

        not_null = variant(os.path.join(self.dir, "not-null.db"),
                           lambda sql: sql.replace(nick, nick + " NOT NULL"))
        code, said = check(not_null)
        if code == 0:
            self.fail("check passes a table whose nick may not be blank: %s" % said)

        locked = self.make_table(contact("alpha"), path=os.path.join(self.dir, "locked.db"))
        holder = sqlite3.connect(locked, isolation_level=None)
        holder.execute("BEGIN EXCLUSIVE")
        code, said = check(locked)
        holder.close()
        self.assertNotIn("damaged", said, "check of a table locked by another program")
        self.assertIn("in use", said, "check of a table locked by another program")
