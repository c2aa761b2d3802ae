#!/bin/sh
# Makes the throw-away certificates of the TLS tests in folder $1 (EC P-256 keys, all fast):
#   ca.pem              the test authority the tests trust (CaFile)
#   good.pem            localhost and 127.0.0.1, signed by it
#   expired.pem         the same names, signed by it, valid only in 2020
#   wrongname.pem       signed by it for other.example only
#   unknown.pem         localhost and 127.0.0.1, signed by an authority nobody trusts
#   unknown2.pem        the same again: another certificate from that authority
#   names.pem           the host names of the account set-up tests' domains (*.test), signed by it
#   server.key          the key of every server certificate above
set -eu
dir=$1
cd "$dir"
mkdir -p newcerts
: > index.txt
echo 1000 > serial
cat > ca.cnf <<CNF
[ ca ]
default_ca = test_ca
[ test_ca ]
dir = $dir
database = $dir/index.txt
new_certs_dir = $dir/newcerts
serial = $dir/serial
default_md = sha256
policy = any_name
copy_extensions = copy
unique_subject = no
email_in_dn = no
[ any_name ]
commonName = supplied
CNF

key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }
authority() { # name key cert
  key "$2"
  openssl req -x509 -new -key "$2" -out "$3" -days 3650 -subj "/CN=$1" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}
leaf() { # out cn san ca-cert ca-key [startdate enddate]
  openssl req -new -key server.key -out "$1.csr" -subj "/CN=$2" -addext "subjectAltName=$3" 2>/dev/null
  if [ $# -ge 7 ]; then dates="-startdate $6 -enddate $7"; else dates="-days 3650"; fi
  # shellcheck disable=SC2086
  openssl ca -batch -notext -config ca.cnf -cert "$4" -keyfile "$5" -in "$1.csr" -out "$1" $dates 2>/dev/null
}

authority "Brevicor Test CA" ca.key ca.pem
authority "Unknown Test CA" rogue.key rogue.pem
key server.key
chmod 644 server.key
leaf good.pem localhost "DNS:localhost,IP:127.0.0.1,IP:::1" ca.pem ca.key
leaf expired.pem localhost "DNS:localhost,IP:127.0.0.1" ca.pem ca.key 20200101000000Z 20201231000000Z
leaf wrongname.pem other.example "DNS:other.example" ca.pem ca.key
leaf unknown.pem localhost "DNS:localhost,IP:127.0.0.1" rogue.pem rogue.key
leaf unknown2.pem localhost "DNS:localhost,IP:127.0.0.1" rogue.pem rogue.key
leaf names.pem names.test "DNS:auth.test,DNS:wellknown.test,DNS:nothing.test,DNS:srv.test,DNS:mx.test,DNS:guess.test,DNS:table.test,DNS:plain.test,DNS:oauth.test,DNS:autoconfig.auto.test,DNS:autoconfig.hosted.test,DNS:autoconfig.srv.test,DNS:autoconfig.mx.test,DNS:autoconfig.guess.test,DNS:autoconfig.nothing.test" ca.pem ca.key
