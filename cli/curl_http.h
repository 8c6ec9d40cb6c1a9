#pragma once
// The update core's HTTP interface over libcurl: plain GET requests whose
// body is read piece by piece as it arrives, as WinINet gives it to Kelvo.
#include "update/core/Http.h"

#include <memory>

namespace kelvo::cli {

// One client for the process; curl_global_init is done by its creation.
std::unique_ptr<IHttpClient> NewCurlClient();

} // namespace kelvo::cli
