"""What the checkers' self-tests share: faults planted as files in a scratch tree, the verdict
on what a check then found, and the closing report."""

import os


def write(root, rel, text):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def append(root, rel, text):
    with open(os.path.join(root, rel), "a", encoding="utf-8") as f:
        f.write(text)


def verdict(name, problems, wanted):
    """None when the check found what the plant called name should make it find: nothing when
    wanted is None, else a problem naming wanted; otherwise the failure, said."""
    if wanted is None:
        return f"{name}: expected no problem, got {problems}" if problems else None
    if not any(wanted in p for p in problems):
        return f"{name}: expected a problem naming {wanted!r}, got {problems}"
    return None


def report(tool, failures, cases):
    """Prints each failure, or how many cases were found as expected; the exit status."""
    for failure in failures:
        print("self-test: " + failure)
    if failures:
        return 1
    print(f"{tool} self-test: {cases} cases found as expected")
    return 0
