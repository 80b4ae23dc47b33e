0Content-Length: 57

{"jsonrpc": "2.0", "method": "initialized", "params": {}}Content-Length: 332

{"jsonrpc": "2.0", "method": "textDocument/didOpen", "params": {"textDocument": {"uri": "file:///fuzz/seed.vt", "languageId": "veltro", "version": 1, "text": "use files;\nlet total = 0\ndef add(a, b) {\n  let s = a + b\n  return s\n}\nif total > 1 { print(1) } else if total { print(\"é😀\") }\nfiles.read(\"x\")\nadd(1, 2)\n"}}}Content-Length: 161

{"jsonrpc": "2.0", "id": 1, "method": "textDocument/hover", "params": {"textDocument": {"uri": "file:///fuzz/seed.vt"}, "position": {"line": 7, "character": 7}}}Content-Length: 166

{"jsonrpc": "2.0", "id": 2, "method": "textDocument/completion", "params": {"textDocument": {"uri": "file:///fuzz/seed.vt"}, "position": {"line": 7, "character": 6}}}Content-Length: 166

{"jsonrpc": "2.0", "id": 3, "method": "textDocument/definition", "params": {"textDocument": {"uri": "file:///fuzz/seed.vt"}, "position": {"line": 8, "character": 1}}}Content-Length: 129

{"jsonrpc": "2.0", "id": 4, "method": "textDocument/documentSymbol", "params": {"textDocument": {"uri": "file:///fuzz/seed.vt"}}}Content-Length: 251

{"jsonrpc": "2.0", "method": "textDocument/didChange", "params": {"textDocument": {"uri": "file:///fuzz/seed.vt", "version": 2}, "contentChanges": [{"range": {"start": {"line": 1, "character": 4}, "end": {"line": 1, "character": 9}}, "text": "sum"}]}}Content-Length: 68

{"jsonrpc": "2.0", "method": "$/cancelRequest", "params": {"id": 1}}Content-Length: 162

{"jsonrpc": "2.0", "id": 5, "method": "textDocument/hover", "params": {"textDocument": {"uri": "file:///fuzz/seed.vt"}, "position": {"line": 3, "character": 10}}}Content-Length: 114

{"jsonrpc": "2.0", "method": "textDocument/didClose", "params": {"textDocument": {"uri": "file:///fuzz/seed.vt"}}}Content-Length: 49

{"jsonrpc": "2.0", "id": 6, "method": "shutdown"}Content-Length: 36

{"jsonrpc": "2.0", "method": "exit"}