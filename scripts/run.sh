#!/usr/bin/env bash
# Installs what is missing, builds the Release configuration into build-release/ and starts the
# editor. On first run it creates a small demo database beside the executable (demo.mdb, made by
# the engine itself from scripts/demo.sql) and lists it in MDB.txt when there is no MDB.txt yet.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."

bash scripts/setup.sh
JOBS=${JOBS:-$(nproc)}
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMDB_GUI=ON -DMDB_TESTS=OFF \
  -DMDB_BENCH=OFF
cmake --build build-release -j "$JOBS"

MDBTOOL=$PWD/build-release/cli/mdbtool
APP_DIR=$PWD/build-release/app
DEMO=$APP_DIR/demo.mdb

if [ ! -f "$DEMO" ]; then
  echo "run: creating the demo database $DEMO"
  tmp="$DEMO.partial"
  rm -f "$tmp"
  "$MDBTOOL" create "$tmp"
  while IFS= read -r statement; do
    case "$statement" in ''|--*) continue ;; esac
    "$MDBTOOL" sql "$tmp" "$statement" >/dev/null
  done < scripts/demo.sql
  "$MDBTOOL" check "$tmp" >/dev/null
  mv "$tmp" "$DEMO"
fi

# The recent-files list: one path per line, CR LF after each, UTF-8 with its byte-order mark.
if [ ! -f "$APP_DIR/MDB.txt" ]; then
  printf '\xef\xbb\xbf%s\r\n' "$DEMO" > "$APP_DIR/MDB.txt"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display (DISPLAY is not set); the editor needs one. The demo database holds:"
  "$MDBTOOL" tables "$DEMO"
  exit 0
fi
exec "$APP_DIR/mdbedit"
