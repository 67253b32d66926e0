# Shared by the scripts beside this folder; sourced, never run.

# pass LABEL, fail LABEL: a check whose verdict the script reached itself.
pass() { echo "ok - $1"; passed=$((passed + 1)); }
fail() { echo "not ok - $1"; failed=$((failed + 1)); }

# ok LABEL: counts the status of the command just before it.
ok() {
    if [ "$?" = 0 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED $1"
    fi
}

# start_reply_server DIR REPLY: a server on 127.0.0.1 that sends REPLY (a
# Python bytes literal's body) to each connection and closes it. Sets
# $server to its process and writes its port to DIR/port.
start_reply_server() {
    /usr/bin/python3 - "$1" "$2" <<'PY' &
import ast, os, socket, sys
reply = ast.literal_eval('b"' + sys.argv[2] + '"')
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(8)
open(sys.argv[1] + "/port.tmp", "w").write(str(s.getsockname()[1]))
os.rename(sys.argv[1] + "/port.tmp", sys.argv[1] + "/port")
s.settimeout(60)
while True:
    c, _ = s.accept()
    c.sendall(reply)
    c.close()
PY
    server=$!
    for _ in $(seq 100); do [ -e "$1/port" ] && break; sleep 0.1; done
}
