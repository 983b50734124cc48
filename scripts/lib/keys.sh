# RSA keys handed between the key codec (through the tests' kiv_keytool) and the openssl
# command, both ways. Sourced by scripts/interop, whose expect and contains helpers and
# pass/fail counters it uses.
#
# keys_setup DIR             OpenSSL's keys in every form, and keys the codec refuses, in DIR
#                            (key_codec_dir: $keys belongs to the signed-update cases)
# keys_suite TAG TOOL...     the cases for one build of kiv_keytool

# Each form of a key as OpenSSL writes it: NAME.p8.pem (genpkey) and .p8.der (pkcs8 -topk8:
# `pkey -outform DER` writes PKCS#1), .p1.pem and .p1.der (-traditional), .spki.pem and
# .spki.der (-pubout), .rsapub.pem and .rsapub.der (-RSAPublicKey_out).
keys_forms() { # BASE
    local b=$1
    openssl pkcs8 -topk8 -nocrypt -in "$b.p8.pem" -outform DER -out "$b.p8.der" &&
        openssl rsa -in "$b.p8.pem" -traditional -out "$b.p1.pem" 2>/dev/null &&
        openssl rsa -in "$b.p8.pem" -traditional -outform DER -out "$b.p1.der" 2>/dev/null &&
        openssl pkey -in "$b.p8.pem" -pubout -out "$b.spki.pem" &&
        openssl pkey -in "$b.p8.pem" -pubout -outform DER -out "$b.spki.der" &&
        openssl rsa -in "$b.p8.pem" -RSAPublicKey_out -out "$b.rsapub.pem" 2>/dev/null &&
        openssl rsa -in "$b.p8.pem" -RSAPublicKey_out -outform DER -out "$b.rsapub.der" 2>/dev/null
}

keys_setup() { # DIR
    local d=$1
    key_codec_dir=$d
    rm -rf "$d" && mkdir -p "$d"
    local bits
    for bits in 2048 3072; do
        openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:$bits -out "$d/o$bits.p8.pem" \
            2>/dev/null && keys_forms "$d/o$bits" || echo "openssl could not make the $bits-bit key"
    done
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -pkeyopt rsa_keygen_primes:3 \
        -out "$d/multiprime.pem" 2>/dev/null
    openssl rsa -in "$d/multiprime.pem" -traditional -out "$d/multiprime.p1.pem" 2>/dev/null
    openssl pkey -in "$d/o2048.p8.pem" -aes-256-cbc -passout pass:kiv -out "$d/encrypted.pem"
    openssl rsa -in "$d/o2048.p8.pem" -traditional -aes256 -passout pass:kiv \
        -out "$d/encrypted.p1.pem" 2>/dev/null
    openssl genpkey -algorithm RSA-PSS -pkeyopt rsa_keygen_bits:2048 -out "$d/pss.pem" 2>/dev/null
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$d/ec.pem"
}

# identical NAME FILE EXPECTED: FILE holds exactly the bytes of EXPECTED.
identical() {
    if [ -s "$3" ] && cmp -s "$2" "$3"; then
        passed=$((passed + 1)); echo "PASS $1"
    else
        failed=$((failed + 1)); echo "FAIL $1 (${2##*/} is not ${3##*/})"
    fi
}

