#!/bin/sh
# Checks the committed skin in res/: sizes and layout of every picture, the
# launcher background's outline and page area, the icon file and the desktop icons.
#   tools/skingen/check.sh           check res/ as it is
#   tools/skingen/check.sh --fresh   also rebuild the generator, run it twice
#                                    and require both runs to give exactly the
#                                    files in res/ (deterministic and current)
# The launcher's page area and buttons come from shared/launcher_layout.h,
# written out as JSON by the program the build uses for launcher_layout.json
# (tools/launcher_layout), compiled here on its own.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/skingen-check.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

${CXX:-c++} -std=c++20 -I"$root" "$root/tools/launcher_layout/launcher_layout_json.cpp" -o "$work/launcher_layout_json"
"$work/launcher_layout_json" "$work/launcher_layout.json"
python3 "$here/check.py" "$root/res" "$work/launcher_layout.json"

if [ "${1:-}" = "--fresh" ]; then
    cmake -S "$here" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    ninja -C "$work/build" -j2 >/dev/null
    "$work/build/skingen" "$work/a"
    "$work/build/skingen" "$work/b"
    status=0
    diff -r "$work/a" "$work/b" >/dev/null || { echo "FAIL two runs of the generator differ"; status=1; }
    for f in "$work"/a/png/*.png "$work/a/app.ico" "$work"/a/icons/*.png; do
        rel=${f#"$work/a/"}
        cmp -s "$f" "$root/res/$rel" || { echo "FAIL res/$rel is not what the generator makes"; status=1; }
    done
    [ $status -eq 0 ] && echo "fresh generation: identical to res/ and deterministic"
    exit $status
fi
