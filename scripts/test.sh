#!/usr/bin/env bash
# The whole test run: the normal build with unit, portal and end-to-end tests, then the unit
# tests again under AddressSanitizer + UndefinedBehaviorSanitizer and the threaded ones under
# ThreadSanitizer, and the Windows build (mingw-w64) with its tests under Wine. The sanitizer
# builds include the portal: the chat library's tests run its customer-service server on
# threads of their own, so the server is checked there as well.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
jobs=${JOBS:-2}
passed=0
failed=0
status=0
reran=()  # tests that failed and then passed when run again
skipped=()  # tests that ctest reports as skipped or disabled: they ran nothing

# ctest_stage NAME BUILD_DIR [ctest args...]; ctest runs through the command in the array
# ctest_wrap when it is set.
ctest_wrap=()
ctest_stage() {
  local name=$1 dir=$2
  shift 2
  echo "== $name"
  local out
  out=$("${ctest_wrap[@]}" ctest --test-dir "$dir" --output-on-failure --timeout 300 "$@" 2>&1)
  local rc=$?
  # A test that failed and then passed when run again: every attempt is in ctest's output, and
  # the last one decides.
  local flaky
  flaky=$(echo "$out" | awk '
    match($0, /Test +#[0-9]+: [^ ]+/) {
      name = substr($0, RSTART, RLENGTH); sub(/Test +#[0-9]+: /, "", name)
      if ($0 ~ /\*\*\*/) { failedOnce[name] = 1; last[name] = "failed" }
      else if ($0 ~ / Passed /) last[name] = "passed"
    }
    END { for (n in failedOnce) if (last[n] == "passed") print n }' | sort)
  if [ $rc -ne 0 ] || [ -n "$flaky" ]; then
    echo "$out"  # all of it: the output of the failed attempts is what a reader needs
  else
    echo "$out" | tail -n 40
  fi
  local nflaky=0
  if [ -n "$flaky" ]; then
    nflaky=$(echo "$flaky" | wc -l)
    echo "passed only when run again in this stage: $(echo $flaky)"
    reran+=($flaky)
  fi
  # Skipped tests count among ctest's passed ones; it lists them apart:
  #   The following tests did not run:
  #   <TAB>  12 - portal.PageScript.SomeTest (Skipped)
  local skips nskips=0
  skips=$(echo "$out" | awk '
    /^The following tests did not run:/ { on = 1; next }
    on && /^[ \t]+[0-9]+ - .* \((Skipped|Disabled)\)$/ {
      s = $0; sub(/^[ \t]+[0-9]+ - /, "", s); sub(/ \((Skipped|Disabled)\)$/, "", s); print s; next }
    { on = 0 }')
  if [ -n "$skips" ]; then
    nskips=$(echo "$skips" | wc -l)
    echo "skipped in this stage: $(echo $skips)"
    skipped+=($skips)
  fi
  local line
  line=$(echo "$out" | grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' | tail -n 1)
  if [ -n "$line" ]; then
    local f t
    f=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
    t=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/')
    passed=$((passed + t - f - nflaky - nskips))
    failed=$((failed + f))
  elif [ $rc -ne 0 ]; then
    failed=$((failed + 1))
  fi
  [ $rc -ne 0 ] && status=1
  return 0
}

# build_dir DIR [cmake args...]; TARGET=name builds one target only.
build_dir() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null || return 1
  if [ -n "${TARGET:-}" ]; then
    cmake --build "$dir" -j "$jobs" --target "$TARGET" || return 1
  else
    cmake --build "$dir" -j "$jobs" || return 1
  fi
}

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
  local wine
  wine=$(command -v wine64 || command -v wine || true)
  if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || [ -z "$wine" ] || ! command -v xvfb-run >/dev/null ||
     [ ! -d /usr/src/googletest ]; then
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
  # The network tests talk to Linux servers of the normal build (the portal, the TLS test
  # servers) over 127.0.0.1.
  ctest_wrap=(xvfb-run -a -s "-screen 0 1920x1080x24" scripts/wine-session.sh "$prefix"
              scripts/wine-test-servers.sh "$build")
  ctest_stage "Windows tests under Wine (unit tests, the Win32 back end, raduvove.exe end to end, HTTP client and chat library)" build-win
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
