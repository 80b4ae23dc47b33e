"""The documentation against the program it describes: the language guide, the
quick reference, the message index, the README and the man page.

Every code sample of these pages (docs/language.md, docs/reference.md,
docs/messages.md, README.md) runs here, in a fresh temporary folder, and its
output must match the blocks written under it, byte for byte:

    ```veltro [name=FILE] [args="-d"] [exit=N]      a script, run as `veltro [args] FILE`
    ```veltro file=NAME.vt                          a module file, written into the folder of
                                                    every later sample (not run itself)
    ```veltro-norun                                 a sample that cannot run on its own (a server,
                                                    an endless window loop): only its names are checked
    ```stdin / ```output / ```stderr                right after a sample: what it reads, writes on
                                                    standard output and writes on standard error
    ```repl                                         a REPL session as it looks on piped input
    ```console                                      (README) `$ build/veltro-check FILE` lines, each
                                                    followed by what it prints; FILE from a file= block

Every sample also goes through veltro-check: it must find nothing, except in a
sample that shows a trap on purpose, marked with the codes it must find:

    ```veltro check=V111,V205                       veltro-check reports exactly these codes

In stderr blocks the tags [ERROR], [DEBUG], [DEBUG CALL] and [VELTRO] stand for
the coloured tags, and {ms} for a timing figure. A sample without an output or
stderr block must write nothing there.

The guide and the message index must name every message of the message
catalogues (every messages.h under src/), and the guide and the reference every
builtin and module function of the catalogue (see vocabulary.py), so that
nothing the program can say or do goes undocumented. The message index also
lists the plain lines written outside the catalogues and every checker code.

Usage: python3 test_docs.py /path/to/veltro
"""
import glob
import gzip
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

from vocabulary import BUILTINS, KEYWORDS, MODULES, PARAMETERS

VELTRO = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "veltro"
CHECK = os.path.join(os.path.dirname(VELTRO), "veltro-check")
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
GUIDE = os.path.join(ROOT, "docs", "language.md")
MAN_PAGE = os.path.join(ROOT, "docs", "veltro.1")
DOCS = os.path.join(ROOT, "docs")
# The message catalogues: every messages.h under src/, wherever a module keeps its own.
CATALOGUES = sorted(os.path.relpath(p, ROOT) for p in glob.glob(os.path.join(ROOT, "src", "**", "messages.h"),
                                                                  recursive=True))

ESC = "\x1b"
TAGS = {
    "ERROR": f"{ESC}[31m[{ESC}[91mERROR{ESC}[31m]{ESC}[0m ",
    "DEBUG": f"{ESC}[33m[{ESC}[93mDEBUG{ESC}[33m]{ESC}[0m ",
    "DEBUG CALL": f"{ESC}[33m[{ESC}[93mDEBUG CALL{ESC}[33m]{ESC}[0m ",
    "VELTRO": f"{ESC}[33m[{ESC}[93mVELTRO{ESC}[33m]{ESC}[0m ",
}
TAG_LINE = re.compile(r"^\[(ERROR|DEBUG CALL|DEBUG|VELTRO)\] ")
BANNER = "Welcome to Veltro Interactive REPL!\nType 'exit' to quit.\n\n"


class Block:
    def __init__(self, lang, attrs, body, line):
        self.lang, self.attrs, self.body, self.line = lang, attrs, body, line
        self.attached = {}


def read_blocks(text):
    """Fenced blocks in order; stdin/output/stderr blocks that follow a sample
    with nothing but blank lines between are attached to it."""
    blocks, lines, i = [], text.split("\n"), 0
    last_sample, gap_clean = None, False
    while i < len(lines):
        m = re.match(r"^```(\S*)\s*(.*)$", lines[i])
        if not m:
            if lines[i].strip():
                gap_clean = False
            i += 1
            continue
        start, i = i, i + 1
        body = []
        while i < len(lines) and lines[i] != "```":
            body.append(lines[i])
            i += 1
        if i == len(lines):
            raise AssertionError(f"guide line {start + 1}: unterminated code block")
        i += 1
        lang, attrs = m.group(1), {}
        for word in shlex.split(m.group(2)):
            key, _, value = word.partition("=")
            attrs[key] = value
        block = Block(lang, attrs, "\n".join(body) + "\n" if body else "", start + 1)
        if lang in ("stdin", "output", "stderr"):
            if last_sample is None or not gap_clean or lang in last_sample.attached:
                raise AssertionError(f"guide line {start + 1}: a {lang} block must directly follow its sample")
            last_sample.attached[lang] = block.body
        else:
            blocks.append(block)
            last_sample = block if lang == "veltro" and "file" not in attrs else None
        gap_clean = True
    return blocks


