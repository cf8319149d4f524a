#!/usr/bin/env bash
# Makes the certificates of the HTTPS feed server in DIR, fresh for every run:
#
#   DIR/ca.pem                  a test CA; inner.sh adds it to the namespace's
#                               CA bundle, so only the test namespace trusts it
#   DIR/trusted.pem, .key       api.ivao.aero and hostile.test.aero, signed by
#                               that CA (chain: leaf, CA)
#   DIR/untrusted.pem, .key     api.ivao.aero, signed by a second CA that
#                               nobody trusts
#
#   test_ca.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"

# RSA: the key type every TLS stack and certificate verifier handles.
ca() { # NAME SUBJECT
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1-ca.key" -out "$1-ca.pem" \
        -days 30 -subj "/CN=$2" -sha256 \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
leaf() { # NAME
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" \
        -subj "/CN=api.ivao.aero" 2>/dev/null
    cat >"$1.ext" <<EXT
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:api.ivao.aero,DNS:hostile.test.aero
EXT
    openssl x509 -req -in "$1.csr" -CA "$1-ca.pem" -CAkey "$1-ca.key" -CAcreateserial \
        -out "$1.leaf.pem" -days 7 -sha256 -extfile "$1.ext" 2>/dev/null
    cat "$1.leaf.pem" "$1-ca.pem" >"$1.pem"
}

ca trusted "Tovira Test CA"
ca untrusted "Untrusted Test CA"
leaf trusted
leaf untrusted
cp trusted-ca.pem ca.pem
rm -f ./*.csr ./*.ext ./*.srl
