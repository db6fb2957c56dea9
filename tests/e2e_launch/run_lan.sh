#!/usr/bin/env bash
# Two front ends in LAN mode on loopback, driven by the autopilot: A creates a
# game and becomes vorlane-game (host), B lists it, joins and becomes
# vorlane-game (client); the host must count two players.
#   run_lan.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/vorlane-e2e-lan.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  [[ -n "${E2E_KEEP:-}" ]] || rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
front_end() {
  local name=$1 script=$2
  local dir="$work/fe_$name"
  cp -rL "$build/run" "$dir"
  # The game ends without starting a front end again (lobby_exec = true).
  sed -i -E -e "s|^lan_bcast_port=.*|lan_bcast_port=$port|" \
    -e "s|^lan_bcast_addr=.*|lan_bcast_addr=127.255.255.255|" \
    -e "s|^game_exec=.*|game_exec=$build/game/vorlane-game|" \
    -e "s|^lobby_exec=.*|lobby_exec=/bin/true|" "$dir/data/lobby.cfg"
  (cd "$dir" && XDG_RUNTIME_DIR="$dir" XDG_DATA_HOME="$dir/home" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
     VORLANE_GAME_HEADLESS=1 timeout 90 "$build/tests/e2e/vorlane-lobby-e2e" +lan \
     "script=$here/scripts/$script") > "$work/$name.out" 2>&1 &
  pids+=($!)
}

front_end a lan_host.lua
front_end b lan_join.lua
for _ in $(seq 600); do
  if grep -q "Players: 2" "$work/a.out" 2>/dev/null; then
    echo "host counts two players"
    exit 0
  fi
  sleep 0.1
done
echo "the host never counted two players"
tail -n 20 "$work/a.out" "$work/b.out"
exit 1
