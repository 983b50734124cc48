#include "support/RsaVectors.h"

#include <cctype>
#include <cstdlib>
#include <fstream>

std::string CryptoVectorsDir() {
    const char* dir = std::getenv("KIV_CRYPTO_VECTORS");
    return dir != nullptr && *dir != '\0' ? dir
                                          : "/usr/lib/python3/dist-packages/cryptography_vectors";
}

static bool IsHexLine(const std::string& line) {
    bool digits = false;
    for (char c : line) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits = true;
        else if (c != ' ')
            return false;
    }
    return digits;
}

static std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

bool ReadVectorFields(const std::string& path, std::vector<VectorField>* fields) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::string line;
    bool collecting = false; // hex lines below a "# Label:" belong to it
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, 2, "# ") == 0) {
            std::string body = Trim(line.substr(2));
            size_t colon = body.find(": ");
            collecting = !body.empty() && body.back() == ':';
            if (collecting)
                fields->push_back({body.substr(0, body.size() - 1), ""});
            else if (colon != std::string::npos)
                fields->push_back({body.substr(0, colon), Trim(body.substr(colon + 2))});
        } else if (collecting && IsHexLine(line)) {
            for (char c : line)
                if (c != ' ')
                    fields->back().value += c;
        } else {
            collecting = false;
            size_t equals = line.find(" = ");
            if (equals != std::string::npos && line[0] != '[')
                fields->push_back({Trim(line.substr(0, equals)), Trim(line.substr(equals + 3))});
        }
    }
    return true;
}

void VectorKey::Reset() {
    for (Bytes& part : parts_)
        part.clear();
    public_.reset();
    private_.reset();
}

bool VectorKey::Take(const VectorField& field) {
    static const struct {
        const char* name;
        RsaComponent part;
    } kLabels[] = {
        {"n", RSA_N},
        {"Modulus", RSA_N},
        {"e", RSA_E},
        {"Public exponent", RSA_E},
        {"Prime 1", RSA_P},
        {"Prime 2", RSA_Q},
        {"Prime exponent 1", RSA_DP},
        {"Prime exponent 2", RSA_DQ},
        {"Coefficient", RSA_QINV},
    };
    int part = -1;
    if (field.name == "Exponent")
        part = parts_[RSA_E].empty() ? RSA_E : RSA_D;
    for (const auto& label : kLabels)
        if (field.name == label.name)
            part = label.part;
    if (part < 0)
        return false;
    // A private key repeats its public key's modulus; a new key starts after a full one,
    // or with every "n" of a response file.
    if (part == RSA_N && (field.name == "n" || !parts_[RSA_QINV].empty()))
        Reset();
    parts_[part] = BytesFromHex(field.value);
    public_.reset();
    private_.reset();
    return true;
}

const RsaPublicKey* VectorKey::Public() {
    if (!public_) {
        // The response files pad e to the modulus's length with zeros.
        Bytes e = parts_[RSA_E];
        while (e.size() > 1 && e[0] == 0)
            e.erase(e.begin());
        public_.reset(
            RsaPublicKeyNew(parts_[RSA_N].data(), parts_[RSA_N].size(), e.data(), e.size()));
    }
    return public_.get();
}

const RsaPrivateKey* VectorKey::Private() {
    if (!private_) {
        RsaComponentsView view = {};
        for (int i = 0; i < 8; ++i) {
            if (parts_[i].empty())
                return nullptr;
            view.data[i] = parts_[i].data();
            view.size[i] = parts_[i].size();
        }
        private_.reset(RsaPrivateKeyNew(&view));
    }
    return private_.get();
}

PrivateKeyPtr FirstVectorKey(const std::string& relativePath, int example) {
    std::vector<VectorField> fields;
    if (!ReadVectorFields(CryptoVectorsDir() + "/asymmetric/RSA/" + relativePath, &fields))
        return nullptr;
    VectorKey key;
    int keys = 0;
    for (const VectorField& field : fields) {
        key.Take(field);
        if (field.name == "Coefficient" && ++keys == example)
            return key.Private() != nullptr ? key.ReleasePrivate() : nullptr;
    }
    return nullptr;
}
