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
work=$(mktemp -d /tmp/vorlane-e2e-online.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  [[ -n "${E2E_KEEP:-}" ]] || rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
port=$(free_port)
game_port=$(free_port)
cp -rL "$build/run" "$work/run"
mkdir -p "$work/run/logs" "$work/coord"
sed -i -E "s/^port *=.*/port=$port/" "$work/run/data/lobbynet.ini"
# The game host takes players on the LAN port, online too.
sed -i -E -e "s|^server=.*|server=127.0.0.1|" \
  -e "s|^lan_bcast_port=.*|lan_bcast_port=$game_port|" \
  -e "s|^lan_bcast_addr=.*|lan_bcast_addr=127.255.255.255|" \
  -e "s|^game_exec=.*|game_exec=$build/game/vorlane-game|" \
  -e "s|^lobby_exec=.*|lobby_exec=/bin/true|" "$work/run/data/lobby.cfg"
# The game lasts 8 s; the server takes its results after 2.
sed -e "s/^port = .*/port = $port/" -e 's/^password_hash = .*/password_hash = minimum/' \
  -e 's/^game_min_seconds = .*/game_min_seconds = 2/' \
  "$work/run/data/lobbyd.cfg" > "$work/lobbyd.cfg"
grep -q "^game_min_seconds = 2" "$work/lobbyd.cfg" || { echo "lobbyd.cfg has no game_min_seconds"; exit 1; }

"$build/server/vorlane-lobbyd" --config "$work/lobbyd.cfg" --database "$work/lobbyd.sqlite" \
  --log-dir "$work/logs" > "$work/lobbyd.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  grep -q listening "$work/lobbyd.out" 2>/dev/null && break
  sleep 0.1
done
grep -q listening "$work/lobbyd.out" || { echo "vorlane-lobbyd did not start"; cat "$work/lobbyd.out"; exit 1; }
# The players compared the server's key before: their front ends and games know it.
fingerprint=$(sed -n 's/^vorlane-lobbyd: TLS key fingerprint //p' "$work/lobbyd.out")
[[ -n "$fingerprint" ]] && echo "127.0.0.1:$port $fingerprint" > "$work/run/data/known_servers"

# The front end vorlane-game starts after the game: the same program with the
# script that checks the return. The process keeps its identifier through
# every replacement, so `timeout` below covers the whole chain.
return_wrapper() {
  local name=$1 script=$2
  cat > "$work/return_$name.sh" <<WRAPPER
#!/bin/sh
echo "front end started again by the game"
exec "$build/tests/e2e/vorlane-lobby-e2e" "script=$here/scripts/$script"
WRAPPER
  chmod +x "$work/return_$name.sh"
}
return_wrapper alice online_return.lua
return_wrapper bob online_join_return.lua

front_end() {
  local name=$1 script=$2
  local dir="$work/fe_$name"
  cp -r "$work/run" "$dir"
  sed -i -E "s|^lobby_exec=.*|lobby_exec=$work/return_$name.sh|" "$dir/data/lobby.cfg"
  (cd "$dir" && XDG_RUNTIME_DIR="$dir" XDG_DATA_HOME="$dir/home" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
     VORLANE_GAME_HEADLESS=1 VORLANE_GAME_DURATION=${E2E_GAME_SECONDS:-8} \
     E2E_DIR="$here/scripts" E2E_RUN="$work/coord" \
     exec timeout 150 "$build/tests/e2e/vorlane-lobby-e2e" "script=$here/scripts/$script") \
    > "$work/$name.out" 2>&1 &
  pids+=($!)
}

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
