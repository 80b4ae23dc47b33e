#!/usr/bin/env bash
# Language benchmarks: veltro side by side with python3 and lua5.4.
set -euo pipefail
python3 "$(dirname "$0")/bench.py" "$1"
