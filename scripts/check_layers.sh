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

# Prints the label $1 and the offending lines $2, when there are any.
report() {
  if [ -n "$2" ]; then
    echo "$1:"
    echo "$2"
    status=1
  fi
}

# Prints the lines under $1 that include a path starting like the extended
# regular expression $2 (in quotes or angle brackets).
includes() {
  grep -rnE --include='*.h' --include='*.cpp' "^[[:space:]]*#[[:space:]]*include[[:space:]]*$2" "$1"
}

# Reports the quoted includes under $1 whose path does not match the extended
# regular expression $2, after the label $3.
offending() {
  report "$3" "$(includes "$1" '"' | grep -vE "#[[:space:]]*include[[:space:]]*\"($2)\"")"
}

offending "$src/runtime" 'runtime/[^"]*' "the runtime includes something above it"
for module in "$src"/modules/*/; do
  name=$(basename "$module")
  offending "$module" "runtime/[^\"]*|modules/$name/[^\"]*" "module $name includes more than the runtime and itself"
done
report "the module registry includes more than the runtime and the modules" \
  "$(find "$src/modules" -maxdepth 1 -type f \( -name '*.h' -o -name '*.cpp' \) -print0 |
     xargs -0 -r grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' |
     grep -vE '#[[:space:]]*include[[:space:]]*"(runtime|modules)/[^"]*"')"
report "the interpreter includes a module" "$(includes "$src/interpreter" '[<"]modules/')"
report "SDL headers outside src/modules/sdl2" \
  "$(includes "$src" '[<"](SDL2/)?SDL' | grep -v "^$src/modules/sdl2/")"
exit $status
