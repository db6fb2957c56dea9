#!/usr/bin/env bash
# Friends, presence, kept lines, search and game alerts end to end, on
# loopback against a real vorlane-lobbyd, with vorlane-game for the games:
#   run_social.sh BUILD_DIR SCENARIO
#   friends  alice asks bob to be friends; bob accepts and watches alice's
#            presence go online -> in channel -> in game -> back, writing her
#            two lines by name while she is in her game; alice, back from the
#            game, finds them in the news panel in order, deletes them as read,
#            and after another log-in they do not come again.
#   search   bob finds carl, who sits in another channel, and joins him there;
#            carl's line from before shows as history.
#   alert    bob saves a filter; carl opens a game it does not match (no
#            notice) and alice, while bob's window is inactive, one it does:
#            bob finds the notice when he comes back.
# With E2E_CLUSTER=1 the second player (bob in friends, carl in search) logs
# in to the second server of a two-server cluster.
# E2E_SHOTS=DIR keeps the screenshots the scripts take.
set -uo pipefail
build=$(cd "$1" && pwd)
scenario=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/online_env.sh"
export E2E_SHOTS=${E2E_SHOTS:-$work/shots}
mkdir -p "$E2E_SHOTS"

case "$scenario" in
  friends)
    return_wrapper alice social_alice_return.lua
    game_seconds=12 front_end alice social_alice.lua
    server_port=${port2:-$port} front_end bob social_bob.lua ;;
  search)
    front_end bob search_bob.lua
    server_port=${port2:-$port} front_end carl search_carl.lua ;;
  alert)
    # Two games at once: alice's host takes players on a port of its own.
    cp -r "$work/run" "$work/fe_alice"
    sed -i -E "s|^lan_bcast_port=.*|lan_bcast_port=$(free_port)|" "$work/fe_alice/data/lobby.cfg"
    E2E_LOG="$work/bob.log" front_end bob alert_bob.lua
    front_end carl alert_carl.lua
    game_seconds=30 front_end alice alert_alice.lua ;;
  *) echo "unknown scenario $scenario"; exit 2 ;;
esac
problem=""
for pid in "${players[@]}"; do
  wait "$pid" || problem="a front end failed"
done
if [[ "$scenario" == alert && -z "$problem" ]]; then
  # One notice, for alice's game; none for carl's.
  notices=$(grep -c "LOBBYNET: notice: A game for your filter" "$work/bob.log")
  [[ "$notices" == 1 ]] || problem="bob got $notices game notices"
fi
if [[ -n "$problem" ]]; then
  echo "$problem"
  for name in alice bob carl; do
    [[ -f "$work/$name.out" ]] || continue
    echo "--- $name"; grep -v "^vorlane-game: [A-Z][a-z]*:" "$work/$name.out" | tail -n 30
  done
  echo "--- lobbyd"; tail -n 20 "$work/logs/lobbyd.txt" 2>/dev/null
  exit 1
fi
