#!/usr/bin/env bash
# The COM server under Wine: regsvr32 registers Quillpost.dll, reg shows the
# class keys, VBScript and JScript clients run under cscript, MarkRegistry
# writes the threading model, and regsvr32 /u removes every key again.
# Uses the Windows build and its throw-away prefix build/windows/wineprefix.
set -u
cd "$(dirname "$0")/../.."
root=$PWD
dll=$root/build/windows/Quillpost.dll
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wineprefix} WINEDEBUG=-all

passed=0
failed=0
pass() { echo "ok - $1"; passed=$((passed + 1)); }
fail() { echo "not ok - $1"; failed=$((failed + 1)); }
expect() { if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: got '$2', want '$3'"; fi; }

clsid='{E7CEACC2-BD11-11D0-B7AD-080009AB4447}'
libid='{E7CEACC0-BD11-11D0-B7AD-080009AB4447}'
keys=("CLSID\\$clsid\\TypeLib" "CLSID\\$clsid\\Version" "CLSID\\$clsid\\ProgID"
      "Quillpost.Mailer\\Clsid" "Quillpost.Mailer" "CLSID\\$clsid\\InprocServer32" "CLSID\\$clsid")

# Value Name (default value without a name) of HKCR\Key; empty when missing.
value() {
    local key=$1 name=${2:-}
    local opt=(/ve)
    [ -n "$name" ] && opt=(/v "$name")
    timeout 120 wine reg query "HKCR\\$key" "${opt[@]}" 2>/dev/null | tr -d '\r' |
        awk -F'    ' '/REG_SZ/ { print $NF; exit }'
}
exists() { timeout 120 wine reg query "HKCR\\$1" >/dev/null 2>&1; }

# Runs a script under cscript and counts its "ok"/"not ok" lines.
run_script() {
    local file=$1 out
    out=$(timeout 300 wine cscript //nologo "$(winepath -w "$file" 2>/dev/null)" 2>&1 | tr -d '\r')
    echo "$out"
    local ok bad
    ok=$(grep -c '^ok - ' <<<"$out")
    bad=$(grep -c '^not ok - ' <<<"$out")
    passed=$((passed + ok))
    failed=$((failed + bad))
    [ "$ok" -gt 0 ] || fail "$(basename "$file") ran no check"
}

if [ ! -f "$dll" ]; then
    fail "no $dll (build the windows preset first)"
    echo "$passed passed, $failed failed"
    exit 1
fi
winedll=$(winepath -w "$dll" 2>/dev/null)

timeout 300 wine regsvr32 /s /u "$winedll" >/dev/null 2>&1  # a clean start
if timeout 300 wine regsvr32 /s "$winedll" >/dev/null 2>&1; then pass "regsvr32 registers"; else fail "regsvr32 registers"; fi

expect "CLSID default value" "$(value "CLSID\\$clsid")" "SMTP Mailer"
expect "InprocServer32" "$(value "CLSID\\$clsid\\InprocServer32")" "$winedll"
expect "ProgID key" "$(value "Quillpost.Mailer")" "SMTP Mailer"
expect "ProgID Clsid" "$(value "Quillpost.Mailer\\Clsid")" "$clsid"
expect "ProgID value" "$(value "CLSID\\$clsid\\ProgID")" "Quillpost.Mailer"
expect "Version" "$(value "CLSID\\$clsid\\Version")" "1.0"
expect "TypeLib" "$(value "CLSID\\$clsid\\TypeLib")" "$libid"
expect "no threading model before MarkRegistry" "$(value "CLSID\\$clsid\\InprocServer32" ThreadingModel)" ""
if exists "TypeLib\\$libid\\1.0"; then pass "type library registered"; else fail "type library registered"; fi

run_script tests/scripts/com/mailer.vbs
expect "MarkRegistry 7 writes Apartment" "$(value "CLSID\\$clsid\\InprocServer32" ThreadingModel)" "Apartment"
run_script tests/scripts/com/mailer.js
expect "MarkRegistry 2 writes Both" "$(value "CLSID\\$clsid\\InprocServer32" ThreadingModel)" "Both"

# A complete send from VBScript to a real SMTP server on the Linux side.
inbox=$(mktemp -d)
/usr/bin/python3 tests/servers/store_smtpd.py --folder "$inbox/mail" --lifetime 120 >"$inbox/server.out" 2>&1 &
server=$!
for _ in $(seq 1 100); do grep -q READY "$inbox/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/READY/{print $2}' "$inbox/server.out")
head -c 3000 /dev/urandom >"$inbox/data.bin"
sent=$(timeout 300 wine cscript //nologo "$(winepath -w tests/scripts/com/send.vbs 2>/dev/null)" \
    "127.0.0.1:$port" "$(winepath -w "$inbox/data.bin" 2>/dev/null)" 2>&1 | tr -d '\r')
expect "SendMail from VBScript" "$sent" "sent"
for _ in $(seq 1 50); do [ -e "$inbox/mail/0001.eml" ] && break; sleep 0.1; done
if /usr/bin/python3 - "$inbox/mail/0001.eml" "$inbox/data.bin" <<'PY'
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
then pass "the received message holds the body and the attachment's bytes"; else fail "the received message holds the body and the attachment's bytes"; fi
if grep -q "MAIL FROM:<script@example.test>" "$inbox/data.bin.log" 2>/dev/null; then pass "SMTPLog written"; else fail "SMTPLog written"; fi

# The same with text outside the ANSI code page: UTF-16 from the script reaches
# the wire as UTF-8 and the Chinese file name reaches the file system whole.
head -c 3000 /dev/urandom >"$inbox/数据.bin"
sent=$(timeout 300 wine cscript //nologo "$(winepath -w tests/scripts/com/send_unicode.vbs 2>/dev/null)" \
    "127.0.0.1:$port" "$(winepath -w "$inbox/数据.bin" 2>/dev/null)" "Заказ №5 — тест" \
    "Καλημέρα Σοφία" "Анна" "Привет, 世界" 2>&1 | tr -d '\r')
expect "SendMail from VBScript with CharSet 3" "$sent" "sent"
for _ in $(seq 1 50); do [ -e "$inbox/mail/0002.eml" ] && break; sleep 0.1; done
if /usr/bin/python3 - "$inbox/mail/0002.eml" "$inbox/数据.bin" <<'PY'
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
then pass "the received UTF-8 message reads back as the script set it"; else fail "the received UTF-8 message reads back as the script set it"; fi
if grep -q "MAIL FROM:<script@example.test>" "$inbox/数据.bin.log" 2>/dev/null; then pass "SMTPLog with a Chinese name written"; else fail "SMTPLog with a Chinese name written"; fi
kill "$server" 2>/dev/null; wait "$server" 2>/dev/null
rm -rf "$inbox"

if timeout 300 wine regsvr32 /s /u "$winedll" >/dev/null 2>&1; then pass "regsvr32 /u unregisters"; else fail "regsvr32 /u unregisters"; fi
for key in "${keys[@]}"; do
    if exists "$key"; then fail "removed: $key"; else pass "removed: $key"; fi
done
if exists "TypeLib\\$libid\\1.0"; then fail "type library unregistered"; else pass "type library unregistered"; fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
