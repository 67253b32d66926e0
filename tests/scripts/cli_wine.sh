#!/usr/bin/env bash
# quillpost.exe under 64-bit Wine keeps Unicode arguments: text beyond the
# ANSI code page (Cyrillic, Chinese) reaches the message, a file name, and
# standard output (UTF-8) whole. Python's email reads back what was composed.
# needs: windows
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
exe=$root/build/windows/quillpost.exe
passed=0
failed=0
source tests/scripts/lib/checks.sh
if [ ! -e "$exe" ] || [ ! -x /usr/lib/wine/wine64 ]; then
    echo "no $exe or no 64-bit Wine"
    echo "0 passed, 1 failed"
    exit 1
fi
export WINEPREFIX=$root/build/windows/wineprefix WINEDEBUG=-all LC_ALL=C.UTF-8
work=$(mktemp -d "${TMPDIR:-/tmp}/quillpost_cli_wine.XXXXXX")
trap 'rm -rf "$work"' EXIT

qp() { timeout 300 "$root/scripts/wine" x64 "$exe" "$@"; }

#    label     text
while IFS='|' read -r label text; do
    got=$(qp --Subject "$text" --get Subject 2>/dev/null | tr -d '\r')
    [ "$got" = "$text" ]
    ok "$label --get: [$got]"

    printf 'bytes of %s' "$label" >"$work/$text.txt"
    qp --CharSet 3 --FromAddress a@example.test --AddRecipient "$text" b@example.test \
        --Subject "$text" --BodyText "$text" --AddAttachment "Z:$work/$text.txt" \
        --compose - >"$work/$label.eml" 2>"$work/$label.err"
    /usr/bin/python3 - "$work/$label.eml" "$text" "bytes of $label" <<'PY'
import email, email.policy, sys
msg = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.default)
text, content = sys.argv[2], sys.argv[3].encode()
parts = [p for p in msg.walk() if p.get_filename()]
assert str(msg["Subject"]).strip() == text, msg["Subject"]
assert msg["To"].addresses[0].display_name == text, msg["To"]
assert parts and parts[0].get_filename() == text + ".txt", [p.get_filename() for p in parts]
# The file was found by its name (how its last line end travels is not this test's concern).
assert parts[0].get_payload(decode=True).rstrip(b"\r\n") == content
PY
    ok "$label --compose"
done <<'TABLE'
cyrillic|Привет, мир
chinese|你好，世界
mixed|Grüße 中文 ✉
TABLE

# The DNS record of a DKIM key from CNG's decoding: the public key openssl
# reads out of the same file; an Ed25519 key is refused by name.
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$work/rsa.pem" 2>/dev/null
openssl genpkey -algorithm ed25519 -out "$work/ed25519.pem" 2>/dev/null
want="sel._domainkey.example.test. IN TXT \"v=DKIM1; k=rsa; p=$(openssl pkey -in "$work/rsa.pem" \
    -pubout -outform DER | base64 -w0)\""
got=$(qp --dkim-record "Z:$work/rsa.pem" sel example.test 2>&1 | tr -d '\r' | sed 's/" "//g')
[ "$got" = "$want" ]
ok "--dkim-record of an RSA key: [$got]"
got=$(qp --dkim-record "Z:$work/ed25519.pem" sel example.test 2>&1 | tr -d '\r')
[[ $got == *"Ed25519 keys are not supported on Windows; use an RSA key"* ]]
ok "--dkim-record of an Ed25519 key: [$got]"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
