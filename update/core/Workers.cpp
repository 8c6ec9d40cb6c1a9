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

namespace {
// A download that did not complete: its row says so and is unticked, so that
// one tick tries again. `said`: the row shows text 26 already.
void DownloadFailed(IWorkerHost& host, const WorkerJob& job, bool said = false)
{
    if (!said)
        host.Status(job.row, UpdateText(kTextDownloadIncomplete));
    host.Failed();
    host.End(job.row);
}
} // namespace

void RunDownloadWorker(IWorkerHost& host, IHttpClient& http, const WorkerJob& job, const ToolChannelFactory& channels)
{
    if (http.IsOffline()) {
        DownloadFailed(host, job);
        return;
    }
    int result;
    {
        std::unique_ptr<IHttpSession> session = http.OpenSession();
        if (!session) {
            DownloadFailed(host, job);
            return;
        }
        result = DownloadFile(*session, job.address, job.path, host, job.row);
    }  // the session is closed before the transfer starts
    if (result != kDownloadDone) {
        DownloadFailed(host, job, true);  // DownloadFile has said why
        return;
    }
    RunFlashWorker(host, job, channels);
}

} // namespace kelvo