keys_suite() { # TAG TOOL...
    local tag=$1 d=$key_codec_dir out=$key_codec_dir/$1 k from to
    shift
    mkdir -p "$out"
    # OpenSSL's keys, read in each form and written in each: OpenSSL's bytes every time.
    local name src ref
    for k in o2048 o3072; do
        # NAME, the form read and OpenSSL's file of it, the form written and OpenSSL's file of it
        while read -r name from src to ref; do
            expect "$tag-$k-$name" 0 "$@" convert "$from" "$d/$k.$src" "$to" "$out/$k.$name"
            identical "$tag-$k-$name-same" "$out/$k.$name" "$d/$k.$ref"
        done <<'CASES'
pkcs8-pem private-pem p8.pem pkcs8-pem p8.pem
pkcs8-to-pkcs1 private-pem p8.pem pkcs1-pem p1.pem
pkcs1-to-pkcs8-der private-pem p1.pem pkcs8-der p8.der
pkcs8-der-to-pkcs1-der pkcs8-der p8.der pkcs1-der p1.der
pkcs1-der-to-spki pkcs1-der p1.der x509-pem spki.pem
private-to-rsapub-der private-pem p8.pem rsapub-der rsapub.der
spki-to-rsapub public-pem spki.pem rsapub-pem rsapub.pem
spki-der x509-der spki.der x509-der spki.der
rsapub-der-to-spki-der rsapub-der rsapub.der x509-der spki.der
rsapub-to-spki public-pem rsapub.pem x509-pem spki.pem
CASES
    done

    # A key made here, in every form, taken and checked by OpenSSL, which writes the same
    # bytes back.
    local g=$out/made t=$tag-made
    expect "$t-generate" 0 "$@" generate 2048 pkcs8-pem "$g.p8.pem"
    for to in pkcs8-der pkcs1-pem pkcs1-der x509-pem x509-der rsapub-pem rsapub-der; do
        expect "$t-write-$to" 0 "$@" convert private-pem "$g.p8.pem" "$to" "$g.$to"
    done
    expect "$t-pkey-check" 0 openssl pkey -in "$g.p8.pem" -check -noout
    expect "$t-rsa-check" 0 openssl rsa -in "$g.p8.pem" -check -noout
    contains "$t-rsa-check-ok" "$t-rsa-check" "RSA key ok"
    expect "$t-rsa-check-pkcs1" 0 openssl rsa -in "$g.pkcs1-pem" -check -noout
    expect "$t-rsa-check-pkcs1-der" 0 openssl rsa -inform DER -in "$g.pkcs1-der" -check -noout
    expect "$t-pkey-check-pkcs8-der" 0 openssl pkey -inform DER -in "$g.pkcs8-der" -check -noout
    expect "$t-openssl-pkcs8-der" 0 openssl pkcs8 -topk8 -nocrypt -in "$g.pkcs1-pem" -outform DER \
        -out "$g.o.p8.der"
    identical "$t-openssl-pkcs8-der-same" "$g.o.p8.der" "$g.pkcs8-der"
    expect "$t-openssl-pkcs8" 0 openssl pkey -in "$g.p8.pem" -out "$g.o.p8.pem"
    identical "$t-openssl-pkcs8-same" "$g.o.p8.pem" "$g.p8.pem"
    expect "$t-openssl-pkcs1" 0 openssl rsa -in "$g.p8.pem" -traditional -out "$g.o.p1.pem"
    identical "$t-openssl-pkcs1-same" "$g.o.p1.pem" "$g.pkcs1-pem"
    expect "$t-openssl-pkcs1-der" 0 openssl rsa -in "$g.pkcs1-der" -inform DER -traditional \
        -outform DER -out "$g.o.p1.der"
    identical "$t-openssl-pkcs1-der-same" "$g.o.p1.der" "$g.pkcs1-der"
    expect "$t-openssl-pubout" 0 openssl pkey -in "$g.p8.pem" -pubout -out "$g.o.spki.pem"
    identical "$t-openssl-pubout-same" "$g.o.spki.pem" "$g.x509-pem"
    expect "$t-openssl-spki-der" 0 openssl pkey -pubin -inform DER -in "$g.x509-der" -pubout \
        -outform DER -out "$g.o.spki.der"
    identical "$t-openssl-spki-der-same" "$g.o.spki.der" "$g.x509-der"
    expect "$t-openssl-rsapub" 0 openssl rsa -RSAPublicKey_in -in "$g.rsapub-pem" \
        -RSAPublicKey_out -out "$g.o.rsapub.pem"
    identical "$t-openssl-rsapub-same" "$g.o.rsapub.pem" "$g.rsapub-pem"
    expect "$t-openssl-rsapub-der" 0 openssl rsa -RSAPublicKey_in -inform DER -in "$g.rsapub-der" \
        -RSAPublicKey_out -outform DER -out "$g.o.rsapub.der"
    identical "$t-openssl-rsapub-der-same" "$g.o.rsapub.der" "$g.rsapub-der"

    # What OpenSSL makes that the codec refuses, each with its reason.
    local want
    while read -r name from want; do
        expect "$tag-refuses-$name" 1 "$@" convert private-pem "$d/$from" pkcs8-pem "$out/refused.pem"
        contains "$tag-refuses-$name-reason" "$tag-refuses-$name.err" "$want"
    done <<'CASES'
multiprime multiprime.pem multi-prime
multiprime-pkcs1 multiprime.p1.pem multi-prime
encrypted-pkcs8 encrypted.pem encrypted
encrypted-legacy encrypted.p1.pem encrypted
rsa-pss pss.pem rsaEncryption
ec ec.pem rsaEncryption
public-as-private o2048.spki.pem another kind
CASES
}
