#!/usr/bin/env bash
# signing-test.sh PREFIX PACKER STUB CHILD WORK: signs a packed launcher with a throw-away
# certificate and checks that the signature holds and nothing else changed for the worse:
# osslsigncode verifies it, the signed launcher still runs its child under Wine and passes the
# child's exit code on, onefile-pack list and verify read it, and packing with it as the stub is
# refused (its signature would break). PACKER is the host build's onefile-pack; exits 77 (skipped)
# when it or the signing tools are missing.
set -euo pipefail
prefix=$1
packer=$2
stub=$3
child=$4
work=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
for tool in "$packer" osslsigncode openssl; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is not there: skipped"
    exit 77
  fi
done
cache="$prefix/drive_c/users/$(id -un)/AppData/Local/onefile-signing-test"
rm -rf "$work" "$cache"
mkdir -p "$work/app"
trap 'rm -rf "$work" "$cache"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cp "$child" "$work/app/app.exe"
"$packer" pack "$work/app" --main app.exe --stub "$stub" --name onefile-signing-test -o "$work/packed.exe"

# The recipe of the README: a certificate for code signing (here a throw-away self-signed one),
# then osslsigncode sign. A real certificate comes from a certificate authority.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=onefile signing test" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "onefile signing test" -h sha256 \
  -in "$work/packed.exe" -out "$work/signed.exe" >/dev/null
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" > "$work/verify.txt" 2>&1 \
  || { cat "$work/verify.txt"; fail "osslsigncode verify refused the signed launcher"; }
grep -q "Signature verification: ok" "$work/verify.txt" || fail "no verified signature"

# The signed launcher unpacks and runs its child, and passes its exit code on.
status=0
ONEFILE_TEST_EXIT=42 "$root/cmake/wine-run" "$prefix" "$work/signed.exe" </dev/null >/dev/null 2>&1 || status=$?
[ "$status" = 42 ] || fail "the signed launcher ended with $status, not the child's 42"
# The default template gives each build its own folder: the version, "-", the build id's start.
build=$("$packer" list "$work/signed.exe" | sed -n 's/^build id    \([0-9a-f]\{8\}\)[0-9a-f]\{8\}$/\1/p')
[ -n "$build" ] || fail "list shows no build id"
[ -f "$cache/1.0-$build/app.exe" ] || fail "the signed launcher did not unpack its child"

"$packer" list "$work/signed.exe" > "$work/list.txt" || fail "list cannot read the signed launcher"
grep -q "^product     onefile-signing-test$" "$work/list.txt" || fail "list does not show the identity"
grep -q "  app.exe$" "$work/list.txt" || fail "list does not show the payload"
"$packer" verify "$work/signed.exe" > /dev/null || fail "verify refuses the signed launcher"

# A signed executable, packed or not, is no stub: its resources cannot change without breaking
# the signature. The refusal names the way out and writes nothing.
status=0
"$packer" pack "$work/app" --main app.exe --stub "$work/signed.exe" -o "$work/again.exe" 2> "$work/again.txt" || status=$?
[ "$status" = 1 ] || fail "packing with a signed stub ended with $status"
grep -q "carries an Authenticode signature" "$work/again.txt" || fail "unexpected refusal: $(cat "$work/again.txt")"
[ ! -e "$work/again.exe" ] || fail "packing with a signed stub wrote an output"
echo "signed, verified, started, listed and refused as a stub"
