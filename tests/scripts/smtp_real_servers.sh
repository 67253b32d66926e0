#!/usr/bin/env bash
# Delivers messages through the SMTP client to real servers on 127.0.0.1:
# Python's aiosmtpd (stores what it receives) and Postfix's smtp-sink (plain,
# rejecting recipients, hanging up after DATA); TLS peers on Python's ssl
# module and aiosmtpd's submission servers (STARTTLS, TLS, AUTH, SMTPUTF8),
# with a test CA and certificates the openssl command makes for this run; and
# Postfix's smtpd with Dovecot's SASL as a provider runs them (submission with
# STARTTLS and AUTH, implicit TLS), first checked with Python's smtplib;
# Postfix's smtpd alone with the extensions it offers (PIPELINING, SIZE,
# CHUNKING, 8BITMIME, DSN), a recipient it refuses and a small size limit,
# whose log must show no command sent ahead where that is not allowed.
# Runs the real-server tests, many Mailers on many threads among them, of
# the native build and, where they are built, of the ThreadSanitizer build (a
# report fails the run) and of the Windows build under Wine.
# Ends with "N passed, N failed".
# needs: core servers
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
py=/usr/bin/python3
sink=/usr/sbin/smtp-sink
work=$(mktemp -d /tmp/qp_smtp_real.XXXXXX)
pids=()
passed=0
failed=0

cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

free_port() {
    "$py" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Waits (at most 10 s) until something listens on port $1.
wait_listening() {
    for _ in $(seq 1 100); do
        "$py" -c "import socket,sys; s=socket.socket(); sys.exit(s.connect_ex(('127.0.0.1',$1)))" \
            2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# Starts a server of ours that prints "READY <where>" once it listens, with its
# output in file $1; waits (at most 10 s) and leaves <where> in $ready.
start_ready() {
    local out=$1; shift
    "$@" >"$out" 2>&1 &
    pids+=($!)
    await_ready "$out" 100
}
# Waits (at most $2 tenths of a second) for the READY line in file $1.
await_ready() {
    for _ in $(seq 1 "$2"); do
        grep -q '^READY \|^FAILED' "$1" 2>/dev/null && break
        sleep 0.1
    done
    ready=$(sed -n 's/^READY //p' "$1")
}

certs=""
if command -v openssl >/dev/null && bash tests/servers/make_test_certs.sh "$work/certs"; then
    certs=$work/certs
else
    echo "the test certificates could not be made: the TLS tests skip"
fi

# Postfix and Dovecot take a few seconds to start: they do so while the others start.
postfix_out=""
if [ -n "$certs" ] && [ "$(id -u)" = 0 ] && command -v dovecot >/dev/null && command -v postfix >/dev/null; then
    postfix_out=$work/postfix.out
    "$py" tests/servers/submission_server.py --certs "$certs" --lifetime 900 >"$postfix_out" 2>&1 &
    pids+=($!)
else
    echo "Postfix with Dovecot needs root, postfix, dovecot-core and the certificates: its tests skip"
fi

esmtp_out=""
if [ "$(id -u)" = 0 ] && command -v postfix >/dev/null && "$py" -c 'import aiosmtpd' 2>/dev/null; then
    esmtp_out=$work/esmtp_postfix.out
    "$py" tests/servers/esmtp_postfix.py --lifetime 900 >"$esmtp_out" 2>&1 &
    pids+=($!)
else
    echo "Postfix's smtpd needs root, postfix and aiosmtpd: its ESMTP tests skip"
fi

env_vars=()
if "$py" -c 'import aiosmtpd' 2>/dev/null; then
    start_ready "$work/aiosmtpd.out" "$py" tests/servers/store_smtpd.py --folder "$work/store" --lifetime 900
    port=$ready
    if [ -n "$port" ]; then
        env_vars+=(QP_AIOSMTPD_PORT="$port" QP_AIOSMTPD_DIR="$work/store")
    else
        echo "aiosmtpd did not start"; cat "$work/aiosmtpd.out"
    fi
else
    echo "aiosmtpd is not installed: its tests skip"
fi

# smtp-sink drops root privileges to the given user.
start_sink() {
    local var=$1; shift
    local port
    port=$(free_port)
    timeout 900 "$sink" -u nobody "$@" "127.0.0.1:$port" 64 >/dev/null 2>&1 &
    pids+=($!)
    if wait_listening "$port"; then
        env_vars+=("$var=$port")
    else
        echo "smtp-sink $* did not start"
    fi
}
if [ -x "$sink" ]; then
    start_sink QP_SMTPSINK_PORT
    start_sink QP_SMTPSINK_REJECT_PORT -r RCPT
    start_sink QP_SMTPSINK_HANGUP_PORT -q DATA
else
    echo "smtp-sink is not installed: its tests skip"
fi

if [ -n "$certs" ]; then
    start_ready "$work/tls.out" "$py" tests/servers/tls_line_server.py --certs "$certs" --lifetime 900
    if [ -n "$ready" ]; then
        env_vars+=(QP_TLS_PEERS="$ready" QP_TLS_CA="$certs/ca.pem")
    else
        echo "the TLS peers did not start"; cat "$work/tls.out"
    fi
    if "$py" -c 'import aiosmtpd' 2>/dev/null; then
        start_ready "$work/submission.out" "$py" tests/servers/store_smtpd.py \
            --folder "$work/submission" --certs "$certs" --lifetime 900
        if [ -n "$ready" ]; then
            env_vars+=(QP_SUBMISSION_PEERS="$ready" QP_SUBMISSION_DIR="$work/submission")
        else
            echo "the submission servers did not start"; cat "$work/submission.out"
        fi
    fi
fi

if [ -n "$postfix_out" ]; then
    await_ready "$postfix_out" 400
    if [ -n "$ready" ]; then
        # "submission=PORT implicit=PORT store=FOLDER"
        for kv in $ready; do
            case $kv in
                submission=*) env_vars+=(QP_POSTFIX_SUBMISSION_PORT="${kv#*=}") ;;
                implicit=*) env_vars+=(QP_POSTFIX_IMPLICIT_PORT="${kv#*=}") ;;
                store=*) env_vars+=(QP_POSTFIX_STORE="${kv#*=}") ;;
            esac
        done
        # The harness itself, with a client no one here wrote: STARTTLS and AUTH
        # on the submission port, a UTF-8 password over implicit TLS, a wrong
        # password refused, and both messages relayed to the store.
        if "$py" tests/servers/check_submission.py "$ready" "$certs/ca.pem" >"$work/smtplib.log" 2>&1; then
            echo "postfix with dovecot: smtplib submission passed"
            passed=$((passed + 1))
        else
            echo "postfix with dovecot: smtplib submission failed"; cat "$work/smtplib.log"
            failed=$((failed + 1))
        fi
    else
        echo "Postfix with Dovecot did not start"; cat "$postfix_out"
    fi
