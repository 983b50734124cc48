# RSA signatures and ciphertexts handed between the schemes of this library (through the
# tests' kiv_schemetool) and the openssl command, both ways. Sourced by scripts/interop
# after scripts/lib/keys.sh; uses its expect and contains helpers and pass/fail counters.
#
# schemes_setup DIR KEYTOOL    keys (OpenSSL's of 2048 and 1025 bits, one made here) and
#                              messages of the sizes each case needs
# schemes_suite TAG TOOL...    the cases for one build of kiv_schemetool

schemes_setup() { # DIR KEYTOOL
    schemes=$1
    rm -rf "$schemes" && mkdir -p "$schemes"
    local bits
    # 1025 bits: PSS's encoded message is a byte shorter than the modulus.
    for bits in 2048 1025; do
        openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:$bits -out "$schemes/o$bits.pem" \
            2>/dev/null || echo "openssl could not make the $bits-bit key"
    done
    "$2" generate 2048 pkcs8-pem "$schemes/made.pem" || echo "the key tool could not make a key"
    for key in o2048 o1025 made; do
        openssl pkey -in "$schemes/$key.pem" -pubout -out "$schemes/$key.pub.pem"
    done
    head -c 3000 /dev/urandom >"$schemes/message"
    head -c 3000 /dev/urandom >"$schemes/other"
    head -c 40 /dev/urandom >"$schemes/secret"
}

# same_bytes NAME A B: files A and B are equal and not empty.
same_bytes() {
    if [ -s "$2" ] && cmp -s "$2" "$3"; then
        passed=$((passed + 1)); echo "PASS $1"
    else
        failed=$((failed + 1)); echo "FAIL $1 (${2##*/} differs from ${3##*/})"
    fi
}

