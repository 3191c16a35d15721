#!/usr/bin/env bash
# Sets up what the program needs, builds the program alone (not the tests,
# not the benchmarks) and runs it against a local FTP server on loopback,
# with a few sample files. The window shows on the display if there is one,
# offscreen otherwise. The demo's files are removed at the end; with --keep
# they stay, and the script says where.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
keep=no
[ "${1:-}" = --keep ] && keep=yes

bash scripts/setup.sh --program-only

demo=$(mktemp -d /tmp/quelmo-demo.XXXXXX)
mkdir -p "$demo/server/out" "$demo/server/in" "$demo/program" "$demo/local" "$demo/work"
printf 'sample archive one\n' >"$demo/server/out/prvi.zip"
head -c 3000000 /dev/urandom >"$demo/server/out/drugi.zip"
printf 'not an archive\n' >"$demo/server/out/opomba.txt"
printf 'report for upload\n' >"$demo/local/porocilo.txt"

# The test server prints "READY <port>" once it listens.
coproc SERVER { exec /usr/bin/python3 "$top/tests/support/ftpserver.py" --root "$demo/server" --host 127.0.0.1 --port 0; }
server_pid=$SERVER_PID
finish() {
  kill "$server_pid" 2>/dev/null || true
  if [ $keep = yes ]; then
    echo "The demo's files stay in $demo (remove them with: rm -rf $demo)"
  else
    rm -rf "$demo"
    echo "The demo's files in $demo were removed (bash scripts/demo.sh --keep keeps them)."
  fi
}
trap finish EXIT
read -r ready port <&"${SERVER[0]}"
[ "$ready" = READY ] || { echo "the FTP server did not start" >&2; exit 1; }

cp "${BUILD_DIR:-build}/src/quelmo" "$demo/program/quelmo"
cat >"$demo/program/quelmo.ini" <<INI
[PROGRAM]
IZBRANO=demo

[demo]
FTPURL=127.0.0.1:$port
ftpdir=/out/
localdir=$demo/local/
uporabnik=quelmo
geslo=zelkar
prenos1=porocilo*.txt,UP,DEL
run1=/bin/sh -c "ls -l '$demo/local' > '$demo/work/followup.txt'"
INI

echo "Demo folder: $demo"
echo "  program/  the program and its quelmo.ini    server/  the FTP server's files (127.0.0.1:$port)"
echo "  local/    the site's local folder           work/    the working directory: VANTREL.log"
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || echo "No display: the window runs offscreen."
echo "Job: download /out/*.zip (deleting them on the server), upload porocilo*.txt (deleting it here)."
cd "$demo/work"
set +e
"$demo/program/quelmo" '*.zip,DOWN,DEL' 2>stderr.txt
code=$?
set -e
sleep 0.5 # the follow-up program runs detached
echo "Exit code: $code"
echo "--- standard error (nothing for a clean job)"
cat stderr.txt
echo "--- VANTREL.log"
cat VANTREL.log
echo "--- local folder"
ls -l "$demo/local"
echo "--- server /out and /"
ls -l "$demo/server/out" "$demo/server"
echo "--- follow-up program wrote"
cat followup.txt 2>/dev/null || echo "(nothing)"
