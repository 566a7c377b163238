#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan into build-test/
# and runs the whole suite with ctest. Exits with ctest's status.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."

bash scripts/setup.sh
JOBS=${JOBS:-$(nproc)}

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# LeakSanitizer aborts the process when it cannot attach to it (some containers forbid ptrace).
# Probe once with an empty sanitized program; when LSan cannot run here, keep ASan's other checks
# and switch leak detection off rather than fail every test. Done before the build, because
# test discovery runs the sanitized test binaries.
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
echo 'int main() { return 0; }' > "$probe_dir/probe.cpp"
if c++ -fsanitize=address "$probe_dir/probe.cpp" -o "$probe_dir/probe" 2>/dev/null &&
   ! ASAN_OPTIONS=detect_leaks=1 "$probe_dir/probe" >/dev/null 2>&1; then
  echo "test: LeakSanitizer cannot run in this environment (ptrace restricted): detect_leaks=0"
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
else
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
fi

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMDB_SANITIZE=address,undefined -DMDB_WERROR=ON -DMDB_GUI=ON -DMDB_TESTS=ON -DMDB_BENCH=ON
cmake --build build-test -j "$JOBS"

set +e
ctest --test-dir build-test --output-on-failure -j "$JOBS"
exit $?
