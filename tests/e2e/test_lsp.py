"""veltro-lsp driven over real pipes as an editor drives it: the lifecycle,
diagnostics as a document is opened, changed and closed, hover, completion,
definition (across module files too), document symbols, positions in UTF-16
and UTF-8, and what a careless or hostile client sends.

The same session is then run by the client library VS Code's extension uses
(editors/vscode's `npm test`, with the npm packages its lock file pins,
installed into a cache folder as the editor tests do); without node, npm or
the registry, that part is skipped with the reason.

Usage: python3 test_lsp.py /path/to/veltro
"""
import json
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

from manpage import check_page
from npm_cache import node_modules_for
from vocabulary import BUILTINS, KEYWORDS, MODULES

VELTRO = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "veltro"
LSP = os.path.join(os.path.dirname(VELTRO), "veltro-lsp")
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TIMEOUT = 30

ELSE_IF = """def grade(n) {
  if n > 90 {
    return "A"
  } else if n > 80 {
    return "B"
  }
  return "C"
}

print(grade(85))
"""

FIXED = ELSE_IF.replace("} else if n > 80 {\n    return \"B\"\n  }", "} else {\n    if n > 80 {\n      return \"B\"\n    }\n  }")


def uri_of(path):
    return "file://" + path


class Client:
    """An editor's end of the pipes: framed JSON-RPC both ways, responses
    matched to requests, notifications kept in order of arrival."""

    def __init__(self, cwd, program=LSP, args=()):
        self.proc = subprocess.Popen([program, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, cwd=cwd)
        self.incoming = queue.Queue()
        self.notifications = []
        self.next_id = 0
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        out = self.proc.stdout
        while True:
            length = None
            while True:
                line = out.readline()
                if not line:
                    self.incoming.put(None)
                    return
                line = line.strip()
                if not line:
                    break
                name, _, value = line.partition(b":")
                if name.strip().lower() == b"content-length":
                    length = int(value)
            self.incoming.put(json.loads(out.read(length)))

    def send_bytes(self, data):
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def send(self, message):
        body = json.dumps(message).encode()
        self.send_bytes(b"Content-Length: %d\r\n\r\n" % len(body) + body)

    def notify(self, method, params=None):
        self.send({"jsonrpc": "2.0", "method": method, **({"params": params} if params is not None else {})})

    def receive(self):
        message = self.incoming.get(timeout=TIMEOUT)
        if message is None:
            raise EOFError("the server closed its output")
        return message

    def response(self, id_):
        while True:
            message = self.receive()
            if "method" in message:
                self.notifications.append(message)
            elif message.get("id") == id_:
                return message

    def request(self, method, params=None):
        """The whole response (result or error)."""
        self.next_id += 1
        self.send({"jsonrpc": "2.0", "id": self.next_id, "method": method,
                   **({"params": params} if params is not None else {})})
        return self.response(self.next_id)

    def result(self, method, params=None):
        reply = self.request(method, params)
        assert "error" not in reply, reply
        return reply["result"]

    def notification(self, method, uri=None):
        """The next notification of `method` (for `uri`), waiting for it."""
        while True:
            for i, n in enumerate(self.notifications):
                if n["method"] == method and (uri is None or n["params"].get("uri") == uri):
                    return self.notifications.pop(i)["params"]
            message = self.receive()
            if "method" in message:
                self.notifications.append(message)

    def diagnostics(self, uri):
        return self.notification("textDocument/publishDiagnostics", uri)["diagnostics"]

    def initialize(self, root, encodings=None, hierarchical=True):
        capabilities = {"textDocument": {"documentSymbol": {"hierarchicalDocumentSymbolSupport": hierarchical}}}
        if encodings:
            capabilities["general"] = {"positionEncodings": encodings}
        result = self.result("initialize", {"processId": os.getpid(), "rootUri": uri_of(root),
                                            "capabilities": capabilities})
        self.notify("initialized", {})
        return result

    def open(self, path, text, version=1):
        self.notify("textDocument/didOpen", {"textDocument": {"uri": uri_of(path), "languageId": "veltro",
                                                              "version": version, "text": text}})
        return self.diagnostics(uri_of(path))

    def change(self, path, text, version):
        self.notify("textDocument/didChange", {"textDocument": {"uri": uri_of(path), "version": version},
                                               "contentChanges": [{"text": text}]})
        return self.diagnostics(uri_of(path))

    def at(self, method, path, line, character):
        return self.result(method, {"textDocument": {"uri": uri_of(path)},
                                    "position": {"line": line, "character": character}})

    def finish(self, shutdown=True):
        if shutdown:
            result = self.result("shutdown")
            assert result is None, result
        self.notify("exit")
        try:
            status = self.proc.wait(timeout=TIMEOUT)
        finally:
            self.proc.stdin.close()
            self.proc.stdout.close()
            self.proc.stderr.close()
        return status

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        for stream in (self.proc.stdin, self.proc.stdout, self.proc.stderr):
            stream.close()


def position_of(text, needle, occurrence=0, utf8=False):
    """(line, character) of a piece of text, in UTF-16 units or UTF-8 bytes."""
    start = -1
    for _ in range(occurrence + 1):
        start = text.index(needle, start + 1)
    line = text.count("\n", 0, start)
    column = text[text.rfind("\n", 0, start) + 1:start]
    return line, len(column.encode("utf-8" if utf8 else "utf-16-le")) // (1 if utf8 else 2)


class LspTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.work = os.path.realpath(self.tmp.name)
        self.client = None

    def tearDown(self):
        if self.client:
            self.client.kill()
        self.tmp.cleanup()

    def start(self, **kw):
        self.client = Client(self.work)
        return self.client.initialize(self.work, **kw)

    def path(self, name, text=None):
        path = os.path.join(self.work, name)
        if text is not None:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        return path


class Session(LspTest):
    def test_an_editing_session(self):
        """The session of an editor from start to end: findings appear, go
        away when fixed, names are explained, completed and followed."""
        capabilities = self.start()["capabilities"]
        self.assertEqual(capabilities["positionEncoding"], "utf-16")
        self.assertEqual(capabilities["textDocumentSync"], {"openClose": True, "change": 1,
                                                            "save": {"includeText": False}})
        self.assertEqual(set(capabilities), {"positionEncoding", "textDocumentSync", "hoverProvider",
                                             "completionProvider", "definitionProvider", "documentSymbolProvider"})
        c = self.client
        script = self.path("grade.vt")
        found = c.open(script, ELSE_IF)
        self.assertEqual([d["code"] for d in found], ["V111"], found)
        d = found[0]
        self.assertEqual(d["range"], {"start": {"line": 3, "character": 4}, "end": {"line": 3, "character": 11}},
                         "on the `else if`")
        self.assertEqual(d["severity"], 2)
        self.assertEqual(d["source"], "veltro-check")
        self.assertIn("`else if` does not chain", d["message"])

        self.assertEqual(c.change(script, FIXED, 2), [])

        hover = c.at("textDocument/hover", script, *position_of(FIXED, "print"))
        self.assertEqual(hover["contents"]["kind"], "markdown")
        self.assertIn("print(values...)", hover["contents"]["value"])
        self.assertIn("Writes each value's text on a line of its own.", hover["contents"]["value"])
        self.assertEqual(hover["range"]["start"], {"line": 11, "character": 0})

        hover = c.at("textDocument/hover", script, *position_of(FIXED, "grade", 1))
        self.assertIn("def grade(n) {", hover["contents"]["value"])
        self.assertIn("`n`", hover["contents"]["value"])
        hover = c.at("textDocument/hover", script, *position_of(FIXED, "n >", 1))
        self.assertIn("a parameter of `grade`", hover["contents"]["value"])

        # An empty line: keywords, every builtin, the modules, the script's functions.
        labels = {i["label"]: i for i in c.at("textDocument/completion", script, 10, 0)}
        for name in BUILTINS + KEYWORDS + list(MODULES) + ["grade"]:
            self.assertIn(name, labels)
        self.assertEqual(labels["grade"]["kind"], 3)
        self.assertEqual(labels["grade"]["detail"], "def grade(n)")
        self.assertNotIn("n", labels, "a parameter only inside its function")
        self.assertEqual(labels["len"]["detail"], "len(value)")

        text = FIXED + "use files;\nfiles.\n"
        c.change(script, text, 3)
        items = c.at("textDocument/completion", script, 13, len("files."))
        self.assertEqual(sorted(i["label"] for i in items), sorted(MODULES["files"]))
        self.assertTrue(all(i["detail"].startswith("files.") for i in items))

        # Definition of the function from its call.
        location = c.at("textDocument/definition", script, *position_of(text, "grade", 1))
        self.assertEqual(location["uri"], uri_of(script))
        self.assertEqual(location["range"], {"start": {"line": 0, "character": 4}, "end": {"line": 0, "character": 9}})

        symbols = c.result("textDocument/documentSymbol", {"textDocument": {"uri": uri_of(script)}})
        self.assertEqual([(s["name"], s["kind"]) for s in symbols], [("grade", 12)])

        # A document it never saw: an answer, with nothing in it.
        other = uri_of(self.path("never.vt"))
        for method in ("textDocument/hover", "textDocument/definition", "textDocument/completion"):
            reply = c.request(method, {"textDocument": {"uri": other}, "position": {"line": 0, "character": 0}})
            self.assertEqual(reply.get("result", "missing"), None, reply)

        c.notify("textDocument/didClose", {"textDocument": {"uri": uri_of(script)}})
        self.assertEqual(c.diagnostics(uri_of(script)), [])
        self.assertEqual(c.finish(), 0)

    def test_exit_without_shutdown_and_end_of_input(self):
        self.start()
        self.assertEqual(self.client.finish(shutdown=False), 1)
        self.client = Client(self.work)
        self.client.initialize(self.work)
        self.client.proc.stdin.close()
        self.assertEqual(self.client.proc.wait(timeout=TIMEOUT), 1)

    def test_positions_follow_the_negotiated_encoding(self):
        """A line with a character outside the BMP before the finding: two
        UTF-16 units, four UTF-8 bytes."""
        text = 'let s = "\U0001F600é"; if s { print(1) } else if s { print(2) }\n'
        for encodings, utf8 in ((None, False), (["utf-8", "utf-16"], True)):
            with self.subTest(encodings=encodings):
                self.assertEqual(self.start(encodings=encodings)["capabilities"]["positionEncoding"],
                                 "utf-8" if utf8 else "utf-16")
                path = self.path("wide.vt")
                found = self.client.open(path, text)
                self.assertEqual([d["code"] for d in found], ["V111"])
                self.assertEqual(found[0]["range"]["start"], dict(zip(("line", "character"),
                                                                      position_of(text, "else if", 0, utf8))))
                hover = self.client.at("textDocument/hover", path, *position_of(text, "print", 1, utf8))
                self.assertIn("print(values...)", hover["contents"]["value"])
                self.assertEqual(self.client.finish(), 0)


class Modules(LspTest):
    def test_definition_hover_and_completion_across_module_files(self):
        geo = self.path("geo.vt", "let pi = 3.14\n\ndef area(r) {\n  return pi * r * r\n}\n")
        text = "use geo;\nuse geo { area };\nprint(geo.area(2))\nprint(area(1))\nprint(geo.pi)\ngeo.\n"
        self.start()
        c = self.client
        script = self.path("main.vt")
        # The findings are the script's own: the unfinished `geo.` on line 6,
        # not those of geo.vt.
        found = c.open(script, text)
        self.assertEqual([(d["code"], d["range"]["start"]["line"]) for d in found],
                         [("V205", 5), ("V302", 5), ("V110", 5)])
        for needle, occurrence in (("area", 1), ("area", 2)):
            location = c.at("textDocument/definition", script, *position_of(text, needle, occurrence))
            self.assertEqual(location["uri"], uri_of(geo))
            self.assertEqual(location["range"]["start"], {"line": 2, "character": 4})
        location = c.at("textDocument/definition", script, *position_of(text, "pi"))
        self.assertEqual((location["uri"], location["range"]["start"]), (uri_of(geo), {"line": 0, "character": 4}))
        location = c.at("textDocument/definition", script, 0, 5)
        self.assertEqual(location["uri"], uri_of(geo), "the module's name leads to its file")

        hover = c.at("textDocument/hover", script, *position_of(text, "area", 1))["contents"]["value"]
        self.assertIn("def area(r) {", hover)
        self.assertIn("geo.vt", hover)
        labels = {i["label"]: i["kind"] for i in c.at("textDocument/completion", script, 5, 4)}
        self.assertEqual(labels, {"area": 3, "pi": 6})

        # The module opened in the editor: its unsaved text is what counts.
        c.notify("textDocument/didOpen", {"textDocument": {"uri": uri_of(geo), "languageId": "veltro", "version": 1,
                                                           "text": "\n\ndef area(r) {\n  return r\n}\n"}})
        location = c.at("textDocument/definition", script, *position_of(text, "area", 1))
        self.assertEqual(location["range"]["start"], {"line": 2, "character": 4})
        self.assertEqual(c.at("textDocument/definition", script, *position_of(text, "pi")), None)
        self.assertEqual(c.finish(), 0)

    def test_findings_of_a_missing_module_and_only_the_documents_own(self):
        self.path("broken.vt", "let a = [1]\na[0] = 2\n")
        self.start()
        found = self.client.open(self.path("main.vt"), "use broken;\nuse nosuch;\n")
        self.assertEqual([(d["code"], d["range"]["start"]["line"]) for d in found], [("V401", 1)])
        self.assertEqual(self.client.finish(), 0)


class Robustness(LspTest):
    def test_what_a_careless_client_sends(self):
        """Broken framing and bytes over the pipe; the server's answers to
        requests out of order or of the wrong shape are in lsp_test.cpp."""
        self.start()
        c = self.client
        c.send_bytes(b"Content-Length: 9\r\n\r\n{not json")
        self.assertEqual(c.response(None)["error"]["code"], -32700)
        c.send_bytes(b"Content-Type: nothing\r\n\r\n")
        self.assertEqual(c.response(None)["error"]["code"], -32700)

        # Bytes that are not UTF-8 inside the JSON text: read as U+FFFD.
        path = self.path("bytes.vt")
        body = (b'{"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":"'
                + uri_of(path).encode() + b'","languageId":"veltro","version":1,"text":"print(1)\xff\xfe\\nx"}}}')
        c.send_bytes(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        found = c.diagnostics(uri_of(path))
        self.assertEqual(found[0]["code"], "V001")
        self.assertEqual(found[0]["range"], {"start": {"line": 0, "character": 8},
                                             "end": {"line": 0, "character": 10}})

        # Positions past the end of a line and of the document.
        for line, character in ((0, 10 ** 6), (10 ** 6, 0), (2 ** 40, 2 ** 40)):
            for method in ("textDocument/hover", "textDocument/completion"):
                reply = c.request(method, {"textDocument": {"uri": uri_of(path)},
                                           "position": {"line": line, "character": character}})
                self.assertNotIn("error", reply, (method, line, character))
        self.assertEqual(c.finish(), 0)

    def test_params_of_every_wrong_shape_to_every_method(self):
        """Each method, as a request and as a notification, with params of
        the wrong types at each level: every request is answered, and the
        open document is still served afterwards."""
        self.start()
        c = self.client
        path = self.path("kept.vt")
        c.open(path, ELSE_IF)
        uri = uri_of(path)
        never = uri_of(self.path("never.vt"))
        shapes = [None, [], "x", 5, {"textDocument": 5}, {"textDocument": {"uri": 5}},
                  {"textDocument": {"uri": never}},
                  {"textDocument": {"uri": uri}, "position": {"line": "0", "character": None}},
                  {"textDocument": {"uri": never}, "position": {"line": 0, "character": 0}, "contentChanges": [{}]},
                  {"textDocument": {"uri": uri, "version": "x"}, "position": [0, 0],
                   "contentChanges": [5, {"text": 5}, {"range": "x", "text": ""}]},
                  {"textDocument": {"uri": uri, "text": ["x"]}, "contentChanges": {"text": "x"}},
                  {"capabilities": {"general": {"positionEncodings": [5, None]}}, "workspaceFolders": [5]}]
        methods = ("textDocument/hover", "textDocument/completion", "textDocument/definition",
                   "textDocument/documentSymbol", "textDocument/didChange", "textDocument/didSave",
                   "textDocument/didOpen", "initialized", "$/cancelRequest", "initialize", "no/such")
        for method in methods:
            for params in shapes:
                reply = c.request(method, params)
                self.assertTrue("result" in reply or "error" in reply, (method, params, reply))
                c.notify(method, params)
        # The document is as it was opened: its findings, its hover.
        c.notify("textDocument/didSave", {"textDocument": {"uri": uri}})
        hover = c.at("textDocument/hover", path, *position_of(ELSE_IF, "print"))
        self.assertIn("print(values...)", hover["contents"]["value"])
        published = [n["params"] for n in c.notifications if n["method"] == "textDocument/publishDiagnostics"]
        self.assertTrue(published)
        for p in published:
            self.assertEqual((p["uri"], [d["code"] for d in p["diagnostics"]]), (uri, ["V111"]))
        self.assertEqual(c.finish(), 0)


class InstalledGuide(LspTest):
    def test_diagnostics_link_to_the_installed_guide(self):
        build = os.path.dirname(VELTRO)
        if not os.path.exists(os.path.join(build, "cmake_install.cmake")) or not shutil.which("cmake"):
            self.skipTest("the binary is not in a CMake build folder")
        prefix = os.path.join(self.work, "prefix")
        p = subprocess.run(["cmake", "--install", build, "--prefix", prefix], capture_output=True, text=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.client = Client(self.work, program=os.path.join(prefix, "bin", "veltro-lsp"), args=["--stdio"])
        self.client.initialize(self.work)
        found = self.client.open(self.path("grade.vt"), ELSE_IF)
        guide = os.path.join(prefix, "share", "doc", "veltro", "checks.md")
        self.assertEqual(found[0]["codeDescription"], {"href": uri_of(guide) + "#v111"})
        with open(guide, encoding="utf-8") as f:
            self.assertIn('<a id="v111"></a>', f.read())
        self.assertEqual(self.client.finish(), 0)


class CommandLine(unittest.TestCase):
    def test_help_version_and_bad_options(self):
        p = subprocess.run([LSP, "--help"], capture_output=True, text=True)
        self.assertEqual((p.returncode, p.stderr), (0, ""))
        self.assertIn("Language Server Protocol", p.stdout)
        p = subprocess.run([LSP, "-v"], capture_output=True, text=True)
        self.assertRegex(p.stdout, r"^veltro-lsp version \d+\.\d+\.\d+\n$")
        p = subprocess.run([LSP, "--tcp"], capture_output=True, text=True)
        self.assertEqual(p.returncode, 2)
        self.assertIn("unknown option '--tcp'", p.stderr)

    def test_manual_page(self):
        check_page(self, os.path.join(ROOT, "docs", "veltro-lsp.1"), LSP,
                   ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "FILES", "EXAMPLES", "SEE ALSO"))


class EditorClient(unittest.TestCase):
    """editors/vscode's `npm test`: the extension compiles, and the session
    runs through vscode-languageserver-protocol, the library under
    vscode-languageclient."""

    def test_npm_test(self):
        extension = os.path.join(ROOT, "editors", "vscode")
        modules, reason = node_modules_for(extension, "vscode-languageclient")
        if modules is None:
            self.skipTest(reason)
        with tempfile.TemporaryDirectory() as work:
            copy = os.path.join(work, "vscode")
            shutil.copytree(extension, copy, ignore=shutil.ignore_patterns("node_modules", "out"))
            os.symlink(modules, os.path.join(copy, "node_modules"))
            p = subprocess.run(["npm", "test", "--silent"], cwd=copy, capture_output=True, text=True, timeout=300,
                               env=dict(os.environ, VELTRO_LSP=LSP))
            self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
            self.assertIn("diagnostics: V111", p.stdout)


if __name__ == "__main__":
    unittest.main()
