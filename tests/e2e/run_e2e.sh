#!/usr/bin/env bash
# Runs one end-to-end scenario: a private copy of the run folder, a
# vorlane-lobbyd on a free loopback port, and the front end(s) driven by the
# autopilot scripts in scripts/.
#   run_e2e.sh BUILD_DIR SCENARIO      (account | two_clients | wrong_password | connection_lost | background
#                                       | stalled | screens | relay | moderation | palettes
#                                       | idle: see bench/frontend/idle_cpu.sh)
# E2E_VIDEODRIVER chooses SDL's video driver (default dummy; x11 under Xvfb),
# for every front end or, with E2E_VIDEO_USER, for that one only (two windows
# on one display take the focus from each other).
set -uo pipefail
build=$(cd "$1" && pwd)
scenario=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/vorlane-e2e.XXXXXX)
server_pid=""
cleanup() {
  if [[ -n "$server_pid" ]]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; fi
  [[ -n "${E2E_KEEP:-}" ]] || rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cp -r "$build/run" "$work/run"
mkdir -p "$work/run/logs" "$work/coord"
sed -i -E "s/^port *=.*/port=$port/" "$work/run/data/lobbynet.ini"
sed -e "s/^port = .*/port = $port/" -e 's/^password_hash = .*/password_hash = minimum/' \
  "$work/run/data/lobbyd.cfg" > "$work/lobbyd.cfg"

# Waits up to 5 s for a server's output file to say it is listening.
await_listening() {
  local out=$1 what=$2
  for _ in $(seq 50); do
    grep -q listening "$out" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "$what did not start"; cat "$out"; return 1
}

start_server() {
  "$build/server/vorlane-lobbyd" --config "$work/lobbyd.cfg" --database "$work/lobbyd.sqlite" \
    --log-dir "$work/logs" > "$work/lobbyd.out" 2>&1 &
  server_pid=$!
  await_listening "$work/lobbyd.out" "vorlane-lobbyd"
}
# The front ends know the server's key already, as a player who compared it
# once would (the relay scenario sees it for the first time).
trust_server() {
  local fingerprint
  fingerprint=$(sed -n 's/^vorlane-lobbyd: TLS key fingerprint //p' "$work/lobbyd.out")
  [[ -n "$fingerprint" ]] && echo "127.0.0.1:$1 $fingerprint" > "$work/run/data/known_servers"
  return 0
}

# front end: run a script in a copy of the run folder, its player's files in
# its own XDG_DATA_HOME (a data/lobby.cfg or data/known_servers put in the copy
# is carried over into it at the start).
front_end() {
  local name=$1 script=$2
  local dir="$work/fe_$name"
  [[ -d "$dir" ]] || cp -r "$work/run" "$dir"
  local video=${E2E_VIDEODRIVER:-dummy}
  [[ -n "${E2E_VIDEO_USER:-}" && "$name" != "$E2E_VIDEO_USER" ]] && video=dummy
  (cd "$dir" && XDG_RUNTIME_DIR="$dir" XDG_DATA_HOME="$dir/home" SDL_VIDEODRIVER="$video" SDL_AUDIODRIVER=dummy E2E_DIR="$here/scripts" \
     E2E_RUN="$work/coord" E2E_USER="$name" \
     timeout 120 "$build/tests/e2e/vorlane-lobby-e2e" "script=$here/scripts/$script")
}

if [[ "$scenario" == background ]]; then
  # The server gives up on a silent connection after 3 s; the client says it
  # is alive every second, if it is serviced.
  sed -i -E -e 's/^srv_checkdeadcon *=.*/srv_checkdeadcon = 3000/' \
    -e 's/^srv_checkdeadcalltime *=.*/srv_checkdeadcalltime = 500/' "$work/lobbyd.cfg"
  sed -i -E 's/^srv_sendalive *=.*/srv_sendalive=1000/' "$work/run/data/lobbynet.ini"
fi
if [[ "$scenario" == idle ]]; then
  # The chat burst may go faster than a player is allowed to type.
  sed -i -E -e 's/^chat_lines_per_second *=.*/chat_lines_per_second = 0/' \
    -e 's/^messages_max *=.*/messages_max = 0/' -e 's/^bytes_max *=.*/bytes_max = 0/' "$work/lobbyd.cfg"
fi
# No lobby server: a listener that takes connections and never answers.
start_stalled_server() {
  python3 - "$port" > "$work/stalled.out" 2>&1 <<'PY' &
import socket, sys
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", int(sys.argv[1])))
listener.listen(8)
print("listening", flush=True)
held = []
while True:
    held.append(listener.accept()[0])
PY
  server_pid=$!
  await_listening "$work/stalled.out" "the stalled listener"
}
# The front end ended within `limit` seconds of the script touching `mark`.
ended_soon_after() {
  python3 -c 'import os, sys, time; sys.exit(0 if time.time() - os.path.getmtime(sys.argv[1]) < float(sys.argv[2]) else 1)' "$1" "$2" ||
    { echo "the front end took too long to end after $(basename "$1")"; return 1; }
}
# two front ends side by side; both must succeed.
front_end_pair() {
  front_end "$1" "$2" & local a=$!
  front_end "$3" "$4" & local b=$!
  wait $a; local ra=$?
  wait $b; local rb=$?
  [[ $ra -eq 0 && $rb -eq 0 ]]
}

if [[ "$scenario" == stalled ]]; then
  start_stalled_server || exit 1
  # The first front end waits 3 s for the log-on instead of 30, to see the
  # time-out; the second keeps the 30 s, which its quit must not wait out.
  cp -r "$work/run" "$work/fe_gina"
  sed -i -E '/^\[LOOMEX_CLIENT\]/a clt_logon_timeout=3000' "$work/fe_gina/data/lobbynet.ini"
  front_end gina stalled.lua || exit 1
  ended_soon_after "$work/coord/closing" 10 || exit 1
  front_end hana stalled_quit.lua || exit 1
  ended_soon_after "$work/coord/quitting" 10 || exit 1
  exit 0
fi
start_server || exit 1
# The operator's tool, and a wait for a step a front end marks in E2E_RUN.
ctl() { "$build/server/vorlane-lobbyctl" --socket "$work/admin.sock" "$@" >> "$work/ctl.out" 2>&1; }
wait_mark() {
  for _ in $(seq 600); do [[ -e "$work/coord/$1" ]] && return 0; sleep 0.1; done
  return 1
}
[[ "$scenario" == relay ]] || trust_server "$port"
case "$scenario" in
  account) front_end anna account_login_chat.lua ;;
  screens)
    # The log-in screen and the lobby, pixel for pixel as recorded in
    # screens.sha256, from a run that logs no error.
    shots=${E2E_SHOTS:-$work/shots}
    mkdir -p "$shots"
    E2E_SHOTS=$shots E2E_LOG="$work/lobby.log" front_end pixel screens.lua || exit 1
    if grep -E '^(16|32) ' "$work/lobby.log"; then
      echo "the front end logged errors"; exit 1
    fi
    (cd "$shots" && sha256sum -c --quiet "$here/screens.sha256") || {
      echo "the screens differ from screens.sha256; E2E_SHOTS=DIR keeps the pictures to look at,"
      echo "and if the change is meant, their sums go into tests/e2e/screens.sha256"
      exit 1
    } ;;
  wrong_password) front_end carla wrong_password.lua ;;
  two_clients) front_end_pair alice two_clients_a.lua bob two_clients_b.lua ;;
  background) front_end_pair erin background_a.lua fred background_b.lua ;;
  idle) front_end_pair ivan idle_a.lua tess idle_b.lua ;;
  relay)
    # The front end talks to a relay that records every byte it passes on.
    relay_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
    sed -i -E "s/^port *=.*/port=$relay_port/" "$work/run/data/lobbynet.ini"
    mkdir -p "$work/relay"
    python3 "$here/record_relay.py" "$relay_port" "$port" "$work/relay" > "$work/relay.out" 2>&1 &
    relay_pid=$!
    await_listening "$work/relay.out" "the relay" || exit 1
    E2E_SECRET=Zq7-relay-pw front_end rita relay.lua; result=$?
    kill "$relay_pid" 2>/dev/null; wait "$relay_pid" 2>/dev/null
    [[ $result -eq 0 ]] || exit 1
    python3 "$here/record_relay.py" --check "$work/relay" Zq7-relay-pw "relay chat line 42" ;;
  moderation)
    # The operator's commands, each when the front end has reached its step.
    ( wait_mark in_lobby && ctl say "Maintenance at 22:00 UTC" &&
      wait_mark line_seen && ctl ban mona 2h spamming the hall ) &
    operator=$!
    shots=${E2E_SHOTS:-$work/shots}
    mkdir -p "$shots"
    E2E_SHOTS=$shots front_end mona moderation.lua; result=$?
    wait "$operator" || { echo "an admin command failed"; cat "$work/ctl.out"; exit 1; }
    [[ $result -eq 0 ]] || exit 1 ;;
  palettes)
    # Every meaningful chat colour on the screen: a server line and a mute.
    ( wait_mark in_lobby && ctl say "Maintenance at 22:00 UTC" &&
      ctl mute pixel 10m flooding ) &
    operator=$!
    shots=${E2E_SHOTS:-$work/shots}
    mkdir -p "$shots"
    E2E_SHOTS=$shots front_end pixel palettes.lua; result=$?
    wait "$operator" || { echo "an admin command failed"; cat "$work/ctl.out"; exit 1; }
    [[ $result -eq 0 ]] || exit 1 ;;
  connection_lost)
    ( for _ in $(seq 600); do
        if [[ -e "$work/coord/in_lobby" ]]; then kill "$server_pid"; break; fi
        sleep 0.1
      done ) &
    front_end dora connection_lost.lua ;;
  *) echo "unknown scenario $scenario"; exit 2 ;;
esac
