#!/usr/bin/env bash
# Files other users can reach: the registry file and SMTPLog hold their ground
# against what the user nobody planted. Runs as root (the rules are about
# other users' files), else skips.
set -uo pipefail
cd "$(dirname "$0")/../.."
bin=$(pwd)/${QP_CLI:-build/linux/quillpost}
passed=0
failed=0
source tests/scripts/lib/checks.sh
if [ "$(id -u)" != 0 ] || ! id nobody >/dev/null 2>&1; then
    echo "not root, or no user nobody: skipped"
    echo "0 passed, 0 failed"
    exit 0
fi
need_binary
scratch files
chmod 755 "$work"

as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"; }

# A root-only file that no rewrite may reach.
mkdir -m 700 "$work/private"
printf 'secret\n' >"$work/private/victim"
chmod 600 "$work/private/victim"
victim_intact() { [ "$(cat "$work/private/victim")" = secret ]; }

# ---- the registry ----

# A library whose loading leaves a mark, and a registry that names it.
printf '#include <stdio.h>\n__attribute__((constructor)) static void mark(void) {'\
' fclose(fopen("%s/loaded", "w")); }\n' "$work" >"$work/evil.c"
cc -shared -fPIC -o "$work/evil.so" "$work/evil.c" || exit 1
mkdir -m 700 "$work/good"
QUILLPOST_REGISTRY=$work/good/registry "$bin" --get Version >/dev/null 2>&1
grep -q libquillpost.so "$work/good/registry"
ok "a trusted registry is written"

# plant DIR-MODE FILE-OWNER FILE-MODE: a registry naming evil.so, as given.
plant() {
    rm -rf "$work/reg"
    mkdir -m "$1" "$work/reg"
    sed "s|[^\t]*libquillpost.so|$work/evil.so|" "$work/good/registry" >"$work/reg/registry"
    chown "$2" "$work/reg/registry"
    chmod "$3" "$work/reg/registry"
}
#    folder file-owner file  what the error names
while read -r dmode owner fmode says; do
    plant "$dmode" "$owner" "$fmode"
    rm -f "$work/loaded"
    err=$(QUILLPOST_REGISTRY=$work/reg/registry "$bin" --Subject a --get Subject 2>&1 >/dev/null)
    [ ! -e "$work/loaded" ] && [[ $err =~ $says.*"so it is not used; using the built-in object" ]]
    ok "registry $dmode $owner $fmode: [$err]"
done <<'TABLE'
700 nobody 644 belongs.to.user.[0-9]+
700 root   664 writable.by.group.or.others..mode.0664
700 root   606 writable.by.group.or.others..mode.0606
777 root   644 registry.folder.*writable.by.group.or.others..mode.0777
TABLE

# The same file, ours and closed to others, is used: the check is not all there is.
plant 700 root 644
rm -f "$work/loaded"
QUILLPOST_REGISTRY=$work/reg/registry "$bin" --get Version >/dev/null 2>&1
[ -e "$work/loaded" ]
ok "a trusted registry is followed"

# A link planted at the name the rewrite once used is neither followed nor
# replaced: the rewrite makes its own file.
rm -rf "$work/reg"
mkdir -m 700 "$work/reg"
QUILLPOST_REGISTRY=$work/reg/registry sh -c 'ln -s "$1" "$2.tmp$$" && chown -h nobody "$2.tmp$$" && exec "$3" --get Version' \
    sh "$work/private/victim" "$work/reg/registry" "$bin" >/dev/null 2>&1
victim_intact && grep -q libquillpost.so "$work/reg/registry" &&
    [ "$(stat -c %a "$work/reg/registry")" = 644 ]
ok "the rewrite does not follow a link at its temporary name"

# ---- SMTPLog ----

# Refuses the session at once: enough for a log.
start_reply_server "$work" '554 no service here\r\n'
send_with_log() {
    QUILLPOST_REGISTRY=$work/good/registry "$bin" --RemoteHost "127.0.0.1:$(cat "$work/port")" \
        --FromAddress a@example.test --AddRecipient B b@example.test --SMTPLog "$1" --SendMail \
        >/dev/null 2>&1
}

# A shared, sticky folder as /tmp is, with what nobody left in it.
mkdir -m 1777 "$work/shared"
as_nobody ln -s "$work/private/victim" "$work/shared/link.log"
as_nobody sh -c "printf mine >'$work/shared/theirs.log'; chmod 666 '$work/shared/theirs.log'"
ln -s "$work/private/own.log" "$work/shared/own-link.log"

send_with_log "$work/shared/link.log"
victim_intact
ok "SMTPLog does not follow another user's link in a sticky folder"

send_with_log "$work/shared/theirs.log"
[ "$(cat "$work/shared/theirs.log")" = mine ]
ok "SMTPLog does not write another user's file in a sticky folder"

# A FIFO of theirs, with their reader waiting on it, gets nothing.
as_nobody mkfifo -m 622 "$work/shared/fifo.log"
as_nobody timeout 20 cat "$work/shared/fifo.log" >"$work/fifo.read" &
reader=$!
sleep 0.2
timeout 20 bash -c "$(declare -f send_with_log); work='$work' bin='$bin' send_with_log '$work/shared/fifo.log'"
[ $? != 124 ] && ! grep -q "554" "$work/fifo.read"
ok "SMTPLog does not write into another user's FIFO in a sticky folder"
kill "$reader" 2>/dev/null

send_with_log "$work/shared/own-link.log"
grep -q "554 no service here" "$work/private/own.log"
ok "SMTPLog follows this user's own link"

for log in "$work/private/new.log" "$work/shared/new.log"; do
    send_with_log "$log"
    grep -q "554 no service here" "$log" && [ "$(stat -c %a "$log")" = 600 ]
    ok "a new SMTPLog $log is made 0600"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
