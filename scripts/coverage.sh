#!/usr/bin/env bash
# Line coverage of the client's code, folder by folder. Builds copies of the client with gcc's
# coverage counters (RV_COVERAGE) and without optimisation (Debug: a line's count is the line's
# own, not that of code the compiler merged it with): the Linux one in build-cov (the GTK back
# end, the portal and the tests) and the Windows one in build-win-cov (mingw-w64); runs every
# ctest test of each, the Windows ones under Wine as scripts/test.sh runs them (one X session,
# a Wine prefix made for this run alone, the Linux servers of build-cov); then prints one line
# per folder,
#   fw/common 71.4%
# and writes an HTML report with every file's lines to build-cov/coverage/html/index.html.
#   scripts/coverage.sh [--linux-only | --windows-only] [--quick]
#     --linux-only, --windows-only  build and measure one of the two only
#     --quick                       run only the tests labelled unit
#
# Where the counters land: gcc writes <object>.gcda at the absolute path of the object it
# compiled, when a program that holds the object ends normally. Under Wine the Unix path
# /work/... is found on drive Z: (the root of the host) from any folder of that drive, where
# ctest starts the tests, so the Windows programs write into build-win-cov like the Linux ones
# into build-cov. Each run starts with no counters.
#
# How the builds are merged: gcovr reads each build with the gcov of its compiler (mingw-w64's
# for the Windows one: the two formats differ) into a JSON tracefile, and then adds the two line
# by line: a line counts when either build compiled it, and is covered when either build ran
# it. fw/posix and fw/gtk (with module/ and webext/) are compiled for Linux (of fw/gtk, the
# bridge's wire-format header alone also for a Windows test program), fw/windows and fw/win32
# for Windows alone; the other folders are compiled by both. A folder's
# share is its covered lines over its lines, its headers included; a folder that this run did
# not build is shown as "-". tests/, bench/, portal/, tools/ and fw/headless are not the
# client's code and are left out of the table and the report.
#
# A test that fails does not stop the report: the count of failed tests is printed, and the
# script still ends with status 0. A build that fails ends it with status 1.
set -uo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/stages.sh
. scripts/stages.sh

linux=1 windows=1 quick=0
for arg in "$@"; do
  case $arg in
    --linux-only) windows=0 ;;
    --windows-only) linux=0 ;;
    --quick) quick=1 ;;
    *) echo "usage: $0 [--linux-only | --windows-only] [--quick]" >&2; exit 2 ;;
  esac
done
if [ $linux -eq 0 ] && [ $windows -eq 0 ]; then
  echo "coverage: --linux-only and --windows-only exclude each other" >&2
  exit 2
fi
command -v gcovr >/dev/null || { echo "coverage: gcovr is missing (scripts/setup.sh coverage)" >&2; exit 1; }

# The folders of the table, in its order.
folders=(fw/common fw/posix fw/gtk fw/windows fw/win32 shared ui web net side game app supportim)
linux_build=build-cov
windows_build=build-win-cov
report=$linux_build/coverage
linux_flags=(-DCMAKE_BUILD_TYPE=Debug -DRV_COVERAGE=ON -DRV_GTK=ON -DRV_PORTAL=ON -DRV_TESTS=ON -DRV_BENCH=OFF)
windows_flags=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Debug -DRV_COVERAGE=ON)
gcovr_filters=()
for f in "${folders[@]}"; do gcovr_filters+=(--filter "$f/"); done
tracefiles=()
t0=$SECONDS

# trace BUILD GCOV NAME: the counters of BUILD, read with GCOV, into $report/NAME.json.
trace() {
  local out=$report/$3.json
  if ! gcovr --root . "${gcovr_filters[@]}" --gcov-executable "$2" -j "$jobs" --json "$out" "$1"; then
    echo "coverage: gcovr could not read the counters of $1" >&2
    find . -maxdepth 1 -name '*.gcov' -delete  # gcov's files, which gcovr leaves when it gives up
    return 1
  fi
  tracefiles+=(--add-tracefile "$out")
}

# run_tests BUILD STAGE-NAME: every test of BUILD (with --quick, those labelled unit).
run_tests() {
  find "$1" -name '*.gcda' -delete
  if [ $quick -eq 1 ]; then
    ctest_stage "$2: unit tests" "$1" -L unit
  elif [ "$1" = "$linux_build" ]; then
    # As scripts/test.sh: the end-to-end cases apart, each that fails run once more.
    ctest_stage "$2: unit and portal tests" "$1" -LE e2e
    ctest_stage "$2: end-to-end tests (GTK client under Xvfb)" "$1" -L e2e --repeat until-pass:2
  else
    ctest_stage "$2: all tests" "$1"
  fi
}

# Only what this run measures goes into the report.
rm -rf "$report"
mkdir -p "$report"
if [ $linux -eq 1 ]; then
  build_dir "$linux_build" "${linux_flags[@]}" || { echo "coverage: the Linux build failed"; exit 1; }
  run_tests "$linux_build" "Linux"
  trace "$linux_build" gcov linux || exit 1
fi

if [ $windows -eq 1 ]; then
  if ! windows_tools_ready; then
    echo "coverage: the mingw-w64 tool chain, Wine or Xvfb is missing (scripts/setup.sh coverage)"
    exit 1
  fi
  build_dir "$windows_build" "${windows_flags[@]}" || { echo "coverage: the Windows build failed"; exit 1; }
  # The Windows network tests talk to the portal and the TLS test servers of the Linux build.
  if [ $linux -eq 0 ]; then
    TARGET="lumo-portal net_tls_server" build_dir "$linux_build" "${linux_flags[@]}" ||
      { echo "coverage: the Linux test servers failed to build"; exit 1; }
  fi
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/rv-wine.XXXXXX")
  wine_ctest_wrap "$prefix" "$linux_build"
  run_tests "$windows_build" "Windows (under Wine)"
  ctest_wrap=()
  rm -rf "$prefix" "$prefix.lock"
  gcov=$(command -v x86_64-w64-mingw32-gcov-posix || command -v x86_64-w64-mingw32-gcov)
  trace "$windows_build" "$gcov" windows || exit 1
fi

# The report of both builds, and the table from its lines per file (the CSV's columns:
# filename, line_total, line_covered, ...).
mkdir -p "$report/html"
if ! gcovr --root . "${tracefiles[@]}" --html-details "$report/html/index.html" --html-title "raduvove line coverage" \
     --csv "$report/files.csv"; then
  echo "coverage: gcovr could not write the report" >&2
  exit 1
fi
echo
echo "line coverage per folder:"
awk -F, -v folders="${folders[*]}" '
  NR == 1 { next }
  { files[$1] = $2 " " $3 }
  END {
    n = split(folders, order, " ")
    for (i = 1; i <= n; i++) {
      total = 0; covered = 0
      for (f in files) if (index(f, order[i] "/") == 1) { split(files[f], c, " "); total += c[1]; covered += c[2] }
      if (total == 0) print order[i], "-"
      else printf "%s %.1f%%\n", order[i], 100 * covered / total
    }
  }' "$report/files.csv"
echo
echo "report: $report/html/index.html"
echo "tests: $passed passed, $failed failed, ${#skipped[@]} skipped, ${#reran[@]} passed only when run again;" \
     "$((SECONDS - t0)) s"
exit 0
