#!/bin/sh
# Draws every picture the program ships and writes it into the repository:
# resources/icons/, resources/iconImg/ and the demo platform's icons.
#
#   tools/draw-icons/draw.sh [build-dir]     (default: <repo>/build-draw-icons, or $BUILD_DIR)
#
# Needs Qt 5.15, libqrencode, the "Noto Sans CJK SC" font and ImageMagick's convert.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${1:-${BUILD_DIR:-$repo/build-draw-icons}}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$repo" -B "$build" -G Ninja
fi
cmake --build "$build" --target tessaly-draw-icons

frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT INT TERM

QT_QPA_PLATFORM=offscreen "$build/tools/draw-icons/tessaly-draw-icons" "$repo" "$frames"

# The spinner: twelve frames, 80 ms each, looping forever.
convert -delay 8 -loop 0 -dispose previous "$frames"/frame_*.png "$repo/resources/icons/loading.gif"
echo "wrote resources/icons/loading.gif"
