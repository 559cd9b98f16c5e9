#!/usr/bin/env python3
"""The path check (cmake/checkpaths.py) against a small repository that this
test writes in a place of its own: the clean tree passes, with every kind of
file it judges read and the paths that stay inside the root (or are none of
its business) let be; each reference above the root planted in it is caught at
its file and line, and nothing else is.

Usage: checkpaths_test.py   (the RepositoryPaths tests run it)
"""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "..", "checkpaths.py")

# What a clean repository may say: paths inside it, the system's, URLs, C++
# includes, and "..", whose climb ends inside the root. {up} stands for ".."
# (written out, this file's own plants would be caught in the real tree).
TREE = {
    "README.md": "# Fixture\n\nSee `docs/guide/howto.md`, [the layers](ARCHITECTURE.md) and ~/.config/Fixture.\n",
    "docs/guide/howto.md": "Back to [the start]({up}/{up}/README.md), see <https://example.org/{up}/a/b> and /proc/<pid>/stat.\n",
    "CMakeLists.txt": "include(${CMAKE_SOURCE_DIR}/cmake/extra.cmake)\nadd_subdirectory(sub)\n",
    "sub/CMakeLists.txt": "set(data ${CMAKE_CURRENT_SOURCE_DIR}/{up}/docs/guide)\n",
    "cmake/extra.cmake": "set(helpers ${CMAKE_CURRENT_LIST_DIR}/{up}/sub)\n",
    "cmake/tests/plant.py": "#!/usr/bin/env python3\nTEXT = '#include \"{up}/{up}/{up}/{up}/outside.h\"'\n",
    "Makefile": "SHELL := /bin/bash\nDOCS := $(CURDIR)/docs\n",
    ".ci/run": '#!/usr/bin/env bash\ncd "$(dirname "$0")/{up}"\nmake test\n',
    ".ci/packages": "xvfb openbox\n",
    "tools/setup.sh": '#!/bin/sh\nexec >/dev/null\n. "$(dirname "${BASH_SOURCE[0]}")/{up}/README.md"\n',
    "tools/runner": "#!/bin/sh\ncat docs/{up}/README.md\n",
    # Not judged: neither of the kinds above nor a script.
    "notes.txt": "{up}/beside/notes.txt\n",
    "src/widget.cpp": '#include "{up}/{up}/outside.h"\nconst char* path = "{up}/{up}/beside";\n',
    # A build tree in the root writes absolute paths into it: not judged.
    "build/CMakeCache.txt": "",
    "build/CMakeFiles/paths.cmake": "set(ROOT {root})\nset(UP {up}/{up}/{up})\n",
}

# Each plant: the file, the line appended to it, and what the check says of
# it. {place} is the folder the fixture's clone sits in, {root} the clone.
PLANTS = [
    ("README.md", "The documents are in `{up}/beside/docs/`.", '"{up}/beside/docs/" climbs'),
    ("README.md", "Its sibling is docs/{up}/{up}.", '"docs/{up}/{up}" climbs'),
    (".ci/packages", "{up}/{up}/beside/packages", '"{up}/{up}/beside/packages" climbs'),
    ("docs/guide/howto.md", "[style]({up}/{up}/{up}/beside/notes.md)", '"{up}/{up}/{up}/beside/notes.md" climbs'),
    ("docs/guide/howto.md", "See guide/{up}/{up}/{up}/{up}/sibling/notes.md.", '"guide/{up}/{up}/{up}/{up}/sibling/notes.md" climbs'),
    ("CMakeLists.txt", "include(${CMAKE_SOURCE_DIR}/{up}/beside/tools.cmake)", '"${CMAKE_SOURCE_DIR}/{up}/beside/tools.cmake" climbs'),
    ("sub/CMakeLists.txt", "set(x ${CMAKE_CURRENT_SOURCE_DIR}/{up}/{up}/x)", '"${CMAKE_CURRENT_SOURCE_DIR}/{up}/{up}/x" climbs'),
    # From the root, not from the file's folder (sub/{up}/beside would stay inside).
    ("sub/CMakeLists.txt", "include(${PROJECT_SOURCE_DIR}/{up}/beside/x.cmake)", '"${PROJECT_SOURCE_DIR}/{up}/beside/x.cmake" climbs'),
    ("cmake/extra.cmake", "include(${CMAKE_CURRENT_LIST_DIR}/{up}/{up}/other/x.cmake)", '"${CMAKE_CURRENT_LIST_DIR}/{up}/{up}/other/x.cmake" climbs'),
    ("Makefile", "SPEC := $(CURDIR)/{up}/beside/docs", '"$(CURDIR)/{up}/beside/docs" climbs'),
    (".ci/run", '"$(dirname "$0")/{up}/{up}/beside/tools/setup.sh" .', '"$(dirname "$0")/{up}/{up}/beside/tools/setup.sh" climbs'),
    ("tools/setup.sh", '. "$(dirname "${BASH_SOURCE[0]}")/{up}/{up}/env.sh"', '"$(dirname "${BASH_SOURCE[0]}")/{up}/{up}/env.sh" climbs'),
    ("tools/runner", "cat {up}/{up}/notes.md", '"{up}/{up}/notes.md" climbs'),
    ("cmake/tests/plant.py", "STYLE = '{place}/beside/notes.md'", '"{place}/beside/notes.md" is an absolute path into'),
    ("tools/setup.sh", "cd {root}/tools", '"{root}/tools" is an absolute path into'),
    ("docs/guide/howto.md", "<file://{place}/beside/docs/index.md>", '"//{place}/beside/docs/index.md" is an absolute path into'),
]
LINKS = [("docs/beside", "{up}/{up}/{up}/beside", "docs/beside: a symbolic link to {up}/{up}/{up}/beside, outside the repository")]


