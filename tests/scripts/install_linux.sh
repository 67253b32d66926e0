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
pass() { echo "ok - $1"; passed=$((passed + 1)); }
fail() { echo "not ok - $1"; failed=$((failed + 1)); }

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

mkdir -p "$work/host"
cat >"$work/host/main.cpp" <<'CPP'
#include <cstdio>
#include <string>

#include "mailer/com/com_ids.h"
#include "mailer/com/imailer.h"
#include "platform/com.h"

int main(int argc, char** argv) {
    using namespace quillpost;
    if (argc != 2 || platform::CallServerExport(argv[1], "DllRegisterServer") != S_OK) return 2;
    com::IMailer* mailer = nullptr;
    if (FAILED(platform::CreateObject("Quillpost.Mailer", com::kIID_IMailer,
                                      reinterpret_cast<void**>(&mailer))))
        return 3;
    BSTR version = nullptr;
    const HRESULT hr = mailer->get_Version(&version);
    const std::u16string text = platform::FromBstr(version);
    SysFreeString(version);
    mailer->Release();
    platform::CallServerExport(argv[1], "DllUnregisterServer");
    if (FAILED(hr)) return 4;
    std::printf("Version %s\n", std::string(text.begin(), text.end()).c_str());
    return 0;
}
CPP
cat >"$work/host/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(host LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(Quillpost 2.2 REQUIRED)
add_executable(host main.cpp)
target_link_libraries(host PRIVATE Quillpost::com)
target_compile_definitions(host PRIVATE SERVER="${Quillpost_SERVER_LIBRARY}")
file(WRITE ${CMAKE_BINARY_DIR}/server.txt "${Quillpost_SERVER_LIBRARY}")
CMAKE

export QUILLPOST_REGISTRY=$work/registry
if cmake -S "$work/host" -B "$work/host/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake.log" 2>&1 &&
    cmake --build "$work/host/build" >>"$work/cmake.log" 2>&1; then
    pass "a host builds with find_package(Quillpost)"
    server=$(cat "$work/host/build/server.txt")
    out=$("$work/host/build/host" "$server" 2>&1)
    if [ "$out" = "Version 2.2" ]; then pass "the CMake-built host creates the object"; else fail "the CMake-built host creates the object: $out"; fi
else
    fail "a host builds with find_package(Quillpost)"
    tail -20 "$work/cmake.log"
fi

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
if flags=$(pkg-config --cflags --libs quillpost) &&
    g++ -o "$work/host/pc_host" "$work/host/main.cpp" $flags -Wl,-rpath,"$prefix/lib" 2>"$work/pc.log"; then
    pass "a host builds with pkg-config quillpost"
    out=$("$work/host/pc_host" "$(pkg-config --variable=serverlibrary quillpost)" 2>&1)
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
