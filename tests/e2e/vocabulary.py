"""The language's vocabulary: keywords, builtins and module functions, as the
tests that check the documentation and the editor grammars expect them.

Builtins and module functions come from the program's own catalogue
(src/modules/catalogue.cpp), the table a unit test keeps equal to the
interpreter's; PARAMETERS maps each name ("print", "files.read") to its
parameter text as the catalogue writes it ("values...", "path, [recursive]")."""
import os
import re

KEYWORDS = ["let", "def", "return", "if", "else", "while", "for", "in", "break", "continue", "true", "false",
            "and", "or", "not", "match", "try", "catch", "global", "use", "as"]

_CATALOGUE = os.path.join(os.path.dirname(__file__), "..", "..", "src", "modules", "catalogue.cpp")
_TABLES = {"kBuiltins": None, "kFiles": "files", "kHttp": "http", "kSdl2": "sdl2", "kText": "text", "kData": "data",
           "kSys": "sys"}


def _read_catalogue():
    with open(_CATALOGUE, encoding="utf-8") as f:
        source = f.read()
    builtins, modules, parameters = [], {}, {}
    for table, module in _TABLES.items():
        body = re.search(rf"{table} = \{{\{{(.*?)\n\}}\}};", source, flags=re.DOTALL)
        if not body:
            raise AssertionError(f"catalogue.cpp: no table {table}")
        entries = re.findall(r'\{"(\w+)", "([^"]*)",', body.group(1))
        names = [name for name, _ in entries]
        if module is None:
            builtins = names
        else:
            modules[module] = names
        for name, params in entries:
            parameters[f"{module}.{name}" if module else name] = params
    return builtins, modules, parameters


BUILTINS, MODULES, PARAMETERS = _read_catalogue()
