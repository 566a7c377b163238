#!/usr/bin/env bash
# Compares exporting big.mdb to SQLite by mdbtool with mdbtools' pipeline, in the same run, and
# times the PostgreSQL script and CSV exports.
# Usage: bench/compare_export.sh BUILD_DIR [MDB_FILE]   (builds nothing; N=5 runs of each)
# Ours:   mdbtool export --format sqlite FILE OUT
# Theirs: { BEGIN; mdb-schema FILE sqlite; mdb-export -I sqlite FILE TABLE...; COMMIT; } | sqlite3 OUT
# Prints the median wall time of each and the ratio, then what each SQLite file holds.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: compare_export.sh BUILD_DIR [MDB_FILE]" >&2; exit 2; }
BUILD=$(readlink -f "$1")
ROOT=$(dirname "$(readlink -f "$0")")/..
FILE=$(readlink -f "${2:-$ROOT/../shared/fixtures/big.mdb}")
N=${N:-5}
MDBTOOL=$BUILD/cli/mdbtool
[ -x "$MDBTOOL" ] || { echo "no mdbtool in $BUILD/cli (build it first)" >&2; exit 1; }
[ -f "$FILE" ] || { echo "no such file: $FILE" >&2; exit 1; }
for tool in mdb-schema mdb-export mdb-tables sqlite3; do
  command -v $tool >/dev/null || { echo "$tool is missing (scripts/setup.sh)" >&2; exit 1; }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mapfile -t TABLES < <(mdb-tables -1 "$FILE")

now_ns() { date +%s%N; }
ours() { rm -rf "$WORK/ours.$1"; "$MDBTOOL" export --format "$1" "$FILE" "$WORK/ours.$1" > /dev/null; }
theirs() {
  rm -f "$WORK/theirs.sqlite"
  { echo "BEGIN;"; mdb-schema "$FILE" sqlite
    for t in "${TABLES[@]}"; do mdb-export -I sqlite "$FILE" "$t"; done
    echo "COMMIT;"; } | sqlite3 "$WORK/theirs.sqlite"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A ms
for ((i = 1; i <= N; i++)); do   # interleaved, so all see the same machine load
  for what in sqlite theirs postgres csv; do
    t0=$(now_ns)
    if [ $what = theirs ]; then theirs; else ours $what; fi
    ms[$what]+="$(( ($(now_ns) - t0) / 1000000 )) "
  done
done
med() { printf '%s\n' ${ms[$1]} | median; }

echo "file:                      $FILE ($(du -h "$FILE" | cut -f1), ${#TABLES[@]} tables)"
echo "runs:                      $N each, interleaved"
echo "mdbtool export sqlite:     median $(med sqlite) ms   (runs: ${ms[sqlite]})"
echo "mdbtools pipeline sqlite:  median $(med theirs) ms   (runs: ${ms[theirs]})"
awk -v a="$(med sqlite)" -v b="$(med theirs)" 'BEGIN { if (a > 0) printf "ratio ours/theirs:         %.2f\n", a / b }'
echo "mdbtool export postgres:   median $(med postgres) ms   (runs: ${ms[postgres]})"
echo "mdbtool export csv:        median $(med csv) ms   (runs: ${ms[csv]})"
for side in ours theirs; do
  db="$WORK/$side.sqlite"
  empty=0; nulls=0
  for t in "${TABLES[@]}"; do
    for c in $(sqlite3 "$db" "SELECT name FROM pragma_table_info('$t') WHERE type LIKE '%CHAR%' OR type = 'TEXT'"); do
      empty=$((empty + $(sqlite3 "$db" "SELECT count(*) FROM \"$t\" WHERE \"$c\" = ''")))
    done
  done
  idx=$(sqlite3 "$db" "SELECT count(*) FROM sqlite_master WHERE type = 'index' OR (type = 'table' AND sql LIKE '%PRIMARY KEY%')")
  echo "$side: $empty empty strings kept, $idx keys and indexes"
done
