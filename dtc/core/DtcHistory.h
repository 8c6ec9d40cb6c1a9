#pragma once
// The look-up history of the trouble-code page: up to 20 codes in section
// [DTC] of the settings file, "HistoryNum" (keys written so far) and
// "HistoryNum01" ... "HistoryNum20", one code each, in the order added.
#include "app/core/globals.h"
#include "app/core/profile.h"

#include <set>
#include <string>
#include <vector>

namespace kelvo {

class DtcHistory {
public:
    static const int kMaxKeys = 20;

    // No file named: the installation's settings file, found at each use.
    explicit DtcHistory(std::wstring settingsFile = std::wstring()) : m_file(std::move(settingsFile)) {}

    // Reads the saved codes; returns those to offer, in key order (values
    // shorter than five characters are passed over).
    std::vector<std::wstring> Load();
    // Adds a code looked up in full. True when it was written and is to be
    // offered; false when it is known already, the keys are used up, or the
    // settings file could not be written (a message has then been shown).
    bool Add(const std::wstring& code);

    const std::set<std::wstring>& Codes() const { return m_history; }

private:
    std::wstring File() const { return m_file.empty() ? SettingsPath() : m_file; }

    std::wstring m_file;
    std::set<std::wstring> m_history;
};

} // namespace kelvo
