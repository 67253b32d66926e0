#!/usr/bin/env bash
# The quillpost program as a shell sees it: exit statuses, standard output and
# standard error through the real main().
set -uo pipefail
cd "$(dirname "$0")/../.."
bin=${QP_CLI:-build/linux/quillpost}
passed=0
failed=0
source tests/scripts/lib/checks.sh

# check LABEL WANT_STATUS WANT_STDOUT_PATTERN WANT_STDERR_PATTERN -- ARGS...
check() {
    local label=$1 status=$2 out=$3 err=$4
    shift 5
    local got_out got_err got_status
    got_out=$(timeout 20 "$bin" "$@" 2>"$work/stderr")
    got_status=$?
    got_err=$(cat "$work/stderr")
    if [ "$got_status" = "$status" ] && [[ $got_out =~ $out ]] && [[ $got_err =~ $err ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED $label: status $got_status, stdout [$got_out], stderr [$got_err]"
    fi
}

need_binary

# The program creates its Mailer through COM and registers the server library
# beside it on first use: into a scratch registry, never the user's.
# (in a folder of its own: one in the shared temporary folder is not trusted).
scratch cli smtpd
registry=$work/registry
export QUILLPOST_REGISTRY=$registry

check help 0 '^Usage: quillpost .*Methods:.*--SendMail' '^$' -- --help
check version 0 '^2\.2$' '^$' -- --get version
check order 0 '^a
b$' '^$' -- --Subject a --get Subject --SUBJECT b --get subject
check no-arguments 2 '^$' '^Usage: quillpost' --
check unknown 2 '^$' '^quillpost: unknown member "Bogus"' -- --Bogus
check automation-error 2 '^$' '^quillpost: WordWrapLen: Quillpost.Mailer: .+$' -- --WordWrapLen -1
check add-false 1 '^$' '^quillpost: AddBCC failed: The address "a@b\\nc" is not a valid mail address$' \
    -- --AddBCC x "$(printf 'a@b\nc')"

# A value that cannot be printed is a failure, not a silent success.
err=$(timeout 20 "$bin" --get Version 2>&1 >&-)
status=$?
if [ "$status" = 2 ] && [[ $err =~ "cannot write to standard output" ]]; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
    echo "FAILED stdout-closed: status $status, stderr [$err]"
fi

# The first run registered the library that sits beside the program.
if grep -q "$(cd "$(dirname "$bin")" && pwd)/libquillpost.so" "$registry" 2>/dev/null; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
    echo "FAILED registered: $registry does not name the library beside $bin"
fi

# Where the class cannot be registered, the run still works, on the built-in
# object, and says so.
QUILLPOST_REGISTRY=/dev/null/quillpost/registry \
    check fallback 0 '^a$' "^quillpost: cannot create Quillpost.Mailer through COM \\(0x[0-9A-F]{8}\\); using the built-in object$" \
    -- --Subject a --get Subject

# Values from outside the command line, where other users cannot read them.
printf 'pw\n' >"$work/lf"
printf 'pw\r\n' >"$work/crlf"
printf 'pw\n\n' >"$work/two"
printf 'pw' >"$work/none"
printf 'from stdin\n' >"$work/stdin"
export QP_CLI_SECRET='s3cret value'
#     label              status stdout          stderr                                         args
check env                0 '^s3cret value$'    '^$' -- --Subject-env QP_CLI_SECRET --get Subject
check env-inline         0 '^s3cret value$'    '^$' -- --subject-ENV=QP_CLI_SECRET --get Subject
check file-lf            0 '^pw$'              '^$' -- --Subject-file "$work/lf" --get Subject
check file-crlf          0 '^pw$'              '^$' -- --Subject-file "$work/crlf" --get Subject
check file-one-end-only  0 '^pw\\x0a$'       '^$' -- --Subject-file "$work/two" --get Subject
check file-no-end        0 '^pw$'              '^$' -- --Subject-file "$work/none" --get Subject
check write-only         0 '^$'                '^$' -- --Password-file "$work/lf" --AccessToken-env QP_CLI_SECRET
check stdin              0 '^from stdin$'      '^$' -- --Subject-file - --get Subject <"$work/stdin"
check stdin-twice        2 '^$' '^quillpost: --FromName-file: standard input is already read' \
    -- --Subject-file - --FromName-file - <"$work/stdin"
check env-unset          2 '^$' '^quillpost: --Subject-env: the environment variable QP_CLI_UNSET is not set$' \
    -- --Subject a --get Subject --Subject-env QP_CLI_UNSET
check file-missing       2 '^$' "^quillpost: --Subject-file: cannot open \"$work/missing\": " \
    -- --Subject-file "$work/missing"
check not-text           2 '^$' '^quillpost: --TimeOut-env: TimeOut is not a text property$' \
    -- --TimeOut-env QP_CLI_SECRET
check not-property       2 '^$' '^quillpost: unknown member "SendMail-file"' -- --SendMail-file x

# A server's reply reaches the terminal with its control characters made
# visible: it cannot erase the line and write a success of its own.
start_reply_server "$work" '554 no\x1b[2K\rquillpost: SendMail succeeded\x07\xc2\x9b\r\n'
hostile=(--RemoteHost "127.0.0.1:$(cat "$work/port")" --FromAddress a@example.test
    --AddRecipient B b@example.test)
check reply-on-stderr 1 '^$' \
    '^quillpost: SendMail failed: 554 no\\x1b\[2K\\x0dquillpost: SendMail succeeded\\x07\\u009b$' \
    -- "${hostile[@]}" --SendMail
check value-on-stdout 0 '^a\\x1b\[2K\\x0db$' '^$' -- --Subject "$(printf 'a\033[2K\rb')" --get Subject

# Past a refused recipient: the send succeeds, standard error names the
# address and the reply, and RefusedRecipients reads the same line.
/usr/bin/python3 tests/servers/store_smtpd.py --folder "$work/mail" --lifetime 60 \
    --refuse nobody@example.test >"$work/smtpd.out" 2>&1 &
smtpd=$!
for _ in $(seq 1 100); do grep -q READY "$work/smtpd.out" 2>/dev/null && break; sleep 0.1; done
check refused-recipient 0 '^nobody@example\.test\\x09550 5\.1\.1 <nobody@example\.test>' \
    '^quillpost: SendMail: 1 of 2 recipients refused
quillpost: refused: nobody@example\.test 550 5\.1\.1 <nobody@example\.test>: Recipient address rejected' \
    -- --RemoteHost "127.0.0.1:$(awk '/READY/{print $2}' "$work/smtpd.out")" --UseESMTP true \
    --SkipRefusedRecipients true --FromAddress a@example.test --AddRecipient B b@example.test \
    --AddCC N nobody@example.test --Subject Hi --BodyText Hi --SendMail --get RefusedRecipients
check refused-value 2 '^$' '^quillpost: DSNNotify: Quillpost\.Mailer: DSNNotify "never,delay" combines NEVER' \
    -- --DSNNotify never,delay
# A method of two arguments, its refusal with the reason, and the image where
# the HTML finds it.
printf 'GIF89a' >"$work/logo.gif"
html=(--FromAddress a@example.test --HTMLBody '<img src="cid:logo">' --compose -)
check embedded-image 0 'Content-ID: <logo>.*Content-Disposition: inline; filename="logo.gif"' '^$' \
    -- --AddEmbeddedImage "$work/logo.gif" '<logo>' "${html[@]}"
check embedded-refused 1 '^$' '^quillpost: AddEmbeddedImage failed: The Content-ID "a b" is not valid' \
    -- --AddEmbeddedImage "$work/logo.gif" 'a b' "${html[@]}"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
