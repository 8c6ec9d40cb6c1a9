#include "update/core/Catalogue.h"

#include "app/core/platform.h"
#include "app/core/profile.h"
#include "update/core/UpdateSink.h"

#include <cstdio>
#include <cwchar>
#include <vector>

namespace kelvo {

namespace {

std::wstring Key(const wchar_t* format, int n)
{
    wchar_t buf[32];
    std::swprintf(buf, 32, format, n);
    return buf;
}

// Keys are numbered with two digits; a count beyond that is no catalogue of ours.
constexpr int kMaxCatalogueCount = 99;

} // namespace

namespace {

// The search over any reader of the catalogue's values.
template <class GetString, class GetInt>
bool FindEntry(GetString getString, GetInt getInt, const std::wstring& model, CatalogueEntry* entry)
{
    int n = getInt(L"Version", L"Num");
    if (n > kMaxCatalogueCount)
        n = kMaxCatalogueCount;
    for (int i = 1; i <= n; ++i) {
        std::wstring section = getString(L"Version", Key(L"Version%.2d", i));
        if (section.empty())
            continue;
        int m = getInt(section, L"Num");
        if (m > kMaxCatalogueCount)
            m = kMaxCatalogueCount;
        for (int j = 1; j <= m; ++j) {
            if (getString(section, Key(L"VehicleName%.2d", j)) != model)
                continue;
            entry->version = getString(section, Key(L"VehicleVers%.2d", j));
            entry->release = getString(section, Key(L"ReleaseTime%.2d", j));
            entry->sets = getString(section, L"LanguageBin");
            return true;
        }
    }
    return false;
}

} // namespace

namespace {
// The catalogue is parsed once and every look-up of the search reads the
// parsed lines (a full catalogue asks some ten thousand times).
bool FindEntryInParsed(const CParsedProfile& catalogue, const std::wstring& model, CatalogueEntry* entry)
{
    return FindEntry([&](const std::wstring& s, const std::wstring& k) { return catalogue.GetString(s, k, L""); },
                     [&](const std::wstring& s, const std::wstring& k) { return catalogue.GetInt(s, k, 0); }, model,
                     entry);
}
} // namespace

bool FindCatalogueEntry(const std::wstring& file, const std::wstring& model, CatalogueEntry* entry)
{
    return FindEntryInParsed(CParsedProfile::FromFile(file), model, entry);
}

bool FindCatalogueEntryIn(const std::vector<uint8_t>& catalogue, const std::wstring& model, CatalogueEntry* entry)
{
    return FindEntryInParsed(CParsedProfile(std::string(catalogue.begin(), catalogue.end())), model, entry);
}

bool ServerHasSignedList(IHttpClient& http, const std::wstring& folder)
{
    if (http.IsOffline())
        return false;
    std::unique_ptr<IHttpSession> session = http.OpenSession();
    return session && session->Open(folder + L"SHA256SUMS") != nullptr;
}

uint32_t GetRemoteFileSize(IHttpClient& http, const std::wstring& address)
{
    if (http.IsOffline())
        return 0;
    std::unique_ptr<IHttpSession> session = http.OpenSession();
    if (!session)
        return 0;
    std::unique_ptr<IHttpRequest> request = session->Open(address);
    uint32_t size = 0;
    if (!request || !request->QuerySize(&size))
        return 0;
    return size;
}

namespace {

enum class CatalogueRead {
    kRead,        // the whole catalogue arrived
    kNoAnswer,    // offline, no session, no connection, no size, a read failed, too big or short
    kNotOnServer, // the server answered with an error status: it has no catalogue for the model
};

// Fetches the whole catalogue, at most kCatalogueLimit bytes.
CatalogueRead ReadCatalogue(IHttpClient& http, const std::wstring& address, std::vector<uint8_t>& data)
{
    if (http.IsOffline())
        return CatalogueRead::kNoAnswer;
    std::unique_ptr<IHttpSession> session = http.OpenSession();
    if (!session)
        return CatalogueRead::kNoAnswer;
    std::unique_ptr<IHttpRequest> request = session->Open(address);
    // Only "not found" (or "gone") says the server has no catalogue for the
    // model; any other error is a server that did not answer the question.
    const int status = session->LastStatus();
    if (!request && (status == 404 || status == 410))
        return CatalogueRead::kNotOnServer;
    uint32_t size = 0;
    if (!request || !request->QuerySize(&size) || size == 0 || size > kCatalogueLimit)
        return CatalogueRead::kNoAnswer;
    data.assign(size, 0);
    uint32_t total = 0;
    while (total < size) {
        int n = request->Read(data.data() + total, size - total);
        if (n < 0)
            return CatalogueRead::kNoAnswer;
        if (n == 0)
            break;
        total += uint32_t(n);
    }
    return total == size ? CatalogueRead::kRead : CatalogueRead::kNoAnswer;
}

bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& data)
{
    FILE* f = OpenFile(path, "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

} // namespace

bool FetchCatalogueData(IHttpClient& http, const std::wstring& base, const std::wstring& model,
                        std::vector<uint8_t>* data)
{
    if (model.empty() || !IsSafeCatalogueValue(model))
        return false;
    return ReadCatalogue(http, base + model + L"/Zendrix.bin", *data) == CatalogueRead::kRead;
}

CatalogueOutcome FetchCatalogue(ICataloguePage& page, IHttpClient& http, const CatalogueRequest& request)
{
    const std::wstring model = request.model;
    // A tool that did not identify itself has no catalogue to ask for: the
    // user is told it is not connected, not that nothing newer exists.
    if (model.empty()) {
        page.Tell(kTextNoToolConnected, kMbIconInformation);
        return CatalogueOutcome::kNoModel;
    }
    // The model goes into the address and file names.
    if (!IsSafeCatalogueValue(model)) {
        return CatalogueOutcome::kNoModel;
    }

    std::vector<uint8_t> data;
    // An old catalogue must never stand in for the one just asked for.
    RemoveFile(request.catalogueFile);
    const CatalogueRead read = ReadCatalogue(http, request.base + model + L"/Zendrix.bin", data);
    // A server that answers without a catalogue (404 for the model) was
    // reached: nothing usable is read, which ends as "nothing newer" below.
    if (read == CatalogueRead::kNoAnswer ||
        (read == CatalogueRead::kRead && !WriteWholeFile(request.catalogueFile, data))) {
        RemoveFile(request.catalogueFile);
        page.Tell(kTextNetworkFailure, kMbIconError);
        return CatalogueOutcome::kNetworkFailure;
    }
    CatalogueEntry entry;
    bool found = read == CatalogueRead::kRead && FindCatalogueEntry(request.catalogueFile, model, &entry);
    RemoveFile(request.catalogueFile);

    if (found) {
        std::wstring installed = InstalledVersion(request.settingsFile, model);
        std::vector<PackageRow> rows =
            NewerPackageRows(entry, model, installed, request.language, request.base, page.ItemCount(),
                             [&](const std::wstring& address) { return GetRemoteFileSize(http, address); });
        // A server that publishes no signed list for the model: its rows say
        // so, before the user chooses one.
        const bool signs = !rows.empty() && ServerHasSignedList(http, request.base + model + L"/");
        for (PackageRow row : rows) {
            if (!signs)
                row.status = UpdateText(kTextUnsigned);
            page.AddRow(row);
        }
    }
    if (page.ItemCount() == 0) {
        page.EnableLocalButton();
        page.Tell(kTextNothingNewer, kMbIconInformation);
        return CatalogueOutcome::kNothingNewer;
    }
    return CatalogueOutcome::kListed;
}

} // namespace kelvo
