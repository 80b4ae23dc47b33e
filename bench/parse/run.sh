#!/usr/bin/env bash
# Tokenizing and parsing generated scripts of growing size: the times reported
# by the run report (-d) should grow linearly with the size.
set -euo pipefail
veltro="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import sys
unit = '''def f{i}(a, b) {{
  let x = a * {i} + b / 3 - "text {i}" == "x" or not (a < b)
  if x {{ return [1, 2.5, "s", {{k: a, j: b}}] }} else {{ while a > 0 {{ a -= 1 }} }}
  match a {{ 1 => print("one") _ => {{ print(concat("many ", a)) }} }}
  # a comment /* with */ stars
  return f{i}(a - 1, b)[0].upper()
}}
'''
for mb in (1, 2, 4, 8):
    text, i = [], 0
    size = 0
    while size < mb << 20:
        chunk = unit.format(i=i)
        text.append(chunk)
        size += len(chunk)
        i += 1
    # Functions are only declared: nothing runs but the declaration pass.
    open(f"{sys.argv[1]}/gen{mb}.vt", "w").write("".join(text))
PY
printf "%-8s %14s %14s\n" "size" "tokenize ms" "parse ms"
for mb in 1 2 4 8; do
  best_t=""; best_p=""
  for run in 1 2 3; do
    report="$("$veltro" -d "$work/gen$mb.vt" 2>&1 >/dev/null)"
    t="$(printf '%s\n' "$report" | sed -n 's/.*Tokenization completed in \([0-9.]*\)ms.*/\1/p')"
    p="$(printf '%s\n' "$report" | sed -n 's/.*Parsing completed in \([0-9.]*\)ms.*/\1/p')"
    if [ -z "$best_t" ] || python3 -c "import sys; sys.exit(0 if $t < $best_t else 1)"; then best_t="$t"; fi
    if [ -z "$best_p" ] || python3 -c "import sys; sys.exit(0 if $p < $best_p else 1)"; then best_p="$p"; fi
  done
  printf "%-8s %14s %14s\n" "${mb} MiB" "$best_t" "$best_p"
done