def expected_stderr(text):
    out = []
    for line in text.splitlines(keepends=True):
        m = TAG_LINE.match(line)
        out.append(TAGS[m.group(1)] + line[m.end():] if m else line)
    return "".join(out)


def same(expected, actual):
    if "{ms}" not in expected:
        return expected == actual
    pattern = re.escape(expected).replace(re.escape("{ms}"), r"\d+\.\d{3}")
    return re.fullmatch(pattern, actual, re.DOTALL) is not None


def strip_code(source):
    """The source without comments and string literals, for the name checks."""
    source = re.sub(r'"(?:\\.|[^"\\])*"?', '""', source, flags=re.DOTALL)
    source = re.sub(r"/\*.*?(\*/|$)", " ", source, flags=re.DOTALL)
    return re.sub(r"#[^\n]*", "", source)


def run(args, cwd, stdin=""):
    env = dict(os.environ, SDL_VIDEODRIVER=os.environ.get("SDL_VIDEODRIVER", "offscreen"))
    p = subprocess.run([VELTRO, *args], cwd=cwd, input=stdin.encode(), capture_output=True, timeout=60, env=env)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def write_sample(work, files, block):
    """Writes the module files seen so far and the sample into the folder;
    returns the sample's file name."""
    name = block.attrs.get("name", "sample.vt")
    for path, body in [*files.items(), (name, block.body)]:
        with open(os.path.join(work, path), "w", encoding="utf-8") as f:
            f.write(body)
    return name


def with_escapes(text):
    return text.replace(ESC, "\\e")


def undocumented_messages(text):
    """The messages of the catalogues that `text` does not contain."""
    missing = []
    for rel in CATALOGUES:
        with open(os.path.join(ROOT, rel), encoding="utf-8") as f:
            source = f.read()
        for literal in re.findall(r'"((?:\\.|[^"\\])*)"', source):
            message = literal.replace('\\"', '"').removesuffix("\\n")
            if "{" not in message and " " not in message:
                continue  # an include or a single word, not a message
            if message not in text:
                missing.append(f"{rel}: {message}")
    return missing


