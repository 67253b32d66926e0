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

# need_binary: a script whose program is not built fails as one check.
need_binary() {
    [ -x "$bin" ] && return 0
    echo "no $bin"
    echo "0 passed, 1 failed"
    exit 1
}

# scratch NAME [VAR...]: makes $work, a private folder that goes when the
# script exits; the processes whose ids $server and the variables named
# (all emptied here) hold by then are stopped first.
scratch() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/quillpost_$1.XXXXXX")
    shift
    scratch_pids=(server "$@")
    local v
    for v in "${scratch_pids[@]}"; do printf -v "$v" '%s' ""; done
    trap scratch_cleanup EXIT
}

scratch_cleanup() {
    local v
    for v in "${scratch_pids[@]}"; do [ -n "${!v}" ] && kill "${!v}" 2>/dev/null; done
    rm -rf "$work"
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
