#!/usr/bin/env python3
"""The library's in-place updates grow linearly.

Runs wordcount.vt at n = 10^4, 10^5 and 10^6 (the best of RUNS runs each) and
prints the seconds and the nanoseconds per element of each part: counting
words into a dictionary with data.get and data.set, and updating array
elements with data.set_at. Linear growth keeps the time per element flat; a
copy per update would multiply it by ten at each step. Fails when the time per
element at 10^6 is more than LIMIT times that at 10^4.
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (10_000, 100_000, 1_000_000)
LIMIT = float(os.environ.get("LIMIT", "4"))


def run(veltro, n):
    out = subprocess.run([veltro, os.path.join(HERE, "wordcount.vt"), str(n)], capture_output=True, text=True,
                         timeout=600, check=True)
    if out.stderr:
        raise SystemExit(f"wordcount.vt {n} wrote to standard error: {out.stderr[:500]}")
    size, distinct, checksum, counting, updating = out.stdout.split()
    assert int(size) == n and int(distinct) == n // 2 and int(checksum) == n * (n - 1) // 2, out.stdout
    return float(counting), float(updating)


def main():
    veltro = os.path.abspath(sys.argv[1])
    runs = int(os.environ.get("RUNS", "3"))
    print(f"{'n':>9}{'count s':>10}{'ns/word':>9}{'update s':>10}{'ns/elem':>9}")
    per_element = {}
    for n in SIZES:
        results = [run(veltro, n) for _ in range(runs)]
        counting = min(r[0] for r in results)
        updating = min(r[1] for r in results)
        per_element[n] = (counting / n * 1e9, updating / n * 1e9)
        print(f"{n:>9}{counting:>10.4f}{per_element[n][0]:>9.1f}{updating:>10.4f}{per_element[n][1]:>9.1f}")
    small, large = per_element[SIZES[0]], per_element[SIZES[-1]]
    growth = (large[0] / small[0], large[1] / small[1])
    print(f"time per element, 10^6 against 10^4: words x{growth[0]:.2f}, updates x{growth[1]:.2f}")
    if max(growth) > LIMIT:
        print(f"not linear: more than x{LIMIT} per element")
        sys.exit(1)


if __name__ == "__main__":
    main()
