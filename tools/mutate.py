#!/usr/bin/env python3
"""Mutation check: applies each mutation of a list to a scratch copy of the sources, builds it
in one reused tree, runs the tests named for it (cheapest first, stopping at the first that
fails) and lists the mutations no test caught. The repository itself is never modified.

  tools/mutate.py [--list FILE] [--scratch DIR] [--only NAME,...] [--rev COMMIT] [--no-baseline]

The scratch folder (default: beside the repository, <repo>-mutate) holds src/ (a copy of the
working tree, refreshed file by file so the build stays incremental) and build/. Not run by CI:
it takes minutes of CPU per mutation.
"""
import argparse
import io
import os
import subprocess
import sys
import tarfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def parse(path):
    mutations = []
    for block in open(path, encoding="utf-8").read().split("\n## ")[1:]:
        lines = block.rstrip("\n").split("\n")
        name, _, why = lines[0].partition(":")
        m = {"name": name.strip(), "why": why.strip(), "file": None, "tests": [],
             "old": [], "new": []}
        for line in lines[1:]:
            if line.startswith("file: "):
                m["file"] = line[6:].strip()
            elif line.startswith("tests: "):
                m["tests"] = [t.strip() for t in line[7:].split(";") if t.strip()]
            elif line.startswith("- ") or line == "-":
                m["old"].append(line[2:])
            elif line.startswith("+ ") or line == "+":
                m["new"].append(line[2:])
        if not m["file"] or not m["old"] or not m["tests"]:
            sys.exit(f"mutation {m['name']}: needs file, tests and original lines")
        mutations.append(m)
    return mutations


def sync(scratch_src, rev):
    """Copies every tracked file whose content differs: from the working tree, or as committed
    at rev."""
    if rev:
        tar = subprocess.run(["git", "-C", ROOT, "archive", "--format=tar", rev], check=True,
                             capture_output=True).stdout
        with tarfile.open(fileobj=io.BytesIO(tar)) as archive:
            files = {m.name: (archive.extractfile(m).read(), m.mode)
                     for m in archive.getmembers() if m.isfile()}
    else:
        names = subprocess.run(["git", "-C", ROOT, "ls-files", "-z"], check=True,
                               capture_output=True).stdout.decode().split("\0")
        files = {rel: (open(os.path.join(ROOT, rel), "rb").read(),
                       os.stat(os.path.join(ROOT, rel)).st_mode)
                 for rel in names if rel and os.path.isfile(os.path.join(ROOT, rel))}
    for rel, (data, mode) in files.items():
        dst = os.path.join(scratch_src, rel)
        if os.path.exists(dst) and open(dst, "rb").read() == data:
            continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, "wb") as out:
            out.write(data)
        os.chmod(dst, mode & 0o777)


def run(cmd, log, timeout, env=None):
    with open(log, "a") as out:
        out.write(f"\n$ {' '.join(cmd)}\n")
        out.flush()
        try:
            return subprocess.run(cmd, stdout=out, stderr=subprocess.STDOUT, timeout=timeout,
                                  env=env).returncode
        except subprocess.TimeoutExpired:
            out.write("timed out\n")
            return -1


def build(scratch, log):
    src, tree = os.path.join(scratch, "src"), os.path.join(scratch, "build")
    if not os.path.exists(os.path.join(tree, "build.ninja")):
        rc = run(["cmake", "-G", "Ninja", "-S", src, "-B", tree,
                  "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DVOXEL_BENCH=OFF"], log, 600)
        if rc != 0:
            return rc
    return run(["cmake", "--build", tree], log, 3600)


def caught_by(test, scratch, log):
    """True when the test fails (the mutation is caught)."""
    tree = os.path.join(scratch, "build")
    kind, _, what = test.partition(":")
    if kind == "ctest":
        cmd = ["ctest", "--test-dir", tree, "--no-tests=error", "-j", str(os.cpu_count() or 2),
               "-R", what]
    elif kind == "e2e":
        cmd = ["python3", "-B", os.path.join(scratch, "src", "tests", "e2e", what + ".py"),
               "--voxel", os.path.join(tree, "voxel"), "--tools", tree]
    else:
        sys.exit(f"unknown test kind in {test}")
    return run(cmd, log, 1800) != 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", default=os.path.join(ROOT, "tools", "mutations", "list.txt"))
    parser.add_argument("--scratch", default=ROOT.rstrip("/") + "-mutate")
    parser.add_argument("--only", default="")
    parser.add_argument("--rev", default="", help="take the sources as committed there")
    parser.add_argument("--no-baseline", action="store_true",
                        help="skip running the tests on the unmutated copy first")
    args = parser.parse_args()
    mutations = parse(args.list)
    if args.only:
        wanted = set(args.only.split(","))
        mutations = [m for m in mutations if m["name"] in wanted]
    scratch = os.path.abspath(args.scratch)
    src = os.path.join(scratch, "src")
    os.makedirs(src, exist_ok=True)
    log = os.path.join(scratch, "mutate.log")
    sync(src, args.rev)
    print(f"scratch {scratch}, log {log}", flush=True)
    if build(scratch, log) != 0:
        sys.exit("the unmutated copy does not build: see the log")
    if not args.no_baseline:
        # A test that fails unmutated would count every mutation as caught.
        for test in dict.fromkeys(t for m in mutations for t in m["tests"]):
            if caught_by(test, scratch, log):
                sys.exit(f"the unmutated copy fails {test}: see the log")
        print("the unmutated copy passes every test named", flush=True)

    results = []
    for m in mutations:
        path = os.path.join(src, m["file"])
        text = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
        old, new = "\n".join(m["old"]) + "\n", "\n".join(m["new"]) + ("\n" if m["new"] else "")
        count = text.count(old)
        start = time.time()
        if count != 1:
            verdict = "does not apply" if count == 0 else f"applies {count} times: ambiguous"
        else:
            with open(log, "a") as out:
                out.write(f"\n===== {m['name']}\n")
            try:
                with open(path, "w", encoding="utf-8") as out:
                    out.write(text.replace(old, new))
                if build(scratch, log) != 0:
                    verdict = "does not build"
                else:
                    verdict = "SURVIVED"
                    for test in m["tests"]:
                        if caught_by(test, scratch, log):
                            verdict = f"caught by {test}"
                            break
            finally:
                with open(path, "w", encoding="utf-8") as out:
                    out.write(text)
        results.append((m["name"], verdict))
        print(f"{m['name']:28} {verdict}  ({time.time() - start:.0f} s)", flush=True)

    build(scratch, log)  # leaves the tree built from the unmutated sources
    survivors = [name for name, verdict in results if verdict == "SURVIVED"]
    odd = [name for name, verdict in results
           if not verdict.startswith("caught") and verdict != "SURVIVED"]
    print(f"\n{len(results)} mutations, {len(survivors)} survived: {' '.join(survivors) or '-'}")
    if odd:
        print(f"not tried: {' '.join(odd)}")
    return 1 if survivors or odd else 0


if __name__ == "__main__":
    sys.exit(main())
