#!/usr/bin/env bash
# The COM server under Wine, each bitness from its own host programs:
#   x64  build/windows/Quillpost.dll      in build/windows/wineprefix,
#        through the 64-bit loader;
#   x86  build/windows-x86/Quillpost.dll  in build/windows-x86/wineprefix (a
#        64-bit prefix, as 32-bit hosts run on 64-bit Windows), through the
#        32-bit loader.
# For each: regsvr32 registers, reg shows the class keys in the registry view
# regsvr32 wrote, VBScript and JScript clients run under cscript, MarkRegistry
# writes the threading model, a SendMail reaches a real server, one goes
# over ESMTP past a refused recipient, one sends
# with STARTTLS or TLS and AUTH to aiosmtpd and to Postfix with Dovecot, and
# regsvr32 /u removes every key again. Then both DLLs side by side in one
# prefix: each host creates its own, and unregistering either one leaves the
# other working. A half that cannot run (no build, no Wine of that bitness)
# counts as failed, never as skipped; the x64 half does not need 32-bit Wine.
#   QP_COM_BITS="x64"   run only these halves (default "x64 x86")
# needs: core windows servers
set -u
cd "$(dirname "$0")/../.."
root=$PWD
export WINEDEBUG=-all

passed=0
failed=0
source tests/scripts/lib/checks.sh
expect() { if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: got '$2', want '$3'"; fi; }
check() { if "${@:2}"; then pass "$1"; else fail "$1"; fi; }

clsid='{E7CEACC2-BD11-11D0-B7AD-080009AB4447}'
libid='{E7CEACC0-BD11-11D0-B7AD-080009AB4447}'
keys=("CLSID\\$clsid\\TypeLib" "CLSID\\$clsid\\Version" "CLSID\\$clsid\\ProgID"
      "Quillpost.Mailer\\Clsid" "Quillpost.Mailer" "CLSID\\$clsid\\InprocServer32" "CLSID\\$clsid")

dll_of() { [ "$1" = x64 ] && echo "$root/build/windows/Quillpost.dll" || echo "$root/build/windows-x86/Quillpost.dll"; }
view_of() { [ "$1" = x64 ] && echo 64 || echo 32; }
# Wine of bitness $1 runs program $2...
on() { local bits=$1; shift; timeout 300 "$root/scripts/wine" "$bits" "$@"; }
winpath() { on x64 winepath -w "$1" 2>/dev/null; }

# Value Name (default value without a name) of HKCR\Key as programs of
# bitness Bits see it; empty when missing. reg itself is of that bitness and
# names the view, so no other Wine or default view decides what it reads.
value() {
    local bits=$1 key=$2 name=${3:-}
    local opt=(/ve)
    [ -n "$name" ] && opt=(/v "$name")
    on "$bits" reg query "HKCR\\$key" "${opt[@]}" "/reg:$(view_of "$bits")" 2>/dev/null | tr -d '\r' |
        awk -F'    ' '/REG_SZ/ { print $NF; exit }'
}
exists() { on "$1" reg query "HKCR\\$2" "/reg:$(view_of "$1")" >/dev/null 2>&1; }
absent() { ! exists "$@"; }
regsvr() { on "$1" regsvr32 /s "${@:2}" >/dev/null 2>&1; }

# Runs script $2 with arguments $3... under the cscript of bitness $1 and
# counts its "ok"/"not ok" lines.
run_script() {
    local bits=$1 file=$2 out ok bad
    out=$(on "$bits" cscript //nologo "$(winpath "$file")" "${@:3}" 2>&1 | tr -d '\r')
    echo "$out"
    ok=$(grep -c '^ok - ' <<<"$out")
    bad=$(grep -c '^not ok - ' <<<"$out")
    passed=$((passed + ok))
    failed=$((failed + bad))
    [ "$ok" -gt 0 ] || fail "$bits: $(basename "$file") ran no check"
}
version_from() { on "$1" cscript //nologo "$(winpath tests/scripts/com/version.vbs)" 2>&1 | tr -d '\r'; }

# A complete send from VBScript to a real SMTP server on the Linux side.
send_check() {
    local bits=$1 inbox server port sent
    inbox=$(mktemp -d)
    /usr/bin/python3 tests/servers/store_smtpd.py --folder "$inbox/mail" --lifetime 120 >"$inbox/server.out" 2>&1 &
    server=$!
    for _ in $(seq 1 100); do grep -q READY "$inbox/server.out" 2>/dev/null && break; sleep 0.1; done
    port=$(awk '/READY/{print $2}' "$inbox/server.out")
    head -c 3000 /dev/urandom >"$inbox/data.bin"
    sent=$(on "$bits" cscript //nologo "$(winpath tests/scripts/com/send.vbs)" \
        "127.0.0.1:$port" "$(winpath "$inbox/data.bin")" 2>&1 | tr -d '\r')
    expect "$bits: SendMail from VBScript" "$sent" "sent"
    for _ in $(seq 1 50); do [ -e "$inbox/mail/0001.eml" ] && break; sleep 0.1; done
    check "$bits: the received message holds the body and the attachment's bytes" \
        /usr/bin/python3 - "$inbox/mail/0001.eml" "$inbox/data.bin" <<'PY'
import email, email.policy, sys
msg = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.default)
data = open(sys.argv[2], "rb").read()
parts = [p for p in msg.iter_attachments()]
assert msg["Subject"] == "Sent from VBScript", msg["Subject"]
assert msg["To"].addresses[0].addr_spec == "linux@example.test"
assert len(parts) == 1 and parts[0].get_filename() == "data.bin", [p.get_filename() for p in parts]
assert parts[0].get_content() == data, "attachment bytes differ"
assert "Hello from cscript." in msg.get_body(("plain",)).get_content()
PY
    check "$bits: SMTPLog written" grep -q "MAIL FROM:<script@example.test>" "$inbox/data.bin.log"

    # The same with text outside the ANSI code page: UTF-16 from the script
    # reaches the wire as UTF-8 and the Chinese file name reaches the file
    # system whole.
    head -c 3000 /dev/urandom >"$inbox/数据.bin"
    sent=$(on "$bits" cscript //nologo "$(winpath tests/scripts/com/send_unicode.vbs)" \
        "127.0.0.1:$port" "$(winpath "$inbox/数据.bin")" "Заказ №5 — тест" \
        "Καλημέρα Σοφία" "Анна" "Привет, 世界" 2>&1 | tr -d '\r')
    expect "$bits: SendMail from VBScript with CharSet 3" "$sent" "sent"
    for _ in $(seq 1 50); do [ -e "$inbox/mail/0002.eml" ] && break; sleep 0.1; done
    check "$bits: the received UTF-8 message reads back as the script set it" \
        /usr/bin/python3 - "$inbox/mail/0002.eml" "$inbox/数据.bin" <<'PY'
import email, email.policy, sys
msg = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.default)
data = open(sys.argv[2], "rb").read()
parts = [p for p in msg.iter_attachments()]
assert msg["Subject"] == "Заказ №5 — тест", msg["Subject"]
assert msg["From"].addresses[0].display_name == "Καλημέρα Σοφία", msg["From"]
assert msg["To"].addresses[0].display_name == "Анна", msg["To"]
assert len(parts) == 1 and parts[0].get_filename() == "数据.bin", [p.get_filename() for p in parts]
assert parts[0].get_content() == data, "attachment bytes differ"
assert msg.get_body(("plain",)).get_content().rstrip() == "Привет, 世界"
PY
    check "$bits: SMTPLog with a Chinese name written" grep -q "MAIL FROM:<script@example.test>" "$inbox/数据.bin.log"
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
    rm -rf "$inbox"
}

# ESMTP with one recipient refused: the script checks RefusedRecipients and
# Response itself; what arrived and the log are checked here.
refused_check() {
    local bits=$1 inbox server port
    inbox=$(mktemp -d)
    /usr/bin/python3 tests/servers/store_smtpd.py --folder "$inbox/mail" --lifetime 120 \
        --refuse nobody@example.test >"$inbox/server.out" 2>&1 &
    server=$!
    for _ in $(seq 1 100); do grep -q READY "$inbox/server.out" 2>/dev/null && break; sleep 0.1; done
    port=$(awk '/READY/{print $2}' "$inbox/server.out")
    run_script "$bits" tests/scripts/com/send_refused.vbs "127.0.0.1:$port" nobody@example.test \
        "$(winpath "$inbox/smtp.log")"
    for _ in $(seq 1 50); do [ -e "$inbox/mail/0001.env" ] && break; sleep 0.1; done
    expect "$bits: the accepted recipients got the message" \
        "$(grep -h '^RCPT' "$inbox"/mail/*.env 2>/dev/null | tr '\n' ' ')" \
        "RCPT TO:ann@example.test RCPT TO:bob@example.test "
    check "$bits: UseESMTP greeted with EHLO" grep -q '^EHLO ' "$inbox/smtp.log"
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
    rm -rf "$inbox"
}

# Servers that want TLS and a log-on, started once for both halves while the
# first one registers: aiosmtpd's submission servers and Postfix with Dovecot
# (needs root), each printing "READY name=port ...".
secure=$(mktemp -d /tmp/qp_com_secure.XXXXXX)
secure_pids=()
stop_secure() {
    for pid in "${secure_pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${secure_pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$secure"
}
trap stop_secure EXIT
if bash tests/servers/make_test_certs.sh "$secure/certs"; then
    /usr/bin/python3 tests/servers/store_smtpd.py --folder "$secure/aiosmtpd" --certs "$secure/certs" \
        --lifetime 900 >"$secure/aiosmtpd.out" 2>&1 &
    secure_pids+=($!)
    /usr/bin/python3 tests/servers/submission_server.py --certs "$secure/certs" --lifetime 900 \
        >"$secure/postfix.out" 2>&1 &
    secure_pids+=($!)
fi
# The value of Name in the READY line of server output $1 (waits at most 40 s
# for a server that was started).
ready_value() {
    [ -e "$1" ] || return
    for _ in $(seq 1 400); do
        grep -q '^READY \|^FAILED' "$1" 2>/dev/null && break
        sleep 0.1
    done
    sed -n 's/^READY //p' "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"
}
# The stored message with subject $2 in folder $1 (Postfix relays a moment
# after it accepted), or nothing.
arrived() {
    for _ in $(seq 1 100); do
        grep -l -a -F -- "$2" "$1"/*.eml 2>/dev/null | head -1 | grep . && return
        sleep 0.1
    done
}

# Sends from VBScript with Security, AuthType, UserName, Password and CAFile
# as a script sending through a provider does, and reads what arrived.
secure_check() {
    local bits=$1 ca port store out subject file
    ca=$(winpath "$secure/certs/ca.pem")
    # name, server, its port, Security, AuthType, user, password, the pattern of what the script prints
    while IFS='|' read -r name server portname security auth user password want; do
        port=$(ready_value "$secure/$server.out" "$portname")
        if [ -z "$port" ]; then
            fail "$bits: $name: $server did not start: $(head -c 300 "$secure/$server.out")"
            continue
        fi
        subject="$bits $name"
        out=$(on "$bits" cscript //nologo "$(winpath tests/scripts/com/send_secure.vbs)" \
            "127.0.0.1:$port" "$security" "$auth" "$user" "$password" "$ca" "$subject" </dev/null 2>&1 |
            tr -d '\r')
        # shellcheck disable=SC2254 # the want column is a pattern
        case $out in
            $want) pass "$bits: $name: $out" ;;
            *) fail "$bits: $name: got '$out', want '$want'"; continue ;;
        esac
        [ "${want%% *}" = sent ] || continue
        store=$secure/aiosmtpd
        [ "$server" = postfix ] && store=$(ready_value "$secure/postfix.out" store)
        file=$(arrived "$store" "$subject")
        check "$bits: $name: the message arrived" test -n "$file"
        # Postfix's Received line says the client used TLS and AUTH.
        [ "$server" = postfix ] && [ -n "$file" ] &&
            check "$bits: $name: Postfix received it with TLS and AUTH" grep -q " with ESMTPSA id " "$file"
    done <<'CASES'
aiosmtpd STARTTLS, automatic AUTH, UTF-8 password|aiosmtpd|starttls|1|1|user|pässwörd|sent TLSv1.[23] *; AUTH PLAIN
Postfix STARTTLS, LOGIN, UTF-8 password|postfix|submission|1|3|qputf8|pässwörd-€|sent TLSv1.[23] *; AUTH LOGIN
Postfix implicit TLS, PLAIN|postfix|implicit|2|2|qpuser|qp-secret|sent TLSv1.[23] *; AUTH PLAIN
Postfix wrong password|postfix|implicit|2|1|qpuser|wrong|not sent: 535 *
CASES
}

# Why the half of bitness $1 cannot run, or nothing.
unable() {
    local loader=/usr/lib/wine/wine64 preset=windows
    [ "$1" = x86 ] && loader=/usr/lib/wine/wine preset=windows-x86
    if [ ! -f "$(dll_of "$1")" ]; then
        echo "no $(dll_of "$1") (build the $preset preset first)"
    elif [ ! -x "$loader" ]; then
        echo "no $loader (scripts/setup installs it)"
    fi
}

suite() {
    local bits=$1 view dll winedll
    view=$(view_of "$bits")
    dll=$(dll_of "$bits")
    winedll=$(winpath "$dll")
    regsvr "$bits" /u "$winedll"  # a clean start
    check "$bits: regsvr32 registers" regsvr "$bits" "$winedll"

    expect "$bits: CLSID default value" "$(value "$bits" "CLSID\\$clsid")" "SMTP Mailer"
    expect "$bits: InprocServer32" "$(value "$bits" "CLSID\\$clsid\\InprocServer32")" "$winedll"
    expect "$bits: ProgID key" "$(value "$bits" "Quillpost.Mailer")" "SMTP Mailer"
    expect "$bits: ProgID Clsid" "$(value "$bits" "Quillpost.Mailer\\Clsid")" "$clsid"
    expect "$bits: ProgID value" "$(value "$bits" "CLSID\\$clsid\\ProgID")" "Quillpost.Mailer"
    expect "$bits: Version" "$(value "$bits" "CLSID\\$clsid\\Version")" "1.0"
    expect "$bits: TypeLib" "$(value "$bits" "CLSID\\$clsid\\TypeLib")" "$libid"
    expect "$bits: type library path" "$(value "$bits" "TypeLib\\$libid\\1.0\\409\\win$view")" "$winedll"
    expect "$bits: no threading model before MarkRegistry" \
        "$(value "$bits" "CLSID\\$clsid\\InprocServer32" ThreadingModel)" ""

    run_script "$bits" tests/scripts/com/mailer.vbs
    expect "$bits: MarkRegistry 7 writes Apartment" \
        "$(value "$bits" "CLSID\\$clsid\\InprocServer32" ThreadingModel)" "Apartment"
    run_script "$bits" tests/scripts/com/mailer.js
    expect "$bits: MarkRegistry 2 writes Both" \
        "$(value "$bits" "CLSID\\$clsid\\InprocServer32" ThreadingModel)" "Both"
    send_check "$bits"
    refused_check "$bits"
    secure_check "$bits"

    check "$bits: regsvr32 /u unregisters" regsvr "$bits" /u "$winedll"
    for key in "${keys[@]}"; do
        if exists "$bits" "$key"; then fail "$bits: removed: $key"; else pass "$bits: removed: $key"; fi
    done
    if exists "$bits" "TypeLib\\$libid"; then fail "$bits: type library unregistered"; else pass "$bits: type library unregistered"; fi
}

# Both servers registered in one prefix. The class keys are per registry view;
# the ProgID and the type library's version key are one for both views, so
# each stays until the last of the two servers is unregistered.
side_by_side() {
    local x64dll x86dll
    x64dll=$(winpath "$(dll_of x64)")
    x86dll=$(winpath "$(dll_of x86)")
    check "both: regsvr32 registers the x64 server" regsvr x64 "$x64dll"
    check "both: regsvr32 registers the x86 server" regsvr x86 "$x86dll"
    expect "both: 64-bit class path" "$(value x64 "CLSID\\$clsid\\InprocServer32")" "$x64dll"
    expect "both: 32-bit class path" "$(value x86 "CLSID\\$clsid\\InprocServer32")" "$x86dll"
    expect "both: win64 type library path" "$(value x64 "TypeLib\\$libid\\1.0\\409\\win64")" "$x64dll"
    expect "both: win32 type library path" "$(value x64 "TypeLib\\$libid\\1.0\\409\\win32")" "$x86dll"
    expect "both: the 64-bit host creates the Mailer" "$(version_from x64)" "2.2"
    expect "both: the 32-bit host creates the Mailer" "$(version_from x86)" "2.2"

    check "both: regsvr32 /u of the x86 server" regsvr x86 /u "$x86dll"
    expect "after x86 /u: the 64-bit host still creates it" "$(version_from x64)" "2.2"
    expect "after x86 /u: ProgID kept" "$(value x64 "Quillpost.Mailer\\Clsid")" "$clsid"
    expect "after x86 /u: win64 type library kept" "$(value x64 "TypeLib\\$libid\\1.0\\409\\win64")" "$x64dll"
    check "after x86 /u: win32 type library removed" absent x64 "TypeLib\\$libid\\1.0\\409\\win32"

    check "both: regsvr32 registers the x86 server again" regsvr x86 "$x86dll"
    check "both: regsvr32 /u of the x64 server" regsvr x64 /u "$x64dll"
    expect "after x64 /u: the 32-bit host still creates it" "$(version_from x86)" "2.2"
    expect "after x64 /u: win32 type library kept" "$(value x64 "TypeLib\\$libid\\1.0\\409\\win32")" "$x86dll"
    check "after x64 /u: win64 type library removed" absent x64 "TypeLib\\$libid\\1.0\\409\\win64"

    check "both: regsvr32 /u of the last server" regsvr x86 /u "$x86dll"
    check "after both /u: ProgID removed" absent x64 "Quillpost.Mailer"
    check "after both /u: type library removed" absent x64 "TypeLib\\$libid"
}

for bits in ${QP_COM_BITS:-x64 x86}; do
    why=$(unable "$bits")
    if [ -n "$why" ]; then
        fail "$bits: cannot run: $why"
        continue
    fi
    if [ "$bits" = x64 ]; then
        export WINEPREFIX=$root/build/windows/wineprefix
        suite x64
    else
        export WINEPREFIX=$root/build/windows-x86/wineprefix
        suite x86
        if [ -z "$(unable x64)" ]; then side_by_side; else fail "both: cannot run: $(unable x64)"; fi
    fi
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
