#include "dozaz/core/UpdateCheck.h"

#include "app/core/TextNumbers.h"
#include "app/core/profile.h"
#include "app/core/texts.h"
#include "update/core/Catalogue.h"
#include "update/core/PackageRows.h"
#include "update/core/SignedList.h"

#include <algorithm>

namespace kelvo {

std::vector<std::wstring> RecordedModels(const std::wstring& settingsFile)
{
    std::vector<std::wstring> models;
    for (const std::wstring& key : ProfileKeys(settingsFile, L"Update"))
        if (key != kSignedListsKey && std::find(models.begin(), models.end(), key) == models.end())
            models.push_back(key);
    return models;
}

std::vector<NewerPackage> FindNewerPackages(IHttpClient& http, const std::wstring& settingsFile,
                                            const std::wstring& base, const std::wstring& language)
{
    std::vector<NewerPackage> found;
    for (const std::wstring& model : RecordedModels(settingsFile)) {
        std::vector<uint8_t> catalogue;
        if (!FetchCatalogueData(http, base, model, &catalogue))
            continue;
        CatalogueEntry entry;
        if (!FindCatalogueEntryIn(catalogue, model, &entry))
            continue;
        const std::wstring installed = InstalledVersion(settingsFile, model);
        // The rows Kelvo's list would show; their sizes do not matter here.
        const std::vector<PackageRow> rows = NewerPackageRows(entry, model, installed, language, base, 0,
                                                              [](const std::wstring&) { return 0u; });
        if (rows.empty())
            continue;
        // Announced only when the maker's signed list names one of the
        // packages (or, for a server that has never signed, as before).
        std::vector<std::wstring> names;
        for (const PackageRow& row : rows) {
            const std::wstring address = PackageDownloadAddress(base, row);
            names.push_back(address.substr(address.rfind(L'/') + 1));
        }
        std::unique_ptr<IHttpSession> session = http.OpenSession();
        if (!session || CheckServerListNames(*session, base + model + L"/", names, model, settingsFile) ==
                            PackageSignature::kRefused)
            continue;
        found.push_back(NewerPackage{model, entry.version});
    }
    return found;
}

std::wstring NotificationTitle() { return GetText(kelvo::kTextUpdate); }

std::wstring NotificationText(const std::vector<NewerPackage>& packages)
{
    std::wstring text;
    for (const NewerPackage& p : packages) {
        if (!text.empty())
            text += L"\n";
        text += p.model + L" V" + p.version;
    }
    return text;
}

} // namespace kelvo
