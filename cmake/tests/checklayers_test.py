#!/usr/bin/env python3
"""The layer check (cmake/checklayers.py) against a small tree of the
project's folders that this test writes and builds: the clean tree passes; an
upward include planted in each form of FORMS (among them through a symbolic
link to a header and through a linked folder) is caught at the file that makes
it; a tree that is not built, or not built again since a change, fails and
never passes. Not planted, as the check cannot see it: an include behind a
preprocessor condition that no reading of its header meets.

Usage: checklayers_test.py CMAKE NINJA CXX   (the CodeLayers tests run it)
"""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "..", "checklayers.py")
HELPERS = os.path.join(HERE, "..", "TwHelpers.cmake")
CMAKE, NINJA, CXX = (sys.argv[1:4] + [None] * 3)[:3]

MARK = "// (an include is planted here)"
# The dialog is Brellfin's top layer; the lists lie right below it.
UP = "brellfin/dialog/pane.h"
UP_FAULT = "brellfin dialog is not below brellfin lists"

# Every form an include takes, each to be planted on its own line. The plant
# folders (brellfin/lists/units, brellfin/lists/headers) lie two below brellfin/.
FORMS = {
    "quoted": f'#include "{UP}"',
    "angled": f"#include <{UP}>",
    "macro": f'#define TW_PLANTED_HEADER "{UP}"\n#include TW_PLANTED_HEADER',
    "commented": f'/* note */ #include "{UP}"',
    "relative": '#include "../../dialog/pane.h"',
    # Through a link in the lists' own folder to the dialog's header, and
    # through a linked folder (LINKS).
    "symlinked": '#include "brellfin/lists/panealias.h"',
    "symlinkedfolder": '#include "brellfin/lists/dialogalias/pane.h"',
}
# Symbolic links of the tree: its path and where it leads.
LINKS = {"brellfin/lists/panealias.h": "../dialog/pane.h", "brellfin/lists/dialogalias": "../dialog"}

FIXTURE_CMAKE = f"""cmake_minimum_required(VERSION 3.25)
project(LayersFixture LANGUAGES CXX)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
include({HELPERS})
include_directories(${{CMAKE_SOURCE_DIR}})
add_library(fixture_texts STATIC brellfin/ui/texts.cpp)
add_library(fixture_menus STATIC brellfin/mfc/menus.cpp)
add_library(fixture_lists STATIC brellfin/lists/walk.cpp brellfin/lists/headers/readall.cpp
    {" ".join(f"brellfin/lists/units/{form}.cpp" for form in [*FORMS, "linked"])})
# Private: the dialog reads the texts' header through the lists' and links no texts.
target_link_libraries(fixture_lists PRIVATE fixture_texts)
add_library(fixture_dialog STATIC brellfin/dialog/pane.cpp)
target_link_libraries(fixture_dialog PUBLIC fixture_lists)
tw_write_target_table(${{CMAKE_BINARY_DIR}}/tw_targets.tsv)
"""

TREE = {
    "CMakeLists.txt": FIXTURE_CMAKE,
    "brellfin/ui/texts.h": "#pragma once\nint textCount();\n",
    "brellfin/ui/texts.cpp": '#include "brellfin/ui/texts.h"\nint textCount() { return 2; }\n',
    "brellfin/mfc/menus.h": "#pragma once\nint menuCount();\n",
    "brellfin/mfc/menus.cpp": '#include "brellfin/mfc/menus.h"\nint menuCount() { return 3; }\n',
    "brellfin/lists/walk.h": '#pragma once\n#include "brellfin/ui/texts.h"\nint walkDepth();\n',
    "brellfin/lists/walk.cpp": '#include "brellfin/lists/walk.h"\nint walkDepth() { return textCount(); }\n',
    # Read by the dialog's unit only, which may read the dialog's header itself.
    "brellfin/lists/relay.h": f'#pragma once\n#include "brellfin/lists/walk.h"\n{MARK}\n',
    "brellfin/dialog/pane.h": "#pragma once\nint paneWidth();\n",
    "brellfin/dialog/pane.cpp": '#include "brellfin/dialog/pane.h"\n#include "brellfin/lists/relay.h"\n'
    "int paneWidth() { return walkDepth(); }\n",
    "brellfin/lists/headers/readall.cpp": "".join(f'#include "brellfin/lists/headers/{form}.h"\n' for form in FORMS),
}
for form in [*FORMS, "linked"]:
    TREE[f"brellfin/lists/units/{form}.cpp"] = (
        f'#include "brellfin/lists/walk.h"\n{MARK}\nint {form}Unit() {{ return walkDepth(); }}\n'
    )
