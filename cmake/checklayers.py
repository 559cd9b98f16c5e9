#!/usr/bin/env python3
"""Fails when a source includes, or a target links, what its place in the build does not allow.

Three rules, over every .h and .cpp of the code folders and every target:
- linked: a shipped file of target T includes only headers of T itself or of a
  library that T links, directly or through the public links of what it links;
- layered: a file includes only from its own layer and the layers below it, as
  ARCHITECTURE.md draws them (LAYERS below); a program never includes another;
  a test (a file under a tests/ folder) may also use testing/, and the fakes'
  own tests the framework;
- linked downwards: a target links, directly, only libraries of the layers its
  files may include.

Usage: checklayers.py ROOT TARGET_TABLE
ROOT is the source tree; TARGET_TABLE is written at configure time by
tw_write_target_table (cmake/TwHelpers.cmake). The CodeLayers test runs it.
"""

import os
import re
import sys

CODE_FOLDERS = ["bench", "brellfin", "framework", "platform", "quillet", "skerrow", "tarnwick", "testing"]

# The layers as ARCHITECTURE.md draws them: each with its folders and the
# layers right below it. Folders drawn side by side are one layer. A file
# belongs to the layer of the longest folder that starts its path.
LAYERS = {
    "platform": (["platform"], []),
    "FF::utils": (["framework/utils"], ["platform"]),
    "FF::Net": (["framework/net"], ["FF::utils"]),
    "FF::RPC": (["framework/rpc"], ["FF::Net"]),
    "skerrow": (["skerrow"], ["FF::utils"]),
    "tarnwick core": (["tarnwick/core"], ["FF::RPC", "skerrow"]),
    "tarnwick cloud, vnc, widgets": (["tarnwick/cloud", "tarnwick/vnc", "tarnwick/widgets"], ["tarnwick core"]),
    "tarnwick ui": (["tarnwick/ui"], ["tarnwick cloud, vnc, widgets"]),
    "brellfin profile, winfile, mfc, service": (
        ["brellfin/profile", "brellfin/winfile", "brellfin/mfc", "brellfin/service"],
        ["FF::RPC", "skerrow"],
    ),
    "brellfin ui": (["brellfin/ui"], ["brellfin profile, winfile, mfc, service"]),
    "brellfin lists": (["brellfin/lists"], ["brellfin ui"]),
    "brellfin dialog": (["brellfin/dialog"], ["brellfin lists"]),
    "quillet port, rpc, dispatch, widgets, virtualcom": (
        ["quillet/port", "quillet/rpc", "quillet/dispatch", "quillet/widgets", "quillet/virtualcom"],
        ["FF::RPC", "skerrow"],
    ),
    "quillet forms, dialogs": (["quillet/forms", "quillet/dialogs"], ["quillet port, rpc, dispatch, widgets, virtualcom"]),
    "quillet app": (["quillet/app"], ["quillet forms, dialogs"]),
    # The fakes and test helpers stand on platform/ only.
    "testing": (["testing"], ["platform"]),
    "bench": (["bench"], ["tarnwick ui", "brellfin dialog", "quillet app", "testing"]),
}
# A test (a file under a tests/ folder) stands in its module's layer and may
# also use this one.
TESTS_MAY_USE = "testing"
# The fakes' own tests (testing/*/tests) may hold a fake against the client
# it stands in for, so they also see the framework.
FAKE_TESTS_MAY_USE = "FF::RPC"
PROGRAMS = ["tarnwick", "brellfin", "quillet"]

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def layers_below(layer, seen=None):
    seen = set() if seen is None else seen
    for lower in LAYERS[layer][1]:
        if lower not in seen:
            seen.add(lower)
            layers_below(lower, seen)
    return seen


def layer_of(path):
    best, best_folder = None, ""
    for layer, (folders, _below) in LAYERS.items():
        for folder in folders:
            if (path.startswith(folder + "/")) and len(folder) > len(best_folder):
                best, best_folder = layer, folder
    return best


def is_test(path):
    return "/tests/" in "/" + path


def is_shipped(path):
    return not is_test(path) and path.split("/")[0] not in ("testing", "bench")