def run_check(root):
    return subprocess.run(
        [sys.executable, CHECK, root], capture_output=True, text=True, timeout=60, check=False
    )


class PathCheck(unittest.TestCase):
    """One fixture repository, judged clean and then with every plant."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory(prefix="checkpaths-")
        try:
            cls.judgeBothSteps()
        except BaseException:
            cls.scratch.cleanup()  # tearDownClass does not run after a failed setUpClass
            raise

    @classmethod
    def judgeBothSteps(cls):
        # The clone sits two folders below the place, beside a folder "beside"
        # that the plants name.
        cls.place = os.path.realpath(cls.scratch.name)
        cls.root = os.path.join(cls.place, "clones", "fixture")
        os.makedirs(os.path.join(cls.place, "beside", "docs"))
        for path, text in TREE.items():
            cls.write(path, cls.fill(text), "w")
        os.symlink(cls.fill("{up}/README.md"), os.path.join(cls.root, "docs", "start.md"))
        cls.clean = run_check(cls.root)
        for path, line, _fault in PLANTS:
            cls.write(path, cls.fill(line) + "\n", "a")
        for path, target, _fault in LINKS:
            os.symlink(cls.fill(target), os.path.join(cls.root, path))
        cls.planted = run_check(cls.root)

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    @classmethod
    def fill(cls, text):
        return text.replace("{root}", cls.root).replace("{place}", cls.place).replace("{up}", "..")

    @classmethod
    def write(cls, path, text, mode):
        path = os.path.join(cls.root, path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, mode, encoding="utf-8") as target:
            target.write(text)

    def expected_faults(self):
        lines = {path: TREE[path].count("\n") for path in TREE}
        expected = set()
        for path, _line, fault in PLANTS:
            lines[path] += 1
            expected.add((f"{path}:{lines[path]}", self.fill(fault)))
        return expected

    def test_the_clean_tree_passes_with_every_kind_read(self):
        self.assertEqual(self.clean.returncode, 0, self.clean.stdout)
        # README.md, howto.md, both CMakeLists.txt, extra.cmake, plant.py,
        # Makefile, both files of .ci, setup.sh and the runner script; no
        # build tree.
        self.assertIn("11 documents and scripts, none names", self.clean.stdout)

    def test_every_planted_path_fails_where_it_is_named(self):
        self.assertEqual(self.planted.returncode, 1, self.planted.stdout)
        reported = self.planted.stdout.splitlines()[:-1]
        for where, fault in sorted(self.expected_faults()):
            with self.subTest(where=where):
                self.assertTrue(
                    any(line.startswith(where + ": ") and fault in line for line in reported),
                    f"{where}: {fault}\nnot in:\n{self.planted.stdout}",
                )
        for _path, _target, fault in LINKS:
            self.assertIn(self.fill(fault), reported)
        # Nothing else: one line a plant, none for what stays inside the root.
        self.assertEqual(len(reported), len(PLANTS) + len(LINKS), self.planted.stdout)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
