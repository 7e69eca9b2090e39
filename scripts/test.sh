#!/usr/bin/env bash
# The whole test run: the normal build with unit, portal and end-to-end tests, then the unit
# tests again under AddressSanitizer + UndefinedBehaviorSanitizer and the threaded ones under
# ThreadSanitizer, and the Windows build (mingw-w64) with its tests under Wine. The sanitizer
# builds include the portal: the chat library's tests run its customer-service server on
# threads of their own, so the server is checked there as well.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
# shellcheck source=scripts/stages.sh
. scripts/stages.sh

if build_dir "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
  ctest_stage "unit and portal tests" "$build" -LE e2e
  # The end-to-end cases drive a real window manager and compositor; a case that fails is
  # run once more (and reported above if it then passes).
  ctest_stage "end-to-end tests (GTK client under Xvfb)" "$build" -L e2e --repeat until-pass:2
else
  echo "build failed"; failed=$((failed + 1)); status=1
fi

if build_dir build-asan -DCMAKE_BUILD_TYPE=Debug -DRV_SANITIZE=ON -DRV_GTK=OFF -DRV_PORTAL=ON -DRV_BENCH=OFF; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest_stage "unit tests under ASan+UBSan" build-asan -L unit -j "$jobs"
else
  echo "sanitizer build failed"; failed=$((failed + 1)); status=1
fi

if build_dir build-tsan -DCMAKE_BUILD_TYPE=Debug -DRV_TSAN=ON -DRV_GTK=OFF -DRV_PORTAL=ON -DRV_BENCH=OFF; then
  TSAN_OPTIONS=halt_on_error=1 ctest_stage "threaded unit tests under TSan" build-tsan -L unit -j "$jobs" \
    -R 'Thread|Worker|Post|HttpClient|SupportIm'
else
  echo "thread sanitizer build failed"; failed=$((failed + 1)); status=1
fi

# Every fuzz target (tests/fuzz/), each run for about 20 s from its seed corpus.
if CC=clang CXX=clang++ TARGET=fuzz_targets build_dir build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRV_FUZZ=ON -DRV_TESTS=OFF -DRV_GTK=OFF -DRV_PORTAL=OFF -DRV_BENCH=OFF; then
  ctest_stage "fuzzing the parsers and the script bridge (20 s each)" build-fuzz -L fuzz -j "$jobs"
else
  echo "fuzz build failed"; failed=$((failed + 1)); status=1
fi

# The Windows build: cross-built with mingw-w64; its tests run under Wine, all inside one X
# session that this stage starts, with a Wine prefix made for this run alone.
windows_stage() {
  if ! windows_tools_ready; then
    echo "== Windows stage SKIPPED: the mingw-w64 tool chain, Wine or Xvfb is missing and could not be installed" \
         "(scripts/setup.sh windows)"
    skipped+=("windows-stage")
    return 0
  fi
  local t0=$SECONDS
  if ! build_dir build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
    echo "Windows build failed"; failed=$((failed + 1)); status=1
    return 0
  fi
  local t1=$SECONDS prefix
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/rv-wine.XXXXXX")
  # The network tests talk to the servers of the normal build.
  wine_ctest_wrap "$prefix" "$build"
  ctest_stage "Windows tests under Wine (unit tests, the Win32 back end, raduvove.exe end to end and its page paths, HTTP client and chat library)" build-win
  ctest_wrap=()
  rm -rf "$prefix" "$prefix.lock"
  echo "Windows stage: $((SECONDS - t0)) s (build $((t1 - t0)) s, prefix and tests under Wine $((SECONDS - t1)) s)"
}
windows_stage

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
