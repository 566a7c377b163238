#!/usr/bin/env bash
# Compares a full read of big.mdb by our engine with mdbtools' mdb-export, in the same run.
# Usage: bench/compare_read.sh BUILD_DIR [MDB_FILE]   (builds nothing; N=5 runs of each)
# Ours: `mdbtool dump FILE > /dev/null` (every row of every table, formatted as JSON lines).
# Theirs: `mdb-export FILE TABLE > /dev/null` for every user table (formatted as CSV).
# Prints the median wall time of each, the ratio, and the peak resident memory of our read.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: compare_read.sh BUILD_DIR [MDB_FILE]" >&2; exit 2; }
BUILD=$(readlink -f "$1")
ROOT=$(dirname "$(readlink -f "$0")")/..
FILE=$(readlink -f "${2:-$ROOT/../shared/fixtures/big.mdb}")
N=${N:-5}
MDBTOOL=$BUILD/cli/mdbtool
[ -x "$MDBTOOL" ] || { echo "no mdbtool in $BUILD/cli (build it first)" >&2; exit 1; }
[ -f "$FILE" ] || { echo "no such file: $FILE" >&2; exit 1; }
command -v mdb-export >/dev/null && command -v mdb-tables >/dev/null ||
  { echo "mdbtools is not installed (scripts/setup.sh)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (package time)" >&2; exit 1; }

mapfile -t TABLES < <(mdb-tables -1 "$FILE")

now_ns() { date +%s%N; }
ours() { "$MDBTOOL" dump "$FILE" > /dev/null; }
theirs() { for t in "${TABLES[@]}"; do mdb-export "$FILE" "$t" > /dev/null; done; }

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ours_ms=(); theirs_ms=()
for ((i = 1; i <= N; i++)); do   # interleaved, so both see the same machine load
  t0=$(now_ns); ours; t1=$(now_ns); theirs; t2=$(now_ns)
  ours_ms+=($(( (t1 - t0) / 1000000 ))); theirs_ms+=($(( (t2 - t1) / 1000000 )))
done

ours_med=$(printf '%s\n' "${ours_ms[@]}" | median)
theirs_med=$(printf '%s\n' "${theirs_ms[@]}" | median)
rss_kb=$( { /usr/bin/time -v "$MDBTOOL" dump "$FILE" > /dev/null; } 2>&1 |
          awk -F': ' '/Maximum resident set size/ { print $2 }')
rows=$("$MDBTOOL" dump "$FILE" | grep -c '"row":\[' || true)

echo "file:                 $FILE ($(du -h "$FILE" | cut -f1), ${#TABLES[@]} tables, $rows rows)"
echo "runs:                 $N each, interleaved"
echo "mdbtool dump:         median ${ours_med} ms   (runs: ${ours_ms[*]})"
echo "mdb-export (all):     median ${theirs_med} ms   (runs: ${theirs_ms[*]})"
awk -v a="$ours_med" -v b="$theirs_med" -v r="$rows" 'BEGIN {
  if (a > 0) printf "ratio mdb-export/ours: %.2f  (ours %.0f rows/s)\n", b / a, r / (a / 1000)
}'
echo "peak RSS of our read: $((rss_kb / 1024)) MB (${rss_kb} kB)"
