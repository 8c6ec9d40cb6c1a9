#pragma once
// Dozaz's check: for each model recorded in [Update] of the settings file,
// the update server's catalogue (the rules of Kelvo's online list) and the
// newer package in the current language, if any. Nothing is written and
// nothing is shown; a server that cannot be reached gives no finding.
#include "update/core/Http.h"

#include <string>
#include <vector>

namespace kelvo {

struct NewerPackage {
    std::wstring model;
    std::wstring version;  // as the catalogue gives it, "2.34"
};

// The models with a line in [Update], in file order, each once.
std::vector<std::wstring> RecordedModels(const std::wstring& settingsFile);

std::vector<NewerPackage> FindNewerPackages(IHttpClient& http, const std::wstring& settingsFile,
                                            const std::wstring& base, const std::wstring& language);

// The notification: its title (text 1) and one line per package, "QB345 V2.34".
std::wstring NotificationTitle();
std::wstring NotificationText(const std::vector<NewerPackage>& packages);

} // namespace kelvo
