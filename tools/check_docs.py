#!/usr/bin/env python3
"""Checks docs/ARCHITECTURE.md against the tree: every path it names (in backquotes) exists,
every function it names (`Name()` or `Class::Name()`) is declared or defined in src/, every
type it names (`TName`, `EName`) is declared in src/, every file of src/ that opens an X
connection is listed in its "X connections" section, and every include claim it makes
("`src/A/` includes `src/B/`": some file of folder A includes a header of folder B; "`src/A/`
includes nothing of `src/B/`": none does) holds.

    python3 tools/check_docs.py [ROOT]     check ROOT (the repository by default)
    python3 tools/check_docs.py --self-test

Exit status 1 with one line per problem; 0 with a summary line. The self-test plants a renamed
function, member, type and file, a new X connection, a false include claim and an include that
breaks a claim in a copy of the tree and expects each found.
"""

import os
import re
import shutil
import sys
import tempfile

from planted import append, report, verdict

DOC = "docs/ARCHITECTURE.md"
CONNECTIONS = "## X connections"
SOURCE_SUFFIXES = (".h", ".cpp")
PATH_PREFIXES = ("src/", "tests/", "tools/", "bench/", "docs/", "fuzz/")

# A call that opens a connection to an X server, ours (ConnectX11) included.
X_OPEN = re.compile(r"\b(xcb_connect(?:_to_fd|_to_display_with_auth_info)?|XOpenDisplay|"
                    r"ConnectX11)\s*\(")
SPAN = re.compile(r"`([^`\n]+)`")
FUNCTION = re.compile(r"^([A-Za-z_]\w*(?:::[A-Za-z_]\w*)*)\(\)$")
TYPE = re.compile(r"^[TE][A-Z]\w*$")
# "`src/A/` includes `src/B/`" or "`src/A/` includes nothing of `src/B/`", lines joined.
INCLUDE_CLAIM = re.compile(r"`(src/[\w/]*\w)/?` includes (nothing of )?`(src/[\w/]*\w)/?`")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
# Words before a name that make a line a call, not a declaration.
NOT_TYPES = {"return", "if", "while", "else", "case", "throw", "co_return", "delete", "new"}


def strip_comment(line):
    """The line without a // comment (string literals holding // are rare enough here)."""
    at = line.find("//")
    return line if at < 0 else line[:at]


def sources(root):
    """{relative path: lines without comments} of src/."""
    found = {}
    src = os.path.join(root, "src")
    for dirpath, dirnames, filenames in os.walk(src):
        dirnames.sort()
        for name in sorted(filenames):
            if name.endswith(SOURCE_SUFFIXES):
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    lines = [strip_comment(l) for l in f.read().splitlines()]
                found[os.path.relpath(path, root).replace(os.sep, "/")] = lines
    return found


def declares(line, name):
    """Whether the line declares or defines the function name: a type comes before it."""
    for match in re.finditer(r"(?<![\w:])" + re.escape(name) + r"\s*\(", line):
        before = line[:match.start()].strip()
        if not before or before.endswith(("=", "(", ",", ".", "->", "!", "&&", "||", "?", ":")):
            continue
        if before.split()[-1] in NOT_TYPES:
            continue
        return True
    return False


def function_exists(name, files):
    parts = name.split("::")
    if len(parts) == 1:
        return any(declares(l, name) for lines in files.values() for l in lines if name in l)
    member = parts[-1]
    # Defined outside the class, or declared inside the class's own declaration.
    qualified = re.compile(r"\b" + re.escape(name) + r"\s*\(")
    if any(qualified.search(l) for lines in files.values() for l in lines if name in l):
        return True
    opener = re.compile(r"\b(class|struct)\s+" + re.escape(parts[-2]) + r"\b[^;]*$")
    for lines in files.values():
        for i, line in enumerate(lines):
            if parts[-2] not in line or not opener.search(line):
                continue
            depth, started = 0, False
            for body in lines[i:]:
                if started and depth == 1 and declares(body, member):
                    return True
                depth += body.count("{") - body.count("}")
                started = started or "{" in body
                if started and depth <= 0:
                    break
    return False


def type_exists(name, files):
    pattern = re.compile(r"\b(class|struct|using|enum class|enum)\s+" + re.escape(name) + r"\b"
                         r"(?!\s*;)")
    return any(pattern.search(l) for lines in files.values() for l in lines if name in l)


def folder_includes(files, folder, other):
    """The files directly in folder that include a header directly in other, as "file:line"."""
    found = []
    for rel, lines in files.items():
        if rel.rsplit("/", 1)[0] != folder:
            continue
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if match and "src/" + match.group(1).rsplit("/", 1)[0] == other:
                found.append(f"{rel}:{number}")
    return found


def check_include_claims(doc, files):
    problems = []
    for match in INCLUDE_CLAIM.finditer(re.sub(r"\s+", " ", doc)):
        folder, nothing, other = match.groups()
        found = folder_includes(files, folder, other)
        if nothing and found:
            problems.append(f"{DOC}: says {folder}/ includes nothing of {other}/, but "
                            f"{found[0]} does")
        elif not nothing and not found:
            problems.append(f"{DOC}: says {folder}/ includes {other}/, but no file of "
                            f"{folder}/ does")
    return problems


