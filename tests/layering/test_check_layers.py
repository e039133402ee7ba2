#!/usr/bin/env python3
"""The layering check on small source trees, one broken rule a row.

Usage: test_check_layers.py PATH-TO-check-layers
"""

import os
import subprocess
import sys
import tempfile
import unittest

CHECK = None

TABLE = """\
# folder  library       may include
app       lib_app       widgets core
widgets   lib_widgets   core
core      lib_core
store     lib_store
tests     -             *
"""

LINKS = """\
lib_app: lib_widgets;lib_core;Qt6::Widgets
lib_widgets: lib_core;Qt6::Widgets
lib_core: Qt6::Core
lib_store: Qt6::Core;PkgConfig::SQLITE3
"""

# A tree that keeps every rule; each row changes or adds files to break one (or none).
GOOD_FILES = {
    "app/main.cpp": '#include "widgets/panel.h"\n#include "core/error.h"\n#include <QApplication>\n',
    "widgets/panel.h": '#pragma once\n#include "core/error.h"\n',
    "core/error.h": "#pragma once\n",
    "store/table.cpp": '#include "store/table.h"\n#include <sqlite3.h>\n',
    "store/table.h": "#pragma once\n",
    "tests/test_table.cpp": '#include "app/window_set.h"\n#include "store/table.h"\n',
}

ROWS = [
    # name, files changed, table, links, exit code, lines the output must hold
    ("every rule kept", {}, TABLE, LINKS, 0, []),
    ("store includes a widget header",
     {"store/table.cpp": '#include "store/table.h"\n\n#include "widgets/panel.h"\n'},
     TABLE, LINKS, 1,
     ["store/table.cpp:3: includes widgets/ but store may include nothing of ours (LAYERS)"]),
    ("upward include with spaces after the hash",
     {"core/clock.cpp": '# include "app/window_set.h"\n'}, TABLE, LINKS, 1,
     ["core/clock.cpp:1: includes app/ but core may include nothing of ours (LAYERS)"]),
    ("include in a line comment is no include",
     {"core/clock.cpp": '// #include "app/window_set.h"\n'}, TABLE, LINKS, 0, []),
    ("folder without a row", {"sync/peer.cpp": '#include "core/error.h"\n'}, TABLE, LINKS, 1,
     ["sync/peer.cpp: the folder sync has no row in LAYERS"]),
    ("library links a folder above it", {}, TABLE,
     LINKS.replace("lib_widgets: lib_core", "lib_widgets: lib_app;lib_core"), 1,
     ["library lib_widgets links lib_app but widgets may include only core (LAYERS)"]),
    ("folder includes what its library does not link", {}, TABLE,
     LINKS.replace("lib_app: lib_widgets;lib_core", "lib_app: lib_widgets"), 1,
     ["library lib_app does not link lib_core although app/ includes core/"]),
    ("library missing from the build", {}, TABLE,
     LINKS.replace("lib_store: Qt6::Core;PkgConfig::SQLITE3\n", ""), 1,
     ["library lib_store of store/ is not in the build"]),
    ("table names an unknown folder", {}, TABLE.replace("widgets core\n", "widgets core gui\n"),
     LINKS, 2, []),
]


class CheckLayers(unittest.TestCase):
    def test_rules(self):
        for name, changes, table, links, code, lines in ROWS:
            with self.subTest(name), tempfile.TemporaryDirectory() as root:
                files = dict(GOOD_FILES, **changes)
                files["LAYERS"] = table
                for path, text in files.items():
                    os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
                    with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                        f.write(text)
                links_path = os.path.join(root, "links.txt")
                with open(links_path, "w", encoding="utf-8") as f:
                    f.write(links)
                run = subprocess.run([sys.executable, CHECK, "--links", links_path, root],
                                     capture_output=True, text=True, cwd=root, timeout=20)
                self.assertEqual(run.returncode, code, run.stdout + run.stderr)
                self.assertEqual(run.stdout.splitlines(), lines)
                if code == 2:
                    self.assertIn("LAYERS", run.stderr)


if __name__ == "__main__":
    CHECK = os.path.abspath(sys.argv.pop(1))
    unittest.main()
