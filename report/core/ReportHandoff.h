#pragma once
// Report text handed from the reader thread to the report page. The reader
// pushes chunks of the capture it belongs to; the page takes everything that
// waits at once. A chunk of a capture that has ended is dropped, and the page
// is woken only when no wake-up is already on its way.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace kelvo::report {

class ChunkQueue {
public:
    // A new capture: chunks of every earlier one are dropped. Its id for Push.
    uint32_t Begin();
    // The current capture is over: what waits of it and what it pushes later is dropped.
    void End();
    // Reader side. False when the chunk was dropped. *wake tells whether the
    // caller must wake the page (nothing was pending).
    bool Push(uint32_t capture, std::wstring chunk, bool* wake);
    // Page side: every waiting chunk, joined in arrival order. Clears the
    // wake-up, so the next Push wakes the page again.
    std::wstring TakeAll();
    // The wake-up could not be delivered: the next Push tries again.
    void WakeLost();
    // True (and a wake-up counts as pending again) when chunks wait with no
    // wake-up on its way, after a lost one.
    bool NeedsWake();
    bool IsCurrent(uint32_t capture) const;

private:
    mutable std::mutex m_mutex;
    std::deque<std::wstring> m_chunks;
    uint32_t m_current = 0;  // 0: no capture
    uint32_t m_last = 0;
    bool m_wakePending = false;
};

// The report stream's bytes as text: each byte the character of the same
// value, zero bytes left out.
std::wstring BytesToText(const uint8_t* bytes, size_t n);

} // namespace kelvo::report
