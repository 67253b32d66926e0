#!/usr/bin/env bash
# Makes a test CA and server certificates in folder $1 with the openssl command:
#   ca.pem                 the CA (the trusted root a test passes as CAFile)
#   other_ca.pem           a CA that signed none of them
#   good.pem/.key          for 127.0.0.1 and localhost
#   wronghost.pem/.key     for wrong.example only
#   expired.pem/.key       for 127.0.0.1 and localhost, valid only in 2024
#   cnonly.pem/.key        CN=localhost and no subjectAltName at all
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "/CN=Quillpost Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout ca.key -out ca.pem 2>/dev/null

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "/CN=Quillpost Other CA" \
    -addext "basicConstraints=critical,CA:TRUE" -keyout other_ca.key -out other_ca.pem 2>/dev/null

# openssl ca is the one that takes explicit validity dates.
: >index.txt
echo 1000 >serial
cat >ca.cnf <<CNF
[ca]
default_ca = test_ca
[test_ca]
dir = .
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any_name
unique_subject = no
[any_name]
commonName = supplied
CNF

issue() {  # name, subjectAltName (or ""), then openssl ca date options; $cn for the subject
    local name=$1 san=$2; shift 2
    { [ -z "$san" ] || echo "subjectAltName=$san"
      printf 'basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n'
    } >"$name.ext"
    openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=${cn:-$name}" -keyout "$name.key" \
        -out "$name.csr" 2>/dev/null
    openssl ca -batch -notext -config ca.cnf -cert ca.pem -keyfile ca.key -in "$name.csr" \
        -out "$name.pem" -extfile "$name.ext" "$@" 2>/dev/null
}
issue good "IP:127.0.0.1,DNS:localhost" -days 30
issue wronghost "DNS:wrong.example" -days 30
issue expired "IP:127.0.0.1,DNS:localhost" -startdate 20240101000000Z -enddate 20250101000000Z
cn=localhost issue cnonly "" -days 30
