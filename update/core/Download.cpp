#include "update/core/Download.h"

#include "app/core/platform.h"
#include "update/core/PackageRows.h"

#include <cstdio>
#include <vector>

namespace kelvo {
std::wstring PartialDownloadPath(const std::wstring& path) { return path + L".part"; }
} // namespace kelvo

using namespace kelvo;

int DownloadFile(IHttpSession& session, const std::wstring& address, const std::wstring& path, IUpdateSink& sink,
                 int row)
{
    std::unique_ptr<IHttpRequest> request = session.Open(address);
    if (!request) {
        // A server without the package (or none at all) still ends the row
        // with an answer.
        sink.Status(row, UpdateText(kTextDownloadIncomplete));
        return kDownloadNoAddress;
    }

    // Whatever ends the download, its row says it did not complete.
    const std::wstring partial = PartialDownloadPath(path);
    FILE* f = OpenFile(partial, "wb");
    if (!f) {
        sink.Status(row, UpdateText(kTextDownloadIncomplete));
        return kDownloadNoFile;
    }
    auto fail = [&](FILE* open) {
        if (open)
            std::fclose(open);
        RemoveFile(partial);
        sink.Status(row, UpdateText(kTextDownloadIncomplete));
        return int(kDownloadFailed);
    };

    uint32_t size = 0;
    if (!request->QuerySize(&size))
        return fail(f);

    uint32_t elapsed = 10;
    const uint32_t start = TickCount();
    uint32_t total = 0;
    bool tooLong = false;
    std::vector<uint8_t> buffer(kDownloadChunk);
    for (;;) {
        int n = request->Read(buffer.data(), kDownloadChunk);
        if (n < 0)
            return fail(f);
        if (n == 0)
            break;
        if (std::fwrite(buffer.data(), 1, size_t(n), f) != size_t(n))
            return fail(f);
        if (uint64_t(total) + uint32_t(n) > 0xFFFFFFFFu) {
            tooLong = true;
            break;
        }
        total += uint32_t(n);
        if (size != 0) {
            sink.Progress(row, DownloadPercent(total, size));
            sink.Status(row, DownloadStatusText(total, size, elapsed));
        }
        // The speed shown after a read uses the time measured after the one before.
        elapsed = TickCount() - start;
        if (elapsed == 0)
            elapsed = 10;
    }
    bool written = std::fclose(f) == 0;

    if (written && !tooLong && total == size && ReplaceWith(partial, path)) {
        sink.Status(row, UpdateText(kTextDownloadComplete));
        return kDownloadDone;
    }
    return fail(nullptr);
}