class Samples:
    """The samples of one page run as shown and pass the checker. A page class
    names its file and how many samples of each kind it must at least keep."""
    PATH = None
    AT_LEAST = {"run": 1, "traps": 0, "sessions": 0, "norun": 0}

    @classmethod
    def setUpClass(cls):
        with open(cls.PATH, encoding="utf-8") as f:
            cls.text = f.read()
        cls.blocks = read_blocks(cls.text)
        cls.where = os.path.relpath(cls.PATH, ROOT)

    def test_samples_run_as_shown(self):
        files = {}
        ran = 0
        for block in self.blocks:
            if block.lang != "veltro":
                continue
            if "file" in block.attrs:
                files[block.attrs["file"]] = block.body
                continue
            ran += 1
            with self.subTest(line=block.line), tempfile.TemporaryDirectory() as work:
                name = write_sample(work, files, block)
                args = shlex.split(block.attrs.get("args", "")) + [name]
                code, out, err = run(args, work, block.attached.get("stdin", ""))
                want_out = block.attached.get("output", "")
                want_err = expected_stderr(block.attached.get("stderr", ""))
                self.assertEqual(out, want_out, f"standard output of the sample at {self.where} line {block.line}")
                self.assertTrue(same(want_err, err),
                                f"standard error of the sample at {self.where} line {block.line}:\n"
                                f"expected:\n{with_escapes(want_err)}\nactual:\n{with_escapes(err)}")
                self.assertEqual(code, int(block.attrs.get("exit", "0")), f"exit status, {self.where} line {block.line}")
        self.assertGreaterEqual(ran, self.AT_LEAST["run"], f"{self.where} lost its samples")

    def test_samples_pass_the_checker(self):
        files = {}
        marked = 0
        for block in self.blocks:
            if block.lang not in ("veltro", "veltro-norun"):
                continue
            if "file" in block.attrs:
                files[block.attrs["file"]] = block.body
                continue
            with self.subTest(line=block.line), tempfile.TemporaryDirectory() as work:
                name = write_sample(work, files, block)
                p = subprocess.run([CHECK, name], cwd=work, capture_output=True, text=True, timeout=60)
                found = sorted(set(re.findall(r" \[(V\d{3})\]$", p.stdout, flags=re.MULTILINE)))
                wanted = sorted(filter(None, block.attrs.get("check", "").split(",")))
                marked += bool(wanted)
                self.assertEqual((found, p.stderr), (wanted, ""),
                                 f"veltro-check on the sample at {self.where} line {block.line}:\n{p.stdout}")
        self.assertGreaterEqual(marked, self.AT_LEAST["traps"], f"{self.where} lost its samples of traps")

    def test_repl_sessions(self):
        sessions = [b for b in self.blocks if b.lang == "repl"]
        self.assertGreaterEqual(len(sessions), self.AT_LEAST["sessions"])
        for block in sessions:
            with self.subTest(line=block.line), tempfile.TemporaryDirectory() as work:
                body = block.body
                want_out = "" if body.startswith(BANNER) else BANNER
                want_err, inputs = "", []
                for line in body.splitlines(keepends=True):
                    if line.startswith((">>> ", "... ")) or line.rstrip("\n") in (">>>", "..."):
                        want_out += line[:4].ljust(4)
                        inputs.append(line[4:].rstrip("\n"))
                    elif TAG_LINE.match(line):
                        want_err += expected_stderr(line)
                    else:
                        want_out += line
                self.assertIn(inputs[-1], ("exit", "quit"), "a session ends with exit or quit")
                code, out, err = run([], work, "\n".join(inputs) + "\n")
                self.assertEqual((code, out, err), (0, want_out, want_err), f"REPL session at {self.where} line {block.line}")

    def test_samples_that_cannot_run_call_only_what_exists(self):
        defined = set()
        for block in self.blocks:
            if block.lang == "veltro" and "file" in block.attrs:
                defined |= set(re.findall(r"\bdef\s+([A-Za-z_]\w*)", block.body))
        norun = [b for b in self.blocks if b.lang == "veltro-norun"]
        self.assertGreaterEqual(len(norun), self.AT_LEAST["norun"])
        for block in norun:
            code = strip_code(block.body)
            local = set(re.findall(r"\b(?:def|let)\s+([A-Za-z_]\w*)", code))
            for items in re.findall(r"\buse\s+\w+\s*\{([^}]*)\}", code):
                local |= set(re.findall(r"\w+", items))
            for module, name in re.findall(rf"\b({'|'.join(MODULES)})\.(\w+)\s*\(", code):
                self.assertIn(name, MODULES[module], f"{module}.{name} in the sample at {self.where} line {block.line}")
            for name in re.findall(r"(?<![\w.])([A-Za-z_]\w*)\s*\(", code):
                if name not in set(KEYWORDS) | set(BUILTINS) | local | defined:
                    self.fail(f"{name}() in the sample at {self.where} line {block.line} is neither a builtin nor defined")

    def test_internal_links_resolve(self):
        prose = re.sub(r"^```.*?^```$", "", self.text, flags=re.DOTALL | re.MULTILINE)
        slugs = set()
        for title in re.findall(r"^#+ (.+)$", prose, flags=re.MULTILINE):
            base = slug = re.sub(r"[^\w\- ]", "", title.lower()).replace(" ", "-")
            n = 0
            while slug in slugs:  # repeated titles get -1, -2, ... as on the usual renderers
                n += 1
                slug = f"{base}-{n}"
            slugs.add(slug)
        for target in re.findall(r"\]\(#([^)]+)\)", prose):
            self.assertIn(target, slugs)


