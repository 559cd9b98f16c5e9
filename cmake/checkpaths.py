#!/usr/bin/env python3
"""Fails when a document or script of the repository names a path above its root.

The repository is whole in itself: a clone anywhere builds, tests and reads
without a file beside it, and nothing in it knows where it was cloned. So no
document or script refers to
- a relative path that climbs out of the root from the file's own folder
  ("../beside/notes.md" in the root's README.md), also where it starts from a
  variable that names the root or the file's folder (${CMAKE_SOURCE_DIR},
  ${PROJECT_SOURCE_DIR}, ${CMAKE_CURRENT_SOURCE_DIR}, ${CMAKE_CURRENT_LIST_DIR},
  $(CURDIR), $(dirname "$0"), $(dirname "${BASH_SOURCE[0]}"));
- an absolute path into the place where this clone sits: the root's shortest
  ancestor that is not one of the system's own folders (SYSTEM_FOLDERS: for a
  clone in a user's home that home, for one in a folder of /tmp that folder);
- a symbolic link whose target lies outside the root.
A `..` inside the tree is fine, and so are paths of the system (/usr/bin/env,
/proc/<pid>/stat), URLs, and C and C++ includes (the layer check judges those).
Paths put together from separate words (os.path.join(here, "..")) or from other
variables are not seen.

The files judged: *.md, *.sh, *.py, *.cmake, CMakeLists.txt, Makefile,
everything under .ci/, and every other file that starts with "#!". Not judged:
.git and every build tree (a folder that holds a CMakeCache.txt).

Usage: checkpaths.py ROOT   (the RepositoryPaths tests run it)
"""

import os
import re
import sys

SUFFIXES = (".md", ".sh", ".py", ".cmake")
NAMES = ("CMakeLists.txt", "Makefile")
# The system's own folders: a clone that sits right in one of them sits in a
# place of its own below it.
SYSTEM_FOLDERS = {
    "/",
    "/home",
    "/root",
    "/tmp",
    "/var",
    "/var/tmp",
    "/var/lib",
    "/srv",
    "/opt",
    "/mnt",
    "/media",
    "/usr",
    "/usr/src",
    "/usr/local",
    "/usr/local/src",
}

PATH_CHARS = r"[\w.~+@%/-]"
# A path starts where no path character, variable or escape stands right before it.
BOUNDARY = r"(?<![\w.~+@%/$)}\]\\-])"
TOKEN = re.compile(BOUNDARY + PATH_CHARS + "+")
ROOT_BASES = r"\$\{CMAKE_SOURCE_DIR\}|\$\{PROJECT_SOURCE_DIR\}"
OWN_BASES = (
    r"\$\{CMAKE_CURRENT_SOURCE_DIR\}|\$\{CMAKE_CURRENT_LIST_DIR\}|\$\(CURDIR\)"
    r'|\$\(dirname\s+(?:--\s+)?"?\$(?:0|\{0\}|\{BASH_SOURCE(?:\[0\])?\})"?\)'
)
BASED = re.compile(f"(?:(?P<root>{ROOT_BASES})|(?P<own>{OWN_BASES}))(?P<path>/{PATH_CHARS}*)")
INCLUDE = re.compile(r'#\s*include\s*(?:"[^"\n]*"|<[^>\n]*>)')


def place_of(root):
    """The folder where the clone sits: its shortest ancestor (or itself) that
    is not a system folder."""
    place = root
    while os.path.dirname(place) not in SYSTEM_FOLDERS and os.path.dirname(place) != place:
        place = os.path.dirname(place)
    return place


def judged_files(root):
    for base, folders, files in os.walk(root):
        folders[:] = sorted(
            name
            for name in folders
            if name != ".git" and not os.path.isfile(os.path.join(base, name, "CMakeCache.txt"))
        )
        for name in sorted(files) + [name for name in folders if os.path.islink(os.path.join(base, name))]:
            yield os.path.relpath(os.path.join(base, name), root)


def is_judged(root, path):
    name = os.path.basename(path)
    if name.endswith(SUFFIXES) or name in NAMES or path.startswith(".ci" + os.sep):
        return True
    try:
        with open(os.path.join(root, path), "rb") as start:
            return start.read(2) == b"#!"
    except OSError:
        return False


def climbs(root, folder, path):
    """True when path, taken from folder (ROOT-relative), leads above the root."""
    if ".." not in path.split("/"):
        return False
    full = os.path.normpath(os.path.join(root, folder, path))
    return not (full == root or full.startswith(root + os.sep))


def line_faults(root, places, folder, text):
    text = INCLUDE.sub("", text)
    faults = []
    for based in BASED.finditer(text):
        start = "" if based.group("root") else folder
        path = based.group("path").lstrip("/")
        if climbs(root, start, path):
            faults.append(f'"{based.group(0)}" climbs above the repository\'s root')
    for token in TOKEN.finditer(text):
        path = token.group(0)
        while path.endswith(".") and not path.endswith("/..") and path != "..":
            path = path[:-1]  # the sentence's full stop
        if path.startswith("//") and not path.startswith("///"):
            continue  # a URL's host and path
        if path.startswith("/"):
            full = os.path.normpath(path)
            for place in places:
                if full == place or full.startswith(place + "/"):
                    faults.append(f'"{path}" is an absolute path into {place}, where this clone happens to sit')
                    break
        elif "/" in path and climbs(root, folder, path):
            faults.append(f'"{path}" climbs above the repository\'s root from {folder or "the root"}')
    return faults


def check(root, places):
    """The number of files judged and the faults found in them."""
    faults, judged = [], 0
    for path in judged_files(root):
        full = os.path.join(root, path)
        if os.path.islink(full):
            target = os.path.realpath(full)
            if not (target == root or target.startswith(root + os.sep)):
                faults.append(f"{path}: a symbolic link to {os.readlink(full)}, outside the repository")
            continue
        if not is_judged(root, path):
            continue
        judged += 1
        with open(full, encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                for fault in line_faults(root, places, os.path.dirname(path), line):
                    faults.append(f"{path}:{number}: {fault}")
    return judged, faults


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    root = os.path.realpath(sys.argv[1])
    # The place as the clone was reached and as it really lies (through links).
    places = sorted({place_of(root), place_of(os.path.abspath(sys.argv[1]))})
    judged, faults = check(root, places)
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} paths above the repository's root: the repository must stand on its own")
        return 1
    if judged == 0:
        print(f"no document or script found under {root}")
        return 2
    print(f"{judged} documents and scripts, none names a path above the repository's root")
    return 0


if __name__ == "__main__":
    sys.exit(main())
