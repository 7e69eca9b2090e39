#!/bin/sh
# Rebuilds the skin generator and regenerates res/png/<id>.png, res/app.ico and
# res/icons/<size>.png.
#   tools/skingen/regen.sh [--preview DIR]
# With --preview, also writes composed preview images into DIR.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
preview=""
if [ "${1:-}" = "--preview" ]; then
    [ -n "${2:-}" ] || { echo "usage: $0 [--preview DIR]" >&2; exit 2; }
    preview=$2
elif [ $# -gt 0 ]; then
    echo "usage: $0 [--preview DIR]" >&2
    exit 2
fi

build=$(mktemp -d "${TMPDIR:-/tmp}/skingen-build.XXXXXX")
trap 'rm -rf "$build"' EXIT INT TERM

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" -j2 >/dev/null
"$build/skingen" "$root/res"
echo "skin written to $root/res/png, $root/res/app.ico and $root/res/icons"

if [ -n "$preview" ]; then
    mkdir -p "$preview"
    "$build/skingen" --preview "$root/res" "$preview"
    echo "previews written to $preview"
fi