for form in FORMS:
    TREE[f"brellfin/lists/headers/{form}.h"] = f'#pragma once\n#include "brellfin/lists/walk.h"\n{MARK}\n'

# Each plant: its file, what replaces the mark, and the fault the check must
# name. No plant is read by a file that another plant is in.
PLANTS = [(f"brellfin/lists/units/{form}.cpp", text, f'includes "{UP}": {UP_FAULT}') for form, text in FORMS.items()]
# Reached by a unit of the lists only through another header.
PLANTS += [(f"brellfin/lists/headers/{form}.h", text, f'includes "{UP}": {UP_FAULT}') for form, text in FORMS.items()]
PLANTS += [
    # In a header that only a unit of the dialog reads, to which the dialog's
    # header is no fault: only the header's own reading shows it.
    ("brellfin/lists/relay.h", f'#include "{UP}"', f'includes "{UP}": {UP_FAULT}'),
    # A library of an allowed layer that the lists do not link.
    (
        "brellfin/lists/units/linked.cpp",
        '#include "brellfin/mfc/menus.h"',
        'includes "brellfin/mfc/menus.h" of fixture_menus, which fixture_lists does not link',
    ),
]


def run(*command, cwd=None):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True, timeout=120, check=False)


class LayerCheck(unittest.TestCase):
    """One scratch tree, built and judged at each step."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory(prefix="checklayers-")
        try:
            cls.judgeEachStep()
        except BaseException:
            cls.scratch.cleanup()  # tearDownClass does not run after a failed setUpClass
            raise

    @classmethod
    def judgeEachStep(cls):
        cls.root = os.path.join(cls.scratch.name, "src")
        cls.build = os.path.join(cls.scratch.name, "build")
        for path, text in TREE.items():
            cls.write(path, text)
        for path, target in LINKS.items():
            os.symlink(target, os.path.join(cls.root, path))
        configured = run(
            CMAKE,
            "-S",
            cls.root,
            "-B",
            cls.build,
            "-G",
            "Ninja",
            f"-DCMAKE_MAKE_PROGRAM={NINJA}",
            f"-DCMAKE_CXX_COMPILER={CXX}",
        )
        if configured.returncode != 0:
            raise RuntimeError(f"the fixture does not configure:\n{configured.stdout}{configured.stderr}")
        cls.unbuilt = cls.check()
        cls.ninja()
        cls.clean = cls.check()
        for path, text, _fault in PLANTS:
            with open(os.path.join(cls.root, path), encoding="utf-8") as source:
                planted = source.read().replace(MARK, text)
            cls.write(path, planted)
        cls.not_rebuilt = cls.check()
        cls.ninja()
        cls.planted = cls.check()

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    @classmethod
    def write(cls, path, text):
        path = os.path.join(cls.root, path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as target:
            target.write(text)

    @classmethod
    def ninja(cls):
        built = run(NINJA, "-C", cls.build)
        if built.returncode != 0:
            raise RuntimeError(f"the fixture does not build:\n{built.stdout}{built.stderr}")

    @classmethod
    def check(cls):
        return run(sys.executable, CHECK, cls.root, cls.build, NINJA)

    def test_a_tree_not_built_cannot_be_judged(self):
        self.assertEqual(self.unbuilt.returncode, 2, self.unbuilt.stdout)
        self.assertIn("is not built or not up to date", self.unbuilt.stdout)

    def test_the_clean_tree_passes(self):
        self.assertEqual(self.clean.returncode, 0, self.clean.stdout)
        # Every unit compiled and every header was judged: none passed unseen.
        counts = f"{len(FORMS) + 6} compiled units, 0 sources the default build does not compile and {len(FORMS) + 5} headers"
        self.assertIn(counts, self.clean.stdout)

    def test_a_change_not_built_cannot_be_judged(self):
        self.assertEqual(self.not_rebuilt.returncode, 2, self.not_rebuilt.stdout)
        self.assertIn("is not built or not up to date", self.not_rebuilt.stdout)

    def test_every_planted_include_fails_where_it_is_made(self):
        self.assertEqual(self.planted.returncode, 1, self.planted.stdout)
        faults = set(self.planted.stdout.splitlines()[:-1])
        expected = {f"{path}: {fault}" for path, _text, fault in PLANTS}
        for path, text, fault in PLANTS:
            with self.subTest(path=path, plant=text):
                self.assertIn(f"{path}: {fault}", faults)
        # Nothing else: a unit that reads a plant through a header is not blamed for it.
        self.assertEqual(faults - expected, set())


if __name__ == "__main__":
    if None in (CMAKE, NINJA, CXX):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    unittest.main(argv=sys.argv[:1], verbosity=2)