def check(root):
    problems = []
    doc_path = os.path.join(root, DOC)
    if not os.path.isfile(doc_path):
        return [f"{DOC}: missing"], 0
    with open(doc_path, encoding="utf-8") as f:
        doc = f.read()
    files = sources(root)
    named = 0
    for number, line in enumerate(doc.splitlines(), 1):
        for span in SPAN.findall(line):
            where = f"{DOC}:{number}"
            if span.startswith(PATH_PREFIXES) and " " not in span:
                named += 1
                if not os.path.exists(os.path.join(root, span.rstrip("/"))):
                    problems.append(f"{where}: no such path: {span}")
                continue
            match = FUNCTION.match(span)
            if match:
                named += 1
                if not function_exists(match.group(1), files):
                    problems.append(f"{where}: no such function in src/: {span}")
                continue
            if TYPE.match(span):
                named += 1
                if not type_exists(span, files):
                    problems.append(f"{where}: no such type in src/: {span}")

    problems += check_include_claims(doc, files)
    named += len(INCLUDE_CLAIM.findall(re.sub(r"\s+", " ", doc)))

    # The connections section must list every file that opens one.
    start = doc.find(CONNECTIONS)
    if start < 0:
        problems.append(f"{DOC}: no section {CONNECTIONS!r}")
        section = ""
    else:
        end = doc.find("\n## ", start + len(CONNECTIONS))
        section = doc[start:end if end >= 0 else len(doc)]
    listed = set(SPAN.findall(section))
    for rel, lines in files.items():
        for number, line in enumerate(lines, 1):
            match = X_OPEN.search(line)
            if not match or (line.rstrip().endswith(";") and declares(line, match.group(1))):
                continue  # none, or a prototype
            if rel not in listed:
                problems.append(f"{rel}:{number}: opens an X connection ({match.group(1)}) "
                                f"but {DOC}'s {CONNECTIONS!r} does not list {rel}")
                break
    return problems, named


def run(root):
    problems, named = check(root)
    for problem in problems:
        print(problem)
    if problems:
        print(f"check_docs: {len(problems)} problem(s)")
        return 1
    print(f"check_docs: {DOC} names {named} paths, functions and types, all in the tree, and "
          f"lists every X connection")
    return 0


# ---- Self-test ----

def rename_in_src(root, old, new):
    word = re.compile(r"\b" + re.escape(old) + r"\b")
    for dirpath, _, filenames in os.walk(os.path.join(root, "src")):
        for name in filenames:
            path = os.path.join(dirpath, name)
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            if word.search(text):
                with open(path, "w", encoding="utf-8") as f:
                    f.write(word.sub(new, text))


def self_test(real_root):
    failures = []
    plants = {
        "clean": (lambda r: None, None),
        "renamed function": (lambda r: rename_in_src(r, "DrawScreenView", "DrawScreenPicture"),
                             "no such function in src/: DrawScreenView()"),
        "renamed member": (lambda r: rename_in_src(r, "PacedIdleTick", "TickAtDeadline"),
                           "no such function in src/: TCustomDXTimer::PacedIdleTick()"),
        "renamed inline member": (lambda r: rename_in_src(r, "Busy", "Occupied"),
                                  "no such function in src/: TWorker::Busy()"),
        "renamed type": (lambda r: rename_in_src(r, "TVoxelRenderer", "TRenderer"),
                         "no such type in src/: TVoxelRenderer"),
        "moved file": (lambda r: os.rename(os.path.join(r, "src/views/core/Bars.cpp"),
                                           os.path.join(r, "src/views/core/BarsPass.cpp")),
                       "no such path: src/views/core/Bars.cpp"),
        "new connection": (lambda r: append(r, "src/platform/x11/X11Pointer.cpp",
                                            "\nvoid Extra() { xcb_connect(nullptr, nullptr); }\n"),
                           "src/platform/x11/X11Pointer.cpp:"),
        "Xlib connection": (lambda r: append(r, "src/app/FrameTick.cpp",
                                             "\nvoid Extra() { XOpenDisplay(nullptr); }\n"),
                            "opens an X connection (XOpenDisplay)"),
        "false include claim": (lambda r: append(r, DOC, "\n`src/platform/qt/` includes\n"
                                                 "`src/platform/x11/`.\n"),
                                "says src/platform/qt/ includes src/platform/x11/"),
        "include against a claim": (lambda r: append(r, "src/platform/qt/QtPointer.cpp",
                                                     '\n#include "platform/x11/X11Display.h"\n'),
                                    "src/platform/qt/QtPointer.cpp:"),
    }
    with tempfile.TemporaryDirectory(prefix="check-docs-") as tmp:
        for name, (plant, wanted) in plants.items():
            root = os.path.join(tmp, name.replace(" ", "-"))
            for part in PATH_PREFIXES:  # the folders the doc may name paths in
                shutil.copytree(os.path.join(real_root, part), os.path.join(root, part),
                                ignore=shutil.ignore_patterns("*.png", "__pycache__"))
            plant(root)
            failure = verdict(name, check(root)[0], wanted)
            if failure:
                failures.append(failure)
        # A call in a comment opens nothing.
        root = os.path.join(tmp, "clean")
        append(root, "src/app/FrameTick.cpp", "\n// xcb_connect(display) would block here\n")
        problems, _ = check(root)
        if problems:
            failures.append(f"comment: expected no problem, got {problems}")
    return report("check_docs", failures, len(plants) + 1)


def main(argv):
    real_root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    if argv[1:] == ["--self-test"]:
        return self_test(real_root)
    if len(argv) > 2 or (len(argv) == 2 and argv[1].startswith("-")):
        print(__doc__)
        return 2
    return run(argv[1] if len(argv) == 2 else real_root)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
