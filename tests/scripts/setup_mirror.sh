#!/usr/bin/env bash
# scripts/setup and scripts/demo against a broken mirror: a stand-in apt-get
# early on PATH fails every `update` the way a mirror in mid-sync does (one
# index, the i386 security one, has the wrong size; exit 100), and cannot find
# i386 packages. Stand-ins for dpkg-query and dpkg make every package look
# missing, so each group goes through apt-get install. Nothing is really
# installed: the stand-in records what it was asked for.
# Checked: update is tried three times; every group but x86 installs; x86 is
# reported with its packages and apt's reason, as a package-source failure;
# `setup core` asks for no Wine, mingw or Postfix; and the demo, whose setup
# now meets the broken mirror, still delivers its message.
set -u
cd "$(dirname "$0")/../.."
root=$PWD
passed=0
failed=0
source tests/scripts/lib/checks.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/qp_setup_mirror.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
export FAKE_APT=$work

cat >"$work/bin/apt-get" <<'SH'
#!/usr/bin/env bash
for a in "$@"; do
    case $a in
        update)
            echo update >>"$FAKE_APT/calls"
            echo "Err:5 http://deb.example/debian-security bookworm-security/main i386 Packages"
            echo "  File has unexpected size (70740 != 70748). Mirror sync in progress? [IP: 192.0.2.1 80]"
            echo "E: Failed to fetch http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (70740 != 70748). Mirror sync in progress? [IP: 192.0.2.1 80]"
            echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
            exit 100 ;;
    esac
done
pkgs=()
for a in "$@"; do case $a in -*|install|DPkg::*) ;; *) pkgs+=("$a") ;; esac; done
echo "install ${pkgs[*]}" >>"$FAKE_APT/calls"
for p in "${pkgs[@]}"; do
    case $p in *:i386) echo "E: Unable to locate package $p"; exit 100 ;; esac
done
printf '%s\n' "${pkgs[@]}" >>"$FAKE_APT/installed"
SH
cat >"$work/bin/dpkg-query" <<'SH'
#!/usr/bin/env bash
grep -qxF "${!#}" "$FAKE_APT/installed" 2>/dev/null && printf 'install ok installed'
SH
cat >"$work/bin/dpkg" <<'SH'
#!/usr/bin/env bash
case $1 in --print-foreign-architectures) cat "$FAKE_APT/arch" 2>/dev/null ;; --add-architecture) echo "$2" >>"$FAKE_APT/arch" ;; esac
SH
printf '#!/bin/sh\ncat >/dev/null\n' >"$work/bin/debconf-set-selections"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/update-alternatives"
chmod +x "$work/bin"/*
export PATH="$work/bin:$PATH" QP_APT_PAUSE=0

# 1. Every group against the broken mirror.
: >"$work/installed"
QP_SETUP_STATUS=$work/status bash scripts/setup >"$work/out" 2>&1
status=$?
[ "$status" = 1 ] && pass "setup exits 1 when a group could not be installed" ||
    fail "setup exit status $status, want 1"
tries=$(grep -c '^update' "$work/calls")
[ "$tries" = 3 ] && pass "apt-get update is tried three times" || fail "apt-get update tried $tries times"
for g in core windows servers tools; do
    grep -qx "$g ok" "$work/status" && pass "group $g installs past the failed index" ||
        fail "group $g: $(grep "^$g " "$work/status")"
done
grep -qE '^x86 source-failed .*Mirror sync in progress' "$work/status" &&
    pass "x86 is recorded as a package-source failure with apt's reason" ||
    fail "x86 status: $(grep '^x86 ' "$work/status")"
grep -qE 'group x86 could not be installed \(wine32:i386\): .*Unable to locate package' "$work/out" &&
    pass "the report names the group, its packages and apt's reason" ||
    { fail "no plain report of the x86 group"; cat "$work/out"; }

# 2. The demo's group alone installs no Wine, mingw or Postfix.
: >"$work/installed"
: >"$work/calls"
QP_SETUP_STATUS=$work/status-core bash scripts/setup core >"$work/out-core" 2>&1
status=$?
if [ "$status" = 0 ] && ! grep -qE 'wine|mingw|postfix|dovecot' "$work/calls"; then
    pass "setup core installs its own packages only"
else
    fail "setup core: status $status, asked: $(grep install "$work/calls")"
fi

# 3. The demo delivers although apt-get update fails.
if [ -x build/linux/quillpost ]; then
    : >"$work/installed"
    if QP_SETUP_STATUS=$work/status-demo timeout 300 bash scripts/demo </dev/null >"$work/demo.out" 2>&1 &&
        grep -q 'done: the message was delivered' "$work/demo.out" &&
        grep -qE '^Subject: +Quarterly figures' "$work/demo.out"; then
        pass "the demo delivers with the mirror broken"
    else
        fail "the demo did not deliver"
        tail -n 20 "$work/demo.out"
    fi
else
    fail "no build/linux/quillpost to run the demo with"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
