#!/usr/bin/env bash
# The C and C++ sources that git tracks, as clang-format writes them (.clang-format):
#   scripts/format.sh            rewrites them in place                (make format)
#   scripts/format.sh --check    changes nothing; names the files that clang-format would
#                                change and fails when there is one    (make format-check)
# CLANG_FORMAT names another clang-format program (default clang-format).
set -uo pipefail
cd "$(dirname "$0")/.."
cf=${CLANG_FORMAT:-clang-format}
command -v "$cf" >/dev/null || { echo "format: $cf is missing (scripts/setup.sh format installs it)" >&2; exit 1; }
files() { git ls-files -z -- '*.cpp' '*.h' '*.hpp' '*.c'; }
[ -n "$(files | head -c 1)" ] || { echo "format: git lists no C or C++ source here" >&2; exit 1; }

if [ "${1:-}" != --check ]; then
  files | xargs -0 "$cf" -i
  exit
fi

# Every difference is one diagnostic "FILE:LINE:COL: error: code should be clang-formatted";
# the files are what a reader needs.
out=$(files | xargs -0 "$cf" --dry-run --Werror 2>&1)
rc=$?
total=$(files | tr -cd '\0' | wc -c)
bad=$(printf '%s\n' "$out" | sed -nE 's/^(.+):[0-9]+:[0-9]+: (error|warning): .*/\1/p' | sort -u)
if [ $rc -eq 0 ] && [ -z "$bad" ]; then
  echo "format: all $total files as clang-format writes them"
  exit 0
fi
if [ -z "$bad" ]; then
  echo "format: $cf failed:"; printf '%s\n' "$out" | tail -n 20
  exit 1
fi
n=$(printf '%s\n' "$bad" | wc -l)
echo "format: $n of $total files differ from what clang-format writes (make format rewrites them):"
printf '%s\n' "$bad" | head -n 30 | sed 's/^/  /'
[ "$n" -gt 30 ] && echo "  ... and $((n - 30)) more"
exit 1
