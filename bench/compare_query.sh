#!/usr/bin/env bash
# Runs the GROUP BY of query_bench in the sqlite3 shell on a SQLite copy of big.mdb's StdItems
# (rows exported with mdb-export), for comparison with BM_GroupByCountSum.
# Usage: bench/compare_query.sh [path/to/big.mdb]
set -euo pipefail
BIG=${1:-"$(dirname "$0")/../../shared/fixtures/big.mdb"}
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT
mdb-export "$BIG" StdItems > "$DIR/stditems.csv"
sqlite3 "$DIR/copy.db" <<SQL
CREATE TABLE StdItems (Idx INTEGER PRIMARY KEY, Name TEXT, StdMode INTEGER, Shape INTEGER,
  Weight INTEGER, Looks INTEGER, Duration INTEGER, Price INTEGER, Stock INTEGER, Note TEXT);
.mode csv
.import --skip 1 $DIR/stditems.csv StdItems
SQL
echo "sqlite3 shell, 5 runs of the GROUP BY:"
for i in 1 2 3 4 5; do
  printf '.timer on\nSELECT StdMode, Count(*) AS n, Sum(Price) AS total FROM StdItems GROUP BY StdMode;\n' |
    sqlite3 "$DIR/copy.db" | grep '^Run Time' || true
done
echo "primary-key lookup, then the self-join on Idx:"
printf '.timer on\nSELECT * FROM StdItems WHERE Idx = 123456;\nSELECT Count(*) FROM StdItems a JOIN StdItems b ON a.Idx = b.Idx;\n' |
  sqlite3 "$DIR/copy.db" | grep '^Run Time' || true
