#!/usr/bin/env python3
"""Runs two veltro binaries over the same inputs and compares every byte.

Usage: scripts/differential.py OLD NEW [--corpus DIR]... [--jobs N] [--timeout S] [--verbose]

Inputs: every script test (tests/scripts, with the arguments, standard input
and environment its markers or sidecar files give), every checker test file
run as a script (tests/check), every example, every benchmark program, the
fuzz regressions, and every file of the fuzz corpus folders (the build-fuzz*/
corpus-* folders of the checkout, or those given with --corpus). Each run
happens in a fresh temporary folder holding a copy of the fixtures the input
expects, with standard input from its test plan or empty.

For each input the old binary runs twice and the new one once; standard
output, standard error and the exit status must be identical. When the new
run differs, both run again several times: an input whose old runs disagree
among themselves (random numbers, clocks, dictionary order) is counted as
nondeterministic and left out, otherwise it is a difference. The timing
figures of the run report (`-d`) are masked before comparing. Inputs that do
not end within the time-out are left out and counted, and so are corpus files
that reach the files or http module (a mutated input must not delete or
fetch whatever it names) and examples that serve pages on a fixed port.

With --repl, every input that runs as a script file also runs a second time
with no file, its text piped to the REPL on standard input.

Exit status 0 when nothing differs, 1 otherwise.
"""
import argparse
import concurrent.futures
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests"))
import run_script  # noqa: E402  (the markers of script tests)

TIMING = re.compile(rb"\d+\.\d{3}ms")


class Input:
    def __init__(self, kind, path, fixtures=None, args=(), args_after=(), stdin=b"", env=None,
                 no_file=False, cwd_relative=None):
        self.kind = kind
        self.path = path
        self.fixtures = fixtures          # folder whose contents are copied into the run folder
        self.args = list(args)
        self.args_after = list(args_after)
        self.stdin = stdin
        self.env = env or {}
        self.no_file = no_file
        self.cwd_relative = cwd_relative  # copy the fixtures under this name and run from above it

    def name(self):
        return os.path.relpath(self.path, ROOT)


def script_test(kind, path):
    plan = run_script.parse(path)
    stdin = run_script.sidecar(path, ".stdin")
    if stdin is None:
        stdin = "".join(plan["stdin"]).encode()
    fixtures = os.path.join(os.path.dirname(path), "fixtures")
    return Input(kind, path, fixtures if os.path.isdir(fixtures) else None, plan["args"], plan["args_after"],
                 stdin, plan["env"], plan["no_file"])


def piped(item):
    """The same input typed into the REPL through a pipe instead of run as a file."""
    with open(item.path, "rb") as f:
        text = f.read()
    return Input(item.kind + " (piped REPL)", item.path, item.fixtures, stdin=text, env=item.env, no_file=True,
                 cwd_relative=item.cwd_relative)


def collect(corpus_dirs, repl=False):
    inputs, skipped = [], []
    for folder, kind in (("tests/scripts", "script test"), ("tests/check", "checker test")):
        for path in sorted(glob.glob(os.path.join(ROOT, folder, "**", "*.vt"), recursive=True)):
            if "/fixtures/" not in path:
                inputs.append(script_test(kind, path))
    for path in sorted(glob.glob(os.path.join(ROOT, "examples", "*.vt"))):
        with open(path, "rb") as f:
            if b".serve(" in f.read():
                skipped.append((os.path.relpath(path, ROOT), "serves pages on a fixed port"))
                continue
        inputs.append(Input("example", path, os.path.join(ROOT, "examples"), cwd_relative="examples"))
    for path in sorted(glob.glob(os.path.join(ROOT, "bench", "**", "*.vt"), recursive=True)):
        inputs.append(Input("benchmark", path))
    corpus = [os.path.join(ROOT, "tests", "fuzz", "regressions")] + corpus_dirs
    for folder in corpus:
        for path in sorted(glob.glob(os.path.join(folder, "*"))):
            if not os.path.isfile(path):
                continue
            with open(path, "rb") as f:
                data = f.read()
            if b"files" in data or b"http" in data:
                skipped.append((os.path.relpath(path, ROOT), "reaches the files or http module"))
                continue
            inputs.append(Input("fuzz input", path))
    if repl:
        inputs += [piped(item) for item in inputs if not item.no_file and not item.stdin and not item.args_after]
    return inputs, skipped


