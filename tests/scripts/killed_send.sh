#!/usr/bin/env bash
# A send killed with SIGKILL while the server holds it leaves no composed
# message behind in the temporary directory.
set -uo pipefail
cd "$(dirname "$0")/../.."
bin=${QP_CLI:-build/linux/quillpost}
passed=0
failed=0
source tests/scripts/lib/checks.sh
need_binary

work=$(mktemp -d "${TMPDIR:-/tmp}/quillpost_killed.XXXXXX")
server=
client=
cleanup() {
    [ -n "$client" ] && kill -9 "$client" 2>/dev/null
    [ -n "$server" ] && kill "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/tmp"
export QUILLPOST_REGISTRY=$work/registry

# Greets, takes HELO, then holds the session without a word: the message is
# composed by then (and past the stream's buffer, on disk).
/usr/bin/python3 - "$work" <<'PY' &
import socket, sys, time
work = sys.argv[1]
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(1)
open(work + "/port.tmp", "w").write(str(s.getsockname()[1]))
import os
os.rename(work + "/port.tmp", work + "/port")
s.settimeout(30)
c, _ = s.accept()
c.settimeout(30)
c.sendall(b"220 hi\r\n")
data = b""
while b"\r\n" not in data:
    data += c.recv(4096)
c.sendall(b"250 ok\r\n")
while b"MAIL" not in data:
    data += c.recv(4096)
open(work + "/held", "w").close()
time.sleep(30)
PY
server=$!

for _ in $(seq 100); do [ -e "$work/port" ] && break; sleep 0.1; done
head -c 300000 /dev/urandom >"$work/big.bin"
TMPDIR=$work/tmp "$bin" --RemoteHost "127.0.0.1:$(cat "$work/port")" --TimeOut 60 \
    --FromAddress a@example.test --AddRecipient B b@example.test --Subject killed \
    --AddAttachment "$work/big.bin" --SendMail >/dev/null 2>&1 &
client=$!
for _ in $(seq 200); do [ -e "$work/held" ] && break; sleep 0.1; done

if [ -e "$work/held" ] && kill -0 "$client" 2>/dev/null; then
    kill -9 "$client"
    wait "$client" 2>/dev/null
    client=
    left=$(ls -A "$work/tmp")
    if [ -z "$left" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED killed-send: left in TMPDIR: $left"
    fi
else
    failed=$((failed + 1))
    echo "FAILED killed-send: the send never reached the held state"
fi
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
