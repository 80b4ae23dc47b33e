#!/usr/bin/env python3
"""Runs veltro-check on one .vt file and compares its output with the file's markers.

Each finding the file must produce is written as a comment, in output order:

    a[0] = 10
    # check: 1:1: warning: `a[0] = 10` is not an assignment: ... [V101]

The text after "check: " is the output line without the path; a text that
starts with a path of its own ("shapes.vt:3:5: ...") is taken whole, for
findings in a module. Further markers:

    # check-args: ...     options placed before the file name
    # check-exit: N       the exit status (default: 1 with findings, 0 without)

A file without check markers must produce no finding at all. The file is
checked in a fresh temporary folder, from that folder, after the contents of
a fixtures/ folder beside it are copied there.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

MARKER = re.compile(r"#\s*check(?:-(args|exit))?:[ ]?(.*)$")
HAS_PATH = re.compile(r"^[^\s:]+\.vt:\d+:\d+: ")


def parse(path, name):
    plan = {"lines": [], "args": [], "exit": None}
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            pos = line.find("#")
            if pos == -1:
                continue
            m = MARKER.search(line[pos:].rstrip("\n"))
            if not m:
                continue
            kind, text = m.group(1), m.group(2)
            if kind == "args":
                plan["args"] += shlex.split(text)
            elif kind == "exit":
                plan["exit"] = int(text)
            else:
                plan["lines"].append(text if HAS_PATH.match(text) else f"{name}:{text}")
    if plan["exit"] is None:
        plan["exit"] = 1 if plan["lines"] else 0
    return plan


def main():
    checker, script = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    name = os.path.basename(script)
    plan = parse(script, name)
    with tempfile.TemporaryDirectory() as work:
        fixtures = os.path.join(os.path.dirname(script), "fixtures")
        if os.path.isdir(fixtures):
            shutil.copytree(fixtures, work, dirs_exist_ok=True)
        shutil.copy(script, os.path.join(work, name))
        p = subprocess.run([checker, *plan["args"], name], cwd=work, capture_output=True, timeout=60)
    out = p.stdout.decode("utf-8", "replace").splitlines()
    problems = []
    if p.returncode != plan["exit"]:
        problems.append(f"exit status {p.returncode}, expected {plan['exit']}")
    if p.stderr:
        problems.append("standard error:\n" + p.stderr.decode("utf-8", "replace"))
    if out != plan["lines"]:
        problems.append("output differs")
        for i in range(max(len(out), len(plan["lines"]))):
            want = plan["lines"][i] if i < len(plan["lines"]) else "(nothing)"
            got = out[i] if i < len(out) else "(nothing)"
            if want != got:
                problems.append(f"  line {i + 1}:\n    expected: {want}\n    actual:   {got}")
    if problems:
        print(f"{name}:\n" + "\n".join(problems))
        sys.exit(1)


if __name__ == "__main__":
    main()
