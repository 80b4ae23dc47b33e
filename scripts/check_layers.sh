#!/usr/bin/env bash
# Checks the layers of the source tree by its #include lines:
#   - src/runtime includes nothing but itself;
#   - a module (src/modules/NAME) includes only the runtime and its own folder;
#     the files directly in src/modules (the registry, the catalogue) include
#     the runtime and the modules;
#   - src/interpreter includes no module;
#   - SDL headers appear only in src/modules/sdl2.
# Usage: scripts/check_layers.sh [SRC_DIR]   (default: the src folder beside this script)
# Prints every offending line and exits with status 1 when there is one.
set -uo pipefail
src="${1:-$(cd "$(dirname "$0")/.." && pwd)/src}"
[ -d "$src/runtime" ] && [ -d "$src/modules" ] && [ -d "$src/interpreter" ] || {
  echo "check_layers: $src has no runtime, modules and interpreter folders" >&2
  exit 2
}
status=0

# Prints the lines of the quoted includes under $1 whose path does not match
# the extended regular expression $2, after the label $3.
offending() {
  local found
  found=$(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$1" |
          grep -vE "#[[:space:]]*include[[:space:]]*\"($2)\"")
  if [ -n "$found" ]; then
    echo "$3:"
    echo "$found"
    status=1
  fi
}

offending "$src/runtime" 'runtime/[^"]*' "the runtime includes something above it"
for module in "$src"/modules/*/; do
  name=$(basename "$module")
  offending "$module" "runtime/[^\"]*|modules/$name/[^\"]*" "module $name includes more than the runtime and itself"
done
found=$(find "$src/modules" -maxdepth 1 -type f \( -name '*.h' -o -name '*.cpp' \) -print0 |
        xargs -0 -r grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' |
        grep -vE '#[[:space:]]*include[[:space:]]*"(runtime|modules)/[^"]*"')
if [ -n "$found" ]; then
  echo "the module registry includes more than the runtime and the modules:"
  echo "$found"
  status=1
fi
found=$(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]modules/' "$src/interpreter")
if [ -n "$found" ]; then
  echo "the interpreter includes a module:"
  echo "$found"
  status=1
fi
found=$(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](SDL2/)?SDL' "$src" |
        grep -v "^$src/modules/sdl2/")
if [ -n "$found" ]; then
  echo "SDL headers outside src/modules/sdl2:"
  echo "$found"
  status=1
fi
exit $status
