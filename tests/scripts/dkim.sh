#!/usr/bin/env bash
# DKIM signatures as a receiver checks them: dkimpy, which no one here wrote,
# verifies each message both as --compose writes it and as a real server
# (aiosmtpd) stores it (plain, UTF-8 with attachments, HTML with an inline
# image, leading periods, Ed25519), with the public key from the record that
# --dkim-record prints; a changed header must fail. Perl's Mail::DKIM, a
# second reader, checks each received RSA-signed message too (its version
# here knows no Ed25519). Keys that cannot sign fail before anything is sent.
# needs: core servers
set -uo pipefail
cd "$(dirname "$0")/../.."
bin=${QP_CLI:-build/linux/quillpost}
passed=0
failed=0
source tests/scripts/lib/checks.sh

need_binary
scratch dkim
export QUILLPOST_REGISTRY=$work/registry

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$work/rsa.pem" 2>/dev/null
openssl genpkey -algorithm ed25519 -out "$work/ed25519.pem" 2>/dev/null
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:4096 -out "$work/rsa4096.pem" 2>/dev/null
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:512 -out "$work/rsa512.pem" 2>/dev/null
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -aes-128-cbc -pass pass:x \
    -out "$work/encrypted.pem" 2>/dev/null
head -c 5000 /dev/urandom >"$work/data.bin"
printf 'plain text file\r\n.leading dot\r\n' >"$work/notes.txt"

/usr/bin/python3 tests/servers/store_smtpd.py --folder "$work/store" --lifetime 300 \
    >"$work/server.out" 2>&1 &
server=$!
for _ in $(seq 1 100); do grep -q READY "$work/server.out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/READY/{print $2}' "$work/server.out")

# verify RECORD_FILE MESSAGE [--tamper]: dkimpy's verdict with the record as
# the only DNS; with --tamper the Subject is changed first and must fail. A
# composed message (*.composed) is DATA text: its doubled periods go first,
# as a server takes them off.
verify() {
    /usr/bin/python3 - "$@" <<'PY'
import re, sys, dkim
record = open(sys.argv[1]).read()
txt = "".join(re.findall(r'"([^"]*)"', record)).encode()
name = record.split()[0].encode()
message = open(sys.argv[2], "rb").read()
if sys.argv[2].endswith(".composed"):
    message = re.sub(rb"(^|\r\n)\.", rb"\1", message)
if sys.argv[3:] == ["--tamper"]:
    message = re.sub(rb"(?m)^Subject:([^\r]*)", rb"Subject:\1 (changed)", message, count=1)
def dns(qname, timeout=5):
    return txt if qname == name else None
ok = dkim.verify(message, dnsfunc=dns)
sys.exit(0 if ok != (sys.argv[3:] == ["--tamper"]) else 1)
PY
}

# verify_mail_dkim RECORD_FILE MESSAGE [--tamper]: the same verdict from
# Mail::DKIM, its DNS answered from the record alone.
verify_mail_dkim() {
    perl - "$@" <<'PL'
use strict; use warnings;
use Mail::DKIM::Verifier; use Net::DNS;
my ($recordFile, $messageFile, $tamper) = @ARGV;
open my $r, '<', $recordFile or die; my $record = do { local $/; <$r> };
my ($name, $strings) = $record =~ /^(\S+)\.\s+IN\s+TXT\s+(.*)$/s or die "no record";
no warnings 'redefine';
*Mail::DKIM::DNS::query = sub {
    return $_[0] eq $name ? (Net::DNS::RR->new("$name. 300 IN TXT $strings")) : ();
};
open my $m, '<:raw', $messageFile or die; my $message = do { local $/; <$m> };
$message =~ s/(?m)^(Subject:[^\r]*)/$1 (changed)/ if $tamper;
my $v = Mail::DKIM::Verifier->new;
$v->PRINT($message);
$v->CLOSE;
exit(($v->result eq 'pass') == !$tamper ? 0 : 1);
PL
}

common=(--FromName "Ann Lee" --FromAddress ann@example.com --AddRecipient Bob bob@example.org
        --AddCC Cy cy@example.net --DKIMDomain example.com)
