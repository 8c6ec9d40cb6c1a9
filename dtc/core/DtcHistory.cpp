#include "dtc/core/DtcHistory.h"

#include "app/core/profile.h"

#include <cwchar>

namespace kelvo {
namespace {

const wchar_t kSection[] = L"DTC";
const wchar_t kCountKey[] = L"HistoryNum";
// The count's key begins every code's key: matched by the text before "="
// alone, a code line above the count would be taken for it and overwritten.
const CProfile::KeyMatch kExact = CProfile::KeyMatch::kExact;

std::wstring KeyOf(int i)
{
    wchar_t key[32];
    std::swprintf(key, 32, L"HistoryNum%.2d", i);
    return key;
}

// The count of keys written so far; a negative one counts as none.
int KeysWritten(const std::wstring& file)
{
    const int n = CProfile::GetInt(file, kSection, kCountKey, 0, kExact);
    return n < 0 ? 0 : n;
}

} // namespace

std::vector<std::wstring> DtcHistory::Load()
{
    std::vector<std::wstring> offered;
    int n = KeysWritten(File());
    if (n > kMaxKeys)
        n = kMaxKeys;
    for (int i = 1; i <= n; ++i) {
        std::wstring code = CProfile::GetString(File(), kSection, KeyOf(i), L"", kExact);
        if (code.size() > 4) {
            offered.push_back(code);
            m_history.insert(code);
        }
    }
    return offered;
}

bool DtcHistory::Add(const std::wstring& code)
{
    // Kept in memory whatever happens below, so typing it again this run
    // neither writes nor asks again.
    if (!m_history.insert(code).second || m_history.size() > static_cast<size_t>(kMaxKeys))
        return false;
    // The key number follows the file's count, so the limit is tested on it:
    // short or repeated values and a count beyond the limit use keys up too,
    // and a key past HistoryNum20 would not be read at the next start.
    const int k = KeysWritten(File()) + 1;
    if (k > kMaxKeys)
        return false;
    // A count that could not be written means the file cannot take the value
    // either: one message is enough.
    if (!CProfile::SetInt(File(), kSection, kCountKey, k, kExact))
        return false;
    return CProfile::SetString(File(), kSection, KeyOf(k), code, kExact);
}

} // namespace kelvo