class Guide(Samples, unittest.TestCase):
    PATH = GUIDE
    AT_LEAST = {"run": 50, "traps": 10, "sessions": 2, "norun": 3}

    def test_every_builtin_and_module_function_has_an_entry(self):
        headings = re.findall(r"^#+ `([\w.]+)\(", self.text, flags=re.MULTILINE)
        for name in BUILTINS:
            self.assertIn(name, headings, f"builtin {name} has no reference entry")
        for module, names in MODULES.items():
            for name in names:
                self.assertIn(f"{module}.{name}", headings, f"{module}.{name} has no reference entry")
        listed = set(BUILTINS) | {f"{m}.{n}" for m, ns in MODULES.items() for n in ns}
        for name in headings:
            self.assertIn(name, listed, f"the guide documents {name}(), which the program does not have")
        # The parameters the guide shows are the catalogue's (optional ones without their brackets).
        for name, params in re.findall(r"^#+ `([\w.]+)\(([^)]*)\)`", self.text, flags=re.MULTILINE):
            self.assertEqual(params, PARAMETERS[name].replace("[", "").replace("]", ""), f"parameters of {name}")

    def test_the_lists_above_are_the_programs(self):
        """The name lists the other checks rely on, against the binary itself."""
        calls = "".join(f"{name}()\n" for name in BUILTINS if name != "input")
        members = "".join(f"print({m}.{n})\n" for m, ns in MODULES.items() for n in ns)
        with tempfile.TemporaryDirectory() as work:
            with open(os.path.join(work, "names.vt"), "w") as f:
                f.write("".join(f"use {m}; " for m in MODULES) + "\n" + calls + members)
            code, out, err = run(["names.vt"], work)
        self.assertEqual(err, "")
        self.assertEqual(out.splitlines(), [f"<builtin: {m}.{n}>" for m, ns in MODULES.items() for n in ns])
        with tempfile.TemporaryDirectory() as work:
            with open(os.path.join(work, "other.vt"), "w") as f:
                f.write("nosuch_builtin()\nuse files;\nprint(files.nosuch)\n")
            code, out, err = run(["other.vt"], work)
        self.assertIn("Function 'nosuch_builtin' does not exist", err)
        self.assertIn("Module 'files' has no export named 'nosuch'", err)

    def test_every_catalogued_message_is_documented(self):
        self.assertEqual(undocumented_messages(self.text), [], "messages the guide does not mention")


def section(text, title):
    """The part of a page under the heading `title`, up to the next heading of that level."""
    m = re.search(rf"^(#+) {re.escape(title)}\n(.*?)(?=^\1 |\Z)", text, flags=re.MULTILINE | re.DOTALL)
    if not m:
        raise AssertionError(f"no section '{title}'")
    return m.group(2)


class Reference(Samples, unittest.TestCase):
    PATH = os.path.join(DOCS, "reference.md")
    AT_LEAST = {"run": 3, "traps": 0, "sessions": 0, "norun": 0}

    def test_every_function_of_the_catalogue_has_one_row(self):
        rows = re.findall(r"^\| `([\w.]+)\(([^)]*)\)` \|", self.text, flags=re.MULTILINE)
        names = [name for name, _ in rows]
        listed = [*BUILTINS, *(f"{m}.{n}" for m, ns in MODULES.items() for n in ns)]
        self.assertEqual(sorted(names), sorted(listed), "rows of the reference against the catalogue")
        for name, params in rows:
            self.assertEqual(params, PARAMETERS[name], f"parameters of {name}")

    def test_every_keyword_has_its_statement_or_operator(self):
        text = section(self.text, "Statements") + section(self.text, "Operators") + section(self.text, "Values")
        shown = set(re.findall(r"\b[a-z]+\b", " ".join(re.findall(r"`([^`]*)`", text))))
        self.assertEqual([k for k in KEYWORDS if k not in shown], [])


# Calls whose string literal is a line veltro or veltro-check writes outside the message catalogues.
PLAIN_MESSAGE = re.compile(r'(?:err_write|out_write|log_error|log_run|log_debug|usage_error|failed|limit_message_ =|'
                           r'std::cerr <<)\s*\(?\s*(?:fmt::format\()?"((?:\\.|[^"\\])*)"')


class Messages(Samples, unittest.TestCase):
    PATH = os.path.join(DOCS, "messages.md")

    def test_every_catalogued_message_is_listed(self):
        self.assertEqual(undocumented_messages(self.text), [], "messages the index does not list")

    def test_every_line_written_outside_the_catalogues_is_listed(self):
        missing, seen = [], 0
        for path in glob.glob(os.path.join(ROOT, "src", "**", "*.[ch]*"), recursive=True):
            with open(path, encoding="utf-8") as f:
                source = f.read()
            for literal in PLAIN_MESSAGE.findall(source):
                message = re.sub(r"\{:[^}]*\}", "{}", literal.replace('\\"', '"'))
                message = message.removeprefix("\\n").removesuffix("\\n")
                if "{" not in message and " " not in message:
                    continue
                seen += 1
                if message not in self.text:
                    missing.append(f"{os.path.relpath(path, ROOT)}: {message}")
        self.assertEqual(missing, [], "lines the index does not list")
        self.assertGreater(seen, 20, "the search for plain lines found too few to be working")

    def test_every_checker_code_has_a_row(self):
        listed = subprocess.run([CHECK, "--list-codes"], capture_output=True, text=True, timeout=60).stdout
        codes = re.findall(r"^(V\d{3}) (warning|error): (.+)$", listed, flags=re.MULTILINE)
        self.assertGreater(len(codes), 40)
        rows = dict(re.findall(r"^\| `(V\d{3})` \| (.+?) \|$", self.text, flags=re.MULTILINE))
        for code, severity, meaning in codes:
            self.assertTrue(rows.get(code, "").startswith(f"{severity} | {meaning} | "), f"the row of {code}")
        self.assertEqual(len(rows), len(codes), "rows for codes the checker does not have")


