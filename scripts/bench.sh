#!/usr/bin/env bash
# make bench: the micro-benchmarks (bench/, Google Benchmark, headless back end), the other
# benchmark scripts of bench/ and the start-up time of the desktop client under Xvfb, beside
# that of the Windows client under Wine (BUILD_WIN, default build-win, when it was built).
#   scripts/bench.sh [BUILD_DIR]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
status=0

if [ -x "$build/bench/rv_bench" ]; then
  echo "== micro-benchmarks ($build/bench/rv_bench)"
  "$build/bench/rv_bench" || status=1
else
  echo "== micro-benchmarks: $build/bench/rv_bench was not built (RV_BENCH=OFF?)"
fi

if [ -x "$build/bench/supportim/supportim_bench" ]; then
  echo
  echo "== the chat library against the customer-service server ($build/bench/supportim/supportim_bench)"
  "$build/bench/supportim/supportim_bench" || status=1
fi

if [ -x "$build/bench/rv_bench" ] && [ -f "$root/bench/deletetree.sh" ]; then
  echo
  echo "== cache-folder deletion beside rm -rf (bench/deletetree.sh)"
  bash "$root/bench/deletetree.sh" "$build" || status=1
fi

echo
echo "== from an agent's message to the VIP button's first blink frame on the screen (bench/vip_blink.py)"
if [ -x "$build/client/raduvove" ] && [ -x "$build/portal/lumo-portal" ]; then
  python3 "$root/bench/vip_blink.py" "$build" "${VIP_RUNS:-15}" || status=1
else
  echo "vip_blink: the client or the portal ($build/portal/lumo-portal) was not built"
fi

echo
echo "== the boss key under load: F10 round trips with the VIP window open (bench/bosskey_stress.py)"
if [ -x "$build/client/raduvove" ] && [ -x "$build/portal/lumo-portal" ]; then
  python3 "$root/bench/bosskey_stress.py" "$build" --rounds "${BOSSKEY_ROUNDS:-200}" || status=1
else
  echo "bosskey_stress: the client or the portal ($build/portal/lumo-portal) was not built"
fi

echo
echo "== start-up time (exec to launcher window on screen)"
if [ -x "$build/client/raduvove" ]; then
  "$root/bench/startup.sh" "$build" "${STARTUP_RUNS:-21}" || status=1
else
  echo "startup: $build/client/raduvove was not built (RV_GTK=OFF?)"
fi

echo
echo "== start-up time of the Windows client under Wine (exec to launcher window on screen)"
build_win=${BUILD_WIN:-build-win}
if [ -f "$build_win/client/raduvove.exe" ] && { command -v wine64 || command -v wine; } >/dev/null; then
  "$root/bench/startup.sh" --wine "$build_win" "${STARTUP_RUNS:-21}" || status=1
else
  echo "startup: $build_win/client/raduvove.exe was not built (make windows), or Wine is missing"
fi

echo
echo "== start-up time with the local portal (exec to launcher page on screen)"
if [ -x "$build/client/raduvove" ] && [ -x "$build/portal/lumo-portal" ]; then
  "$root/bench/startup.sh" --page "$build" "${STARTUP_RUNS:-21}" || status=1
else
  echo "startup: the client or the portal ($build/portal/lumo-portal) was not built"
fi

echo
echo "== where the launcher page's start-up time goes (bench/startup_phases.sh)"
if [ -x "$build/client/raduvove" ] && [ -x "$build/portal/lumo-portal" ]; then
  "$root/bench/startup_phases.sh" "$build" "${PHASE_RUNS:-10}" || status=1
else
  echo "startup_phases: the client or the portal ($build/portal/lumo-portal) was not built"
fi

echo
echo "== opening a game (OpenGame on the launcher page to the game window on screen)"
if [ -x "$build/client/raduvove" ] && [ -x "$build/portal/lumo-portal" ]; then
  "$root/bench/startup.sh" --game "$build" "${GAME_RUNS:-15}" || status=1
else
  echo "startup: the client or the portal ($build/portal/lumo-portal) was not built"
fi
exit $status
