// Whether a package may be written, by the maker's signed list.
#include "app/core/platform.h"
#include "app/core/filebytes.h"
#include "app/core/profile.h"
#include "app/core/textutil.h"
#include "update/core/SignedList.h"
#include "update/core/Transfer.h"

#include <cstdio>
#include <memory>

namespace kelvo {

namespace {

constexpr uint32_t kMaxSignatureBytes = 256;

std::vector<std::wstring> Words(const std::wstring& s)
{
    std::vector<std::wstring> words;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == L' ')
            ++i;
        size_t j = i;
        while (j < s.size() && s[j] != L' ')
            ++j;
        if (j > i)
            words.push_back(s.substr(i, j - i));
        i = j;
    }
    return words;
}

// A small file of the server: *present false when the server has none (or
// cannot be asked); present but unusable (too big, cut short) reads as an
// empty content, which no check accepts.
void FetchSmall(IHttpSession& session, const std::wstring& address, uint32_t limit, bool* present, std::string* out)
{
    out->clear();
    *present = false;
    std::unique_ptr<IHttpRequest> request = session.Open(address);
    if (!request)
        return;
    *present = true;
    uint32_t size = 0;
    if (!request->QuerySize(&size) || size == 0 || size > limit)
        return;
    std::string data(size, '\0');
    uint32_t total = 0;
    while (total < size) {
        const int n = request->Read(reinterpret_cast<uint8_t*>(&data[total]), size - total);
        if (n <= 0)
            return;
        total += uint32_t(n);
    }
    *out = std::move(data);
}

// The SHA-256 of a file of at most a package's size; false when unreadable.
bool HashFile(const std::wstring& path, Sha256Digest* digest)
{
    FILE* f = OpenFile(path, "rb");
    if (!f)
        return false;
    CSha256 h;
    uint8_t buf[16384];
    size_t n;
    long total = 0;
    bool ok = true;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        total += long(n);
        if (total > kMaxPackageBytes) {
            ok = false;
            break;
        }
        h.Update(buf, n);
    }
    ok = ok && !std::ferror(f);
    std::fclose(f);
    if (ok)
        *digest = h.Finish();
    return ok;
}

std::string Utf8Name(const std::wstring& name)
{
    // Package names are ASCII; anything else matches no line.
    std::string s;
    for (wchar_t c : name)
        s += c < 0x80 ? char(c) : '\x7F';
    return s;
}

bool ReadSmallFile(const std::wstring& path, uint32_t limit, std::string* out)
{
    const FileRead read = ReadWholeFile(path, limit, out);
    if (read == FileRead::kCannotOpen)
        return false;
    if (read != FileRead::kRead)
        out->clear();  // present, and refused
    return true;
}

} // namespace

bool ServerSignsFor(const std::wstring& settingsFile, const std::wstring& model)
{
    const std::wstring value =
        CProfile::GetString(settingsFile, L"Update", kSignedListsKey, L"", CProfile::KeyMatch::kExact);
    const std::wstring upper = AsciiUpper(model);
    for (const std::wstring& w : Words(value))
        if (AsciiUpper(w) == upper)
            return true;
    return false;
}

bool RecordServerSigns(const std::wstring& settingsFile, const std::wstring& model)
{
    if (model.empty() || model.find_first_of(L" =\r\n") != std::wstring::npos)
        return false;
    if (ServerSignsFor(settingsFile, model))
        return true;
    std::wstring value =
        CProfile::GetString(settingsFile, L"Update", kSignedListsKey, L"", CProfile::KeyMatch::kExact);
    value = value.empty() ? AsciiUpper(model) : value + L" " + AsciiUpper(model);
    return CProfile::SetString(settingsFile, L"Update", kSignedListsKey, value, CProfile::KeyMatch::kExact);
}

PackageSignature CheckServerPackage(IHttpSession& session, const std::wstring& address, const std::wstring& path,
                                    const std::wstring& model, const std::wstring& settingsFile)
{
    const size_t slash = address.rfind(L'/');
    if (slash == std::wstring::npos)
        return PackageSignature::kRefused;
    const std::wstring folder = address.substr(0, slash + 1);
    bool hasList = false, hasSig = false;
    std::string list, sig;
    FetchSmall(session, folder + L"SHA256SUMS", uint32_t(kMaxSumsBytes), &hasList, &list);
    FetchSmall(session, folder + L"SHA256SUMS.sig", kMaxSignatureBytes, &hasSig, &sig);
    Sha256Digest hash{};
    if (!HashFile(path, &hash))
        return PackageSignature::kRefused;
    const ListVerdict verdict = CheckPackageAgainstList(hasList, list, hasSig, std::vector<uint8_t>(sig.begin(), sig.end()),
                                                        Utf8Name(address.substr(slash + 1)), hash);
    if (verdict == ListVerdict::kVerified) {
        if (!settingsFile.empty())
            RecordServerSigns(settingsFile, model);
        return PackageSignature::kVerified;
    }
    if (verdict == ListVerdict::kUnsigned && !(settingsFile.empty() ? false : ServerSignsFor(settingsFile, model)))
        return PackageSignature::kUnsigned;
    return PackageSignature::kRefused;
}

PackageSignature CheckServerListNames(IHttpSession& session, const std::wstring& folder,
                                      const std::vector<std::wstring>& names, const std::wstring& model,
                                      const std::wstring& settingsFile)
{
    bool hasList = false, hasSig = false;
    std::string list, sig;
    FetchSmall(session, folder + L"SHA256SUMS", uint32_t(kMaxSumsBytes), &hasList, &list);
    FetchSmall(session, folder + L"SHA256SUMS.sig", kMaxSignatureBytes, &hasSig, &sig);
    if (!hasList && !hasSig)
        return !settingsFile.empty() && ServerSignsFor(settingsFile, model) ? PackageSignature::kRefused
                                                                           : PackageSignature::kUnsigned;
    if (!hasList || !hasSig)
        return PackageSignature::kRefused;
    const std::vector<uint8_t> sigBytes(sig.begin(), sig.end());
    bool signedByMaker = false;
    for (const auto& key : MakerKeys())
        if (VerifyListSignature(key, list, sigBytes)) {
            signedByMaker = true;
            break;
        }
    std::vector<SumsLine> lines;
    if (!signedByMaker || !ParseSums(list, &lines))
        return PackageSignature::kRefused;
    for (const std::wstring& name : names)
        if (FindSum(lines, Utf8Name(name)))
            return PackageSignature::kVerified;
    return PackageSignature::kRefused;
}

PackageSignature CheckLocalPackage(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    std::string list, sig;
    const bool hasList = ReadSmallFile(folder + L"SHA256SUMS", uint32_t(kMaxSumsBytes), &list);
    const bool hasSig = ReadSmallFile(folder + L"SHA256SUMS.sig", kMaxSignatureBytes, &sig);
    if (!hasList && !hasSig)
        return PackageSignature::kUnsigned;
    Sha256Digest hash{};
    if (!HashFile(path, &hash))
        return PackageSignature::kRefused;
    const ListVerdict verdict = CheckPackageAgainstList(hasList, list, hasSig, std::vector<uint8_t>(sig.begin(), sig.end()),
                                                        Utf8Name(path.substr(slash == std::wstring::npos ? 0 : slash + 1)), hash);
    return verdict == ListVerdict::kVerified ? PackageSignature::kVerified : PackageSignature::kRefused;
}

} // namespace kelvo
