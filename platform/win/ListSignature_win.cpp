// The package list's signature check with CNG. bcrypt.dll is loaded from the
// system folder when first needed, not imported: the programs import only
// the system's known libraries.
#include "update/core/SignedList.h"

#include "platform/win/SystemDll.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <mutex>

namespace kelvo {

namespace {
using OpenProvider = LONG(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CloseProvider = LONG(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
using ImportKeyPair = LONG(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE, LPCWSTR, BCRYPT_KEY_HANDLE*, PUCHAR, ULONG,
                                    ULONG);
using DestroyKey = LONG(WINAPI*)(BCRYPT_KEY_HANDLE);
using VerifySignature = LONG(WINAPI*)(BCRYPT_KEY_HANDLE, VOID*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);

struct Cng {
    OpenProvider open = nullptr;
    CloseProvider close = nullptr;
    ImportKeyPair import = nullptr;
    DestroyKey destroy = nullptr;
    VerifySignature verify = nullptr;
    bool ok = false;
};

const Cng& LoadCng()
{
    static Cng cng;
    static std::once_flag once;
    std::call_once(once, [] {
        HMODULE dll = LoadSystemDll(L"bcrypt.dll");
        if (!dll)
            return;
        cng.open = reinterpret_cast<OpenProvider>(::GetProcAddress(dll, "BCryptOpenAlgorithmProvider"));
        cng.close = reinterpret_cast<CloseProvider>(::GetProcAddress(dll, "BCryptCloseAlgorithmProvider"));
        cng.import = reinterpret_cast<ImportKeyPair>(::GetProcAddress(dll, "BCryptImportKeyPair"));
        cng.destroy = reinterpret_cast<DestroyKey>(::GetProcAddress(dll, "BCryptDestroyKey"));
        cng.verify = reinterpret_cast<VerifySignature>(::GetProcAddress(dll, "BCryptVerifySignature"));
        cng.ok = cng.open && cng.close && cng.import && cng.destroy && cng.verify;
    });
    return cng;
}
} // namespace

bool VerifyListSignature(const std::array<uint8_t, 64>& key, const std::string& list, const std::vector<uint8_t>& sig)
{
    std::array<uint8_t, 64> raw;
    if (!EcdsaDerToRaw(sig.data(), sig.size(), &raw))
        return false;
    const Cng& cng = LoadCng();
    if (!cng.ok)
        return false;
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (cng.open(&alg, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != 0)
        return false;
    uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob, &header, sizeof header);
    std::memcpy(blob + sizeof header, key.data(), 64);
    BCRYPT_KEY_HANDLE handle = nullptr;
    bool ok = false;
    if (cng.import(alg, nullptr, BCRYPT_ECCPUBLIC_BLOB, &handle, blob, sizeof blob, 0) == 0) {
        Sha256Digest digest = Sha256(reinterpret_cast<const uint8_t*>(list.data()), list.size());
        ok = cng.verify(handle, nullptr, digest.data(), 32, raw.data(), 64, 0) == 0;
        cng.destroy(handle);
    }
    cng.close(alg, 0);
    return ok;
}

} // namespace kelvo
