#!/usr/bin/env bash
# Builds both packages from the build folder (scripts/package, nothing is
# compiled), unpacks them into a temporary root and runs what they install:
# the server checks its shipped configuration and starts once on loopback;
# the front end, started elsewhere, finds its data set in the root and writes
# only into its player's folder ($XDG_DATA_HOME/vorlane).
#   SHOT=FILE keeps its screenshot (BMP).
#   check_packages.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build=$(cd "$2" && pwd)
work=$(mktemp -d /tmp/vorlane-packages.XXXXXX)
server_pid=""
cleanup() {
  if [[ -n "$server_pid" ]]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "$*"; exit 1; }

"$source_dir/scripts/package" --build "$build" --out "$work/debs" --no-build > "$work/package.out" 2>&1 ||
  { cat "$work/package.out"; fail "scripts/package failed"; }
root=$work/root
for name in vorlane-lobby vorlane-lobbyd; do
  deb=$(ls "$work/debs/${name}_"*.deb 2>/dev/null) || fail "no $name package"
  dpkg -x "$deb" "$root" || fail "dpkg -x $deb failed"
done

# The server: its configuration as shipped passes the check.
config=$root/etc/vorlane/lobbyd.cfg
"$root/usr/bin/vorlane-lobbyd" --check-config --config "$config" > "$work/check.out" 2>&1 ||
  { cat "$work/check.out"; fail "the shipped configuration does not pass --check-config"; }
grep -q "/var/lib/vorlane-lobbyd/lobbyd.sqlite" "$work/check.out" ||
  { cat "$work/check.out"; fail "the shipped database is not in /var/lib/vorlane-lobbyd"; }

# ... and starts with it, on loopback, its files in a temporary folder.
mkdir -p "$work/state"
"$root/usr/bin/vorlane-lobbyd" --config "$config" --database "$work/state/lobbyd.sqlite" --port 0 \
  --log-dir "$work/logs" --admin-socket "$work/state/admin.sock" --log-stdout > "$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
  grep -q "listening on 127.0.0.1:" "$work/server.out" && break
  sleep 0.1
done
grep -q "listening on 127.0.0.1:" "$work/server.out" || { cat "$work/server.out"; fail "the server did not start"; }
"$root/usr/bin/vorlane-lobbyctl" --socket "$work/state/admin.sock" channels > "$work/ctl.out" 2>&1 &&
  grep -q "Main Hall" "$work/ctl.out" || { cat "$work/ctl.out"; fail "vorlane-lobbyctl cannot talk to the server"; }
kill -TERM "$server_pid"
wait "$server_pid" || { cat "$work/server.out"; fail "the server did not stop cleanly"; }
server_pid=""
grep -q "Net Driver: READY" "$work/server.out" || fail "--log-stdout did not bring the kernel's log lines"
[[ -e "$work/logs" ]] && fail "--log-stdout still made the log folder"
[[ -f "$work/state/lobbyd-cert.pem" ]] || fail "the certificate is not beside the database"
echo "the installed server checks its configuration, starts and stops"

# The front end from an empty folder; nothing in the root may change.
mkdir -p "$work/elsewhere" "$work/runtime"
touch "$work/before"
sleep 1
shot=${SHOT:-$work/shot.bmp}
(cd "$work/elsewhere" && XDG_DATA_HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
   SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy SHOT="$shot" \
   timeout 60 "$root/usr/bin/vorlane-lobby" "script=$source_dir/tests/packaging/installed_front_end.lua") \
  > "$work/front_end.out" 2>&1 || { cat "$work/front_end.out"; fail "the installed front end failed"; }
[[ -s "$shot" ]] || fail "no screenshot"
changed=$(find "$root" "$work/elsewhere" -newer "$work/before")
[[ -z "$changed" ]] || fail "the front end wrote outside its player's folder: $changed"
grep -q "^name=packaged" "$work/home/vorlane/lobby.cfg" 2>/dev/null ||
  fail "no lobby.cfg with the player's name in \$XDG_DATA_HOME/vorlane"
echo "the installed front end runs from its data set and writes into \$XDG_DATA_HOME/vorlane"
