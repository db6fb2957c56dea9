#!/usr/bin/env bash
# Rejoining an online game after the player's game program died, on loopback
# against a real vorlane-lobbyd, driven by the autopilot:
#   alice (online_host.lua) hosts "Alpha" for a minute; bob (online_watch.lua)
#   joins it. Once bob's vorlane-game has confirmed its seat and alice's host
#   counts two players, bob's vorlane-game is killed (SIGKILL): the host
#   counts one and keeps bob's seat. Bob starts his front end again
#   (online_rejoin.lua): he logs in, enters another channel, is offered
#   "Rejoin Alpha" and presses it; his new vorlane-game rejoins, confirms the
#   same seat, and the host counts him back.
#   run_rejoin.sh BUILD_DIR      (E2E_SHOTS=DIR keeps the lobby with the button)
set -uo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/online_env.sh"

# Waits up to `seconds` for a line matching `pattern` in `file`.
await_line() {
  local file=$1 pattern=$2 seconds=$3
  for _ in $(seq $((seconds * 10))); do
    grep -q -- "$pattern" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
show() {
  echo "$1"
  for name in alice bob bob_again; do
    echo "--- $name"; grep -v "^vorlane-game: \(Mission\|Game\|Ends in\)" "$work/$name.out" 2>/dev/null | tail -n 25
  done
  echo "--- lobbyd"; tail -n 20 "$work/logs/lobbyd.txt" 2>/dev/null
  exit 1
}

start=$SECONDS
game_seconds=60 front_end alice online_host.lua
alice=${pids[-1]}
game_seconds=120 front_end bob online_watch.lua
bob=${pids[-1]}
await_line "$work/bob.out" "Lobby: seat confirmed in game" 60 || show "bob's game took no seat"
await_line "$work/alice.out" "Players: 2 of" 20 || show "the host never counted bob"
# Bob's front end became his vorlane-game under `timeout`.
game=$(pgrep -P "$bob")
[[ -n "$game" ]] || show "no game process under bob's timeout"
kill -9 "$game"
wait "$bob" 2>/dev/null
await_line "$work/alice.out" "Seats: bob (away)" 20 || show "the host did not keep bob's seat"
echo "bob's game killed after $((SECONDS - start)) s"

mkdir -p "${E2E_SHOTS:-$work/shots}"
E2E_SHOTS=${E2E_SHOTS:-$work/shots} game_seconds=6 front_end bob_again online_rejoin.lua bob
again=${pids[-1]}
wait "$again"; rb=$?
echo "bob again: $rb after $((SECONDS - start)) s"
[[ $rb -eq 0 ]] || show "bob's second front end or its game failed"
grep -q "rejoined an online game" "$work/bob_again.out" || show "bob's game did not rejoin"
grep -q "Lobby: seat confirmed in game" "$work/bob_again.out" || show "the rejoined game took no seat"
# The host counts bob back in the seat he had.
await_line "$work/alice.out" "Seats: bob, rejoined 1x" 5 || show "the host did not count bob back"
python3 - "$work/alice.out" <<'PY' || show "the host's count did not go 2, 1, 2"
import sys
counts = [line.split()[2] for line in open(sys.argv[1]) if line.startswith("vorlane-game: Players:")]
seen = [c for i, c in enumerate(counts) if i == 0 or c != counts[i - 1]]
sys.exit(0 if "2" in seen and seen[seen.index("2"):][:3] == ["2", "1", "2"] else 1)
PY
wait "$alice"; ra=$?
echo "alice: $ra after $((SECONDS - start)) s"
[[ $ra -eq 0 ]] || show "alice's front end or game failed"
exit 0
