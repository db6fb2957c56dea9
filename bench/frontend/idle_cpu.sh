#!/usr/bin/env bash
# The front end's own CPU while it sits in a channel of a local vorlane-lobbyd,
# idle for 10 s with the log-in music playing, beside its CPU while another
# front end sends a chat burst (100 lines in 5 s). It runs the end-to-end
# scenario "idle" of tests/e2e/run_e2e.sh, the measured front end in a real
# window under Xvfb (headless when xvfb-run is missing). Goal: idle <= 3 %.
#   idle_cpu.sh BUILD_DIR
# VORLANE_BENCH_SMOKE=1: a 1 s idle and a short burst, to show it still runs.
set -uo pipefail
build=$(cd "${1:?usage: idle_cpu.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
runner="$here/../../tests/e2e/run_e2e.sh"
report=$(mktemp /tmp/vorlane-idle-cpu.XXXXXX)
trap 'rm -f "$report"' EXIT

if [[ -n "${VORLANE_BENCH_SMOKE:-}" ]]; then
  export E2E_IDLE_MS=1000 E2E_BURST_LINES=10 E2E_BURST_MS=500
else
  export E2E_IDLE_MS=10000 E2E_BURST_LINES=100 E2E_BURST_MS=5000
fi
export E2E_REPORT="$report"
if command -v xvfb-run > /dev/null; then
  where="Xvfb window"
  E2E_VIDEODRIVER=x11 E2E_VIDEO_USER=ivan \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$runner" "$build" idle
else
  where="headless (no xvfb-run)"
  "$runner" "$build" idle
fi
status=$?
if ((status != 0)) || ! grep -q idle_cpu_percent "$report"; then
  echo "idle_cpu: the scenario failed (status $status)"
  exit 1
fi
idle=$(awk '$1 == "idle_cpu_percent" {print $2}' "$report")
burst=$(awk '$1 == "burst_cpu_percent" {print $2}' "$report")
echo "front end CPU, $where, % of one core"
echo "  idle in a channel, $((E2E_IDLE_MS / 1000)) s:      $idle"
echo "  chat burst, $E2E_BURST_LINES lines in ${E2E_BURST_MS} ms: $burst"
if [[ -z "${VORLANE_BENCH_SMOKE:-}" ]]; then
  awk -v idle="$idle" 'BEGIN { print (idle <= 3 ? "  idle goal (<= 3 %) met" : "  idle goal (<= 3 %) missed") }'
fi
