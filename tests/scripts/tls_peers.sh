#!/usr/bin/env bash
# TLS on the socket component against peers built on Python's ssl module,
# with a test CA and certificates the openssl command makes for this run.
# Runs the native build's TLS tests and, when it is built, the Windows
# build's under Wine (SChannel). Ends with "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
py=/usr/bin/python3
work=$(mktemp -d /tmp/qp_tls.XXXXXX)
pid=
passed=0
failed=0

cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

if ! bash tests/servers/make_test_certs.sh "$work/certs"; then
    echo "the test certificates could not be made"
    echo "0 passed, 1 failed"
    exit 1
fi
"$py" tests/servers/tls_line_server.py --certs "$work/certs" --lifetime 900 >"$work/peers.out" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
    grep -q '^READY ' "$work/peers.out" 2>/dev/null && break
    sleep 0.1
done
peers=$(sed -n 's/^READY //p' "$work/peers.out")
if [ -z "$peers" ]; then
    echo "the TLS peers did not start"; cat "$work/peers.out"
    echo "0 passed, 1 failed"
    exit 1
fi

filter='SocketTls.*'

count() {
    local log=$1 label=$2 p f s
    p=$(grep -aE '^\[  PASSED  \] [0-9]+ test' "$log" | tail -1 | grep -oE '[0-9]+' | head -1)
    f=$(grep -aE '^\[  FAILED  \] [0-9]+ test' "$log" | tail -1 | grep -oE '[0-9]+' | head -1)
    s=$(grep -aE '^\[  SKIPPED \] [0-9]+ test' "$log" | tail -1 | grep -oE '[0-9]+' | head -1)
    if [ -z "$p$f" ]; then
        echo "$label: no test summary"; tail -n 30 "$log"
        failed=$((failed + 1)); return
    fi
    echo "$label: ${p:-0} passed, ${f:-0} failed, ${s:-0} skipped"
    [ "${f:-0}" = 0 ] || grep -aE '^\[  FAILED  \]|Failure|Expected|Which is|actual|error' "$log" | head -40
    passed=$((passed + ${p:-0}))
    failed=$((failed + ${f:-0}))
}

native="$root/build/linux/quillpost_tests"
if [ -x "$native" ]; then
    QP_TLS_PEERS="$peers" QP_TLS_CA="$work/certs/ca.pem" \
        timeout 300 "$native" --gtest_filter="$filter" >"$work/native.log" 2>&1
    count "$work/native.log" native
else
    echo "no native build: nothing run"
fi

exe="$root/build/windows/quillpost_tests.exe"
if [ -f "$exe" ] && command -v wine >/dev/null; then
    QP_TLS_PEERS="$peers" QP_TLS_CA="Z:$work/certs/ca.pem" \
        WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all \
        timeout 600 wine "$exe" --gtest_filter="$filter" >"$work/wine.log" 2>&1
    count "$work/wine.log" wine
else
    echo "no Windows build: nothing run under Wine"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
