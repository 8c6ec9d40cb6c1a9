#pragma once
// The maker's signed package list of a model folder: SHA256SUMS (one
// "HASH  NAME" line per package file) and SHA256SUMS.sig, a detached ECDSA
// P-256 / SHA-256 signature over it in DER. The parsing, hashing and the
// signature's conversion are portable; the signature check itself is the
// system's (CNG on Windows, libcrypto on Linux), behind VerifyListSignature.
#include "update/core/Http.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvo {

using Sha256Digest = std::array<uint8_t, 32>;

// SHA-256 of a buffer, and incrementally.
class CSha256 {
public:
    CSha256();
    void Update(const uint8_t* data, size_t n);
    Sha256Digest Finish();

private:
    void Block(const uint8_t* p);
    uint32_t m_h[8];
    uint8_t m_buf[64];
    size_t m_used = 0;
    uint64_t m_bytes = 0;
};
Sha256Digest Sha256(const uint8_t* data, size_t n);
std::string HexOf(const Sha256Digest& d);  // lower case

// A list is read only up to this size, and names no more files than this.
constexpr size_t kMaxSumsBytes = 64 * 1024;
constexpr size_t kMaxSumsLines = 1000;

struct SumsLine {
    Sha256Digest hash;
    std::string name;  // a plain file name: no folder, no control characters
};
// Every line "<64 hex>  <name>" (or "<64 hex> *<name>", sha256sum's binary
// mark), CR LF or LF; an empty last line is allowed. False (and nothing) for
// a list that is too big, has a line of another shape, a name with a folder
// or a control character, or a name twice.
bool ParseSums(const std::string& text, std::vector<SumsLine>* lines);
// The line of a file name, compared as the server names it; null when none.
const SumsLine* FindSum(const std::vector<SumsLine>& lines, const std::string& name);

// An ECDSA signature in DER (SEQUENCE { INTEGER r, INTEGER s }) as the 64
// bytes r || s that CNG takes. Strict: one definite-length sequence with
// nothing after it, minimal integers, each positive and at most 32 bytes.
bool EcdsaDerToRaw(const uint8_t* der, size_t n, std::array<uint8_t, 64>* raw);

// The maker's public keys, P-256 points (X || Y, 64 bytes each), in the
// order they are tried: the current key first, room for its successor.
const std::vector<std::array<uint8_t, 64>>& MakerKeys();

// The system's check of a signature (DER) over `list` with one key. False on
// any failure, a system without the means included.
bool VerifyListSignature(const std::array<uint8_t, 64>& key, const std::string& list, const std::vector<uint8_t>& sig);

// What a package's list says of a package file.
enum class ListVerdict {
    kVerified,   // the list is signed by a maker key and names this file with this hash
    kUnsigned,   // no list and no signature: a server that does not sign
    kRefused,    // a signature that does not verify, a list without this file or with another hash, half a pair
};
// `list`/`sig` empty when the server had none (hasList/hasSig false).
ListVerdict CheckPackageAgainstList(bool hasList, const std::string& list, bool hasSig,
                                    const std::vector<uint8_t>& sig, const std::string& fileName,
                                    const Sha256Digest& fileHash);

// -------------------------------------------------------------- the policy

// The [Update] key of the settings file that names the models whose server
// has served a verified list ("SignedLists = QB345 QB230"): from then on a
// missing list of theirs is refused like a bad one.
inline constexpr wchar_t kSignedListsKey[] = L"SignedLists";
bool ServerSignsFor(const std::wstring& settingsFile, const std::wstring& model);
bool RecordServerSigns(const std::wstring& settingsFile, const std::wstring& model);

enum class PackageSignature { kVerified, kUnsigned, kRefused };

// A server package downloaded to `path` from `address` (…/<MODEL>/<file>),
// checked against <MODEL>/SHA256SUMS and .sig beside it on the server. A
// first verified list is recorded in `settingsFile` (when given); for a
// model recorded so, no list is kRefused. Nothing is deleted here.
PackageSignature CheckServerPackage(IHttpSession& session, const std::wstring& address, const std::wstring& path,
                                    const std::wstring& model, const std::wstring& settingsFile);
// Without the package's bytes (Dozaz's announcement): the list of the model
// folder `folder` (ending in "/") is signed by a maker key and names a file
// of one of `names`. Nothing is recorded.
PackageSignature CheckServerListNames(IHttpSession& session, const std::wstring& folder,
                                      const std::vector<std::wstring>& names, const std::wstring& model,
                                      const std::wstring& settingsFile);
// A local package: SHA256SUMS and .sig beside it are checked when either is
// there; with neither, kUnsigned (accepted as local packages always were).
PackageSignature CheckLocalPackage(const std::wstring& path);

} // namespace kelvo
