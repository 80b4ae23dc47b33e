"""The Debian package: what it holds, what lintian says of it, and that its
programs run once unpacked.

Usage:
  test_deb.py build CPACK CONFIG DIR
      make the package into DIR with cpack (the step the other two share)
  test_deb.py contents DIR VERSION PROGRAMS
      list it with dpkg-deb, check its files and control fields, run lintian
  test_deb.py install DIR VERSION PROGRAMS BUILT_VELTRO
      unpack it into a temporary root with dpkg-deb -x and run from there
PROGRAMS is the ;-separated list of the programs the build makes.
"""
import glob
import gzip
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
ARGS = {}


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, timeout=600, **kw)


def the_package(folder):
    debs = glob.glob(os.path.join(folder, "veltro_*.deb"))
    if len(debs) != 1:
        raise SystemExit(f"expected one veltro_*.deb in {folder}, found {debs}")
    return debs[0]


def build(cpack, config, folder):
    shutil.rmtree(folder, ignore_errors=True)
    p = run([cpack, "-G", "DEB", "--config", config, "-B", folder])
    print(p.stdout, p.stderr)
    if p.returncode != 0:
        raise SystemExit(f"cpack failed with status {p.returncode}")
    print("built", the_package(folder))


def editor_files():
    """The files under editors/ that are shipped: all but the test harness."""
    base = os.path.join(ROOT, "editors")
    found = []
    for folder, dirs, files in os.walk(base):
        dirs[:] = [d for d in dirs if d != "test"]
        found += [os.path.relpath(os.path.join(folder, f), base) for f in files if f != ".gitignore"]
    return found


def depends_packages(deb):
    """Package names in the Depends field, alternatives included."""
    field = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
    return {re.split(r"[\s(:]", alt.strip())[0] for alt in re.split(r"[,|]", field) if alt.strip()}


def owner_of(path):
    """The Debian package a library file came from (merged /usr or not)."""
    real = os.path.realpath(path)
    for candidate in {path, real, re.sub(r"^/usr/", "/", real), "/usr" + real}:
        p = run(["dpkg-query", "-S", candidate])
        if p.returncode == 0:
            return p.stdout.split(":")[0]
    return None


