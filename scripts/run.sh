#!/usr/bin/env bash
# Installs what is missing, builds the Release configuration into build-release/ and runs the
# program: mdbtool's help, then the table list of a shared fixture when ../shared is present.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."

bash scripts/setup.sh
JOBS=${JOBS:-$(nproc)}
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMDB_TESTS=OFF -DMDB_BENCH=OFF
cmake --build build-release -j "$JOBS"

MDBTOOL=build-release/cli/mdbtool
"$MDBTOOL" --help
FIXTURE=../shared/fixtures/types.mdb
if [ -f "$FIXTURE" ]; then
  echo
  echo "\$ mdbtool tables $FIXTURE"
  "$MDBTOOL" tables "$FIXTURE"
else
  echo "(../shared/fixtures not found: skipping the fixture listing)"
fi
