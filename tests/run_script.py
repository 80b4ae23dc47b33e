#!/usr/bin/env python3
"""Runs one .vt script test against the veltro binary and compares its output.

Expectations sit beside the code, as comments:

    print(1 + 2)          # expect: 3
    let x = 1 / 0         # expect-error: Division by zero
                          # expect-error: Error in let statement for 'x': Division by zero

Markers (each adds one line, in file order, to the stream it names):
    # expect: TEXT          a line on standard output
    # expect-error: TEXT    an ERROR line on standard error
    # expect-debug: TEXT    a DEBUG line
    # expect-call: TEXT     a DEBUG CALL line
    # expect-veltro: TEXT   a VELTRO (run report) line; TEXT may use {ms} for a timing figure, {n} for any integer
    # expect-stderr: TEXT   a plain line on standard error
    # expect-exit: N        the exit status (default 0)
    # args: ...             options placed before the script path
    # args-after: ...       arguments placed after the script path
    # stdin: TEXT           a line fed to standard input
    # env: NAME=VALUE       an environment variable of the run
    # no-file               run veltro without the script path (for the REPL: stdin is the input)
    # unordered-stderr      standard error may come in any order

Sidecar files next to the script replace what the markers say, byte for byte:
    NAME.stdin, NAME.stdout, NAME.stderr

The script runs in a fresh temporary folder; the contents of a fixtures/ folder
beside it are copied there first. Standard output and standard error must match
exactly (escape sequences included) and nothing else may be written.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

ESC = "\x1b"
TAGS = {
    "error": f"{ESC}[31m[{ESC}[91mERROR{ESC}[31m]{ESC}[0m ",
    "debug": f"{ESC}[33m[{ESC}[93mDEBUG{ESC}[33m]{ESC}[0m ",
    "call": f"{ESC}[33m[{ESC}[93mDEBUG CALL{ESC}[33m]{ESC}[0m ",
    "veltro": f"{ESC}[33m[{ESC}[93mVELTRO{ESC}[33m]{ESC}[0m ",
    "stderr": "",
}
MARKER = re.compile(r"#\s*(expect(?:-(error|debug|call|veltro|stderr|exit))?|args|args-after|stdin|env|no-file|unordered-stderr)(?::[ ]?(.*))?$")


def parse(path):
    plan = {"stdout": [], "stderr": [], "exit": 0, "args": [], "args_after": [],
            "stdin": [], "env": {}, "no_file": False, "unordered": False}
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            line = line.rstrip("\n")
            pos = line.find("#")
            while pos != -1:
                m = MARKER.match(line[pos:])
                if m:
                    break
                pos = line.find("#", pos + 1)
            if pos == -1:
                continue
            kind, stream, text = m.group(1), m.group(2), m.group(3) or ""
            if kind == "expect":
                plan["stdout"].append(text + "\n")
            elif stream == "exit":
                plan["exit"] = int(text)
            elif stream is not None:
                plan["stderr"].append(TAGS[stream] + text + "\n")
            elif kind == "args":
                plan["args"] += shlex.split(text)
            elif kind == "args-after":
                plan["args_after"] += shlex.split(text)
            elif kind == "stdin":
                plan["stdin"].append(text + "\n")
            elif kind == "env":
                name, _, value = text.partition("=")
                plan["env"][name] = value
            elif kind == "no-file":
                plan["no_file"] = True
            elif kind == "unordered-stderr":
                plan["unordered"] = True
    return plan


def sidecar(path, ext):
    p = path[:-3] + ext
    if os.path.exists(p):
        with open(p, "rb") as f:
            return f.read()
    return None


def matches(expected_line, actual_line):
    if "{ms}" not in expected_line and "{n}" not in expected_line:
        return expected_line == actual_line
    pattern = re.escape(expected_line).replace(re.escape("{ms}"), r"\d+\.\d{3}").replace(re.escape("{n}"), r"\d+")
    return re.fullmatch(pattern, actual_line, re.DOTALL) is not None


def compare(name, expected, actual, unordered=False):
    exp_lines = expected.splitlines(keepends=True)
    act_lines = actual.splitlines(keepends=True)
    if unordered:
        # Pair every expected line with some actual line; list the rest in order.
        remaining = list(act_lines)
        paired = []
        for e in exp_lines:
            hit = next((a for a in remaining if matches(e, a)), None)
            if hit is not None:
                remaining.remove(hit)
                paired.append(hit)
        act_lines = paired + remaining
        exp_lines = [e for e in exp_lines if any(matches(e, a) for a in paired)] + \
            [e for e in exp_lines if not any(matches(e, a) for a in paired)]
    ok = len(exp_lines) == len(act_lines) and all(
        matches(e, a) for e, a in zip(exp_lines, act_lines))
    if not ok:
        print(f"--- {name} differs ---")
        for i in range(max(len(exp_lines), len(act_lines))):
            e = exp_lines[i] if i < len(exp_lines) else "<none>"
            a = act_lines[i] if i < len(act_lines) else "<none>"
            flag = "  " if i < len(exp_lines) and i < len(act_lines) and matches(e, a) else "! "
            print(f"{flag}expected: {e!r}")
            if flag != "  ":
                print(f"{flag}actual:   {a!r}")
    return ok


def main():
    binary, script = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    plan = parse(script)
    stdin = sidecar(script, ".stdin")
    if stdin is None:
        stdin = "".join(plan["stdin"]).encode()
    exp_out = sidecar(script, ".stdout")
    exp_out = exp_out.decode("utf-8", "surrogateescape") if exp_out is not None else "".join(plan["stdout"])
    exp_err = sidecar(script, ".stderr")
    exp_err = exp_err.decode("utf-8", "surrogateescape") if exp_err is not None else "".join(plan["stderr"])

    work = tempfile.mkdtemp(prefix="veltro-test-")
    try:
        fixtures = os.path.join(os.path.dirname(script), "fixtures")
        if os.path.isdir(fixtures):
            shutil.copytree(fixtures, work, dirs_exist_ok=True)
        cmd = [binary] + plan["args"] + ([] if plan["no_file"] else [script]) + plan["args_after"]
        env = dict(os.environ, SDL_VIDEODRIVER=os.environ.get("SDL_VIDEODRIVER", "offscreen"))
        env.update(plan["env"])
        proc = subprocess.run(cmd, input=stdin, capture_output=True, cwd=work, timeout=100, env=env)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    out = proc.stdout.decode("utf-8", "surrogateescape")
    err = proc.stderr.decode("utf-8", "surrogateescape")
    ok = compare("stdout", exp_out, out)
    ok = compare("stderr", exp_err, err, plan["unordered"]) and ok
    if proc.returncode != plan["exit"]:
        print(f"--- exit status: expected {plan['exit']}, got {proc.returncode} ---")
        ok = False
    if not ok:
        print("command:", shlex.join(cmd))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
