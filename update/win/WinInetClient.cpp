#include "update/win/WinInetClient.h"

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
    explicit Session(HINTERNET h) : m_h(h) {}
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
        return std::make_unique<Request>(h);
    }
    int LastStatus() const override { return m_status; }

private:
    HINTERNET m_h;
    int m_status = 0;
};

class Client : public IHttpClient {
public:
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
        return std::make_unique<Session>(h);
    }

private:
    DWORD m_flags = 0;
};

} // namespace

std::unique_ptr<IHttpClient> NewWinInetClient() { return std::make_unique<Client>(); }

} // namespace kelvo