fi

esmtp_log=""
esmtp_port=""
if [ -n "$esmtp_out" ]; then
    await_ready "$esmtp_out" 400
    if [ -n "$ready" ]; then
        # "esmtp=PORT small=PORT nopipelining=PORT discard=PORT store=FOLDER log=FILE"
        ports=""
        for kv in $ready; do
            case $kv in
                store=*) env_vars+=(QP_POSTFIX_ESMTP_STORE="${kv#*=}") ;;
                log=*) esmtp_log=${kv#*=} ;;
                *) ports="$ports $kv" ;;
            esac
        done
        env_vars+=(QP_POSTFIX_ESMTP_PORTS="${ports# }")
        esmtp_port=$(echo "$ports" | sed -n 's/.* esmtp=\([0-9]*\).*/\1/p')
    else
        echo "Postfix's smtpd did not start"; cat "$esmtp_out"
    fi
fi

filter='StoringServer.*:SinkServer.*:ConcurrentMailers.*:SocketTls.*:Submission.*:PostfixSubmission.*:PostfixEsmtp.*'

# Adds the counts of one GoogleTest run; a run without a summary counts as a failure.
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
    [ "${f:-0}" = 0 ] || grep -aE '^\[  FAILED  \]|Failure|Expected|Which is|actual' "$log" | head -40
    passed=$((passed + ${p:-0}))
    failed=$((failed + ${f:-0}))
}

native="$root/build/linux/quillpost_tests"
if [ -x "$native" ]; then
    env "${env_vars[@]}" timeout 600 "$native" --gtest_filter="$filter" >"$work/native.log" 2>&1
    count "$work/native.log" native