class Targets:
    """The build's targets as the table gives them: what each owns and links."""

    def __init__(self, table_path, root):
        self.links = {}
        self.public = {}
        self.embedded = {}
        self.type = {}
        self.folder = {}
        self.owners = {}
        self.folder_owners = {}
        self.root = root
        with open(table_path, encoding="utf-8") as table:
            for line in table:
                fields = line.rstrip("\n").split("\t")
                if len(fields) != 6:
                    continue
                name, kind, source_dir, sources, links, public = fields
                self.type[name] = kind
                self.folder[name] = os.path.relpath(source_dir, root)
                self.links[name] = [self._plain(item) for item in self._items(links)]
                # A static library's private links reach its users' link line only.
                self.public[name] = [item for item in self._items(public) if not item.startswith("$<LINK_ONLY:")]
                self.embedded[name] = []
                for source in self._items(sources):
                    objects = re.fullmatch(r"\$<TARGET_OBJECTS:(.+)>", source)
                    if objects:
                        self.embedded[name].append(objects.group(1))
                        continue
                    if source.startswith("$<"):
                        continue
                    path = os.path.normpath(os.path.join(source_dir, source))
                    relative = os.path.relpath(path, root)
                    self.owners.setdefault(relative, set()).add(name)
                    self.folder_owners.setdefault(os.path.dirname(relative), set()).add(name)
        self._reach = {}

    @staticmethod
    def _items(text):
        return [item for item in text.split(";") if item]

    @staticmethod
    def _plain(item):
        only = re.fullmatch(r"\$<LINK_ONLY:(.+)>", item)
        return only.group(1) if only else item

    def owners_of(self, path):
        """The targets a file belongs to: those that list it, else those that
        list a file of its folder."""
        return self.owners.get(path) or self.folder_owners.get(os.path.dirname(path), set())

    def reach(self, target):
        """The target, what it links directly, the public links of those, and
        the object libraries any of them is made of."""
        if target in self._reach:
            return self._reach[target]
        reached = {target}
        pending = list(self.links.get(target, []))
        while pending:
            name = pending.pop()
            if name in reached or name not in self.type:
                continue
            reached.add(name)
            pending.extend(self.public.get(name, []))
        for name in list(reached):
            reached.update(self.embedded.get(name, []))
        self._reach[target] = reached
        return reached


def sources(root):
    for folder in CODE_FOLDERS:
        for base, _dirs, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if name.endswith((".h", ".cpp")):
                    yield os.path.relpath(os.path.join(base, name), root)


def included(root, path):
    """(line number, included file relative to root) for each include of a
    file of the tree; generated and system headers are left out."""
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
        for number, line in enumerate(source, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            for candidate in (match.group(1), os.path.join(os.path.dirname(path), match.group(1))):
                candidate = os.path.normpath(candidate)
                if os.path.isfile(os.path.join(root, candidate)):
                    yield number, candidate
                    break


def allowed_layers(path):
    """The layers a file (or a target of its folder) may use, and its own."""
    layer = layer_of(path)
    if layer is None:
        # Outside the code folders (a target of the root, such as tw_tests).
        return None, set()
    allowed = layers_below(layer) | {layer}
    if is_test(path):
        allowed |= layers_below(TESTS_MAY_USE) | {TESTS_MAY_USE}
        if layer == "testing":
            allowed |= layers_below(FAKE_TESTS_MAY_USE) | {FAKE_TESTS_MAY_USE}
    return layer, allowed


def check_links(targets):
    """What each target links directly keeps to the same layers as its includes."""
    faults = []
    for name in sorted(targets.type):
        # A path inside the folder stands for the target.
        place = targets.folder[name] + "/CMakeLists.txt"
        # A test program defined beside its module stands where its tests would.
        runs_tests = any(item.startswith(("tw_test_main", "GTest::")) for item in targets.links[name])
        layer, allowed = allowed_layers(targets.folder[name] + "/tests/x" if runs_tests else place)
        if layer is None:
            continue
        for linked in targets.links[name]:
            if linked not in targets.type:
                continue
            linked_layer = layer_of(targets.folder[linked] + "/CMakeLists.txt")
            program, other = place.split("/")[0], targets.folder[linked].split("/")[0]
            if program in PROGRAMS and other in PROGRAMS and program != other:
                faults.append(f"{place}: {name} links {linked}: a program never links another")
            elif linked_layer not in allowed:
                faults.append(f"{place}: {name} links {linked}: {linked_layer} is not below {layer}")
    return faults


def check(root, targets):
    faults = check_links(targets)
    checked = 0
    for path in sources(root):
        layer = layer_of(path)
        if layer is None:
            faults.append(f"{path}: in no layer; give its folder one in LAYERS of cmake/checklayers.py")
            continue
        _layer, allowed = allowed_layers(path)
        # The links are checked for what ships; tests and their helpers only keep to the layers.
        owners = targets.owners_of(path) if is_shipped(path) else set()
        checked += 1
        for number, header in included(root, path):
            where = f'{path}:{number}: includes "{header}"'
            header_layer = layer_of(header)
            program, other = path.split("/")[0], header.split("/")[0]
            if program in PROGRAMS and other in PROGRAMS and program != other:
                faults.append(f"{where}: a program never includes another")
            elif header_layer not in allowed:
                faults.append(f"{where}: {header_layer} is not below {layer}")
            else:
                header_owners = targets.owners_of(header)
                for owner in sorted(owners):
                    if header_owners and not header_owners & targets.reach(owner):
                        faults.append(f"{where} of {', '.join(sorted(header_owners))}, which {owner} does not link")
    return checked, faults


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    root = os.path.abspath(sys.argv[1])
    targets = Targets(sys.argv[2], root)
    checked, faults = check(root, targets)
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} includes or links break the layers (ARCHITECTURE.md) or reach past the links of their target")
        return 1
    print(f"{checked} sources include, and every target links, only what the layers and the links allow")
    return 0


if __name__ == "__main__":
    sys.exit(main())
