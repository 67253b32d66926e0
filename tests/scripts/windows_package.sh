#!/usr/bin/env bash
# The Windows release archive: the package target of the x64 build makes a ZIP
# holding each bitness's Quillpost.dll in its own folder (checked by the
# machine type in its PE header, so the two cannot be swapped), the sample
# script and the registering text. Needs both Windows builds.
# needs: windows
set -u
cd "$(dirname "$0")/../.."
root=$PWD
passed=0
failed=0
source tests/scripts/lib/checks.sh

zip=$root/build/windows/Quillpost-2.2-windows.zip
rm -f "$zip"
if cmake --build --preset windows --target package >"$root/build/windows/package.log" 2>&1 && [ -f "$zip" ]; then
    pass "the package target makes $(basename "$zip")"
    while read -r line; do
        case $line in
            ok\ -*) pass "${line#ok - }" ;;
            *) fail "${line#not ok - }" ;;
        esac
    done < <(/usr/bin/python3 - "$zip" <<'PY'
import struct, sys, zipfile
names = {n.split("/", 1)[1]: n for n in zipfile.ZipFile(sys.argv[1]).namelist() if "/" in n}
z = zipfile.ZipFile(sys.argv[1])
def machine(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return struct.unpack_from("<H", data, pe + 4)[0] if data[pe:pe + 4] == b"PE\0\0" else None
for folder, want in (("x86", 0x14C), ("x64", 0x8664)):
    name = names.get(folder + "/Quillpost.dll")
    got = machine(z.read(name)) if name else None
    print(("ok - " if got == want else "not ok - ") + f"{folder}/Quillpost.dll is {folder} (machine {got})")
for extra in ("sample.vbs", "REGISTER.txt"):
    print(("ok - " if extra in names else "not ok - ") + f"{extra} is in the archive")
PY
)
else
    fail "the package target makes $(basename "$zip") (see build/windows/package.log)"
    tail -n 20 "$root/build/windows/package.log"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
