#include "platform/win/WinInetClient.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>

namespace kelvo {

namespace {

class Request : public IHttpRequest {
public:
    explicit Request(HINTERNET h) : m_h(h) {}
    ~Request() override { ::InternetCloseHandle(m_h); }
    bool QuerySize(uint32_t* size) override
    {
        DWORD value = 0, len = sizeof value, index = 0;
        if (!::HttpQueryInfoW(m_h, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &value, &len, &index))
            return false;
        *size = value;
        return true;
    }
    int Read(uint8_t* buffer, uint32_t capacity) override
    {
        DWORD got = 0;
        if (!::InternetReadFile(m_h, buffer, capacity, &got))
            return -1;
        return static_cast<int>(got);
    }

private:
    HINTERNET m_h;
};

class Session : public IHttpSession {
public:
    Session(HINTERNET h, const HttpTimeouts& timeouts) : m_h(h), m_timeouts(timeouts) {}
    ~Session() override { ::InternetCloseHandle(m_h); }
    std::unique_ptr<IHttpRequest> Open(const std::wstring& address) override
    {
        static const wchar_t kHeaders[] = L"Accept: */*\r\n\r\n";
        const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
        m_status = 0;
        HINTERNET h = ::InternetOpenUrlW(m_h, address.c_str(), kHeaders, static_cast<DWORD>(wcslen(kHeaders)), flags, 0);
        if (!h)
            return nullptr;
        // A server error page is not the file asked for.
        DWORD status = 0, len = sizeof status, index = 0;
        if (::HttpQueryInfoW(h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &len, &index))
            m_status = static_cast<int>(status);
        if (m_status >= 400) {
            ::InternetCloseHandle(h);
            return nullptr;
        }
        // The body's reads wait no longer than the session's answer did.
        ApplyHttpTimeouts(h, m_timeouts);
        return std::make_unique<Request>(h);
    }
    int LastStatus() const override { return m_status; }

private:
    HINTERNET m_h;
    HttpTimeouts m_timeouts;
    int m_status = 0;
};

class Client : public IHttpClient {
public:
    explicit Client(const HttpTimeouts& timeouts) : m_timeouts(timeouts) {}
    bool IsOffline() override
    {
        DWORD flags = 0;
        ::InternetGetConnectedState(&flags, 0);
        m_flags = flags;
        return (flags & INTERNET_CONNECTION_OFFLINE) != 0;
    }
    std::unique_ptr<IHttpSession> OpenSession() override
    {
        DWORD flags = 0;
        ::InternetGetConnectedState(&flags, 0);
        char agent[32];
        std::snprintf(agent, sizeof agent, "Agent%ld", static_cast<long>(::GetTickCount()));
        const DWORD access = (flags & INTERNET_CONNECTION_PROXY) ? INTERNET_OPEN_TYPE_PRECONFIG
                                                                 : INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
        HINTERNET h = ::InternetOpenA(agent, access, nullptr, nullptr, 0);
        if (!h)
            return nullptr;
        ApplyHttpTimeouts(h, m_timeouts);
        return std::make_unique<Session>(h, m_timeouts);
    }

private:
    HttpTimeouts m_timeouts;
    DWORD m_flags = 0;
};

} // namespace

bool ApplyHttpTimeouts(void* internetHandle, const HttpTimeouts& timeouts)
{
    DWORD connect = timeouts.connectMs, receive = timeouts.receiveMs;
    bool ok = ::InternetSetOptionW(internetHandle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect) != FALSE;
    ok = ::InternetSetOptionW(internetHandle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive) && ok;
    ok = ::InternetSetOptionW(internetHandle, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof receive) && ok;
    return ok;
}

std::unique_ptr<IHttpClient> NewWinInetClient(const HttpTimeouts& timeouts) { return std::make_unique<Client>(timeouts); }

} // namespace kelvo
