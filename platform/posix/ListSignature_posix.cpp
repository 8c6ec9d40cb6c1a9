// The package list's signature check with libcrypto (native build and kelvo).
#include "update/core/SignedList.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

namespace kelvo {

bool VerifyListSignature(const std::array<uint8_t, 64>& key, const std::string& list, const std::vector<uint8_t>& sig)
{
    // SubjectPublicKeyInfo of a P-256 key: the fixed header, then the point.
    static const uint8_t kHeader[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01,
                                      0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00,
                                      0x04};
    // The signature's shape is checked as strictly as on Windows, so that
    // both systems accept exactly the same files.
    std::array<uint8_t, 64> raw;
    if (!EcdsaDerToRaw(sig.data(), sig.size(), &raw))
        return false;
    uint8_t spki[sizeof kHeader + 64];
    std::copy(kHeader, kHeader + sizeof kHeader, spki);
    std::copy(key.begin(), key.end(), spki + sizeof kHeader);
    const uint8_t* p = spki;
    EVP_PKEY* pkey = d2i_PUBKEY(nullptr, &p, sizeof spki);
    if (!pkey)
        return false;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool ok = ctx && EVP_DigestVerifyInit(ctx, nullptr, EVP_sha256(), nullptr, pkey) == 1 &&
              EVP_DigestVerify(ctx, sig.data(), sig.size(), reinterpret_cast<const uint8_t*>(list.data()),
                               list.size()) == 1;
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(pkey);
    return ok;
}

} // namespace kelvo
