#!/usr/bin/env bash
# An online game from creation to the return, on loopback against a real
# vorlane-lobbyd, driven by the autopilot:
#   alice (online_host.lua) creates the game "Alpha" in a channel and becomes
#   vorlane-game, which registers the game with the server; bob
#   (online_watch.lua), in the same channel, sees it listed, joins it and
#   becomes vorlane-game too, joining alice's. At the end each vorlane-game
#   starts its player's front end again (main/lobby_exec, a wrapper that runs
#   online_return.lua / online_join_return.lua): both must log in by
#   themselves and land in the same channel, the ended game no longer listed,
#   and alice's statistics must count the game. Bob's game logs in as bob and
#   confirms his seat in alice's game.
#   run_online.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/online_env.sh"

# The front end vorlane-game starts after the game: the same program with the
# script that checks the return. The process keeps its identifier through
# every replacement, so `timeout` below covers the whole chain.
return_wrapper alice online_return.lua
return_wrapper bob online_join_return.lua

start=$SECONDS
front_end alice online_host.lua
alice=${pids[-1]}
front_end bob online_watch.lua
bob=${pids[-1]}
wait "$alice"; ra=$?
wait "$bob"; rb=$?
echo "alice: $ra, bob: $rb, $((SECONDS - start)) s"
grep -h "statistics before" "$work/alice.out"
problem=""
[[ $ra -eq 0 && $rb -eq 0 ]] || problem="a front end failed"
for name in alice bob; do
  grep -q "started again by the game" "$work/$name.out" || problem="$name's game did not hand back"
done
# The host's status lines count the player who joined through the lobby.
grep -q "Players: 2 of" "$work/alice.out" || problem="the host never counted two players"
grep -q "joined an online game" "$work/bob.out" || problem="bob's game did not join"
# Bob's game logged in as bob and took its seat in alice's game.
grep -q "Lobby: seat confirmed in game" "$work/bob.out" || problem="bob's game took no seat"
if [[ -n "$problem" ]]; then
  echo "$problem"
  echo "--- alice"; grep -v "^vorlane-game: [A-Z][a-z]*:" "$work/alice.out" | tail -n 30
  echo "--- bob"; grep -v "^vorlane-game: [A-Z][a-z]*:" "$work/bob.out" | tail -n 30
  echo "--- lobbyd"; tail -n 20 "$work/logs/lobbyd.txt" 2>/dev/null
  exit 1
fi
