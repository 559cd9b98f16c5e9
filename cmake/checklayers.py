#!/usr/bin/env python3
"""Fails when a source includes, or a target links, what its place in the build does not allow.

It judges what the compiler read, not what a pattern finds in the text:
- what each translation unit of the build read, directly or through other
  headers, comes from the record the compiler wrote while the build ran
  (Ninja's deps log, `ninja -t deps`). The build must be complete and up to
  date: otherwise the check says so and fails, it never judges part of it;
- which file made each include comes from the compiler's preprocessor reading
  every header of the tree on its own (`-M -MG`, with the include paths and
  definitions of a unit that read it): without the system's include paths,
  so that a reading takes milliseconds, not the tenth of a second that Qt's
  headers cost, and what Qt and the standard library include is not judged
  anyway. A header whose own reading includes what a unit that read it did not
  is a fault too; one whose own reading includes less (behind a condition on a
  macro of the system's headers) has the rest judged only with the units that
  read it, against their place.
The units that no step of the default build compiles (EXCLUDE_FROM_ALL), and
sources of the code folders that no target compiles, are read the same way.

Three rules, over every translation unit, every header and source of the code
folders, and every target:
- linked: a shipped file of target T includes only headers of T itself or of a
  library that T links, directly or through the public links of what it links.
  A header that a file reaches only through another header is that header's
  include, judged against that header's place and target;
- layered: a file includes only from its own layer and the layers below it, as
  ARCHITECTURE.md draws them (LAYERS below); a program never includes another;
  a test (a file under a tests/ folder) may also use testing/, and the fakes'
  own tests the framework. A translation unit is also judged for everything it
  read, so an include that climbs is caught whatever route it takes;
- linked downwards: a target links, directly, only libraries of the layers its
  files may include.

Usage: checklayers.py ROOT BUILD NINJA
ROOT is the source tree; BUILD a built Ninja tree of it, holding
compile_commands.json and the target table that tw_write_target_table
(cmake/TwHelpers.cmake) writes at configure time (tw_targets.tsv); NINJA is
the ninja program. The CodeLayers tests run it.
"""

import json
import os
import re
import shlex
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor
from functools import lru_cache

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

# What a file's own reading keeps of a unit's compile command: where includes
# are looked for in the project, and what the command defines.
KEPT_WITH_VALUE = ("-I", "-D", "-U", "-iquote", "-include", "-imacros")
KEPT_JOINED = ("-I", "-D", "-U", "-iquote", "-std=")
# Files read by one compiler driver: enough to spare most of its start, few
# enough that every processor gets some.
READ_TOGETHER = 12


class CannotJudge(Exception):
    """The build tree does not say what the compiler read; never a pass."""


def layers_below(layer, seen=None):
    seen = set() if seen is None else seen
    for lower in LAYERS[layer][1]:
        if lower not in seen:
            seen.add(lower)
            layers_below(lower, seen)
    return seen


@lru_cache(maxsize=None)
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

    def place(self, name):
        """A path that stands for the target where its files would stand: its
        folder, or a tests/ folder in it for a test program defined beside its
        module."""
        runs_tests = any(item.startswith(("tw_test_main", "GTest::")) for item in self.links[name])
        return self.folder[name] + ("/tests/x" if runs_tests else "/CMakeLists.txt")

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


class Unit:
    """One translation unit of the build: one compile command."""

    def __init__(self, entry, root, build):
        self.directory = entry["directory"]
        self._entry = entry
        self._arguments = entry.get("arguments")
        self.source = os.path.realpath(os.path.join(self.directory, entry["file"]))
        if self._arguments:
            named = self._arguments[self._arguments.index("-o") + 1] if "-o" in self._arguments else None
        else:
            # Read without splitting the whole command: most units only need their object.
            found = re.search(r"(?:^|\s)-o\s+(\S+)", entry["command"])
            named = found.group(1) if found else None
        if not named:
            raise CannotJudge(f"the compile command of {entry['file']} names no object file")
        self.object = named
        found = re.search(r"(?:^|/)CMakeFiles/([^/]+)\.dir/", self.object)
        self.target = found.group(1) if found else None
        inside = self.source.startswith(root + os.sep) and not self.source.startswith(build + os.sep)
        self.path = os.path.relpath(self.source, root) if inside else None
        self.reads = None  # the project files it read, relative to ROOT
        self.compiled = False  # whether the build's own record says so

    @property
    def arguments(self):
        if self._arguments is None:
            self._arguments = shlex.split(self._entry["command"])
        return self._arguments

    def own_reading_command(self, paths):
        """The preprocessor's dependency listing of files, each read on its
        own, with this unit's project include paths and definitions but none
        of the system's."""
        kept = []
        arguments = iter(self.arguments[1:])
        for argument in arguments:
            if argument in KEPT_WITH_VALUE:
                kept += [argument, next(arguments, "")]
            elif argument.startswith(KEPT_JOINED):
                kept.append(argument)
        return [self.arguments[0], *kept, "-nostdinc", "-nostdinc++", "-x", "c++", "-M", "-MG", *paths]


