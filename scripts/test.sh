#!/usr/bin/env bash
# The test run, in stages; each stage builds what it needs and runs its tests:
#   unit    the normal build (BUILD_DIR, default build/): every test but the end-to-end ones
#           (unit, portal, network and chat library tests, the committed skin's check) and
#           the skin generator's fresh run (label skin: ctest -L skin)
#   e2e     the end-to-end tests of the GTK client under Xvfb (the normal build)
#   asan    the unit tests again under AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   tsan    the threaded unit tests (label threaded) under ThreadSanitizer (build-tsan/)
#   fuzz    every fuzz target, each for about 10 s from its seed corpus (build-fuzz/, clang)
#   win     the Windows build (mingw-w64, build-win/) with its tests under Wine
#   format  the C++ sources as clang-format writes them (make format-check)
# The sanitizer builds include the portal: the chat library's tests run its customer-service
# server on threads of their own, so the server is checked there as well. The builds' settings
# are the configure presets of CMakePresets.json (the normal build's in BUILD_DIR).
#
#   scripts/test.sh [BUILD_DIR] [STAGE...]      no stage: all of them, in the order above
# (BUILD_DIR: an existing folder, or one named build... or given as a path)
set -uo pipefail
cd "$(dirname "$0")/.."
all_stages=(unit e2e asan tsan fuzz win format)
build=build
# A first word that is no stage names the build folder: one that exists, or a new one named
# build... or given as a path (a mistyped stage must not start a build of its own).
if [ $# -gt 0 ] && ! [[ " ${all_stages[*]} " == *" $1 "* ]]; then
  if [ -d "$1" ] || [[ $1 == build* || $1 == */* ]]; then
    build=$1
    shift
  else
    echo "test: $1 is neither a stage (${all_stages[*]}) nor a build folder" >&2
    exit 2
  fi
fi
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=("${all_stages[@]}")
for s in "${stages[@]}"; do
  [[ " ${all_stages[*]} " == *" $s "* ]] || { echo "test: no stage $s (stages: ${all_stages[*]})" >&2; exit 2; }
done
# shellcheck source=scripts/stages.sh
. scripts/stages.sh

# built PRESET DIR: builds DIR with the configure preset PRESET (the targets in TARGET, or all)
# once per run; answers whether that build succeeded, and counts a failed one once.
declare -A build_result=()
built() {
  local key="$1 $2 ${TARGET:-}"
  if [ -z "${build_result[$key]:-}" ]; then
    if build_preset "$1" "$2"; then
      build_result[$key]=ok
    else
      build_result[$key]=failed
      echo "build of $2 (preset $1) failed"; failed=$((failed + 1)); status=1
    fi
  fi
  [ "${build_result[$key]}" = ok ]
}

stage_unit() {
  built linux "$build" || return 0
  ctest_stage "unit and portal tests" "$build" -LE '^(e2e|skin)$'
}

# The end-to-end cases drive a real window manager and compositor; a case that fails is run
# once more (and reported above if it then passes).
stage_e2e() {
  built linux "$build" || return 0
  ctest_stage "end-to-end tests (GTK client under Xvfb)" "$build" -L e2e --repeat until-pass:2
}

stage_asan() {
  # Only the programs that hold the tests labelled unit: the rest would be built for nothing.
  TARGET="unit_tests net_tests supportim_tests bridge_wire_test" built asan build-asan || return 0
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest_stage "unit tests under ASan+UBSan" build-asan -L unit -j "$jobs"
}

stage_tsan() {
  # Only the programs that hold threaded tests: the rest would be built for nothing.
  TARGET="unit_tests net_tests supportim_tests" built tsan build-tsan || return 0
  TSAN_OPTIONS=halt_on_error=1 ctest_stage "threaded unit tests under TSan" build-tsan -L threaded -j "$jobs"
}

stage_fuzz() {
  TARGET=fuzz_targets built fuzz build-fuzz || return 0
  ctest_stage "fuzzing the parsers and the script bridge (10 s each)" build-fuzz -L fuzz -j "$jobs"
}

# The Windows build: cross-built with mingw-w64; its tests run under Wine, all inside one X
# session that this stage starts, with a Wine prefix made for this run alone.
stage_win() {
  if ! windows_tools_ready; then
    echo "== Windows stage SKIPPED: the mingw-w64 tool chain, Wine or Xvfb is missing and could not be installed" \
         "(scripts/setup.sh windows)"
    skipped+=("windows-stage")
    return 0
  fi
  local t0=$SECONDS
  # The Linux servers that the network tests talk to (scripts/wine-test-servers.sh).
  TARGET="lumo-portal net_tls_server" built linux "$build"
  built win build-win || return 0
  local t1=$SECONDS prefix
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/rv-wine.XXXXXX")
  # The network tests talk to the servers of the normal build.
  wine_ctest_wrap "$prefix" "$build"
  ctest_stage "Windows tests under Wine (unit tests, the Win32 back end, raduvove.exe end to end and its page paths, HTTP client and chat library, the installer)" build-win
  ctest_wrap=()
  rm -rf "$prefix" "$prefix.lock"
  echo "Windows stage: $((SECONDS - t0)) s (build $((t1 - t0)) s, prefix and tests under Wine $((SECONDS - t1)) s)"
}

stage_format() {
  echo "== C++ sources as clang-format writes them (make format fixes them)"
  if scripts/format.sh --check; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)); status=1
  fi
}

for s in "${stages[@]}"; do "stage_$s"; done

# A test that passes only when run again is a fault of the test run, counted apart; the exit
# status stays that of the tests' final results, so that it keeps meaning "something is broken".
echo
if [ ${#reran[@]} -gt 0 ]; then
  echo "passed only when run again: ${#reran[@]} (${reran[*]})"
else
  echo "passed only when run again: 0"
fi
if [ ${#skipped[@]} -gt 0 ]; then
  echo "skipped: ${#skipped[@]} (${skipped[*]})"
else
  echo "skipped: 0"
fi
# The closing line in the plain form test runners end with (the count of tests that passed
# only when run again is on the line above).
echo "total: $passed passed, $failed failed, ${#skipped[@]} skipped"
exit $status
