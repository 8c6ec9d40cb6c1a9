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
};

// What the page hands a worker: the row, the package address (empty when
// no download is needed), the local package path and the model of the tool
// the user confirmed the write for (m_strDeviceName at that moment).
struct WorkerJob {
    int row = 0;
    std::wstring address;
    std::wstring path;
    std::wstring model;
};

// Writes the package at job.path: Flashing, the transfer, Done or Failed, End.
void RunFlashWorker(IWorkerHost& host, const WorkerJob& job, const ToolChannelFactory& channels = {});

// Downloads job.address to job.path, then goes on as RunFlashWorker; a
// valid package already at job.path is written without a download. A
// download that cannot start or does not complete shows text 26 in the row
// and sends Failed (no End).
void RunDownloadWorker(IWorkerHost& host, IHttpClient& http, const WorkerJob& job,
                       const ToolChannelFactory& channels = {});

} // namespace kelvo