def run(command, cwd=None):
    try:
        return subprocess.run(command, cwd=cwd, capture_output=True, text=True, check=False)
    except OSError as error:
        raise CannotJudge(f"{command[0]} does not run: {error}") from error


class CompiledTree:
    """What the compiler read in a built tree, from the build's own records."""

    def __init__(self, root, build, ninja):
        self.root = root
        self.build = build
        self._paths = {}
        if not os.path.isfile(os.path.join(build, "build.ninja")):
            raise CannotJudge(
                f"{build} is no Ninja build tree: the check reads what Ninja recorded of the compiler "
                "(configure with -G Ninja)"
            )
        self._require_up_to_date(ninja)
        commands = os.path.join(build, "compile_commands.json")
        if not os.path.isfile(commands):
            raise CannotJudge(f"{commands} is missing (configure with CMAKE_EXPORT_COMPILE_COMMANDS)")
        with open(commands, encoding="utf-8") as listing:
            self.units = [Unit(entry, root, build) for entry in json.load(listing)]
        if not self.units:
            raise CannotJudge(f"{commands} lists no translation unit")
        deps = self._deps(ninja)
        for unit in self.units:
            record = deps.get(unit.object)
            if record is None:
                continue
            state, files = record
            if state != "VALID":
                raise CannotJudge(f"Ninja's record of what {unit.object} read is {state}: rebuild {build}")
            unit.reads = {path for path in map(self.project_path, files) if path} - {unit.path}
            unit.compiled = True
        if not any(unit.compiled for unit in self.units):
            raise CannotJudge(f"Ninja recorded no compiled unit in {build}: build it (ninja -C {build})")

    def _require_up_to_date(self, ninja):
        result = run([ninja, "-C", self.build, "-n"])
        steps = [line for line in result.stdout.splitlines() if line.startswith("[")]
        if result.returncode != 0 or steps or "no work to do" not in result.stdout:
            first = steps[0] if steps else (result.stderr or result.stdout).strip()
            raise CannotJudge(
                f"{self.build} is not built or not up to date ({len(steps)} steps to do; {first}): "
                f"build it (ninja -C {self.build}), then check"
            )

    def _deps(self, ninja):
        result = run([ninja, "-C", self.build, "-t", "deps"])
        if result.returncode != 0:
            raise CannotJudge(f"ninja -t deps failed in {self.build}: {result.stderr.strip()}")
        deps, files = {}, None
        for line in result.stdout.splitlines():
            if not line.strip():
                files = None
            elif not line[0].isspace():
                record = re.fullmatch(r"(.*): #deps \d+, deps mtime \d+ \((\w+)\)", line)
                if not record:
                    raise CannotJudge(f"ninja -t deps wrote a line the check does not know: {line}")
                files = []
                deps[record.group(1)] = (record.group(2), files)
            elif files is not None:
                files.append(line.strip())
        return deps

    def project_path(self, path, directory=None):
        """A file as ROOT-relative path when it is a file of the source tree
        (not of the build tree, which may lie inside it), else None. A path
        through a symbolic link (a linked header or folder) is the file it
        leads to, judged where that lies."""
        key = (path, directory)
        if key not in self._paths:
            # The system's headers, most of what a unit reads, are passed over first.
            if os.path.isabs(path) and not path.startswith(self.root + os.sep):
                self._paths[key] = None
            else:
                full = os.path.realpath(os.path.join(directory or self.build, path))
                inside = full.startswith(self.root + os.sep) and not full.startswith(self.build + os.sep)
                self._paths[key] = os.path.relpath(full, self.root) if inside and os.path.isfile(full) else None
        return self._paths[key]

    def own_readings(self, jobs):
        """Each file's own includes, read by the preprocessor: {path: set} and
        {path: error} for those it could not read. Files that take the same
        flags are read by one compiler driver, a few at a time."""
        readings, errors = {}, {}
        groups = {}
        for path, unit in jobs:
            groups.setdefault((tuple(unit.own_reading_command([])), unit.directory), (unit, []))[1].append(path)
        batches = []
        for unit, paths in groups.values():
            batches += [(unit, paths[start : start + READ_TOGETHER]) for start in range(0, len(paths), READ_TOGETHER)]

        def read(batch):
            unit, paths = batch
            result = run(unit.own_reading_command([os.path.join(self.root, path) for path in paths]), unit.directory)
            if result.returncode != 0 and len(paths) > 1:
                # Which file failed, and why, is told by reading each alone.
                return [outcome for path in paths for outcome in read((unit, [path]))]
            listed = {}
            for rule in result.stdout.replace("\\\n", " ").splitlines():
                words = [word.replace("\\ ", " ").replace("$$", "$") for word in re.split(r"(?<!\\)\s+", rule)]
                files = [self.project_path(word, unit.directory) for word in words[1:] if word]
                if files and files[0]:
                    listed[files[0]] = set(files[1:]) - {None, files[0]}
            if result.returncode != 0:
                return [(paths[0], None, (result.stderr.strip().splitlines() or ["no message"])[0])]
            return [(path, listed.get(path), None if path in listed else "nothing listed") for path in paths]

        with ThreadPoolExecutor(max_workers=os.cpu_count() or 4) as pool:
            for outcomes in pool.map(read, batches):
                for path, files, error in outcomes:
                    if error is None:
                        readings[path] = files
                    else:
                        errors[path] = error
        return readings, errors


