#!/usr/bin/env bash
# bench/run.sh [SIZE_MIB]: builds ftp_throughput and job_bench, serves a random file of
# SIZE_MIB MiB (256 unless given) from the loopback test server and measures
# cFTP against curl with it. Everything it makes is removed at the end.
set -euo pipefail

size_mib=${1:-256}
if ! [[ $size_mib =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: bench/run.sh [SIZE_MIB]" >&2
  exit 2
fi

top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build-bench

# setup.sh only when the tools are not there; it builds into our own
# directory then, not into the build/ that others work in.
if ! command -v cmake >/dev/null || ! command -v ninja >/dev/null || ! command -v curl >/dev/null \
  || ! /usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null; then
  BUILD_DIR=$build bash "$top/scripts/setup.sh"
fi
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target ftp_throughput job_bench -j2

work=$(mktemp -d "${TMPDIR:-/tmp}/quelmo-bench.XXXXXX")
server_pid=
server_in=
cleanup() {
  # The server ends when its stdin closes; it is killed only if it lingers.
  if [[ -n $server_in ]]; then exec {server_in}>&-; fi
  if [[ -n $server_pid ]]; then
    for _ in $(seq 50); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.1; done
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/root"
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/root/payload.bin"

coproc SERVER { exec /usr/bin/python3 "$top/tests/support/ftpserver.py" \
  --root "$work/root" --host 127.0.0.1 --port 0 2>"$work/server.log"; }
server_pid=$SERVER_PID
server_in=${SERVER[1]}
server_out=${SERVER[0]}
if ! read -r -t 10 ready port <&"$server_out" || [[ $ready != READY ]]; then
  echo "the test server did not start:" >&2
  cat "$work/server.log" >&2
  exit 1
fi

status=0
"$build/bench/ftp_throughput" "$port" "$work/root" payload.bin "$work" || status=1
echo
mkdir "$work/job"
"$build/bench/job_bench" "$port" "$work/root" payload.bin "$work/job" "${SMALL_FILES:-1000}" || status=1
exit $status
