#include "update/core/Download.h"

#include "app/core/platform.h"
#include "update/core/PackageRows.h"
#include "update/core/Transfer.h"

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
    // No size, a size of 0 (no package is empty) or one beyond any package:
    // given up before a byte is kept, rather than read without end.
    uint32_t size = 0;
    if (!request->QuerySize(&size) || size == 0 || size > uint32_t(kMaxPackageBytes)) {
        sink.Status(row, UpdateText(kTextDownloadIncomplete));
        return kDownloadFailed;
    }
    // A .part left by a download that was cut off (the program killed) is
    // ours to remove; the new one is made afresh, never through a link.
    RemoveFile(partial);
    FILE* f = CreateNewFile(partial);
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

    uint32_t elapsed = 10;
    const uint32_t start = TickCount();
    uint32_t total = 0;
    std::vector<uint8_t> buffer(kDownloadChunk);
    for (;;) {
        int n = request->Read(buffer.data(), kDownloadChunk);
        if (n < 0)
            return fail(f);
        if (n == 0)
            break;
        // More than announced: no package of ours, and nothing more is read.
        if (uint32_t(n) > size - total)
            return fail(f);
        if (std::fwrite(buffer.data(), 1, size_t(n), f) != size_t(n))
            return fail(f);
        total += uint32_t(n);
        sink.Progress(row, DownloadPercent(total, size));
        sink.Status(row, DownloadStatusText(total, size, elapsed));
        // The speed shown after a read uses the time measured after the one before.
        elapsed = TickCount() - start;
        if (elapsed == 0)
            elapsed = 10;
    }
    bool written = total == size && FlushToDisk(f);
    written = std::fclose(f) == 0 && written;

    if (written && ReplaceWith(partial, path)) {
        sink.Status(row, UpdateText(kTextDownloadComplete));
        return kDownloadDone;
    }
    return fail(nullptr);
}