def code_files(root, suffixes):
    """The sources of the code folders; a symbolic link is not one: what it
    leads to is judged where that lies, and an include through it as an
    include of that file."""
    for folder in CODE_FOLDERS:
        for base, _dirs, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if name.endswith(suffixes) and not os.path.islink(os.path.join(base, name)):
                    yield os.path.relpath(os.path.join(base, name), root)


@lru_cache(maxsize=None)
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
        layer, allowed = allowed_layers(targets.place(name))
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


def layer_fault(position, header):
    """Why a file at position may not include header, or None."""
    layer, allowed = allowed_layers(position)
    program, other = position.split("/")[0], header.split("/")[0]
    if program in PROGRAMS and other in PROGRAMS and program != other:
        return "a program never includes another"
    if layer_of(header) not in allowed:
        return f"{layer_of(header)} is not below {layer}"
    return None


class Judge:
    """Judges each file's includes: the layers over everything it reads, the
    links over what it includes itself (what no other header it reads
    brings)."""

    def __init__(self, targets, readings):
        self.targets = targets
        self.readings = readings
        # What each header brings: what it reads, but for headers that read it
        # back (a cycle): of two such headers neither brings the other.
        self.brings = {
            header: {other for other in reads if header not in readings.get(other, ())}
            for header, reads in readings.items()
        }

    def own_includes(self, path, reads):
        """What a file includes itself: what it reads that none of the
        headers it reads brings."""
        brought = set()
        for header in reads:
            if path not in self.readings.get(header, ()):
                brought |= self.brings.get(header, set())
        return reads - brought

    def faults(self, name, path, position, owners, reads):
        """name: how the fault names the file; path: the file, or None for a
        generated unit; position: the path whose layer it stands in."""
        faults = []
        if layer_of(position) is None:
            return [f"{name}: in no layer; give its folder one in LAYERS of cmake/checklayers.py"]
        own = self.own_includes(path, reads)
        for header in sorted(reads):
            why = layer_fault(position, header)
            if why is None:
                if header in own:
                    faults += self._link_faults(name, header, owners)
                continue
            # Said once, where the include is made: passed over here when a
            # header read on the way brings it and either may not include it
            # itself or is a fault here itself.
            if any(
                header in self.brings.get(inner, ()) and (layer_fault(inner, header) or layer_fault(position, inner))
                for inner in reads
            ):
                continue
            through = "" if header in own else " (through the headers it includes)"
            faults.append(f'{name}: includes "{header}"{through}: {why}')
        return faults

    def _link_faults(self, name, header, owners):
        faults = []
        header_owners = self.targets.owners_of(header)
        for owner in sorted(owners):
            if header_owners and not header_owners & self.targets.reach(owner):
                faults.append(f'{name}: includes "{header}" of {", ".join(sorted(header_owners))}, which {owner} does not link')
        return faults


