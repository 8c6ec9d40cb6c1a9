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
    if (FlashPackageFile(host, job.path, job.model, job.row, channels) == 0)
        host.Done();
    else
        host.Failed();
    host.End(job.row);
}

void RunDownloadWorker(IWorkerHost& host, IHttpClient& http, const WorkerJob& job, const ToolChannelFactory& channels)
{
    // A sound package already in "update\" is written as it is; one that
    // fails its check (a damaged copy, say) is fetched again, not written
    // and refused on every try.
    {
        std::vector<uint8_t> bytes;
        PackageLayout layout;
        if (ReadPackageFile(job.path, &bytes, &layout) == PackageLoad::kLoaded) {
            RunFlashWorker(host, job, channels);
            return;
        }
    }
    // A download that cannot start ends its row with the same text as one
    // that breaks off.
    if (http.IsOffline()) {
        host.Status(job.row, UpdateText(kTextDownloadIncomplete));
        host.Failed();
        return;
    }
    int result;
    {
        std::unique_ptr<IHttpSession> session = http.OpenSession();
        if (!session) {
            host.Status(job.row, UpdateText(kTextDownloadIncomplete));
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
