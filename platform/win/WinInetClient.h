#pragma once
// The update core's plain GET requests over WinINet.
#include "update/core/Http.h"

#include <memory>

namespace kelvo {

// How long a request waits for the server: to connect, and for each answer
// or piece of body. A server that stops answering fails the request then,
// rather than holding its worker for as long as the system would wait.
struct HttpTimeouts {
    unsigned long connectMs = 15000;
    unsigned long receiveMs = 30000;
};

std::unique_ptr<IHttpClient> NewWinInetClient(const HttpTimeouts& timeouts = HttpTimeouts());
// Sets them on a WinINet handle (a session: every request opened from it
// inherits them); false when one was refused.
bool ApplyHttpTimeouts(void* internetHandle, const HttpTimeouts& timeouts);
} // namespace kelvo
