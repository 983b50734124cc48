// The RSA private operation and the tag comparison with their secrets undefined.
#include "CtCheck.h"

#include "crypto/ConstantTime.h"
#include "crypto/RsaKey.h"
#include "crypto/RsaKeyInternal.h"

#include <cstring>
#include <string>

namespace {

// A 2,048-bit key made by `openssl genpkey` (its primes take the unrolled 16-limb kernels)
// and a 1,024-bit one (the generic kernel), components in RsaComponent order.
const char* const kKey2048[8] = {
    "8239d2496a68b52e8cf9fe901a9611d5938d38005b6f2ff9f8cba39745db80074e9483b4ed1d84bcf53133ce7a89"
    "cfc6bbbdd53f1234c99b035d862cc5246ba34160f797f52c7b36d034ebe8ebb339ac0493329516c027b061cd08b6"
    "738e0502a22e02cdd4b96896c54c0a7fb83477b91c7bec3b2758ad3c07528fa64d1e720f80ddfdd4384e58467cba"
    "aac6b490c2d101a85d440bd2bf526b0a332ebb3e53fbe3e2d1d25e6dd34acd59a3a1ebfa69b5fbb3adf185d24012"
    "1f310974a79075c1fb60afe2a771214765ee3dc7957f95bc4c00444cd3ddcee0767a76a99b8d602227842d82d6ea"
    "15a13e57fe672449d73b2f90f27208c83f559e917513536cb639",
    "010001",
    "06df0a2b7983e0db7df0caefcb975385936d8620eeb22533e95ec558fc04a2f2bfc0b25a5f90892a773d8b603fb2"
    "f9d5a09e599c2457c8b3772ffe1e6aa08b5567e3b7ecbab108275241189987a6434ac24b0a0637d717c104c80ec7"
    "a1bd42a26af0469199c1d6b4ede01f45b1f082c8afaa1242e4c6970d6dcd7b6ae8f2cc4dd5d83074caaf7e395f0f"
    "1d5bf04a51165c4a9111e22eee0b82d202e6f744225295e7bbd71cb677f974fdf808e1f3eccd3d0cb941c835bfa5"
    "77db67c75dbf9f02b6d4134756062f84a2136384d9282705128c61f46a8552d80b65982116bac1d6096ca9557944"
    "7bb880cbea2834a803d38d5c7da5eff523dfc6686ff851286521",
    "b6b362762691d98eddc5d12dc27c425469e6d6086d4690e68a3b024208980551ac81f965c114245ec03bc6d3ae38"
    "014976805ca0e287a23f7719f7a21ede5ac327ad631323b1e8b1cdcdabf7a103b3ae0099fec7d9d23936c2584ebd"
    "24828bc75574af6bb2a7820d286b401afa9065b7178ea22389b92fdadc56f7d227ec20c5",
    "b678e8e12b08ae08841f044f3c895e87be54e5cfbcb12e17b6f16a011e35a985a0c66f62a74d31f67dfb958648a7"
    "ff36a2f6bcc559bd3a3c1d2491fcc44ab39f7c94ca8f28b955198c47d60d33edbae06d589cd1319683a5645ac03a"
    "b9fa5a4ae2719a106f2ecf9e6966ad1d04d72b11ff6d6faa07324fd1a6866ad6c7102ee5",
    "3c3fb3bc9ac3862722e35533edeae444ca17a1856de3d36cf330ba71e43b9da56d69ff409b077566f9a5bccf99a8"
    "46645f7bbd102123f15154896fac3ad9c0bc929d0f0b04be6aaa17e0375195fb8e895711717f9e49412cd9b21d65"
    "2a61128f4d9309364ed8067f285115f6cfa246a8b6500710091ed4b52bec52152fad22b1",
    "328a3ab6631cfc570f8127c86a9401c2c74cec7a25614dcaf3b8da0b853a87c1a34e52fb982b21738c616a80cf0e"
    "f8f94119e61f2343ee25484d20c249fc06d45dc538757e6a16d004b2c0eed73b394f7ff9d3357dee9a77ecdbd5f2"
    "6e209171bc568abd928dfca37bbe1ca4b4fa83cb705bf759b8b48eb71ad09036fcdbd6a1",
    "9e3340efe50540042dcba51aec95541765bbdb38682dec2b58cb5f8bda6e98653a0132f41fc40cbdfb0bf07961fb"
    "66021fa3982e4df10ead4a4a8ab4e2a3cbe8a195f704fe7c7d6a5f7e84811099d80ed54aad085f86df8521b836d3"
    "851591dce79b23c8b209fe42864fbd3522df56308f92c403f8c8f1e9a208f15bb93616b3",
};
const char* const kKey1024[8] = {
    "d1747bccf379125e99794c992327d3a6cb40ede8e0308af730f561e56f3a1d5d3e60e46e569829ee007f26b72f"
    "1b48b95b138bd4fe0f0dec115f62ae926e5f551f1f43d7b5b39a4e6d4115a6d276da74ebe902e7c0b903c5c403"
    "35423143a51e75a7d71c5e34477601ca7a515e6d9198db905eadf2754a4110c4c8de1a5d3301",
    "010001",
    "2e4307110679a84802a7daf63be0910bd6fab951652af3969356af4fa8987261e4e42bafff2a4ea085b58fcc87"
    "f803c104cfb563ced56e62c49787c93d0869bf919033715e86c7ed916ece43015df0f8e26935a09b0ee2a72041"
    "cc842b7000c03f3dbb0560ce953b34bf5cc13329908775cba4d937bf3d48cd6d794b72a20d01",
    "fda3fe70f19e97958eb20e3429f36debaca4f39bb4cdef8cb46ae5c7c9f4af3ea169d618af45086ad1ac304585"
    "e9b43209acf896a2ea252d0a44952ec96020b1",
    "d36744bcaa6f696621237ceb5e9696d7e37539a85177a1d06a9b522f420aac3a0fbcb794e2bc8ef80d6d3aaae0"
    "7143d629bfb29e8f65fc9851bb108fff0f4b51",
    "bf745372739faf722fc50d5da8b0dc2f02217cd4f2946416c474d03f8f9d07cef1ce4ed251327d990bedba7e30"
    "07e981bfb5f5ead6cc81054f73d75bfa9b79f1",
    "79d915e7609d22b4f8f8c971a86d47b85ba41f7d82a75f9f0f33432575fd4cd3926a85adcd1a3d957fb7ab8efe"
    "1a8aad10172bcef47c26216d4a52fb8c59b661",
    "3c6325f08c25bf6a5e054fb552460e4bc90a3db754b7410c28be067fb1d610ec40032ad54c56f16aef969725ae"
    "2047dd07cc48b615b3411e7edafc4bac79f064",
};

RsaPrivateKey* MakeKey(const char* const (&hex)[8]) {
    std::string bytes[8];
    RsaComponentsView view;
    for (int i = 0; i < 8; ++i) {
        bytes[i] = CtUnhex(hex[i]);
        view.data[i] = reinterpret_cast<const uint8_t*>(bytes[i].data());
        view.size[i] = bytes[i].size();
    }
    return RsaPrivateKeyNew(&view);
}

// The values of a prime's Montgomery context; its sizes stay public.
void MarkPrime(Montgomery* ctx) {
    CT_SECRET(ctx->m, sizeof ctx->m);
    CT_SECRET(ctx->rr, sizeof ctx->rr);
    CT_SECRET(ctx->one, sizeof ctx->one);
    CT_SECRET(&ctx->m0inv, sizeof ctx->m0inv);
    CT_SECRET(&ctx->digitK0, sizeof ctx->digitK0);
    CT_SECRET(ctx->digitM, sizeof ctx->digitM);
    CT_SECRET(ctx->digitRR, sizeof ctx->digitRR);
}

// One private operation with every private value of the key undefined; its result must
// still undo the public operation.
void PrivateOperation(const char* const (&hex)[8]) {
    RsaPrivateKey* key = MakeKey(hex);
    if (key == nullptr) {
        CtFail("the key was refused");
        return;
    }
    const size_t k = RsaKeySize(RsaPrivateKeyPublic(key));
    std::string in(k, '\x3c'), out(k, '\0'), back(k, '\0');
    in[0] = 0;
    CT_SECRET(key->d, sizeof key->d);
    CT_SECRET(key->dp, sizeof key->dp);
    CT_SECRET(key->dq, sizeof key->dq);
    CT_SECRET(key->qinv, sizeof key->qinv);
    MarkPrime(&key->p);
    MarkPrime(&key->q);
    int ok = RsaPrivateOp(key, reinterpret_cast<const uint8_t*>(in.data()), k,
                          reinterpret_cast<uint8_t*>(&out[0]), k);
    CT_PUBLIC(&ok, sizeof ok);
    CT_PUBLIC(&out[0], k);
    if (ok != 1 ||
        RsaPublicOp(RsaPrivateKeyPublic(key), reinterpret_cast<const uint8_t*>(out.data()), k,
                    reinterpret_cast<uint8_t*>(&back[0]), k) != 1 ||
        back != in)
        CtFail("the private operation gave a wrong result");
    // The key's memory is defined again before it is wiped and freed.
    CT_PUBLIC(key, sizeof *key);
    RsaPrivateKeyFree(key);
}

} // namespace

CT_CASE(RsaPrivateOp2048) {
    PrivateOperation(kKey2048);
}

CT_CASE(RsaPrivateOp1024) {
    PrivateOperation(kKey1024);
}

CT_CASE(CryptoEqualOnSecrets) {
    unsigned char a[48], b[48];
    memset(a, 0x5c, sizeof a);
    memset(b, 0x5c, sizeof b);
    b[47] = 0x5d;
    for (size_t length : {sizeof a, sizeof a - 1}) {
        CT_SECRET(a, sizeof a);
        CT_SECRET(b, sizeof b);
        int equal = CryptoEqual(a, b, length);
        CT_PUBLIC(&equal, sizeof equal);
        CT_PUBLIC(a, sizeof a);
        CT_PUBLIC(b, sizeof b);
        if (equal != (length == sizeof a ? 0 : 1))
            CtFail("CryptoEqual answered wrongly");
    }
}
