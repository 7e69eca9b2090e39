# The pieces of a test run that scripts/test.sh and scripts/coverage.sh share: building a
# folder (with a preset of CMakePresets.json or flags of its own), a ctest stage with its counts, and the X session with Wine in which the Windows tests
# run. Sourced; the counts are the caller's to print.
# shellcheck shell=bash

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

# build_preset PRESET DIR: configures DIR with the configure preset PRESET of CMakePresets.json
# and builds it; TARGET="name..." builds those targets only.
build_preset() {
  local preset=$1 dir=$2
  cmake --preset "$preset" -B "$dir" >/dev/null || return 1
  _build "$dir"
}

# build_dir DIR [cmake args...]; TARGET="name..." builds those targets only.
build_dir() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null || return 1
  _build "$dir"
}

_build() {
  local dir=$1
  if [ -n "${TARGET:-}" ]; then
    # shellcheck disable=SC2086  # one word per target
    cmake --build "$dir" -j "$jobs" --target $TARGET || return 1
  else
    cmake --build "$dir" -j "$jobs" || return 1
  fi
}

# windows_tools_ready: whether the mingw-w64 tool chain, Wine, Xvfb, NSIS and GoogleTest's
# sources are there (scripts/setup.sh windows installs them).
windows_tools_ready() {
  command -v x86_64-w64-mingw32-g++-posix >/dev/null && { command -v wine64 >/dev/null || command -v wine >/dev/null; } &&
    command -v xvfb-run >/dev/null && command -v makensis >/dev/null && [ -d /usr/src/googletest ]
}

# wine_ctest_wrap PREFIX LINUX_BUILD: makes ctest_stage run ctest inside one X session with the
# Wine prefix PREFIX (made for this run alone) and its server; the network tests talk to Linux
# servers of LINUX_BUILD (the portal, the TLS test servers) over 127.0.0.1.
wine_ctest_wrap() {
  ctest_wrap=(xvfb-run -a -s "-screen 0 1920x1080x24" scripts/wine-session.sh "$1"
              scripts/wine-test-servers.sh "$2")
}
