#!/usr/bin/env bash
# Installs the Debian packages veltro needs to build and test, only those missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsdl2-dev libicu-dev libfmt-dev libedit-dev libgtest-dev nlohmann-json3-dev
  python3 curl xvfb xauth tmux groff-base vim
  dpkg-dev file lintian
)
if [ "${1:-}" = "--bench" ]; then
  packages+=(lua5.4 python3-pygame wrk nginx-light hyperfine)
fi
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
