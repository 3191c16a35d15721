#!/usr/bin/env bash
# Builds everything and runs every test: the format and clang-tidy checks,
# the tests as built for use (warnings are errors here), the tests again
# with the address and undefined-behaviour sanitizers, and the Debian
# package built and checked.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --no-build

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUELMO_TESTS=ON -DQUELMO_BENCH=ON -DQUELMO_WERROR=ON >/dev/null
cmake --build build -j2

bash scripts/lint.sh

export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2 --timeout 300

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUELMO_SANITIZE=ON -DQUELMO_WERROR=ON >/dev/null
cmake --build build-asan -j2
# Qt keeps some process-wide allocations until exit; leaks are not what this
# run is after.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2 --timeout 600 -LE slow

bash scripts/package.sh
