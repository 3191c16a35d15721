#!/usr/bin/env bash
# Checks that need no test server: every C++ file formatted as .clang-format
# says, and clang-tidy's fault-finding checks (.clang-tidy) over the program
# and the benchmarks. Needs a configured build directory for the compile
# commands (BUILD_DIR, "build" unless given).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
echo "clang-format: ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}"

# The tests are left out: GoogleTest's macros make most of the noise and
# would double the time, and the sanitizer run covers them.
mapfile -t units < <(git ls-files 'src/*.cpp' 'bench/*.cpp')
echo "clang-tidy: ${#units[@]} files"
printf '%s\n' "${units[@]}" | xargs -P2 -n4 clang-tidy -p "$build_dir" --quiet 2> >(grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated|^Suppressed|^Use -header-filter|^$' >&2)
