#!/usr/bin/env bash
# The layering check finds each kind of offending include in a small tree,
# and passes the same tree without them.
set -uo pipefail
check="$1"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/src/{runtime,interpreter,modules/sdl2,modules/files}
printf '#include <vector>\n#include "runtime/refcount.h"\n' > "$tree/src/runtime/value.h"
printf '#include "runtime/value.h"\n#include "parser/ast.h"\n' > "$tree/src/interpreter/call.cpp"
printf '#include <SDL.h>\n#include "runtime/value.h"\n#include "modules/sdl2/raster.h"\n' > "$tree/src/modules/sdl2/window.cpp"
printf '#include "runtime/text.h"\n' > "$tree/src/modules/files/files.cpp"
printf '#include "modules/files/files.h"\n#include "runtime/native.h"\n' > "$tree/src/modules/registry.cpp"
bash "$check" "$tree/src" || { echo "a tree without offending includes failed"; exit 1; }

fails() {  # file, line: the check fails on it and names the file
  cp "$1" "$1.kept"
  echo "$2" >> "$1"
  out=$(bash "$check" "$tree/src")
  status=$?
  mv "$1.kept" "$1"
  if [ $status -ne 1 ] || ! grep -qF "$1" <<< "$out"; then
    echo "not found: $2 in $1 (status $status)"
    exit 1
  fi
}
fails "$tree/src/runtime/value.h" '#include "interpreter/interpreter.h"'
fails "$tree/src/runtime/value.h" '#include "parser/ast.h"'
fails "$tree/src/runtime/value.h" '#include "modules/registry.h"'
fails "$tree/src/interpreter/call.cpp" '#include "modules/files/files.h"'
fails "$tree/src/interpreter/call.cpp" '#include <SDL2/SDL_keycode.h>'
fails "$tree/src/modules/files/files.cpp" '#include "interpreter/interpreter.h"'
fails "$tree/src/modules/files/files.cpp" '#include "modules/sdl2/raster.h"'
fails "$tree/src/modules/registry.cpp" '#include "lexer/lexer.h"'
echo "ok"
