#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# Usage: scripts/fuzz.sh SECONDS [BUILD_DIR]
set -euo pipefail
seconds="${1:-60}"
build="${2:-build-fuzz}"
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRO_FUZZ=ON \
  -DVELTRO_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target lexer_fuzz parser_fuzz interpreter_fuzz lsp_fuzz generated_fuzz

# Seeds: every script of the test suite, and every input that once failed a
# harness (tests/fuzz/regressions); libFuzzer runs all of them before fuzzing.
seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds"
find tests/scripts examples tests/fuzz/regressions -name '*.vt' -exec cp {} "$seeds/" \; 2>/dev/null || true
# The language server's target also starts from editor sessions.
lsp_seeds="$build/seeds-lsp"
rm -rf "$lsp_seeds"
cp -r "$seeds" "$lsp_seeds"
cp tests/fuzz/lsp/* "$lsp_seeds/"
# The generated target's inputs are the generator's choices, not scripts: it
# starts from nothing.
generated_seeds="$build/seeds-generated"
mkdir -p "$generated_seeds"

status=0
for target in lexer parser interpreter lsp generated; do
  corpus="$build/corpus-$target"
  mkdir -p "$corpus" "$build/findings-$target"
  target_seeds="$seeds"
  [ "$target" = lsp ] && target_seeds="$lsp_seeds"
  [ "$target" = generated ] && target_seeds="$generated_seeds"
  echo "== $target: ${seconds}s =="
  if ! "$build/tests/fuzz/${target}_fuzz" "$corpus" "$target_seeds" -max_total_time="$seconds" \
      -max_len=4096 -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$build/findings-$target/" 2>"$build/$target.log"; then
    echo "$target: finding (see $build/findings-$target and $build/$target.log)"
    tail -n 40 "$build/$target.log"
    status=1
  fi
  grep -E '^stat::number_of_executed_units' "$build/$target.log" || true
done
exit $status
