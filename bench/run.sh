#!/usr/bin/env bash
# Runs every benchmark group (bench/<group>/run.sh) against the given veltro binary.
set -uo pipefail
veltro="$(realpath "${1:-build/veltro}")"
here="$(cd "$(dirname "$0")" && pwd)"
status=0
for group in "$here"/*/run.sh; do
  [ -f "$group" ] || continue
  echo "== $(basename "$(dirname "$group")") =="
  bash "$group" "$veltro" || status=1
  echo
done
exit $status
