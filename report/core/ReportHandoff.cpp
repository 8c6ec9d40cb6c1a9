#include "report/core/ReportHandoff.h"

namespace kelvo::report {

uint32_t ChunkQueue::Begin()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Never 0, which stands for no capture.
    if (++m_last == 0)
        m_last = 1;
    m_current = m_last;
    m_chunks.clear();
    return m_current;
}

void ChunkQueue::End()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_current = 0;
    m_chunks.clear();
}

bool ChunkQueue::Push(uint32_t capture, std::wstring chunk, bool* wake)
{
    *wake = false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (capture == 0 || capture != m_current)
        return false;
    if (chunk.empty())
        return true;
    m_chunks.push_back(std::move(chunk));
    if (!m_wakePending) {
        m_wakePending = true;
        *wake = true;
    }
    return true;
}

std::wstring ChunkQueue::TakeAll()
{
    std::deque<std::wstring> taken;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wakePending = false;
        taken.swap(m_chunks);
    }
    size_t total = 0;
    for (const auto& c : taken)
        total += c.size();
    std::wstring text;
    text.reserve(total);
    for (const auto& c : taken)
        text += c;
    return text;
}

void ChunkQueue::WakeLost()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wakePending = false;
}

bool ChunkQueue::NeedsWake()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_chunks.empty() || m_wakePending)
        return false;
    m_wakePending = true;
    return true;
}

bool ChunkQueue::IsCurrent(uint32_t capture) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return capture != 0 && capture == m_current;
}

std::wstring BytesToText(const uint8_t* bytes, size_t n)
{
    std::wstring text;
    text.reserve(n);
    for (size_t i = 0; i < n; ++i)
        if (bytes[i])
            text.push_back(static_cast<wchar_t>(bytes[i]));
    return text;
}

} // namespace kelvo::report
