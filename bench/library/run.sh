#!/usr/bin/env bash
# Library benchmark: word counts into a dictionary and array element updates
# at n = 10^4, 10^5, 10^6, which must grow linearly.
set -euo pipefail
python3 "$(dirname "$0")/growth.py" "$1"
