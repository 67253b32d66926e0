#!/usr/bin/env bash
# Packaging for C++ hosts on Linux: cmake --install puts the server library,
# our COM run time, the headers, the CMake package and the pkg-config file in
# place; a small host built against each registers the server in a registry
# file of its own, creates Quillpost.Mailer through CreateObject and reads its
# Version through IMailer.
set -u
cd "$(dirname "$0")/../.."
root=$PWD
build=$root/build/linux

passed=0
failed=0
source tests/scripts/lib/checks.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

if [ -f "$build/libquillpost.so" ] && cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    pass "cmake --install"
else
    fail "cmake --install (build the linux preset first)"
    cat "$work/install.log" 2>/dev/null
    echo "$passed passed, $failed failed"
    exit 1
fi

for f in lib/libquillpost.so lib/libquillpost_com.so include/quillpost/platform/com.h \
         include/quillpost/platform/posix/com_posix.h include/quillpost/mailer/com/imailer.h \
         include/quillpost/mailer/com/com_ids.h lib/cmake/Quillpost/QuillpostConfig.cmake \
         lib/cmake/Quillpost/QuillpostConfigVersion.cmake lib/pkgconfig/quillpost.pc; do
    if [ -f "$prefix/$f" ]; then pass "installed $f"; else fail "installed $f"; fi
done

# The host is the README's example, word for word but for the prefix: the
# C++ and CMake blocks of its section on C++ hosts.
mkdir -p "$work/host"
readme_block() {
    awk -v lang="$1" '/^## Using the component from C\+\+ on Linux/ { in_section = 1 }
        in_section && $0 == "```" lang { in_block = 1; next }
        in_block && $0 == "```" { exit }
        in_block' README.md | sed "s#/opt/quillpost#$prefix#g"
}
readme_block cpp >"$work/host/main.cpp"
readme_block cmake >"$work/host/CMakeLists.txt"
if grep -q 'CreateObject' "$work/host/main.cpp" && grep -q 'find_package(Quillpost' "$work/host/CMakeLists.txt"; then
    pass "the README's host example is found"
else
    fail "the README's host example is found"
fi
server=$prefix/lib/libquillpost.so
# What the example leaves registered goes again, as an uninstaller would do it.
unregister() {
    python3 -c 'import ctypes, sys; sys.exit(ctypes.CDLL(sys.argv[1]).DllUnregisterServer())' "$server"
}

export QUILLPOST_REGISTRY=$work/registry
if cmake -S "$work/host" -B "$work/host/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake.log" 2>&1 &&
    cmake --build "$work/host/build" >>"$work/cmake.log" 2>&1; then
    pass "a host builds with find_package(Quillpost)"
    out=$("$work/host/build/host" 2>&1)
    unregister
    if [ "$out" = "Version 2.2" ]; then pass "the CMake-built host creates the object"; else fail "the CMake-built host creates the object: $out"; fi
else
    fail "a host builds with find_package(Quillpost)"
    tail -20 "$work/cmake.log"
fi

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
if flags=$(pkg-config --cflags --libs quillpost) &&
    g++ -o "$work/host/pc_host" "$work/host/main.cpp" $flags -Wl,-rpath,"$prefix/lib" 2>"$work/pc.log"; then
    pass "a host builds with pkg-config quillpost"
    out=$("$work/host/pc_host" 2>&1)
    unregister
    if [ "$out" = "Version 2.2" ]; then pass "the pkg-config host creates the object"; else fail "the pkg-config host creates the object: $out"; fi
else
    fail "a host builds with pkg-config quillpost"
    cat "$work/pc.log"
fi
if [ -s "$work/registry" ] && ! grep -q 'Quillpost.Mailer' "$work/registry"; then
    pass "the hosts' registry file is clean after unregistration"
else
    fail "the hosts' registry file is clean after unregistration"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
