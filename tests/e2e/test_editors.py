"""Editor support: the VS Code extension's files are valid and its TextMate
grammar gives the expected scopes under the tokenizer VS Code itself uses
(vscode-textmate with vscode-oniguruma, installed from npm at the versions
pinned in editors/test/package-lock.json); the Vim syntax file gives the
expected highlight groups in a headless Vim.

The npm packages go to a cache folder in the system's temporary directory,
keyed by the lock file, so the second run of the suite reuses them (see
npm_cache.py). Without node and npm, or without network access to the
registry, the grammar check is skipped with the reason; without vim, the Vim
check is.

Usage: python3 test_editors.py /path/to/veltro
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from npm_cache import node_modules_for
from vocabulary import BUILTINS, KEYWORDS, MODULES

VELTRO = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "veltro"
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
EDITORS = os.path.join(ROOT, "editors")
VSCODE = os.path.join(EDITORS, "vscode")
TEST_DIR = os.path.join(EDITORS, "test")
SAMPLE = os.path.join(TEST_DIR, "sample.vt")


# (line of sample.vt, token text, which occurrence on the line) -> expected scope / group.
# None means: no scope of the grammar's own (plain text).
TEXTMATE_EXPECTED = [
    ((1, "#", 0), "punctuation.definition.comment.veltro"),
    ((1, " A line comment", 0), "comment.line.number-sign.veltro"),
    ((3, "   over two lines ", 0), "comment.block.veltro"),
    ((4, "use", 0), "keyword.control.import.veltro"),
    ((5, "geo", 1), "entity.name.namespace.veltro"),
    ((6, " player2 ", 0), None),
    ((6, "42", 0), "constant.numeric.integer.veltro"),
    ((7, "3.14", 0), "constant.numeric.float.veltro"),
    ((8, "\\t", 0), "constant.character.escape.veltro"),
    ((8, "\\q", 0), "string.quoted.double.veltro"),
    ((9, "def", 0), "storage.type.function.veltro"),
    ((9, "area", 0), "entity.name.function.veltro"),
    ((9, "w", 0), "variable.parameter.veltro"),
    ((9, "return", 0), "keyword.control.flow.veltro"),
    ((10, "and", 0), "keyword.operator.logical.veltro"),
    ((10, "false", 0), "constant.language.boolean.veltro"),
    ((10, "print", 0), "support.function.builtin.veltro"),
    ((11, "files", 0), "support.module.veltro"),
    ((11, "read", 0), "support.function.module.veltro"),
    ((12, "fill_circle", 0), "support.function.module.veltro"),
    ((13, "match", 0), "keyword.control.conditional.veltro"),
    ((13, "=>", 0), "keyword.operator.arrow.veltro"),
    ((13, "area", 0), "entity.name.function.call.veltro"),
    ((14, "..", 0), "keyword.operator.range.veltro"),
    ((15, "global", 0), "storage.modifier.veltro"),
    # "/*/" does not close the comment it opens: "not" is still inside it.
    ((16, "/ not closed yet ", 0), "comment.block.veltro"),
    ((16, "let", 0), "storage.modifier.veltro"),
]

VIM_EXPECTED = [
    ((1, "A line", 0), "veltroComment"),
    ((2, "block", 0), "veltroBlockComment"),
    ((3, "over", 0), "veltroBlockComment"),
    ((4, "use", 0), "veltroInclude"),
    ((6, "player2", 0), ""),
    ((6, "42", 0), "veltroNumber"),
    ((7, "3.14", 0), "veltroFloat"),
    ((8, "\\t", 0), "veltroEscape"),
    ((8, "\\q", 0), "veltroString"),
    ((9, "def", 0), "veltroDefine"),
    ((9, "area", 0), "veltroFunctionName"),
    ((10, "if", 0), "veltroConditional"),
    ((10, "and", 0), "veltroOperatorWord"),
    ((10, ">=", 0), "veltroOperator"),
    ((10, "false", 0), "veltroBoolean"),
    ((10, "len", 0), "veltroBuiltin"),
    ((11, "files", 0), "veltroModule"),
    ((11, "read", 0), "veltroModuleFunction"),
    ((12, "fill_circle", 0), "veltroModuleFunction"),
    ((13, "match", 0), "veltroConditional"),
    ((15, "global", 0), "veltroStorage"),
    ((16, "not", 0), "veltroBlockComment"),
    ((16, "let", 0), "veltroStorage"),
]


def column_of(line, token, occurrence):
    start = -1
    for _ in range(occurrence + 1):
        start = line.index(token, start + 1)
    return start


def every_name():
    """Each name of every_name_source() in line order, with its kind: a module's function may
    share its name with a builtin (data.slice and slice)."""
    return ([(n, "builtin") for n in BUILTINS] + [(n, "module") for ns in MODULES.values() for n in ns] +
            [(n, "keyword") for n in KEYWORDS])


def every_name_source():
    """A script that calls every builtin and module function, one per line."""
    lines = [f"{name}(1)" for name in BUILTINS]
    lines += [f"{m}.{n}(1)" for m, names in MODULES.items() for n in names]
    lines += [f"{kw} " for kw in KEYWORDS]
    return "\n".join(lines) + "\n"


class VsCodeExtension(unittest.TestCase):
    def load(self, *parts):
        with open(os.path.join(VSCODE, *parts), encoding="utf-8") as f:
            return json.load(f)

    def test_manifest_points_at_the_grammar(self):
        manifest = self.load("package.json")
        grammar = self.load("syntaxes", "veltro.tmLanguage.json")
        self.load("language-configuration.json")
        language = manifest["contributes"]["languages"][0]
        self.assertEqual(language["extensions"], [".vt"])
        self.assertTrue(os.path.exists(os.path.join(VSCODE, language["configuration"])))
        entry = manifest["contributes"]["grammars"][0]
        self.assertEqual(entry["language"], language["id"])
        self.assertEqual(entry["scopeName"], grammar["scopeName"])
        self.assertTrue(os.path.exists(os.path.join(VSCODE, entry["path"])))
        self.assertIn("vscode", manifest["engines"])

    def test_every_pattern_compiles(self):
        """Oniguruma syntax mostly agrees with Python's for what the grammar uses; a
        pattern Python cannot read at all is almost certainly broken."""
        grammar = self.load("syntaxes", "veltro.tmLanguage.json")

        def walk(node):
            if isinstance(node, dict):
                for key in ("match", "begin", "end"):
                    if key in node:
                        re.compile(node[key])
                for value in node.values():
                    walk(value)
            elif isinstance(node, list):
                for value in node:
                    walk(value)
        walk(grammar)
        includes = re.findall(r'"include": "#([\w-]+)"', json.dumps(grammar))
        for name in includes:
            self.assertIn(name, grammar["repository"])


class TextMateScopes(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.node_modules, cls.skip_reason = node_modules_for(TEST_DIR, "vscode-textmate")
        cls.node = shutil.which("node")

    def setUp(self):
        if self.node_modules is None:
            self.skipTest(self.skip_reason)

    def tokenize(self, path):
        env = dict(os.environ, NODE_PATH=self.node_modules)
        p = subprocess.run([self.node, os.path.join(TEST_DIR, "tokenize.js"),
                            os.path.join(VSCODE, "syntaxes", "veltro.tmLanguage.json"), path],
                           capture_output=True, text=True, env=env, timeout=60)
        self.assertEqual(p.returncode, 0, p.stderr)
        return json.loads(p.stdout)

    def test_sample_scopes(self):
        tokens = self.tokenize(SAMPLE)
        with open(SAMPLE, encoding="utf-8") as f:
            lines = f.read().split("\n")
        for (line_no, text, occurrence), scope in TEXTMATE_EXPECTED:
            with self.subTest(line=line_no, token=text):
                start = column_of(lines[line_no - 1], text, occurrence)
                found = None
                pos = 0
                for token in tokens[line_no - 1]:
                    if pos == start and token[0] == text:
                        found = token[1:]
                    pos += len(token[0])
                self.assertIsNotNone(found, f"no token {text!r} at column {start}: {tokens[line_no - 1]}")
                self.assertEqual(found[0], "source.veltro")
                if scope is None:
                    self.assertEqual(found, ["source.veltro"])
                else:
                    self.assertEqual(found[-1], scope, found)

    def test_every_builtin_module_function_and_keyword(self):
        with tempfile.NamedTemporaryFile("w", suffix=".vt", delete=False) as f:
            f.write(every_name_source())
        try:
            tokens = self.tokenize(f.name)
        finally:
            os.unlink(f.name)
        for (name, kind), line in zip(every_name(), tokens):
            scopes = next(t[1:] for t in line if t[0] == name)
            self.assertGreater(len(scopes), 1, f"{name} has no scope")
            if kind == "builtin":
                self.assertEqual(scopes[-1], "support.function.builtin.veltro", name)
            elif kind == "module":
                self.assertEqual(scopes[-1], "support.function.module.veltro", name)


class VimSyntax(unittest.TestCase):
    def setUp(self):
        self.vim = shutil.which("vim")
        if not self.vim:
            self.skipTest("vim is not installed")

    def groups(self, path, positions):
        """Highlight group names at (line, column) positions, 1-based, and the filetype."""
        with tempfile.TemporaryDirectory() as work:
            out = os.path.join(work, "groups.txt")
            script = os.path.join(work, "check.vim")
            with open(script, "w") as f:
                f.write("set nocompatible\n")
                f.write(f"let &runtimepath = {json.dumps(os.path.join(EDITORS, 'vim'))} . ',' . &runtimepath\n")
                f.write("filetype plugin on\nsyntax on\n")
                f.write(f"edit {path}\n")
                f.write("let out = [&filetype]\n")
                for line, col in positions:
                    f.write(f"call add(out, synIDattr(synID({line}, {col}, 1), 'name'))\n")
                f.write(f"call writefile(out, {json.dumps(out)})\nqall!\n")
            p = subprocess.run([self.vim, "-N", "-u", "NONE", "-i", "NONE", "-es", "-S", script],
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
            self.assertTrue(os.path.exists(out), p.stderr)
            with open(out) as f:
                lines = f.read().split("\n")
        return lines[0], lines[1:1 + len(positions)]

    def test_sample_groups(self):
        with open(SAMPLE, encoding="utf-8") as f:
            lines = f.read().split("\n")
        positions = [(n, column_of(lines[n - 1], text, occ) + 1) for (n, text, occ), _ in VIM_EXPECTED]
        filetype, found = self.groups(SAMPLE, positions)
        self.assertEqual(filetype, "veltro")
        for ((n, text, _), want), got in zip(VIM_EXPECTED, found):
            self.assertEqual(got, want, f"line {n}, {text!r}")

    def test_every_builtin_and_module_function(self):
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, "names.vt")
            with open(path, "w") as f:
                f.write(every_name_source())
            positions = [(i + 1, 1) for i in range(len(BUILTINS))]
            for module, names in MODULES.items():
                positions += [(len(positions) + 1, len(module) + 2) for _ in names]  # just after "module."
            positions += [(len(positions) + i + 1, 1) for i in range(len(KEYWORDS))]
            filetype, found = self.groups(path, positions)
        self.assertEqual(filetype, "veltro")
        for (name, kind), group in zip(every_name(), found):
            if kind == "builtin":
                self.assertEqual(group, "veltroBuiltin", name)
            elif kind == "keyword":
                self.assertTrue(group.startswith("veltro") and group != "veltroFunctionName", f"{name}: {group!r}")
            else:
                self.assertEqual(group, "veltroModuleFunction", name)


if __name__ == "__main__":
    unittest.main()
