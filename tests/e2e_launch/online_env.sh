# Shared by the online game scenarios (sourced after `build` and `here` are
# set): a private copy of the run folder, a vorlane-lobbyd on a free loopback
# port whose games take their results after 2 s (with E2E_CLUSTER=1 instead
# two of them over scripts/cluster, on $port and $port2), game hosts taking
# players on another free port, and
#   front_end NAME SCRIPT [PLAYER]
# which starts the autopilot front end with SCRIPT in PLAYER's folder (NAME's
# by default; made on first use, logging in to $server_port if set, else to
# $port), its output in $work/NAME.out and its timeout's process identifier
# appended to `pids` and `players`. The front end becomes
# vorlane-game (headless, game_seconds or E2E_GAME_SECONDS long, default 8),
# which at its end starts $work/return_PLAYER.sh if there is one, else
# /bin/true.
#   return_wrapper PLAYER SCRIPT
# makes $work/return_PLAYER.sh, which runs the front end with SCRIPT.
work=$(mktemp -d /tmp/vorlane-e2e-online.XXXXXX)
pids=()
players=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  [[ -d "$work/cluster" ]] && "$here/../../scripts/cluster" down --dir "$work/cluster" >/dev/null 2>&1
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
sed -e "s/^port = .*/port = $port/" -e 's/^password_hash = .*/password_hash = minimum/' \
  -e 's/^game_min_seconds = .*/game_min_seconds = 2/' \
  "$work/run/data/lobbyd.cfg" > "$work/lobbyd.cfg"
grep -q "^game_min_seconds = 2" "$work/lobbyd.cfg" || { echo "lobbyd.cfg has no game_min_seconds"; exit 1; }

if [[ -n "${E2E_CLUSTER:-}" ]]; then
  # Two servers over one store and one bus; the links are plain on loopback.
  # PostgreSQL runs as its own user, which must reach its folder in here.
  chmod 755 "$work"
  "$here/../../scripts/cluster" up 2 --dir "$work/cluster" --build "$build" \
    --set password_hash=minimum --set game_min_seconds=2 > "$work/cluster.out" 2>&1 ||
    { echo "the cluster did not start"; cat "$work/cluster.out"; exit 1; }
  mapfile -t ports < <(sed -n 's/^lobbyd [0-9]* 127.0.0.1://p' "$work/cluster.out")
  port=${ports[0]} port2=${ports[1]}
  sed -i -E -e "s/^port *=.*/port=$port/" -e "s/^tls *=.*/tls=0/" "$work/run/data/lobbynet.ini"
  mkdir -p "$work/logs"
  ln -s "$work/cluster/lobbyd1/logs/lobbyd.txt" "$work/logs/lobbyd.txt"
else
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
fi

front_end() {
  local name=$1 script=$2 player=${3:-$1}
  local dir="$work/fe_$player"
  if [[ ! -d "$dir" ]]; then
    cp -r "$work/run" "$dir"
    sed -i -E "s/^port *=.*/port=${server_port:-$port}/" "$dir/data/lobbynet.ini"
    [[ -x "$work/return_$player.sh" ]] &&
      sed -i -E "s|^lobby_exec=.*|lobby_exec=$work/return_$player.sh|" "$dir/data/lobby.cfg"
  fi
  (cd "$dir" && XDG_RUNTIME_DIR="$dir" XDG_DATA_HOME="$dir/home" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
     VORLANE_GAME_HEADLESS=1 VORLANE_GAME_DURATION=${game_seconds:-${E2E_GAME_SECONDS:-8}} \
     E2E_DIR="$here/scripts" E2E_RUN="$work/coord" \
     exec timeout 150 "$build/tests/e2e/vorlane-lobby-e2e" "script=$here/scripts/$script") \
    > "$work/$name.out" 2>&1 &
  pids+=($!)
  players+=($!)
}

return_wrapper() {
  local name=$1 script=$2
  cat > "$work/return_$name.sh" <<WRAPPER
#!/bin/sh
echo "front end started again by the game"
exec "$build/tests/e2e/vorlane-lobby-e2e" "script=$here/scripts/$script"
WRAPPER
  chmod +x "$work/return_$name.sh"
}
