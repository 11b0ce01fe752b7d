#!/usr/bin/env python3
"""Checks the shape of src/: includes between its folders run only downward in the layer order
below, no include cycle runs across folders, no file is over MAX_LINES lines, and the X11 and
xcb headers are included only under src/platform/x11.

    python3 tools/check_layout.py [SRC]     check SRC (the repository's src/ by default)
    python3 tools/check_layout.py --self-test

Exit status 1 with one line per problem; 0 with a summary line. The self-test plants each kind
of fault in a copy of the real tree and in a small tree of its own and expects it found.
"""

import os
import re
import shutil
import sys
import tempfile

from planted import append, report, verdict, write

# Top layer first. A folder may include folders on lower lines only; folders on one line are
# siblings and include neither each other. A folder listed covers its subfolders unless they are
# listed themselves (views/core). Folders not there yet are passed over.
LAYERS = [
    "app",
    "views",
    "present views/core",
    "platform",  # its x11/ and qt/ with it
    "toolkit terrain",
    "util",
]

MAX_LINES = 400

# Only the X11 platform speaks to the X server directly.
X_HEADER = re.compile(r'^\s*#\s*include\s*[<"](xcb|X11)/')
X_HOME = "platform/x11"

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c", ".inc")


def rank_of_folders():
    ranks = {}
    for depth, line in enumerate(LAYERS):
        for folder in line.split():
            ranks[folder] = len(LAYERS) - depth
    return ranks


def unit_of(folder, ranks):
    """The listed folder that covers folder (the longest listed prefix), or None."""
    best = None
    for listed in ranks:
        if folder == listed or folder.startswith(listed + "/"):
            if best is None or len(listed) > len(best):
                best = listed
    return best


def source_files(src):
    for dirpath, dirnames, filenames in os.walk(src):
        dirnames.sort()
        for name in sorted(filenames):
            path = os.path.join(dirpath, name)
            yield os.path.relpath(path, src).replace(os.sep, "/")


