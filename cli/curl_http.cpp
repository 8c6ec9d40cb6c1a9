#include "cli/curl_http.h"

#include "app/core/platform.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace kelvo::cli {
namespace {

// A transfer driven by curl's multi interface, so Read can hand out what has
// arrived without waiting for the whole body.
class CurlRequest : public IHttpRequest {
public:
    bool Start(const std::string& url)
    {
        m_easy = curl_easy_init();
        m_multi = curl_multi_init();
        if (!m_easy || !m_multi)
            return false;
        curl_easy_setopt(m_easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &CurlRequest::OnData);
        curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(m_easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT, 15L);
        // A server that stops sending for a minute has failed.
        curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_TIME, 60L);
        curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_easy, CURLOPT_USERAGENT, "kelvo");
        curl_multi_add_handle(m_multi, m_easy);
        // Opened once the status line and headers are in (or the transfer ended).
        while (!m_done && !HeadersIn())
            Step();
        if (m_result != CURLE_OK && m_buffer.empty() && !HeadersIn())
            return false;
        long status = 0;
        curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
        m_status = status;
        return status > 0;
    }

    ~CurlRequest() override
    {
        if (m_multi && m_easy)
            curl_multi_remove_handle(m_multi, m_easy);
        if (m_easy)
            curl_easy_cleanup(m_easy);
        if (m_multi)
            curl_multi_cleanup(m_multi);
    }

    long Status() const { return m_status; }

    bool QuerySize(uint32_t* size) override
    {
        curl_off_t length = -1;
        if (curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK || length < 0 ||
            length > curl_off_t(UINT32_MAX))
            return false;
        *size = static_cast<uint32_t>(length);
        return true;
    }

    int Read(uint8_t* buffer, uint32_t capacity) override
    {
        while (m_buffer.size() - m_offset == 0 && !m_done)
            Step();
        const size_t available = m_buffer.size() - m_offset;
        if (available == 0)
            return m_result == CURLE_OK ? 0 : -1;
        const size_t n = std::min<size_t>({available, capacity, size_t(INT32_MAX)});
        std::memcpy(buffer, m_buffer.data() + m_offset, n);
        m_offset += n;
        if (m_offset == m_buffer.size()) {
            m_buffer.clear();
            m_offset = 0;
        }
        return static_cast<int>(n);
    }

private:
    static size_t OnData(char* data, size_t size, size_t count, void* self)
    {
        auto* r = static_cast<CurlRequest*>(self);
        r->m_buffer.append(data, size * count);
        return size * count;
    }

    bool HeadersIn()
    {
        long status = 0;
        curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
        return status > 0 && !m_buffer.empty();
    }

    void Step()
    {
        int running = 0;
        if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
            m_done = true;
            m_result = CURLE_RECV_ERROR;
            return;
        }
        if (running == 0) {
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(m_multi, &left)) {
                if (msg->msg == CURLMSG_DONE)
                    m_result = msg->data.result;
            }
            m_done = true;
            return;
        }
        int ready = 0;
        curl_multi_wait(m_multi, nullptr, 0, 200, &ready);
    }

    CURL* m_easy = nullptr;
    CURLM* m_multi = nullptr;
    std::string m_buffer;
    size_t m_offset = 0;
    bool m_done = false;
    CURLcode m_result = CURLE_OK;
    long m_status = 0;
};

class CurlSession : public IHttpSession {
public:
    std::unique_ptr<IHttpRequest> Open(const std::wstring& address) override
    {
        auto request = std::make_unique<CurlRequest>();
        m_lastStatus = 0;
        if (!request->Start(WideToUtf8(address)))
            return nullptr;
        m_lastStatus = int(request->Status());
        // A server that does not have the file has no file to give: the
        // address cannot be opened, rather than an error page read as data.
        if (request->Status() >= 400)
            return nullptr;
        return request;
    }
    int LastStatus() const override { return m_lastStatus; }

private:
    int m_lastStatus = 0;
};

class CurlClient : public IHttpClient {
public:
    CurlClient() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlClient() override { curl_global_cleanup(); }
    bool IsOffline() override { return false; }
    std::unique_ptr<IHttpSession> OpenSession() override { return std::make_unique<CurlSession>(); }
};

} // namespace

std::unique_ptr<IHttpClient> NewCurlClient() { return std::make_unique<CurlClient>(); }

} // namespace kelvo::cli