else
    echo "no native build: nothing run"
fi

tsan="$root/build/linux-tsan/quillpost_tests"
if [ -x "$tsan" ]; then
    env "${env_vars[@]}" TSAN_OPTIONS="halt_on_error=1 exitcode=66" \
        timeout 600 "$tsan" --gtest_filter="$filter" >"$work/tsan.log" 2>&1
    if [ $? = 66 ] || grep -aq 'WARNING: ThreadSanitizer' "$work/tsan.log"; then
        echo "tsan: ThreadSanitizer report"
        grep -a -A20 'WARNING: ThreadSanitizer' "$work/tsan.log" | head -40
        failed=$((failed + 1))
    else
        count "$work/tsan.log" tsan
    fi
fi

exe="$root/build/windows/quillpost_tests.exe"
if [ -f "$exe" ] && [ -x /usr/lib/wine/wine64 ]; then
    # The Windows side names the store folder and the CA file by their Windows paths.
    wine_vars=()
    for v in "${env_vars[@]}"; do
        case $v in
            QP_AIOSMTPD_DIR=*) wine_vars+=("QP_AIOSMTPD_DIR=Z:${v#QP_AIOSMTPD_DIR=}") ;;
            QP_TLS_CA=*) wine_vars+=("QP_TLS_CA=Z:${v#QP_TLS_CA=}") ;;
            QP_POSTFIX_STORE=*) wine_vars+=("QP_POSTFIX_STORE=Z:${v#QP_POSTFIX_STORE=}") ;;
            QP_POSTFIX_ESMTP_STORE=*) wine_vars+=("QP_POSTFIX_ESMTP_STORE=Z:${v#QP_POSTFIX_ESMTP_STORE=}") ;;
            QP_SUBMISSION_DIR=*) wine_vars+=("QP_SUBMISSION_DIR=Z:${v#QP_SUBMISSION_DIR=}") ;;
            *) wine_vars+=("$v") ;;
        esac
    done
    env "${wine_vars[@]}" WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all \
        timeout 900 "$root/scripts/wine" x64 "$exe" --gtest_filter="$filter" >"$work/wine.log" 2>&1
    count "$work/wine.log" wine
else
    echo "no Windows build: nothing run under Wine"
fi

# The command line as a script drives the object: with SkipRefusedRecipients
# a send with one refused recipient succeeds, and RefusedRecipients names it
# with Postfix's reply.
cli="$root/build/linux/quillpost"
if [ -n "$esmtp_port" ] && [ -x "$cli" ]; then
    got=$(QUILLPOST_REGISTRY="$work/registry" timeout 60 "$cli" --RemoteHost "127.0.0.1:$esmtp_port" \
        --UseESMTP true --SkipRefusedRecipients true --FromAddress sender@example.test \
        --AddRecipient "" refused@example.test --AddRecipient "" rcpt@example.test \
        --Subject "command line" --BodyText "Through Postfix." --SendMail \
        --get RefusedRecipients --get Response 2>/dev/null)
    # Printed with its tab as an escape, as every text from a server is.
    want='refused@example.test\x09554 5.7.1 <refused@example.test>: Recipient address rejected: no such user here'
    if [ "$(echo "$got" | head -1)" = "$want" ] && echo "$got" | tail -1 | grep -q '1 of 2 recipients refused'; then
        echo "quillpost: a refused recipient skipped and reported"
        passed=$((passed + 1))
    else
        echo "quillpost: refused recipient not reported as expected:"; echo "$got"
        failed=$((failed + 1))
    fi
fi

# Postfix notes a client that sends a command before the reply it must wait
# for, whether PIPELINING was offered or not.
if [ -n "$esmtp_log" ]; then
    if grep -q 'improper command pipelining' "$esmtp_log"; then
        echo "postfix smtpd: commands sent ahead where not allowed"
        grep 'improper command pipelining' "$esmtp_log" | head -5
        failed=$((failed + 1))
    elif grep -qE 'disconnect from .* bdat=' "$esmtp_log"; then
        echo "postfix smtpd: BDAT counted by the server, nothing sent ahead improperly"
        passed=$((passed + 1))
    else
        echo "postfix smtpd: no session with BDAT in its log"
        failed=$((failed + 1))
    fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
