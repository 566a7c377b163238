#!/usr/bin/env bash
# Screenshot check of the editor window: runs mdbedit under a virtual X server with a copy of a
# fixture opened at start-up (MDBEDIT_OPEN, read only by this check) and saves the whole screen.
#
#   scripts/screenshot.sh [FIXTURE.mdb] [OUT.png]
#
# BUILD_DIR selects the build tree (default: build/ of this checkout).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
fixture=${1:-$root/../shared/fixtures/game-indexed.mdb}
out=${2:-$build/shot.png}
exe=$build/app/mdbedit

[[ -x $exe ]] || { echo "no executable at $exe; build first" >&2; exit 1; }
[[ -f $fixture ]] || { echo "no fixture at $fixture" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (apt-get install xvfb)" >&2; exit 1; }
command -v import >/dev/null || { echo "import is missing (apt-get install imagemagick)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$fixture" "$work/"
chmod u+w "$work/$(basename "$fixture")"

unset QT_QPA_PLATFORM
export MDBEDIT_OPEN=$work/$(basename "$fixture")
xvfb-run -a -s "-screen 0 1280x720x24" bash -c '
  "$1" &
  pid=$!
  sleep "${SHOT_DELAY:-4}"
  import -window root "$2"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
' _ "$exe" "$out"
echo "screenshot: $out"