def run(binary, item, timeout):
    work = tempfile.mkdtemp(prefix="veltro-diff-")
    try:
        cwd = work
        if item.fixtures:
            target = os.path.join(work, item.cwd_relative) if item.cwd_relative else work
            shutil.copytree(item.fixtures, target, dirs_exist_ok=True)
        # The script is copied in under a .vt name: corpus files have none.
        script = os.path.join(work, "input-" + os.path.basename(item.path))
        if not script.endswith(".vt"):
            script += ".vt"
        shutil.copyfile(item.path, script)
        if item.cwd_relative:
            script_arg = os.path.join(item.cwd_relative, os.path.basename(item.path))
        else:
            script_arg = script
        cmd = [binary] + item.args + ([] if item.no_file else [script_arg]) + item.args_after
        env = dict(os.environ, SDL_VIDEODRIVER="offscreen")
        env.update(item.env)
        p = subprocess.run(cmd, input=item.stdin, capture_output=True, cwd=cwd, timeout=timeout, env=env)
        # The path of the run folder appears in some messages.
        out = p.stdout.replace(work.encode(), b"<work>")
        err = TIMING.sub(b"<ms>", p.stderr.replace(work.encode(), b"<work>"))
        return (p.returncode, out, err)
    except subprocess.TimeoutExpired:
        return None
    finally:
        shutil.rmtree(work, ignore_errors=True)


def judge(old, new, item, timeout):
    """'same', 'differs', 'nondeterministic' or 'timeout', and a detail."""
    first = run(old, item, timeout)
    if first is None:
        return "timeout", ""
    second = run(old, item, timeout)
    if second != first:
        return "nondeterministic", "old runs disagree"
    result = run(new, item, timeout)
    if result == first:
        return "same", ""
    olds = [first, second] + [run(old, item, timeout) for _ in range(8)]
    if any(o != first for o in olds):
        return "nondeterministic", "old runs disagree"
    news = [result] + [run(new, item, timeout) for _ in range(3)]
    if any(n == first for n in news):
        return "nondeterministic", "new runs disagree"
    return "differs", describe(first, result)


def describe(a, b):
    if a is None or b is None:
        return "one run timed out"
    parts = []
    for label, x, y in (("status", a[0], b[0]), ("stdout", a[1], b[1]), ("stderr", a[2], b[2])):
        if x != y:
            if label == "status":
                parts.append(f"status {x} -> {y}")
            else:
                i = next((k for k in range(min(len(x), len(y))) if x[k] != y[k]), min(len(x), len(y)))
                parts.append(f"{label} at byte {i}: {x[max(0, i - 40):i + 40]!r} -> {y[max(0, i - 40):i + 40]!r}")
    return "; ".join(parts)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--corpus", action="append", default=None, help="a folder of fuzz inputs (repeatable)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=float, default=20.0)
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--repl", action="store_true", help="also pipe each script file into the REPL")
    opts = parser.parse_args()
    old, new = os.path.abspath(opts.old), os.path.abspath(opts.new)
    corpus = opts.corpus
    if corpus is None:
        corpus = sorted(d for d in glob.glob(os.path.join(ROOT, "build-fuzz*", "corpus-*")) if os.path.isdir(d))
    inputs, skipped = collect([os.path.abspath(d) for d in corpus], opts.repl)

    counts = {}
    by_kind = {}
    findings = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=opts.jobs) as pool:
        futures = {pool.submit(judge, old, new, item, opts.timeout): item for item in inputs}
        for future in concurrent.futures.as_completed(futures):
            item = futures[future]
            verdict, detail = future.result()
            counts[verdict] = counts.get(verdict, 0) + 1
            by_kind.setdefault(item.kind, {}).setdefault(verdict, 0)
            by_kind[item.kind][verdict] += 1
            if verdict != "same":
                findings.append((verdict, item.name(), detail))
            if opts.verbose:
                print(f"{verdict:16} {item.name()} {detail}", flush=True)

    for verdict, name, detail in sorted(findings):
        print(f"{verdict}: {name} {detail}")
    for name, why in skipped:
        if opts.verbose:
            print(f"left out: {name} ({why})")
    print(f"corpus folders: {', '.join(os.path.relpath(d, ROOT) for d in corpus) or 'none'}")
    for kind in sorted(by_kind):
        print(f"{kind}: " + ", ".join(f"{v} {n}" for v, n in sorted(by_kind[kind].items())))
    print(f"inputs: {len(inputs)}; identical: {counts.get('same', 0)}; differ: {counts.get('differs', 0)}; "
          f"nondeterministic: {counts.get('nondeterministic', 0)}; timed out: {counts.get('timeout', 0)}; "
          f"left out unrun: {len(skipped)}")
    sys.exit(1 if counts.get("differs") else 0)


if __name__ == "__main__":
    main()
