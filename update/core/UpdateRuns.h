#pragma once
// The update workers the page has started and not yet heard the end of.
// Each checked row starts its own worker; one that fails (a second worker
// finds the port held by the first, say) must neither end the "update in
// progress" state while another still writes into the tool, nor let the
// recorded version be that of a row other than the one written.
#include <map>
#include <string>

namespace kelvo {

class UpdateRuns {
public:
    // A worker about to start for this package; its id travels with the worker.
    int Start(const std::wstring& model, const std::wstring& version);
    // The worker's end. False for an id not running (nothing changes). On
    // success the package it wrote is given back for recording.
    bool Finish(int id, std::wstring* model = nullptr, std::wstring* version = nullptr);
    bool Busy() const { return !m_running.empty(); }
    int Count() const { return static_cast<int>(m_running.size()); }

private:
    struct Package {
        std::wstring model;
        std::wstring version;
    };
    std::map<int, Package> m_running;
    int m_next = 1;
};

} // namespace kelvo
