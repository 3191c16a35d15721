#!/usr/bin/env bash
# Sets everything up and runs the program against a local FTP server on
# loopback, with a few sample files. The window shows on the display if
# there is one, offscreen otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

bash scripts/setup.sh

demo=$(mktemp -d /tmp/quelmo-demo.XXXXXX)
mkdir -p "$demo/server/out" "$demo/server/in" "$demo/program" "$demo/local" "$demo/work"
printf 'sample archive one\n' >"$demo/server/out/prvi.zip"
head -c 3000000 /dev/urandom >"$demo/server/out/drugi.zip"
printf 'not an archive\n' >"$demo/server/out/opomba.txt"
printf 'report for upload\n' >"$demo/local/porocilo.txt"

# The test server prints "READY <port>" once it listens.
coproc SERVER { exec /usr/bin/python3 "$top/tests/support/ftpserver.py" --root "$demo/server" --host 127.0.0.1 --port 0; }
server_pid=$SERVER_PID
trap 'kill $server_pid 2>/dev/null || true' EXIT
read -r ready port <&"${SERVER[0]}"
[ "$ready" = READY ] || { echo "the FTP server did not start" >&2; exit 1; }

cp build/src/quelmo "$demo/program/quelmo"
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

echo "Demo folder: $demo (FTP server on 127.0.0.1:$port)"
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || echo "No display: the window runs offscreen."
echo "Job: download /out/*.zip (deleting them on the server), upload porocilo*.txt (deleting it here)."
cd "$demo/work"
set +e
"$demo/program/quelmo" '*.zip,DOWN,DEL'
code=$?
set -e
sleep 0.5 # the follow-up program runs detached
echo "Exit code: $code"
echo "--- VANTREL.log"
cat VANTREL.log
echo "--- local folder"
ls -l "$demo/local"
echo "--- server /out and /"
ls -l "$demo/server/out" "$demo/server"
echo "--- follow-up program wrote"
cat followup.txt 2>/dev/null || echo "(nothing)"
