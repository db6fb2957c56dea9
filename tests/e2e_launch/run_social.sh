#!/usr/bin/env bash
# Friends, presence, kept lines, search and game alerts end to end, on
# loopback against a real vorlane-lobbyd, with vorlane-game for the games:
#   run_social.sh BUILD_DIR SCENARIO
#   friends  alice asks bob to be friends; bob accepts and watches alice's
#            presence go online -> in channel -> in game -> back, writing her
#            two lines by name while she is in her game; alice, back from the
#            game, finds them in the news panel in order, deletes them as read,
#            and after another log-in they do not come again.
#   search   bob finds carl, who sits in another channel, and joins him there.
#   alert    bob saves a filter; alice opens a game it matches and carl one
#            it does not: bob gets one notice, while his window is inactive.
# E2E_SHOTS=DIR keeps the screenshots the scripts take.
set -uo pipefail
build=$(cd "$1" && pwd)
scenario=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/vorlane-e2e-social.XXXXXX)
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
shots=${E2E_SHOTS:-$work/shots}
mkdir -p "$shots"
sed -i -E "s/^port *=.*/port=$port/" "$work/run/data/lobbynet.ini"
sed -i -E -e "s|^server=.*|server=127.0.0.1|" \
  -e "s|^lan_bcast_port=.*|lan_bcast_port=$game_port|" \
  -e "s|^lan_bcast_addr=.*|lan_bcast_addr=127.255.255.255|" \
  -e "s|^game_exec=.*|game_exec=$build/game/vorlane-game|" \
  -e "s|^lobby_exec=.*|lobby_exec=/bin/true|" "$work/run/data/lobby.cfg"
sed -e "s/^port = .*/port = $port/" -e 's/^password_hash = .*/password_hash = minimum/' \
  -e 's/^game_min_seconds = .*/game_min_seconds = 2/' \
  "$work/run/data/lobbyd.cfg" > "$work/lobbyd.cfg"

"$build/server/vorlane-lobbyd" --config "$work/lobbyd.cfg" --database "$work/lobbyd.sqlite" \
  --log-dir "$work/logs" > "$work/lobbyd.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  grep -q listening "$work/lobbyd.out" 2>/dev/null && break
  sleep 0.1
done
grep -q listening "$work/lobbyd.out" || { echo "vorlane-lobbyd did not start"; cat "$work/lobbyd.out"; exit 1; }
fingerprint=$(sed -n 's/^vorlane-lobbyd: TLS key fingerprint //p' "$work/lobbyd.out")
[[ -n "$fingerprint" ]] && echo "127.0.0.1:$port $fingerprint" > "$work/run/data/known_servers"

# front_end NAME SCRIPT [RETURN_SCRIPT]: the front end vorlane-game starts
# after the game runs RETURN_SCRIPT in the same process (see run_online.sh).
front_end() {
  local name=$1 script=$2 back=${3:-}
  local dir="$work/fe_$name"
  cp -r "$work/run" "$dir"
  if [[ -n "$back" ]]; then
    cat > "$work/return_$name.sh" <<WRAPPER
#!/bin/sh
echo "front end started again by the game"
exec "$build/tests/e2e/vorlane-lobby-e2e" "script=$here/scripts/$back"
WRAPPER
    chmod +x "$work/return_$name.sh"
    sed -i -E "s|^lobby_exec=.*|lobby_exec=$work/return_$name.sh|" "$dir/data/lobby.cfg"
  fi
  (cd "$dir" && XDG_RUNTIME_DIR="$dir" XDG_DATA_HOME="$dir/home" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
     VORLANE_GAME_HEADLESS=1 VORLANE_GAME_DURATION=${E2E_GAME_SECONDS:-12} \
     E2E_DIR="$here/scripts" E2E_RUN="$work/coord" E2E_SHOTS="$shots" E2E_LOG="$work/$name.log" \
     exec timeout 170 "$build/tests/e2e/vorlane-lobby-e2e" "script=$here/scripts/$script") \
    > "$work/$name.out" 2>&1 &
  pids+=($!)
}

case "$scenario" in
  friends)
    front_end alice social_alice.lua social_alice_return.lua
    front_end bob social_bob.lua ;;
  search)
    front_end bob search_bob.lua
    front_end carl search_carl.lua ;;
  alert)
    front_end alice alert_host.lua
    front_end bob alert_bob.lua
    front_end carl alert_host.lua ;;
  *) echo "unknown scenario $scenario"; exit 2 ;;
esac
problem=""
names=(alice bob carl)
for i in "${!pids[@]}"; do
  (( i == 0 )) && continue  # the server
  wait "${pids[$i]}" || problem="a front end failed"
done
if [[ -n "$problem" ]]; then
  echo "$problem"
  for name in "${names[@]}"; do
    [[ -f "$work/$name.out" ]] || continue
    echo "--- $name"; grep -v "^vorlane-game: [A-Z][a-z]*:" "$work/$name.out" | tail -n 30
  done
  echo "--- lobbyd"; tail -n 20 "$work/logs/lobbyd.txt" 2>/dev/null
  exit 1
fi
