#include "update/core/UpdateRuns.h"

#include <climits>

namespace kelvo {

int UpdateRuns::Start(const std::wstring& model, const std::wstring& version)
{
    // Ids are never 0, so a message parameter of 0 names no worker; after
    // the largest they start again at 1 rather than overflow.
    const int id = m_next;
    m_next = m_next == INT_MAX ? 1 : m_next + 1;
    m_running[id] = Package{model, version};
    return id;
}

bool UpdateRuns::Finish(int id, std::wstring* model, std::wstring* version)
{
    auto it = m_running.find(id);
    if (it == m_running.end())
        return false;
    if (model)
        *model = it->second.model;
    if (version)
        *version = it->second.version;
    m_running.erase(it);
    return true;
}

} // namespace kelvo
