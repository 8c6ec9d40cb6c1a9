#pragma once
// Downloading a package into "update\" with progress and speed in its row.
#include "update/core/Http.h"
#include "update/core/UpdateSink.h"

#include <cstdint>
#include <string>

namespace kelvo {

enum : int {
    kDownloadDone = 0,        // complete: the file is in place
    kDownloadNoAddress = 1,   // the address could not be opened
    kDownloadNoFile = 2,      // the local file could not be created
    kDownloadFailed = 3,      // no size (or 0, or beyond a package's limit) announced, a read
                              // failed, more than announced came, or it ended short
};

constexpr uint32_t kDownloadChunk = 16384;

// The name the download is written to until it is complete.
std::wstring PartialDownloadPath(const std::wstring& path);

} // namespace kelvo

// Downloads `address` to `path`. The bytes go to a temporary file beside it,
// which takes the package's name only when exactly the announced size
// arrived; otherwise it is removed, so a broken download never sits under the
// package's name. Reports 25 or 26 as the row's final status (26 also when
// the address cannot be opened).
int DownloadFile(kelvo::IHttpSession& session, const std::wstring& address, const std::wstring& path,
                 kelvo::IUpdateSink& sink, int row);
