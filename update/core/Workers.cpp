#include "update/core/Workers.h"

#include "app/core/platform.h"
#include "update/core/Download.h"
#include "update/core/SignedList.h"

namespace kelvo {

bool SameToolAsConfirmed(const ToolSnapshot& confirmed, const ToolSnapshot& now)
{
    return !confirmed.model.empty() && confirmed.port >= 0 && now.model == confirmed.model &&
           now.port == confirmed.port && now.removals == confirmed.removals;
}

void RunFlashWorker(IWorkerHost& host, const WorkerJob& job, const ToolChannelFactory& channels)
{
    // A local package with a signed list beside it is held to that list.
    if (job.address.empty() && CheckLocalPackage(job.path) == PackageSignature::kRefused) {
        host.Status(job.row, UpdateText(kTextNotSignedByMaker));
        host.Tell(kTextNotSignedByMaker, kMbIconError);
        host.Failed();
        host.End(job.row);
        return;
    }
    if (!host.ToolUnchanged()) {
        // Not one frame for a tool other than the one the user confirmed.
        host.Flashing(job.row);
        host.Tell(kTextTransferFailed, kMbOk);
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

namespace {
// The package at job.path against the server's signed list; false (the file
// deleted, the user told) when it may not be written.
bool SignatureAllows(IWorkerHost& host, IHttpClient& http, const WorkerJob& job)
{
    std::unique_ptr<IHttpSession> session = http.IsOffline() ? nullptr : http.OpenSession();
    // No server to ask (a kept copy, offline): as a server without a list.
    const PackageSignature verdict =
        session ? CheckServerPackage(*session, job.address, job.path, job.model, job.settingsFile)
        : !job.settingsFile.empty() && ServerSignsFor(job.settingsFile, job.model) ? PackageSignature::kRefused
                                                                                    : PackageSignature::kUnsigned;
    if (verdict != PackageSignature::kRefused)
        return true;
    RemoveFile(job.path);
    host.Status(job.row, UpdateText(kTextNotSignedByMaker));
    host.Tell(kTextNotSignedByMaker, kMbIconError);
    host.Failed();
    host.End(job.row);
    return false;
}
} // namespace

void RunDownloadWorker(IWorkerHost& host, IHttpClient& http, const WorkerJob& job, const ToolChannelFactory& channels)
{
    // A sound package already in "update\" is written as it is (after the
    // same check of the signed list as a fresh download); one that fails its
    // check (a damaged copy, say) is fetched again, not written and refused
    // on every try.
    {
        std::vector<uint8_t> bytes;
        PackageLayout layout;
        if (ReadPackageFile(job.path, &bytes, &layout) == PackageLoad::kLoaded) {
            if (SignatureAllows(host, http, job))
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
    if (SignatureAllows(host, http, job))
        RunFlashWorker(host, job, channels);
}

} // namespace kelvo