# name | key | selector | arguments beyond the common ones (one per line: tab-separated)
cases=(
    "plain|rsa|rsa2048|--Subject	Hello	--BodyText	Hi there,  with  blanks  	"
    "utf8-attachments|rsa4096|big|--CharSet	3	--Subject	Grüße aus Köln	--BodyText	Größe: 5 €	--AddAttachment	$work/data.bin	--AddAttachment	$work/notes.txt"
    "leading-dots|rsa|rsa2048|--Subject	Dots	--BodyText	$(printf '.one\r\n..two\r\n\r\n.\r\n')"
    "ed25519|ed25519|ed|--Subject	Edwards	--BodyText	short	--ReplyTo	ann@example.com"
    "html-images|rsa|rsa2048|--Subject	Logo	--HTMLBody	<p><img src=\"cid:logo\" alt=\"Logo\"></p><p>.dot <a href=\"https://example.com/\">news</a></p>	--AddEmbeddedImage	$work/data.bin	logo	--AddAttachment	$work/notes.txt"
    "own-headers|rsa|rsa2048|--Subject	Picked	--BodyText	x	--DKIMHeaders	from:to:subject:x-custom	--AddExtraHeader	X-Custom: 1"
)
n=0
for row in "${cases[@]}"; do
    IFS='|' read -r name key selector rest <<<"$row"
    IFS=$'\t' read -r -a extra <<<"$rest"
    args=("${common[@]}" --DKIMSelector "$selector" --DKIMKeyFile "$work/$key.pem" "${extra[@]}")
    "$bin" --dkim-record "$work/$key.pem" "$selector" example.com >"$work/$name.record"
    ok "$name: --dkim-record"
    "$bin" "${args[@]}" --compose "$work/$name.composed" 2>"$work/$name.err"
    ok "$name: --compose ($(cat "$work/$name.err"))"
    verify "$work/$name.record" "$work/$name.composed"
    ok "$name: dkimpy verifies the composed message"
    verify "$work/$name.record" "$work/$name.composed" --tamper
    ok "$name: a changed Subject fails the composed message"
    if [ -z "$port" ]; then
        fail "$name: aiosmtpd did not start"
        continue
    fi
    "$bin" "${args[@]}" --RemoteHost "127.0.0.1:$port" --SendMail 2>"$work/$name.send"
    ok "$name: SendMail ($(cat "$work/$name.send"))"
    n=$((n + 1))
    received=$work/store/$(printf '%04d' "$n").eml
    for _ in $(seq 1 50); do [ -e "$received" ] && break; sleep 0.1; done
    verify "$work/$name.record" "$received"
    ok "$name: dkimpy verifies the message aiosmtpd received"
    verify "$work/$name.record" "$received" --tamper
    ok "$name: a changed Subject fails the received message"
    [ "$key" = ed25519 ] && continue
    verify_mail_dkim "$work/$name.record" "$received"
    ok "$name: Mail::DKIM verifies the message aiosmtpd received"
    verify_mail_dkim "$work/$name.record" "$received" --tamper
    ok "$name: Mail::DKIM fails it with a changed Subject"
done

# The record: TXT strings of at most 255 bytes, k= naming the key type.
record=$(cat "$work/utf8-attachments.record")
if [[ $record =~ ^big\._domainkey\.example\.com\.\ IN\ TXT\ \"v=DKIM1\;\ k=rsa\;\ p= ]] &&
    ! grep -qE '"[^"]{256,}"' <<<"$record" && [ "$(grep -o '"' <<<"$record" | wc -l)" -ge 6 ] &&
    grep -q '"v=DKIM1; k=ed25519; p=' "$work/ed25519.record"; then
    pass "records are split into strings of at most 255 bytes and name the key type"
else
    fail "record: $record / $(cat "$work/ed25519.record")"
fi

# Keys that cannot sign: the send fails before connecting, Response says why.
# key | what standard error must hold
refusals=(
    "rsa512.pem|DKIM: the RSA key has 512 bits"
    "encrypted.pem|DKIM: the key cannot be used"
    "missing.pem|DKIM: the key file cannot be read"
    "data.bin|DKIM: the key cannot be used"
)
for row in "${refusals[@]}"; do
    IFS='|' read -r key want <<<"$row"
    err=$("$bin" "${common[@]}" --DKIMSelector s --DKIMKeyFile "$work/$key" --Subject x \
        --BodyText x --RemoteHost 127.0.0.1:1 --SendMail 2>&1 </dev/null)
    status=$?
    if [ "$status" = 1 ] && [[ $err == *"$want"* ]]; then
        pass "$key is refused: $want"
    else
        fail "$key: status $status, [$err]"
    fi
done
sent=$(ls "$work/store" 2>/dev/null | grep -c '\.eml$')
[ "$sent" = "$n" ] && pass "no refused message reached the server" || fail "the server holds $sent messages"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
