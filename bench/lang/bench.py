#!/usr/bin/env python3
"""veltro against CPython and Lua on the same programs.

Each program exists as NAME.vt, NAME.py and NAME.lua doing the same work and
printing the same checksum. Every version runs RUNS times; the table shows the
median wall-clock times, the ratios veltro/python and veltro/lua, and their
geometric means. Start-up (hello) and the peak memory of a one-million-element
array (memory) are reported separately.
"""
import math
import os
import resource
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAMS = ["fib", "loop", "floats", "strings", "arrays", "dicts", "primes", "scope",
            "matrix", "orbit", "report", "calls", "records", "methods"]


LANGS = ("veltro", "python", "lua")


def command(lang, veltro, name):
    path = os.path.join(HERE, f"{name}.{ {'veltro': 'vt', 'python': 'py', 'lua': 'lua'}[lang] }")
    return {"veltro": [veltro, path], "python": [PYTHON, path], "lua": [LUA, path]}[lang]


def run_once(cmd):
    """Wall time and peak resident memory (KiB) of one run, and its output."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    p = subprocess.run(cmd, capture_output=True, timeout=600)
    elapsed = time.perf_counter() - start
    if p.returncode != 0 or p.stderr:
        raise SystemExit(f"{' '.join(cmd)} failed: {p.returncode} {p.stderr[:500]!r}")
    return elapsed, p.stdout


def peak_kib(cmd):
    out = subprocess.run(["/usr/bin/time", "-f", "%M", *cmd], capture_output=True, text=True, timeout=600)
    return int(out.stderr.strip().splitlines()[-1])


def measure(cmds, runs):
    """Median time and the output of each command. The commands take turns,
    round by round, so that a burst of other work on the machine slows all of
    them alike instead of one."""
    times = {k: [] for k in cmds}
    outputs = {k: set() for k in cmds}
    for _ in range(runs):
        for k, cmd in cmds.items():
            t, out = run_once(cmd)
            times[k].append(t)
            outputs[k].add(out)
    for k, cmd in cmds.items():
        if len(outputs[k]) != 1:
            raise SystemExit(f"{' '.join(cmd)} printed different outputs across runs")
    return {k: (statistics.median(times[k]), outputs[k].pop()) for k in cmds}


def geomean(values):
    return math.exp(sum(math.log(v) for v in values) / len(values))


def main():
    global PYTHON, LUA
    veltro = os.path.abspath(sys.argv[1])
    runs = int(os.environ.get("RUNS", "5"))
    PYTHON = os.environ.get("PYTHON", "python3")
    LUA = os.environ.get("LUA", "lua5.4")
    print(f"{'program':<10}{'veltro s':>10}{'python s':>10}{'lua s':>10}{'v/python':>10}{'v/lua':>8}")
    ratios_py, ratios_lua, failed = [], [], False
    for name in PROGRAMS:
        results = measure({lang: command(lang, veltro, name) for lang in LANGS}, runs)
        outs = {lang: r[1] for lang, r in results.items()}
        if len(set(outs.values())) != 1:
            print(f"{name}: outputs differ: {outs}")
            failed = True
            continue
        v, p, l = (results[k][0] for k in ("veltro", "python", "lua"))
        ratios_py.append(v / p)
        ratios_lua.append(v / l)
        print(f"{name:<10}{v:>10.3f}{p:>10.3f}{l:>10.3f}{v / p:>10.2f}{v / l:>8.2f}")
    if ratios_py:
        print(f"{'geomean':<40}{geomean(ratios_py):>10.2f}{geomean(ratios_lua):>8.2f}")

    hello = {lang: r[0] for lang, r in
             measure({lang: command(lang, veltro, "hello") for lang in LANGS}, max(runs, 20)).items()}
    print(f"start-up (hello): veltro {hello['veltro'] * 1000:.1f} ms, python {hello['python'] * 1000:.1f} ms, "
          f"lua {hello['lua'] * 1000:.1f} ms; veltro/lua {hello['veltro'] / hello['lua']:.2f}")
    mem = {lang: peak_kib(command(lang, veltro, "memory")) for lang in ("veltro", "python", "lua")}
    print(f"peak memory (1M-element array): veltro {mem['veltro'] / 1024:.1f} MiB, python {mem['python'] / 1024:.1f} MiB, "
          f"lua {mem['lua'] / 1024:.1f} MiB; veltro/lua {mem['veltro'] / mem['lua']:.2f}")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