# The cases for one key: BITS names its size, which fixes the longest salt and messages.
schemes_key() { # TAG KEY BITS TOOL...
    local tag=$1-$2 key=$schemes/$2.pem pub=$schemes/$2.pub.pem bits=$3 d=$schemes/$1-$2
    shift 3
    mkdir -p "$d"
    local msg=$schemes/message k=$(((bits + 7) / 8)) emlen=$(((bits + 6) / 8))
    local pss=(-sigopt rsa_padding_mode:pss)
    openssl dgst -sha512 -binary -out "$d/sha512" "$msg"
    openssl dgst -sha384 -binary -out "$d/sha384" "$msg"
    openssl dgst -sha1 -binary -out "$d/sha1" "$msg"

    # Signatures made here, verified by OpenSSL.
    expect "$tag-pkcs1-sign" 0 "$@" sign pkcs1 "$key" "$msg" "$d/pkcs1.sig"
    expect "$tag-pkcs1-openssl-verifies" 0 openssl dgst -sha256 -verify "$pub" \
        -signature "$d/pkcs1.sig" "$msg"
    expect "$tag-pkcs1-sha1-sign" 0 "$@" sign pkcs1 --hash sha1 "$key" "$msg" "$d/pkcs1-sha1.sig"
    expect "$tag-pkcs1-sha1-openssl-verifies" 0 openssl pkeyutl -verify -pubin -inkey "$pub" \
        -in "$d/sha1" -sigfile "$d/pkcs1-sha1.sig" -pkeyopt digest:sha1
    expect "$tag-pss-sign" 0 "$@" sign pss "$key" "$msg" "$d/pss.sig"
    expect "$tag-pss-openssl-verifies" 0 openssl dgst -sha256 -verify "$pub" "${pss[@]}" \
        -sigopt rsa_pss_saltlen:32 -signature "$d/pss.sig" "$msg"
    expect "$tag-pss-sha512-mgf-sha1-salt0-sign" 0 "$@" sign pss --hash sha512 --mgf sha1 \
        --salt 0 "$key" "$msg" "$d/pss512.sig"
    expect "$tag-pss-sha512-mgf-sha1-salt0-openssl-verifies" 0 openssl pkeyutl -verify -pubin \
        -inkey "$pub" -in "$d/sha512" -sigfile "$d/pss512.sig" -pkeyopt rsa_padding_mode:pss \
        -pkeyopt digest:sha512 -pkeyopt rsa_mgf1_md:sha1 -pkeyopt rsa_pss_saltlen:0
    expect "$tag-pss-longest-salt-sign" 0 "$@" sign pss --salt $((emlen - 34)) "$key" "$msg" \
        "$d/pssmax.sig"
    expect "$tag-pss-longest-salt-openssl-verifies" 0 openssl dgst -sha256 -verify "$pub" \
        "${pss[@]}" -sigopt rsa_pss_saltlen:auto -signature "$d/pssmax.sig" "$msg"
    expect "$tag-pss-openssl-refuses-other-message" 1 openssl dgst -sha256 -verify "$pub" \
        "${pss[@]}" -sigopt rsa_pss_saltlen:auto -signature "$d/pss.sig" "$schemes/other"

    # Signatures made by OpenSSL, verified here.
    openssl dgst -sha256 -sign "$key" -out "$d/o-pkcs1.sig" "$msg"
    expect "$tag-openssl-pkcs1-verifies" 0 "$@" verify pkcs1 "$pub" "$msg" "$d/o-pkcs1.sig"
    expect "$tag-openssl-pkcs1-other-message" 1 "$@" verify pkcs1 "$pub" "$schemes/other" \
        "$d/o-pkcs1.sig"
    expect "$tag-openssl-pkcs1-wrong-hash" 1 "$@" verify pkcs1 --hash sha512 "$pub" "$msg" \
        "$d/o-pkcs1.sig"
    openssl pkeyutl -sign -inkey "$key" -in "$d/sha512" -out "$d/o-pkcs1-512.sig" \
        -pkeyopt digest:sha512
    expect "$tag-openssl-pkcs1-sha512-verifies" 0 "$@" verify pkcs1 --hash sha512 "$key" "$msg" \
        "$d/o-pkcs1-512.sig"
    openssl dgst -sha256 -sign "$key" "${pss[@]}" -sigopt rsa_pss_saltlen:max \
        -out "$d/o-pss-max.sig" "$msg"
    expect "$tag-openssl-pss-max-salt-verifies" 0 "$@" verify pss --salt any "$pub" "$msg" \
        "$d/o-pss-max.sig"
    contains "$tag-openssl-pss-max-salt-found" "$tag-openssl-pss-max-salt-verifies" \
        "salt $((emlen - 34))"
    openssl pkeyutl -sign -inkey "$key" -in "$d/sha384" -out "$d/o-pss-384.sig" \
        -pkeyopt rsa_padding_mode:pss -pkeyopt digest:sha384 -pkeyopt rsa_mgf1_md:sha256 \
        -pkeyopt rsa_pss_saltlen:20
    expect "$tag-openssl-pss-sha384-mgf-sha256-verifies" 0 "$@" verify pss --hash sha384 \
        --mgf sha256 --salt 20 "$pub" "$msg" "$d/o-pss-384.sig"
    expect "$tag-openssl-pss-other-salt-length" 1 "$@" verify pss --hash sha384 --mgf sha256 \
        --salt 21 "$pub" "$msg" "$d/o-pss-384.sig"
    expect "$tag-openssl-pss-other-mgf" 1 "$@" verify pss --hash sha384 --salt any "$pub" "$msg" \
        "$d/o-pss-384.sig"

    # Ciphertexts made here, decrypted by OpenSSL; the longest messages each padding takes.
    head -c $((k - 11)) /dev/urandom >"$d/longest-pkcs1"
    head -c $((k - 2 * 48 - 2)) /dev/urandom >"$d/longest-oaep384"
    local oaep=(-pkeyopt rsa_padding_mode:oaep)
    expect "$tag-oaep-encrypt" 0 "$@" encrypt oaep "$pub" "$schemes/secret" "$d/oaep.ct"
    expect "$tag-oaep-openssl-decrypts" 0 openssl pkeyutl -decrypt -inkey "$key" -in "$d/oaep.ct" \
        -out "$d/oaep.pt" "${oaep[@]}" -pkeyopt rsa_oaep_md:sha256 -pkeyopt rsa_mgf1_md:sha256
    same_bytes "$tag-oaep-openssl-plaintext" "$d/oaep.pt" "$schemes/secret"
    expect "$tag-oaep-sha384-label-encrypt" 0 "$@" encrypt oaep --hash sha384 --mgf sha1 \
        --label 6b69760a00ff "$pub" "$d/longest-oaep384" "$d/oaep384.ct"
    expect "$tag-oaep-sha384-label-openssl-decrypts" 0 openssl pkeyutl -decrypt -inkey "$key" \
        -in "$d/oaep384.ct" -out "$d/oaep384.pt" "${oaep[@]}" -pkeyopt rsa_oaep_md:sha384 \
        -pkeyopt rsa_mgf1_md:sha1 -pkeyopt rsa_oaep_label:6b69760a00ff
    same_bytes "$tag-oaep-sha384-label-openssl-plaintext" "$d/oaep384.pt" "$d/longest-oaep384"
    expect "$tag-pkcs1-encrypt" 0 "$@" encrypt pkcs1 "$pub" "$d/longest-pkcs1" "$d/pkcs1.ct"
    expect "$tag-pkcs1-openssl-decrypts" 0 openssl pkeyutl -decrypt -inkey "$key" \
        -in "$d/pkcs1.ct" -out "$d/pkcs1.pt" -pkeyopt rsa_padding_mode:pkcs1
    same_bytes "$tag-pkcs1-openssl-plaintext" "$d/pkcs1.pt" "$d/longest-pkcs1"
    head -c $((k - 10)) /dev/urandom >"$d/too-long"
    expect "$tag-pkcs1-refuses-too-long" 1 "$@" encrypt pkcs1 "$pub" "$d/too-long" "$d/x.ct"

    # Ciphertexts made by OpenSSL, decrypted here.
    openssl pkeyutl -encrypt -pubin -inkey "$pub" -in "$schemes/secret" -out "$d/o-oaep.ct" \
        "${oaep[@]}"
    expect "$tag-openssl-oaep-sha1-decrypts" 0 "$@" decrypt oaep --hash sha1 "$key" \
        "$d/o-oaep.ct" "$d/o-oaep.pt"
    same_bytes "$tag-openssl-oaep-sha1-plaintext" "$d/o-oaep.pt" "$schemes/secret"
    openssl pkeyutl -encrypt -pubin -inkey "$pub" -in "$d/longest-oaep384" \
        -out "$d/o-oaep384.ct" "${oaep[@]}" -pkeyopt rsa_oaep_md:sha384 \
        -pkeyopt rsa_mgf1_md:sha512 -pkeyopt rsa_oaep_label:0001
    expect "$tag-openssl-oaep-sha384-label-decrypts" 0 "$@" decrypt oaep --hash sha384 \
        --mgf sha512 --label 0001 "$key" "$d/o-oaep384.ct" "$d/o-oaep384.pt"
    same_bytes "$tag-openssl-oaep-sha384-label-plaintext" "$d/o-oaep384.pt" "$d/longest-oaep384"
    expect "$tag-openssl-oaep-other-label" 1 "$@" decrypt oaep --hash sha384 --mgf sha512 \
        --label 0002 "$key" "$d/o-oaep384.ct" "$d/x.pt"
    openssl pkeyutl -encrypt -pubin -inkey "$pub" -in "$d/longest-pkcs1" -out "$d/o-pkcs1.ct" \
        -pkeyopt rsa_padding_mode:pkcs1
    expect "$tag-openssl-pkcs1-decrypts" 0 "$@" decrypt pkcs1 "$key" "$d/o-pkcs1.ct" \
        "$d/o-pkcs1.pt"
    same_bytes "$tag-openssl-pkcs1-plaintext" "$d/o-pkcs1.pt" "$d/longest-pkcs1"
    expect "$tag-openssl-oaep-as-pkcs1" 1 "$@" decrypt pkcs1 "$key" "$d/o-oaep.ct" "$d/x.pt"
}

schemes_suite() { # TAG TOOL...
    local tag=$1
    shift
    schemes_key "$tag" o2048 2048 "$@"
    schemes_key "$tag" o1025 1025 "$@"
    schemes_key "$tag" made 2048 "$@"
}