def read_lines(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read().splitlines()


def find_cycle(graph):
    """One cycle of the folder graph as a list of folders (first repeated last), or None."""
    state = {}  # 1 on the path, 2 done
    path = []

    def visit(node):
        state[node] = 1
        path.append(node)
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == 1:
                return path[path.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        path.pop()
        state[node] = 2
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def check(src):
    """Returns (problems, notes): problems fail the check, notes are only reported."""
    problems, notes = [], []
    ranks = rank_of_folders()
    strict_x = os.path.isdir(os.path.join(src, X_HOME))
    graph = {}  # folder -> folders it includes (actual folders, subfolders apart)
    unlisted = set()
    for rel in source_files(src):
        folder = os.path.dirname(rel)
        lines = read_lines(os.path.join(src, rel))
        if len(lines) > MAX_LINES:
            problems.append(f"src/{rel}: {len(lines)} lines, over {MAX_LINES}")
        if not rel.endswith(SOURCE_SUFFIXES):
            continue
        unit = unit_of(folder, ranks) if folder else None
        if folder and unit is None:
            unlisted.add(folder)
        for number, line in enumerate(lines, 1):
            where = f"src/{rel}:{number}"
            if X_HEADER.match(line) and not (folder == X_HOME or folder.startswith(X_HOME + "/")):
                text = f"{where}: {line.strip()} outside src/{X_HOME}"
                (problems if strict_x else notes).append(text)
            match = INCLUDE.match(line)
            if not match:
                continue
            target = match.group(1)
            if os.path.isfile(os.path.join(src, target)):
                to_folder = os.path.dirname(target)
            elif os.path.isfile(os.path.join(src, folder, target)):
                to_folder = os.path.dirname(os.path.normpath(os.path.join(folder, target)))
            else:
                continue  # generated or outside src/
            if to_folder == folder or not folder or not to_folder:
                continue
            graph.setdefault(folder, set()).add(to_folder)
            to_unit = unit_of(to_folder, ranks)
            if unit is None or to_unit is None or unit == to_unit:
                continue
            if ranks[to_unit] >= ranks[unit]:
                kind = "up" if ranks[to_unit] > ranks[unit] else "across"
                problems.append(f"{where}: includes {target}: {unit} -> {to_unit} runs {kind} "
                                f"the layer order")
    for folder in sorted(unlisted):
        problems.append(f"src/{folder}: a folder in no layer of the order (tools/check_layout.py)")
    cycle = find_cycle(graph)
    if cycle:
        problems.append("include cycle across folders: " + " -> ".join(cycle))
    if not strict_x and notes:
        notes.insert(0, f"not failing yet: src/{X_HOME} does not exist (strict once it does)")
    return problems, notes


def run(src):
    problems, notes = check(src)
    for note in notes:
        print("note: " + note)
    for problem in problems:
        print(problem)
    if problems:
        print(f"check_layout: {len(problems)} problem(s) in {src}")
        return 1
    print(f"check_layout: {src} keeps its layers and its sizes" +
          (" (X headers reported above)" if notes else " and its X headers"))
    return 0


# ---- Self-test ----

def small_tree(root):
    """A tree that keeps every rule, with platform/x11 present."""
    write(root, "util/U.h", "#pragma once\n")
    write(root, "terrain/T.h", '#include "util/U.h"\n')
    write(root, "toolkit/K.h", '#include "util/U.h"\n')
    write(root, "platform/x11/X.cpp", '#include <xcb/xcb.h>\n#include "toolkit/K.h"\n')
    write(root, "platform/qt/Q.cpp", '#include "platform/x11/X.h"\n')
    write(root, "platform/x11/X.h", "#pragma once\n")
    write(root, "views/core/C.h", '#include "terrain/T.h"\n')
    write(root, "views/V.cpp", '#include "views/core/C.h"\n#include "V.h"\n')
    write(root, "views/V.h", "#pragma once\n")
    write(root, "app/A.cpp", '#include "views/V.h"\n#include "platform/x11/X.h"\n')


def self_test(real_src):
    failures = []

    def expect(name, src, wanted):
        failure = verdict(name, check(src)[0], wanted)
        if failure:
            failures.append(failure)

    with tempfile.TemporaryDirectory(prefix="check-layout-") as tmp:
        # The planted faults in a copy of the real tree, each found by the line it names.
        copy = os.path.join(tmp, "real")
        shutil.copytree(real_src, copy)
        append(copy, "util/Fnc.h", '#include "app/Main.h"\n')
        os.makedirs(os.path.join(copy, X_HOME), exist_ok=True)
        append(copy, "views/MapView.cpp", "#include <xcb/xcb.h>\n")
        problems, _ = check(copy)
        for wanted in ("src/util/Fnc.h", "util -> app runs up",
                       "src/views/MapView.cpp", "<xcb/xcb.h> outside src/platform/x11"):
            if not any(wanted in p for p in problems):
                failures.append(f"real tree with plants: expected {wanted!r} in {problems}")

        cases = {
            "clean": (lambda r: None, None),
            "back-include": (lambda r: append(r, "terrain/T.h", '#include "views/V.h"\n'),
                             "terrain -> views runs up"),
            "sibling include": (lambda r: append(r, "toolkit/K.h", '#include "terrain/T.h"\n'),
                                "toolkit -> terrain runs across"),
            "xcb outside x11": (lambda r: append(r, "platform/qt/Q.cpp", "#include <X11/Xlib.h>\n"),
                                "src/platform/qt/Q.cpp:2"),
            "long file": (lambda r: write(r, "util/Long.cpp", "x\n" * (MAX_LINES + 1)),
                          f"{MAX_LINES + 1} lines"),
            "cycle": (lambda r: append(r, "platform/x11/X.h", '#include "platform/qt/Q.h"\n')
                      or write(r, "platform/qt/Q.h", "#pragma once\n"),
                      "include cycle across folders: platform/"),
            "unlisted folder": (lambda r: write(r, "extra/E.cpp", '#include "util/U.h"\n'),
                                "src/extra: a folder in no layer"),
        }
        for name, (plant, wanted) in cases.items():
            root = os.path.join(tmp, name.replace(" ", "-"))
            small_tree(root)
            plant(root)
            expect(name, root, wanted)

        # Before the X11 platform exists an xcb include elsewhere is only reported.
        root = os.path.join(tmp, "before-x11")
        small_tree(root)
        shutil.rmtree(os.path.join(root, "platform"))
        write(root, "toolkit/M.cpp", "#include <xcb/xcb.h>\n")
        problems, notes = check(root)
        if problems or not any("src/toolkit/M.cpp" in n for n in notes):
            failures.append(f"before-x11: expected only a note, got {problems} / {notes}")

    return report("check_layout", failures, len(cases) + 2)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    real_src = os.path.join(os.path.dirname(here), "src")
    if argv[1:] == ["--self-test"]:
        return self_test(real_src)
    if len(argv) > 2 or (len(argv) == 2 and argv[1].startswith("-")):
        print(__doc__)
        return 2
    return run(argv[1] if len(argv) == 2 else real_src)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
