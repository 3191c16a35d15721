#!/usr/bin/env bash
# bench/run.sh [BIG_MIB]: builds the program (Release, in build-bench/) and
# measures the whole program against curl and lftp on loopback servers:
# pyftpdlib and Debian's vsftpd (proftpd on request), unpacked into
# build-bench/realservers by tests/support/realserver.py. bench/bench.py
# says what is measured and which environment variables change it. A
# measurement, not a test: CTest never runs it. Exits 1 only when a copy
# failed or differs; a missed target is a finding, printed as such.
set -euo pipefail

if [[ $# -gt 1 || ($# -eq 1 && ! $1 =~ ^[1-9][0-9]*$) ]]; then
  echo "usage: bench/run.sh [BIG_MIB]" >&2
  exit 2
fi
if [[ $# -eq 1 ]]; then export BIG_MIB=$1; fi

top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build-bench

# setup.sh only when a tool is missing; it builds into our own directory
# then, not into the build/ that others work in.
if ! command -v cmake >/dev/null || ! command -v ninja >/dev/null || ! command -v curl >/dev/null \
  || ! command -v lftp >/dev/null || ! command -v openssl >/dev/null \
  || ! /usr/bin/python3 -c 'import pyftpdlib, OpenSSL' 2>/dev/null; then
  BUILD_DIR=$build bash "$top/scripts/setup.sh"
fi
targets=(quelmo)
if [[ ${CFTP:-0} == 1 || " ${SECTIONS:-tls} " == *" tls "* ]]; then targets+=(ftp_throughput); fi
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUELMO_TESTS=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j2

exec /usr/bin/python3 -B "$top/bench/bench.py" "$build"
