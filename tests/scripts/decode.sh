#!/usr/bin/env bash
# quillpost --decode as a shell sees it: the listing, exit statuses, the files
# --to writes for hostile names (never outside its folder, never over a file
# or through a planted link), and a round trip on messages no one here wrote.
# needs: core tools
set -uo pipefail
cd "$(dirname "$0")/../.."
bin=${QP_CLI:-build/linux/quillpost}
passed=0
failed=0
source tests/scripts/lib/checks.sh
scratch decode

pass() { passed=$((passed + 1)); }
fail() {
    failed=$((failed + 1))
    echo "FAILED $*"
}

need_binary

# Names are made safe by a rule tested on its own; here: what reaches the
# folder end to end, names the decoder itself decodes included.
# A part of the hostile message: its headers, then "hello NAME" in base64.
part() {
    printf -- '--B\r\n%s\r\nContent-Transfer-Encoding: base64\r\n\r\n%s\r\n' \
        "$1" "$(printf 'hello %s' "$2" | base64 -w0)"
}
{
    printf 'From: a@example.com\r\nSubject: names\r\nMIME-Version: 1.0\r\n'
    printf 'Content-Type: multipart/mixed; boundary="B"\r\n\r\n'
    printf -- '--B\r\nContent-Type: text/plain\r\n\r\nThe body.\r\n'
    part 'Content-Type: text/plain; name="../../escape.txt"' up
    part "Content-Type: text/plain; name=\"$work/absolute.txt\"" absolute
    # Encoded words are read in a file name of Content-Disposition.
    part $'Content-Type: text/plain\r\nContent-Disposition: attachment; filename="=?UTF-8?Q?bell=07=1B[2J=C2=9B1m.txt?="' control
    part $'Content-Type: text/plain\r\nContent-Disposition: attachment; filename="=?UTF-8?Q?..=2F..=2Fword.txt?="' word
    part 'Content-Type: text/plain; name="a.txt"' first
    part 'Content-Type: text/plain; name="a.txt"' second
    part $'Content-Type: application/pdf\r\nContent-Disposition: attachment; filename*=UTF-8\'\'%E2%82%AC%20rates.pdf' rfc2231
    printf -- '--B--\r\n'
} >"$work/names.eml"

# The folder already holds a.txt and a link where its second copy would go.
out="$work/out"
mkdir "$out"
printf 'old' >"$out/a.txt"
ln -s "$work/planted-target" "$out/a (2).txt"
listing=$("$bin" --decode "$work/names.eml" --to "$out" 2>"$work/err")
status=$?
want_files='___.._escape.txt
a (2).txt
a (3).txt
a (4).txt
a.txt
bell__[2J__1m.txt
___.._word.txt
'"${work//\//_}"'_absolute.txt
€ rates.pdf'
got_files=$(cd "$out" && LC_ALL=C ls -A | LC_ALL=C sort)
want_sorted=$(LC_ALL=C sort <<<"$want_files")
if [ "$status" = 0 ] && [ "$got_files" = "$want_sorted" ]; then pass; else
    fail "names: status $status, files [$got_files], stderr [$(cat "$work/err")]"
fi
[ "$(cat "$out/a.txt")" = old ] && [ ! -e "$work/planted-target" ] &&
    [ "$(cat "$out/a (3).txt")" = "hello first" ] && [ "$(cat "$out/a (4).txt")" = "hello second" ] &&
    [ ! -e "$work/escape.txt" ] && [ ! -e "$work/absolute.txt" ] && pass ||
    fail "overwrite: an existing file, a link or a path outside the folder was written"
# The listing shows a name as sent, with its controls (C1 too) escaped.
[[ $listing == *'"bell\x07\x1B[2J\xC2\x9B1m.txt" -> "bell__[2J__1m.txt"'* ]] &&
    [[ $listing != *$'\e'* ]] && [[ $listing != *$'\xc2\x9b'* ]] && pass ||
    fail "listing: [$listing]"

# The same text from standard input lists the same, and a second run into the
# same folder numbers on instead of overwriting.
again=$("$bin" --decode - <"$work/names.eml" 2>&1)
[ "$again" = "$(sed 's/ -> .*//' <<<"$listing")" ] && pass || fail "stdin: [$again]"
"$bin" --decode "$work/names.eml" --to "$out" >/dev/null 2>&1 &&
    [ "$(cat "$out/a (5).txt")" = "hello first" ] && [ "$(cat "$out/a (3).txt")" = "hello first" ] &&
    pass || fail "second run into the same folder"

# Exit statuses: 0 ok, 1 a text that could not be parsed, 2 usage or files.
printf 'MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=x\r\n\r\nno boundary\r\n' \
    >"$work/broken.eml"
while IFS='|' read -r label want pattern args; do
    eval "set -- $args"
    err=$("$bin" "$@" 2>&1 >/dev/null </dev/null)
    got=$?
    if [ "$got" = "$want" ] && [[ $err =~ $pattern ]]; then pass; else
        fail "$label: status $got, stderr [$err]"
    fi
done <<EOF
parsed|0|^\$|--decode "$work/names.eml"
unparsable|1|^quillpost: --decode: .+; the whole text is kept as original\.eml\$|--decode "$work/broken.eml"
no-file-name|2|^quillpost: missing value for --decode|--decode
empty-file-name|2|^quillpost: --decode needs a file name|--decode=
with-a-member|2|^quillpost: --decode takes only --to beside it|--decode "$work/names.eml" --Subject x
twice|2|^quillpost: --decode is given twice|--decode=a --decode b
missing-file|2|^quillpost: --decode: .*$work/none|--decode "$work/none"
missing-folder|2|^quillpost: --decode: Cannot create file|--decode "$work/names.eml" --to "$work/none"
EOF

# Messages no one here wrote: Python's test messages, Python- and GMime-made ones.
if /usr/bin/python3 -c 'import test.test_email' 2>/dev/null; then
    line=$(/usr/bin/python3 tests/data/decoding/cli_round_trip.py "$bin" | tee /dev/stderr | tail -1)
    p=${line%% passed*}
    f=${line#*, }
    f=${f%% failed*}
    passed=$((passed + p))
    failed=$((failed + f))
else
    echo "note: Python's email test messages are not installed; round trip not run"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