def check(root, build, ninja):
    tree = CompiledTree(root, build, ninja)
    targets = Targets(os.path.join(build, "tw_targets.tsv"), root)
    faults = check_links(targets)

    # Who reads each header first gives the include paths and definitions of
    # its own reading; a header nobody reads takes those of a unit of its folder.
    reader, folder_unit = {}, {}
    for unit in tree.units:
        if unit.path:
            folder_unit.setdefault(os.path.dirname(unit.path), unit)
        for path in sorted(unit.reads or ()):
            reader.setdefault(path, unit)
    listed_sources = {unit.path for unit in tree.units}

    def flags_for(path):
        folder = os.path.dirname(path)
        while folder and folder not in folder_unit:
            folder = os.path.dirname(folder)
        return reader.get(path) or folder_unit.get(folder) or tree.units[0]

    headers = set(code_files(root, (".h",))) | {path for path in reader if not path.endswith(".cpp")}
    loose_sources = [path for path in code_files(root, (".cpp",)) if path not in listed_sources]
    jobs = [(path, flags_for(path)) for path in sorted(headers)]
    jobs += [(unit.path, unit) for unit in tree.units if not unit.compiled and unit.path]
    jobs += [(path, flags_for(path)) for path in loose_sources]
    readings, errors = tree.own_readings(jobs)
    for path, error in sorted(errors.items()):
        faults.append(f"{path}: the preprocessor cannot read it on its own: {error}")
    for unit in tree.units:
        if not unit.compiled and unit.path in readings:
            unit.reads = readings[unit.path]

    judge = Judge(targets, readings)
    for unit in tree.units:
        if unit.reads is None:
            # Generated code of a target the default build leaves out exists
            # only once that target is built; what it is made from is judged.
            if unit.path:
                faults.append(f"{unit.path}: neither compiled by the build nor readable on its own")
            continue
        position = unit.path
        if position is None and unit.target in targets.type:
            # A generated unit (Qt's meta-object code) stands where its target does.
            position = targets.place(unit.target)
        if position is None:
            faults.append(f"{unit.object}: belongs to no target of the table")
            continue
        name = unit.path or f"{unit.target} ({os.path.basename(unit.source)}, generated)"
        owners = {unit.target} if is_shipped(position) and unit.target in targets.type else set()
        faults += judge.faults(name, unit.path, position, owners, unit.reads)
        if unit.compiled:
            # A header's own reading cannot include more than the units that read it did.
            for header in sorted(unit.reads):
                extra = readings.get(header, set()) - unit.reads - {unit.path}
                if extra:
                    faults.append(
                        f"{header}: read on its own it includes {', '.join(sorted(extra))}, which {name} did not "
                        f"read through it: a condition there turns on what the reading leaves out (the system's "
                        f"headers, or what the includer defines)"
                    )
    for path in sorted(headers) + loose_sources:
        if path in readings:
            owners = targets.owners_of(path) if is_shipped(path) else set()
            faults += judge.faults(path, path, path, owners, readings[path])
    units = sum(unit.compiled for unit in tree.units)
    uncompiled = sum(1 for unit in tree.units if not unit.compiled and unit.path) + len(loose_sources)
    summary = f"{units} compiled units, {uncompiled} sources the default build does not compile"
    summary += f" and {len(headers)} headers"
    return summary, sorted(set(faults))


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    root, build = (os.path.realpath(argument) for argument in sys.argv[1:3])
    try:
        summary, faults = check(root, build, sys.argv[3])
    except CannotJudge as reason:
        print(f"cannot judge the includes: {reason}")
        return 2
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} includes or links break the layers (ARCHITECTURE.md) or reach past the links of their target")
        return 1
    print(f"{summary}: every include, and every target's links, keep to the layers and the links")
    return 0


if __name__ == "__main__":
    sys.exit(main())
