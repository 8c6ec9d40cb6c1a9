#include "update/core/Workers.h"

#include "update/core/Download.h"

namespace kelvo {

bool SameToolAsConfirmed(const ToolSnapshot& confirmed, const ToolSnapshot& now)
{
    return !confirmed.model.empty() && confirmed.port >= 0 && now.model == confirmed.model &&
           now.port == confirmed.port && now.removals == confirmed.removals;
}

void RunFlashWorker(IWorkerHost& host, const WorkerJob& job, const ToolChannelFactory& channels)
{
    if (!host.ToolUnchanged()) {
        // Not one frame for a tool other than the one the user confirmed.
        host.Flashing(job.row);
        ShowUpdateMessage(kTextTransferFailed);
        host.Failed();
        host.End(job.row);
        return;
    }
    host.Flashing(job.row);
    if (FlashPackageFile(host, job.path, job.row, channels) == 0)
        host.Done();
    else
        host.Failed();
    host.End(job.row);
}

void RunDownloadWorker(IWorkerHost& host, IHttpClient& http, const WorkerJob& job, const ToolChannelFactory& channels)
{
    if (http.IsOffline()) {
        host.Failed();
        return;
    }
    int result;
    {
        std::unique_ptr<IHttpSession> session = http.OpenSession();
        if (!session) {
            host.Failed();
            return;
        }
        result = DownloadFile(*session, job.address, job.path, host, job.row);
    }  // the session is closed before the transfer starts
    if (result != kDownloadDone) {
        host.Failed();
        return;
    }
    RunFlashWorker(host, job, channels);
}

} // namespace kelvo
