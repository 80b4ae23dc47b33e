#!/usr/bin/env bash
# Frames per second of one scene (1,000 filled circles of radius 40 and 1,000
# filled triangles per frame, 800x600, SDL's software renderer, no window
# system), drawn by veltro and by pygame. Each side runs three times, taking
# turns; the best run of each is reported.
set -uo pipefail
veltro="$(realpath "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
export SDL_VIDEODRIVER=dummy SDL_RENDER_DRIVER=software PYGAME_HIDE_SUPPORT_PROMPT=1
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

best() { sort -g | tail -1; }
: >"$work/veltro"
: >"$work/pygame"
for _ in 1 2 3; do
  (cd "$work" && "$veltro" "$here/scene.vt") >>"$work/veltro" || { echo "veltro failed"; exit 1; }
  if /usr/bin/python3 -c "import pygame" 2>/dev/null; then
    /usr/bin/python3 "$here/scene_pygame.py" >>"$work/pygame" || echo "pygame failed"
  fi
done
printf "%-8s %6.1f frames/s\n" veltro "$(best <"$work/veltro")"
if [ -s "$work/pygame" ]; then
  printf "%-8s %6.1f frames/s\n" pygame "$(best <"$work/pygame")"
else
  echo "pygame   (not installed: apt-get install python3-pygame)"
fi