class Contents(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.deb = the_package(ARGS["dir"])
        listing = run(["dpkg-deb", "--contents", cls.deb])
        assert listing.returncode == 0, listing.stderr
        cls.entries = {}
        for line in listing.stdout.splitlines():
            mode, owner, _size, _date, _time, path = line.split(None, 5)
            cls.entries[path.removeprefix("./").rstrip("/")] = (mode, owner)
        with tarfile.open(fileobj=io.BytesIO(run_bytes(["dpkg-deb", "--fsys-tarfile", cls.deb]))) as tar:
            cls.texts = {}
            for member in tar.getmembers():
                name = member.name.removeprefix("./")
                if member.isfile() and name.startswith("usr/share/"):
                    data = tar.extractfile(member).read()
                    cls.texts[name] = gzip.decompress(data) if name.endswith(".gz") else data

    def assert_file(self, path, mode="-rw-r--r--"):
        self.assertIn(path, self.entries)
        self.assertEqual(self.entries[path], (mode, "root/root"), path)

    def test_programs_and_manual_pages(self):
        for program in ARGS["programs"]:
            self.assert_file(f"usr/bin/{program}", "-rwxr-xr-x")
        pages = glob.glob(os.path.join(ROOT, "docs", "*.1"))
        self.assertIn(os.path.join(ROOT, "docs", "veltro.1"), pages)
        for page in pages:
            name = os.path.basename(page)
            path = f"usr/share/man/man1/{name}.gz"
            self.assert_file(path)
            with open(page, "rb") as f:
                self.assertEqual(self.texts[path], f.read(), f"{name} is shipped as written")
            # A version in the page's title line is the package's version.
            title = next(line for line in self.texts[path].decode().splitlines() if line.startswith(".TH"))
            for version in re.findall(r"\d+\.\d+\.\d+", title):
                self.assertEqual(version, ARGS["version"], title)

    def test_documentation_and_editor_files(self):
        pages = ("README.md", "docs/language.md", "docs/reference.md", "docs/messages.md", "docs/checks.md")
        for name in (*map(os.path.basename, pages), "copyright", "changelog.gz"):
            self.assert_file(f"usr/share/doc/veltro/{name}")
        for source in pages:
            with open(os.path.join(ROOT, source), "rb") as f:
                self.assertEqual(self.texts["usr/share/doc/veltro/" + os.path.basename(source)], f.read())
        changelog = self.texts["usr/share/doc/veltro/changelog.gz"].decode()
        self.assertTrue(changelog.startswith(f"veltro ({ARGS['version']}) "), changelog)
        copyright = self.texts["usr/share/doc/veltro/copyright"].decode()
        maintainer = run(["dpkg-deb", "-f", self.deb, "Maintainer"]).stdout.strip()
        self.assertIn(f"Copyright: {maintainer}", copyright)
        self.assertIn("Unicode", copyright)  # ICU's notice, as the program embeds it

        shipped = editor_files()
        self.assertIn(os.path.join("vim", "syntax", "veltro.vim"), shipped)
        self.assertIn(os.path.join("vscode", "syntaxes", "veltro.tmLanguage.json"), shipped)
        for rel in shipped:
            self.assert_file(f"usr/share/veltro/editors/{rel}")
        self.assertFalse([p for p in self.entries if p.startswith("usr/share/veltro/editors/test")])
        # Nothing lands outside /usr, and every folder is root's and 0755.
        for path, (mode, owner) in self.entries.items():
            self.assertTrue(path == "usr" or path.startswith("usr/"), path)
            if mode.startswith("d"):
                self.assertEqual((mode, owner), ("drwxr-xr-x", "root/root"), path)

    def test_control_fields(self):
        def field(name):
            return run(["dpkg-deb", "-f", self.deb, name]).stdout.strip()
        self.assertEqual(field("Package"), "veltro")
        self.assertEqual(field("Version"), ARGS["version"])
        self.assertRegex(field("Maintainer"), r"^[^<>]+ <[^<>@\s]+@[^<>@\s]+>$")
        self.assertEqual(field("Section"), "interpreters")
        self.assertEqual(field("Priority"), "optional")
        summary, *body = field("Description").splitlines()
        self.assertTrue(summary and body, "a summary and a long description")
        self.assertIn("libc6", depends_packages(self.deb))
        self.assertEqual(os.path.basename(self.deb), f"veltro_{ARGS['version']}_{field('Architecture')}.deb")

    def test_lintian_reports_no_errors(self):
        p = run(["lintian", "--fail-on", "error", "--tag-display-limit", "0", self.deb])
        errors = [line for line in p.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual(errors, [], p.stdout)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)


def run_bytes(cmd):
    p = subprocess.run(cmd, capture_output=True, timeout=600)
    assert p.returncode == 0, p.stderr
    return p.stdout


class Install(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.deb = the_package(ARGS["dir"])
        cls.tmp = tempfile.TemporaryDirectory()
        cls.root = os.path.join(cls.tmp.name, "root")
        p = run(["dpkg-deb", "-x", cls.deb, cls.root])
        assert p.returncode == 0, p.stderr
        cls.installed = os.path.join(cls.root, "usr", "bin", "veltro")
        cls.work = os.path.join(cls.tmp.name, "work")
        shutil.copytree(os.path.join(ROOT, "examples"), cls.work)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def veltro(self, *args, program=None, stdin=""):
        p = run([program or self.installed, *args], cwd=self.work, input=stdin)
        self.assertEqual((p.returncode, p.stderr), (0, ""), p.stdout)
        return p.stdout

    def test_version_and_examples(self):
        self.assertEqual(self.veltro("-v"), f"Veltro version {ARGS['version']}\n")
        self.assertEqual(self.veltro("hello.vt"),
                         "Hello, world!\nWelcome to Veltro\nWelcome to the REPL\nWelcome to your scripts\n")
        for example in ("report.vt", "wordfreq.vt", "fizzbuzz.vt"):
            self.assertEqual(self.veltro(example), self.veltro(example, program=ARGS["built"]), example)

    def test_the_checker_finds_the_examples_clean_and_a_trap(self):
        checker = os.path.join(self.root, "usr", "bin", "veltro-check")
        scripts = sorted(f for f in os.listdir(self.work) if f.endswith(".vt"))
        p = run([checker, *scripts], cwd=self.work)
        self.assertEqual((p.returncode, p.stdout, p.stderr), (0, "", ""))
        with open(os.path.join(self.work, "trap.vt"), "w", encoding="utf-8") as f:
            f.write("let a = [1]\na[0] = 2\n")
        p = run([checker, "--format=json", "trap.vt"], cwd=self.work)
        self.assertEqual(p.returncode, 1, p.stderr)
        self.assertIn('"code": "V101"', p.stdout)

    def test_the_language_server_links_findings_to_the_installed_guide(self):
        def frame(message):
            body = json.dumps(message).encode()
            return b"Content-Length: %d\r\n\r\n" % len(body) + body
        uri = "file://" + os.path.join(self.work, "trap.vt")
        session = b"".join(frame(m) for m in [
            {"jsonrpc": "2.0", "id": 1, "method": "initialize", "params": {"capabilities": {}}},
            {"jsonrpc": "2.0", "method": "textDocument/didOpen",
             "params": {"textDocument": {"uri": uri, "languageId": "veltro", "version": 1,
                                         "text": "let a = [1]\na[0] = 2\n"}}},
            {"jsonrpc": "2.0", "id": 2, "method": "shutdown"},
            {"jsonrpc": "2.0", "method": "exit"},
        ])
        p = subprocess.run([os.path.join(self.root, "usr", "bin", "veltro-lsp")], input=session,
                           capture_output=True, cwd=self.work, timeout=60)
        self.assertEqual(p.returncode, 0, p.stderr)
        bodies = [json.loads(part) for part in re.split(rb"Content-Length: \d+\r\n\r\n", p.stdout) if part]
        published = [b for b in bodies if b.get("method") == "textDocument/publishDiagnostics"]
        link = published[0]["params"]["diagnostics"][0]["codeDescription"]["href"]
        guide = os.path.join(self.root, "usr", "share", "doc", "veltro", "checks.md")
        self.assertEqual(link, "file://" + guide + "#v101")
        with open(guide, encoding="utf-8") as f:
            self.assertIn('<a id="v101"></a>', f.read())

    def test_unicode_without_icu_data(self):
        with open(os.path.join(self.work, "unicode.vt"), "w", encoding="utf-8") as f:
            f.write('let naïve = upper("straße ǆ")\nprint(naïve, lower("ΟΔΟΣ"), "[" + input("") + "]")\n')
        # input trims White_Space: the ideographic and the no-break space too.
        self.assertEqual(self.veltro("unicode.vt", stdin="\u3000x\u00a0\n"), "STRASSE Ǆ\nοδος\n[x]\n")

    def test_programs_are_stripped_and_their_libraries_depended_on(self):
        depends = depends_packages(self.deb)
        for program in ARGS["programs"]:
            path = os.path.join(self.root, "usr", "bin", program)
            description = run(["file", "-b", path]).stdout
            self.assertIn("ELF", description)
            self.assertNotIn("not stripped", description)
            libraries = re.findall(r"=> (/\S+)", run(["ldd", path]).stdout)
            self.assertTrue(libraries, f"{program} links shared libraries")
            for library in libraries:
                owner = owner_of(library)
                self.assertIsNotNone(owner, library)
                self.assertIn(owner, depends, f"{program} needs {library} from {owner}")


def main():
    mode = sys.argv[1]
    if mode == "build":
        build(*sys.argv[2:5])
        return
    ARGS.update(dir=sys.argv[2], version=sys.argv[3], programs=[p for p in sys.argv[4].split(";") if p])
    if mode == "install":
        ARGS["built"] = os.path.abspath(sys.argv[5])
    suite = unittest.defaultTestLoader.loadTestsFromTestCase({"contents": Contents, "install": Install}[mode])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
