#!/usr/bin/env bash
# Compares exporting big.mdb to SQLite by mdbtool with mdbtools' pipeline, in the same run, and
# times the PostgreSQL script and CSV exports.
# Usage: bench/compare_export.sh BUILD_DIR [MDB_FILE]   (builds nothing; N=5 runs of each)
# Ours:   mdbtool export --format sqlite FILE OUT
# Theirs: { BEGIN; mdb-schema FILE sqlite; mdb-export -I sqlite FILE TABLE...; COMMIT; } | sqlite3 OUT
# Prints the median wall and CPU (user + system, children included) time of each and the ratios,
# then what each SQLite file holds. On a busy machine the CPU times are the steadier figure.
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

export FILE MDBTOOL WORK
export TABLE_LIST="${TABLES[*]}"
ours='rm -rf "$WORK/ours.$0"; "$MDBTOOL" export --format "$0" "$FILE" "$WORK/ours.$0" > /dev/null'
theirs='rm -f "$WORK/theirs.sqlite"
  { echo "BEGIN;"; mdb-schema "$FILE" sqlite
    for t in $TABLE_LIST; do mdb-export -I sqlite "$FILE" "$t"; done
    echo "COMMIT;"; } | sqlite3 "$WORK/theirs.sqlite"'
# Runs one case; appends "wall_ms cpu_ms" to the arrays named after it.
run() {
  local what=$1 script=$ours
  [ "$what" = theirs ] && script=$theirs
  read -r wall user sys < <( { /usr/bin/time -f "%e %U %S" bash -c "$script" "$what"; } 2>&1 | tail -1)
  wall_ms[$what]+="$(awk -v w="$wall" 'BEGIN { printf "%d", w * 1000 }') "
  cpu_ms[$what]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%d", (u + s) * 1000 }') "
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (package time)" >&2; exit 1; }
declare -A wall_ms cpu_ms
for ((i = 1; i <= N; i++)); do   # interleaved, so all see the same machine load
  for what in sqlite theirs postgres csv; do run $what; done
done
med() { printf '%s\n' ${wall_ms[$1]} | median; }
cpu() { printf '%s\n' ${cpu_ms[$1]} | median; }

echo "file:                      $FILE ($(du -h "$FILE" | cut -f1), ${#TABLES[@]} tables)"
echo "runs:                      $N each, interleaved"
echo "load average:              $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
for what in sqlite theirs postgres csv; do
  case $what in
    sqlite) label="mdbtool export sqlite:   " ;;
    theirs) label="mdbtools pipeline sqlite:" ;;
    postgres) label="mdbtool export postgres: " ;;
    csv) label="mdbtool export csv:      " ;;
  esac
  echo "$label  wall median $(med $what) ms (runs: ${wall_ms[$what]}), cpu median $(cpu $what) ms"
done
awk -v a="$(med sqlite)" -v b="$(med theirs)" -v c="$(cpu sqlite)" -v d="$(cpu theirs)" 'BEGIN {
  if (b > 0 && d > 0) printf "ratio ours/theirs (sqlite): wall %.2f, cpu %.2f\n", a / b, c / d }'
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
