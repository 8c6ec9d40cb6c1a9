#pragma once
// Plain GET requests as the update core uses them (WinINet in the program,
// scripted in tests).
#include <cstdint>
#include <memory>
#include <string>

namespace kelvo {

class IHttpRequest {
public:
    virtual ~IHttpRequest() = default;
    // The size the server announced (Content-Length); false when none.
    virtual bool QuerySize(uint32_t* size) = 0;
    // Up to `capacity` bytes: the count read, 0 at the end, -1 on failure.
    virtual int Read(uint8_t* buffer, uint32_t capacity) = 0;
};

class IHttpSession {
public:
    virtual ~IHttpSession() = default;
    // Null when the address cannot be opened.
    virtual std::unique_ptr<IHttpRequest> Open(const std::wstring& address) = 0;
    // The HTTP status the server answered the last Open with (404 when it has
    // no such file); 0 when no server answered at all.
    virtual int LastStatus() const { return 0; }
};

class IHttpClient {
public:
    virtual ~IHttpClient() = default;
    virtual bool IsOffline() = 0;
    // Null when no session can be created.
    virtual std::unique_ptr<IHttpSession> OpenSession() = 0;
};

} // namespace kelvo