class Readme(Samples, unittest.TestCase):
    """The README's samples run like the guide's; its help text, list of builtins
    and `$ build/veltro-check` session are the program's."""
    PATH = os.path.join(ROOT, "README.md")
    AT_LEAST = {"run": 3, "traps": 0, "sessions": 1, "norun": 0}

    def test_help_text_is_shown_whole(self):
        help_text = subprocess.run([VELTRO, "-h"], capture_output=True, text=True, timeout=60).stdout
        self.assertIn(f"```text\n{help_text}```\n", self.text)

    def test_builtins_section_names_every_builtin(self):
        text = section(self.text, "Builtins")
        self.assertIn(f"{len(BUILTINS)} global functions", text)
        self.assertEqual([b for b in BUILTINS if f"`{b}`" not in text], [])

    def test_console_sessions(self):
        """Each `$ build/PROGRAM ARGS` of a console block, run in a folder holding the
        page's files, prints the lines shown under it."""
        files = {b.attrs["file"]: b.body for b in self.blocks if b.lang == "veltro" and "file" in b.attrs}
        programs = {"build/veltro": VELTRO, "build/veltro-check": CHECK}
        sessions = [b for b in self.blocks if b.lang == "console"]
        self.assertTrue(sessions)
        for block in sessions:
            for command, shown in re.findall(r"^\$ (.*)\n((?:(?!\$ ).*\n)*)", block.body, flags=re.MULTILINE):
                program, *args = shlex.split(command)
                with self.subTest(command=command), tempfile.TemporaryDirectory() as work:
                    for path, body in files.items():
                        with open(os.path.join(work, path), "w", encoding="utf-8") as f:
                            f.write(body)
                    p = subprocess.run([programs[program], *args], cwd=work, capture_output=True, text=True,
                                       timeout=60)
                    self.assertEqual(p.stdout + p.stderr, shown)


class ManPage(unittest.TestCase):
    def test_renders_without_warnings(self):
        if not shutil.which("groff"):
            self.skipTest("groff is not installed")
        p = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z", MAN_PAGE], capture_output=True, text=True)
        self.assertEqual((p.returncode, p.stderr), (0, ""))
        p = subprocess.run(["groff", "-man", "-Tascii", "-P-cbou", MAN_PAGE], capture_output=True, text=True)
        page = p.stdout
        for heading in ("NAME", "SYNOPSIS", "OPTIONS", "EXIT STATUS", "DIAGNOSTICS", "FILES", "EXAMPLES"):
            self.assertRegex(page, rf"(?m)^{heading}$")
        # The options the page describes are the ones the program prints in its help.
        help_text = subprocess.run([VELTRO, "-h"], capture_output=True, text=True).stdout
        for option in re.findall(r"^\s+(-\w)\s", help_text, flags=re.MULTILINE):
            self.assertRegex(page, rf"(?m)^\s+{option}\b", f"option {option}")
        for tag in ("[ERROR]", "[DEBUG]", "[DEBUG CALL]", "[VELTRO]"):
            self.assertIn(tag, page)

    def test_install_puts_the_pages_in_section_1(self):
        build = os.path.dirname(VELTRO)
        if not os.path.exists(os.path.join(build, "cmake_install.cmake")) or not shutil.which("cmake"):
            self.skipTest("the binary is not in a CMake build folder")
        with tempfile.TemporaryDirectory() as prefix:
            p = subprocess.run(["cmake", "--install", build, "--prefix", prefix], capture_output=True, text=True)
            self.assertEqual(p.returncode, 0, p.stderr)
            # Each program with its page, compressed, as man pages are installed on Debian.
            for program in ("veltro", "veltro-check", "veltro-lsp"):
                installed = os.path.join(prefix, "share", "man", "man1", f"{program}.1.gz")
                with gzip.open(installed, "rb") as a, open(os.path.join(ROOT, "docs", f"{program}.1"), "rb") as b:
                    self.assertEqual(a.read(), b.read(), program)
                self.assertTrue(os.access(os.path.join(prefix, "bin", program), os.X_OK), program)


if __name__ == "__main__":
    unittest.main()
