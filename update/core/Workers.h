#pragma once
// The update worker's two procedures as portable functions: the Windows side
// runs them on a worker thread and turns each report into a SendMessageW to
// the list window.
#include "update/core/Http.h"
#include "update/core/Transfer.h"
#include "update/core/UpdateSink.h"

#include <string>

namespace kelvo {

// What a worker tells the update list, besides progress and status.
class IWorkerHost : public IUpdateSink {
public:
    virtual void Flashing(int row) = 0;  // WM_UPDATE_FLASHING
    virtual void Failed() = 0;           // WM_UPDATE_FAILED
    virtual void Done() = 0;             // WM_UPDATE_DONE
    virtual void End(int row) = 0;       // WM_UPDATE_END
    // Asked right before the package is written: is the tool the user
    // confirmed the write for still the one identified? A host that follows
    // no identification has nothing to compare and says yes.
    virtual bool ToolUnchanged() { return true; }
};

// What the page hands a worker: the row, the package address (empty when
// no download is needed), the local package path and the model of the tool
// the user confirmed the write for (m_strDeviceName at that moment).
struct WorkerJob {
    int row = 0;
    std::wstring address;
    std::wstring path;
    std::wstring model;
    // Where the fact that this model's server signs its lists is kept (the
    // settings file); empty: not kept, and a missing list is unsigned.
    std::wstring settingsFile;
};

// Writes the package at job.path: Flashing, the transfer, Done or Failed, End.
// A tool changed since the confirmation gets nothing: text 67, Failed, End.
void RunFlashWorker(IWorkerHost& host, const WorkerJob& job, const ToolChannelFactory& channels = {});

// Downloads job.address to job.path, then goes on as RunFlashWorker; a
// valid package already at job.path is written without a download. A
// download that cannot start or does not complete shows text 26 in the row
// and sends Failed (no End). Before any frame the package (downloaded or
// kept) is checked against the server's signed list: one the list does not
// vouch for is deleted, text 150 is shown, Failed and End are sent.
void RunDownloadWorker(IWorkerHost& host, IHttpClient& http, const WorkerJob& job,
                       const ToolChannelFactory& channels = {});

// The identified tool as it stands at one moment: its model name, its port
// and the count of removals so far (ToolRemovals).
struct ToolSnapshot {
    std::wstring model;
    int port = -1;
    unsigned removals = 0;
};

// The tool the user confirmed a write for is still the one identified: the
// same model on the same port, never pulled out in between. A tool that was
// not identified at the confirmation is no tool to write into.
bool SameToolAsConfirmed(const ToolSnapshot& confirmed, const ToolSnapshot& now);

} // namespace kelvo
