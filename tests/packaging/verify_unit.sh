#!/usr/bin/env bash
# Checks the service unit with systemd-analyze verify, its program paths
# pointing into the build (verify wants the programs to exist).
#   verify_unit.sh SOURCE_DIR BUILD_DIR        exit 77: no systemd-analyze
set -euo pipefail
source_dir=$1
build=$2
command -v systemd-analyze >/dev/null || { echo "no systemd-analyze"; exit 77; }
work=$(mktemp -d /tmp/vorlane-unit.XXXXXX)
trap 'rm -rf "$work"' EXIT
sed -e "s|@BINDIR@|$build/server|g" -e "s|@CONFIG@|$build/packaging/lobbyd.cfg|g" \
  -e "s|@DOCDIR@|$source_dir/docs|g" "$source_dir/packaging/vorlane-lobbyd.service.in" \
  > "$work/vorlane-lobbyd.service"
# verify prints what it finds wrong and fails on errors; warnings fail too.
output=$(systemd-analyze verify "$work/vorlane-lobbyd.service" 2>&1) || { echo "$output"; exit 1; }
if [[ -n "$output" ]]; then
  echo "$output"
  exit 1
fi
echo "the unit verifies"
