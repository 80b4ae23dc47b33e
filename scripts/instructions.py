#!/usr/bin/env python3
"""Instructions each language benchmark takes, counted by callgrind.

Usage: scripts/instructions.py VELTRO [BASELINE_VELTRO]

Runs every bench/lang/*.vt under `valgrind --tool=callgrind` with each binary
and prints a table of the counts in millions. With a baseline, it adds the
change in percent and exits with status 1 when a program takes more than
MAX_SLOWDOWN percent (default 3) more instructions than with the baseline.
Instruction counts are deterministic up to the random seed of dictionaries,
so unlike wall time they compare well on a busy machine.
"""
import glob
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
COLLECTED = re.compile(r"Collected : (\d+)")


def instructions(veltro, script):
    p = subprocess.run(
        ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", veltro, script],
        capture_output=True, text=True, cwd=os.path.dirname(script), timeout=3600)
    found = COLLECTED.findall(p.stderr)
    if p.returncode != 0 or not found:
        raise SystemExit(f"{veltro} {script}: status {p.returncode}\n{p.stderr[-2000:]}")
    return int(found[-1])


def main():
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__)
    new = os.path.abspath(sys.argv[1])
    old = os.path.abspath(sys.argv[2]) if len(sys.argv) == 3 else None
    limit = float(os.environ.get("MAX_SLOWDOWN", "3"))
    scripts = sorted(glob.glob(os.path.join(ROOT, "bench", "lang", "*.vt")))
    if old:
        print("| program | baseline (M) | this (M) | change |")
        print("|---|---:|---:|---:|")
    else:
        print("| program | instructions (M) |")
        print("|---|---:|")
    worst = None
    for script in scripts:
        name = os.path.splitext(os.path.basename(script))[0]
        count = instructions(new, script)
        if not old:
            print(f"| {name} | {count / 1e6:.1f} |", flush=True)
            continue
        base = instructions(old, script)
        change = (count - base) * 100.0 / base
        worst = change if worst is None else max(worst, change)
        print(f"| {name} | {base / 1e6:.1f} | {count / 1e6:.1f} | {change:+.2f}% |", flush=True)
    if worst is not None and worst > limit:
        print(f"a program takes {worst:.2f}% more instructions (limit {limit}%)")
        sys.exit(1)


if __name__ == "__main__":
    main()
