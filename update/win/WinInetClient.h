#pragma once
// The update core's plain GET requests over WinINet.
#include "update/core/Http.h"

#include <memory>

namespace kelvo {
std::unique_ptr<IHttpClient> NewWinInetClient();
} // namespace kelvo
