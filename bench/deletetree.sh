#!/usr/bin/env bash
# DeleteTree beside rm -rf on the same tree: 20,000 files of 512 bytes in 1,000 folders
# (10 x 100), built afresh before every run. Prints the median of RUNS runs of each.
#   bench/deletetree.sh [BUILD_DIR] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
runs=${2:-5}
bench="$build/bench/rv_bench"
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
need_built deletetree "$bench"
need_count deletetree RUNS "$runs"

work_dir deletetree
work=$WORK

build_tree() {
  local t=$1 a b i blob
  rm -rf "$t"
  printf -v blob '%512s' ''
  # Shell built-ins only (no process per file), so building takes about a second.
  for a in 0 1 2 3 4 5 6 7 8 9; do
    for b in $(seq 0 99); do
      mkdir -p "$t/d$a/e$b"
      for i in $(seq 0 19); do printf '%s' "$blob" >"$t/d$a/e$b/f$i"; done
    done
  done
  sync
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

echo "== rm -rf, $runs runs (ms)"
for r in $(seq 1 "$runs"); do
  build_tree "$work/tree"
  s=$(date +%s%N)
  rm -rf "$work/tree"
  e=$(date +%s%N)
  echo $(((e - s) / 1000000))
done | tee "$work/rm.txt"
rm_median=$(median <"$work/rm.txt")

echo "== DeleteTree, $runs runs (builds its own tree of the same shape)"
RV_BENCH_TREE_DIR="$work" "$bench" --benchmark_filter=BM_DeleteTree20000Files \
  --benchmark_repetitions="$runs" --benchmark_format=csv 2>/dev/null |
  awk -F, '/BM_DeleteTree20000Files/ && !/_mean|_median|_stddev|_cv/ {printf "%d\n", $3}' | tee "$work/dt.txt"
dt_median=$(median <"$work/dt.txt")

echo
echo "median: DeleteTree ${dt_median} ms, rm -rf ${rm_median} ms (20,000 files, 1,000 folders)"
