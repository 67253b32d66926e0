#!/usr/bin/env bash
# The quillpost program as a shell sees it: exit statuses, standard output and
# standard error through the real main().
set -uo pipefail
cd "$(dirname "$0")/../.."
bin=${QP_CLI:-build/linux/quillpost}
passed=0
failed=0

# check LABEL WANT_STATUS WANT_STDOUT_PATTERN WANT_STDERR_PATTERN -- ARGS...
check() {
    local label=$1 status=$2 out=$3 err=$4
    shift 5
    local got_out got_err got_status
    got_out=$(timeout 20 "$bin" "$@" 2>/tmp/quillpost_cli_err.$$)
    got_status=$?
    got_err=$(cat /tmp/quillpost_cli_err.$$)
    if [ "$got_status" = "$status" ] && [[ $got_out =~ $out ]] && [[ $got_err =~ $err ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED $label: status $got_status, stdout [$got_out], stderr [$got_err]"
    fi
}

if [ ! -x "$bin" ]; then
    echo "no $bin"
    echo "0 passed, 1 failed"
    exit 1
fi

# The program creates its Mailer through COM and registers the server library
# beside it on first use: into a scratch registry, never the user's.
registry=$(mktemp "${TMPDIR:-/tmp}/quillpost_cli_registry.XXXXXX")
rm -f "$registry"
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

rm -f /tmp/quillpost_cli_err.$$ "$registry" "$registry.lock"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
