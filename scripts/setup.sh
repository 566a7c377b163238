#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the tools need. Idempotent: asks apt
# only when something is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build clang libclang-rt-14-dev   # toolchain (+ clang sanitizer runtimes)
  libgtest-dev libgmock-dev googletest libbenchmark-dev          # tests and benchmarks
  qt6-base-dev qt6-base-dev-tools libgl-dev                      # the editor window
  qt6-translations-l10n                                          # Qt's own boxes in the user's language
  zlib1g-dev                                                     # gzipped expected dumps
  libsqlite3-dev sqlite3 postgresql                             # query engine and exports; sqlite3/postgresql for tests and benches
  libgoogle-perftools-dev                                        # tcmalloc for the programs (not the sanitizer builds)
  mdbtools nodejs                                                # independent reader for conformance
  fonts-noto-cjk xvfb xauth imagemagick                          # screenshots of the window
  time gzip                                                      # bench/compare_read.sh
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$pkg")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#PACKAGES[@]} packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
