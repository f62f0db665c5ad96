#!/usr/bin/env bash
# A signed release in a folder of its own, with a throwaway authority and code-signing key made
# here: a wrong password stops the build and leaves nothing unsigned, the right one signs all three
# executables and the copies the installer carries, the signed package installs and uninstalls
# under Wine, and a second signed build gives the same bytes.
set -euo pipefail
source=$(realpath "$1") first=$(realpath "$2")
signed=$first/signing-check keys=$first/signing-check/keys
rm -rf "$signed" && mkdir -p "$keys"
fail() { echo "FAIL: $*"; exit 1; }

# RSA, whose signatures are deterministic.
cd "$keys"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Throwaway authority" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Cindertop" 2>/dev/null
printf 'keyUsage=digitalSignature\nextendedKeyUsage=codeSigning\n' > signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile signer.ext \
        -out signer.pem 2>/dev/null
echo right > password && echo wrong > wrong-password
openssl pkcs12 -export -inkey signer.key -in signer.pem -passout file:password -out signer.pfx

# The same package as the first build: its toolchain names the architecture.
toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$first/CMakeCache.txt")
build() {
    cmake -S "$source" -B "$signed" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
          -DCMAKE_BUILD_TYPE=Release -DAK_BUILD_TESTS=OFF -DAK_SIGN_PKCS12="$keys/signer.pfx" \
          -DAK_SIGN_PASSWORD_FILE="$keys/$1" >/dev/null &&
    cmake --build "$signed" --target setup -j "$(nproc)" >"$keys/build.log" 2>&1
}

if build wrong-password; then fail "built with a wrong password"; fi
grep -q "Signing failed: wrong password for the key $keys/signer.pfx" "$keys/build.log" ||
    { cat "$keys/build.log"; fail "no message for the wrong password"; }
for exe in setup.exe uninstal.exe ak.exe; do [ ! -e "$signed/$exe" ] || fail "$exe left behind unsigned"; done

build password || { cat "$keys/build.log"; fail "the signed build failed"; }
for entry in "setup.exe=Ambit Knob 2.00 Setup" "uninstal.exe=Ambit Knob 2.00 Uninstall" "ak.exe=Ambit Knob 2.00"; do
    exe=${entry%%=*}
    osslsigncode verify -CAfile ca.pem -in "$signed/$exe" >verify.log 2>&1 || { cat verify.log; fail "$exe does not verify"; }
    grep -q "Text description: ${entry#*=}$" verify.log || fail "$exe is not signed as ${entry#*=}"
    grep -q "URL description: http://www.cindertop.example/$" verify.log || fail "$exe does not name the maker's address"
done
# What the installer embeds, and so writes, is the signed file itself.
for exe in uninstal.exe ak.exe; do cmp "$signed/$exe" "$signed/payload/$exe" || fail "setup.exe carries another $exe"; done

# The end-to-end programs find the executables beside their own folder: copied into the signed
# build, the sequences install with its setup.exe (comparing every written file with what it
# carries) and uninstall with the uninstaller it wrote.
. "$source/scripts/wine-env.sh"
if ! ak_tree_runs_here "$first"; then
    echo "The signed package is not installed here: $(ak_why_no_32bit)"
else
    mkdir -p "$signed/tests"
    cp "$first/tests/test_sequence.exe" "$signed/tests/"
    AK_SEQUENCES=--count=10 "$source/scripts/wine-run" "$signed/tests/test_sequence.exe" | tee wine.log
    grep -q "PASSED  \] 1 test" wine.log || fail "the sequences did not pass with the signed package"
fi

bash "$source/tests/check-reproducible.sh" "$source" "$signed"
rm -rf "$signed"
