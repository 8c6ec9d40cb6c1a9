#pragma once
// The update catalogue on the server: fetching it for the identified model
// and listing the newer packages in the current language.
#include "app/core/globals.h"
#include "app/core/profile.h"
#include "update/core/Http.h"
#include "update/core/PackageRows.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo {

// Searches the catalogue file (CProfile format) for the first entry that
// names `model`.
bool FindCatalogueEntry(const std::wstring& catalogueFile, const std::wstring& model, CatalogueEntry* entry);
// The same search in a catalogue held in memory.
bool FindCatalogueEntryIn(const std::vector<uint8_t>& catalogue, const std::wstring& model, CatalogueEntry* entry);

// What the catalogue check needs of the update page.
class ICataloguePage {
public:
    virtual ~ICataloguePage() = default;
    virtual int ItemCount() = 0;
    virtual void AddRow(const PackageRow& row) = 0;
    virtual void EnableLocalButton() = 0;
    // As IUpdateSink::Tell: the check's message boxes go through the page.
    virtual int Tell(int number, unsigned flags) = 0;
};

// The maker's update server, where the settings file names none.
inline constexpr wchar_t kDefaultDownloadLink[] = L"http://update.zendrix-tools.com/Update/";

// The catalogue is read into a buffer of this size; a bigger one is refused.
constexpr uint32_t kCatalogueLimit = 81920;

struct CatalogueRequest {
    std::wstring model;      // m_strDeviceName
    std::wstring language;   // g_strLanguageCode
    std::wstring base;       // DownloadLink
    std::wstring catalogueFile = InstalledPath(L"update\\version.sv");
    std::wstring settingsFile = SettingsPath();
};

enum class CatalogueOutcome {
    kNetworkFailure,  // message 70 shown: no server reached, or no whole catalogue arrived
    kNoModel,         // no usable model: nothing fetched (message 58 when there is none)
    kListed,          // rows added
    kNothingNewer,    // message 78 shown, local button enabled
};

// The server publishes a package list (SHA256SUMS) in the model folder
// `folder` (ending in "/"). Whether it verifies is decided at the download.
bool ServerHasSignedList(IHttpClient& http, const std::wstring& folder);

// The size the server announces for an address; 0 when unknown.
uint32_t GetRemoteFileSize(IHttpClient& http, const std::wstring& address);

// The catalogue of `model` below `base`, whole, into memory (the address
// and size rules of FetchCatalogue); nothing is written and nothing shown.
// False when it cannot be had.
bool FetchCatalogueData(IHttpClient& http, const std::wstring& base, const std::wstring& model,
                        std::vector<uint8_t>* data);

CatalogueOutcome FetchCatalogue(ICataloguePage& page, IHttpClient& http, const CatalogueRequest& request);

} // namespace kelvo
