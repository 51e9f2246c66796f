// The internet library on libcurl.
#include "platform/network/inet.hpp"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

#include "platform/machine/machine.hpp"
#include "platform/ui/interrupt.hpp"

namespace kx::platform {
namespace {

// Without an answer for this long a fetch gives up (the old library's
// receive time-out was of this order); an interrupt ends it sooner.
constexpr long kConnectTimeoutSeconds = 60;
constexpr long kStallSeconds = 60;

void globalInit() {
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

bool isHttpUrl(std::string_view url) {
    auto lowerPrefix = [&](std::string_view prefix) {
        if (url.size() < prefix.size())
            return false;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            char c = url[i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != prefix[i])
                return false;
        }
        return true;
    };
    return lowerPrefix("http://") || lowerPrefix("https://");
}

struct Transfer {
    std::function<bool(const char*, std::size_t)> sink;  // false stops the transfer
    bool interrupted = false;
    /// A limit on the whole transfer, connection included; 0 = only the
    /// connect and stall time-outs.
    std::chrono::milliseconds limit{0};
};

std::size_t onData(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    return transfer->sink(data, bytes) ? bytes : 0;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    if (ui::takeInterrupt()) {
        // Raise it again: the loop's next yield still owes the user a cancel.
        ui::requestInterrupt();
        transfer->interrupted = true;
        return 1;
    }
    return 0;
}

struct CurlList {
    curl_slist* list = nullptr;
    ~CurlList() { curl_slist_free_all(list); }
    void add(const std::string& line) {
        if (auto* grown = curl_slist_append(list, line.c_str()))
            list = grown;
    }
};

// One GET with the session's settings; answers the HTTP status, or 0 when
// the transfer failed.
long perform(const InternetSession& session, std::string_view url, std::string_view headers,
             std::uint32_t flags, Transfer& transfer) {
    globalInit();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl)
        return 0;
    const std::string urlText(url);
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, urlText.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, session.agent.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    if (transfer.limit.count() > 0) {
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(transfer.limit.count()));
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(transfer.limit.count()));
    }
    // Only the proxy the caller names: "" also keeps the environment's
    // proxy variables out of a direct fetch.
    const std::string proxy =
        session.accessType == INTERNET_OPEN_TYPE_PROXY ? "http://" + session.proxy : std::string();
    curl_easy_setopt(h, CURLOPT_PROXY, proxy.c_str());
    CurlList headerList;
    if (flags & INTERNET_FLAG_RELOAD) {
        headerList.add("Pragma: no-cache");
        headerList.add("Cache-Control: no-cache");
    }
    std::size_t start = 0;
    while (start < headers.size()) {
        auto end = headers.find("\r\n", start);
        if (end == std::string_view::npos)
            end = headers.size();
        if (end > start)
            headerList.add(std::string(headers.substr(start, end - start)));
        start = end + 2;
    }
    if (headerList.list)
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList.list);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    if (curl_easy_perform(h) != CURLE_OK)
        return 0;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

}  // namespace

HINTERNET_SESSION InternetOpenA(std::string_view agent, std::uint32_t accessType,
                                std::string_view proxyName, std::string_view, std::uint32_t) {
    if (accessType != INTERNET_OPEN_TYPE_DIRECT && accessType != INTERNET_OPEN_TYPE_PRECONFIG &&
        accessType != INTERNET_OPEN_TYPE_PROXY)
        return nullptr;
    if (accessType == INTERNET_OPEN_TYPE_PROXY && proxyName.empty())
        return nullptr;
    auto session = std::make_unique<InternetSession>();
    session->agent = std::string(agent);
    session->accessType = accessType == INTERNET_OPEN_TYPE_PROXY ? INTERNET_OPEN_TYPE_PROXY
                                                                 : INTERNET_OPEN_TYPE_DIRECT;
    session->proxy = std::string(proxyName);
    return session;
}

HINTERNET_URL InternetOpenUrlA(InternetSession& session, std::string_view url,
                               std::string_view headers, std::uint32_t flags, std::uintptr_t,
                               std::size_t maxBytes) {
    if (!isHttpUrl(url))
        return nullptr;
    auto opened = std::make_unique<InternetUrl>();
    Transfer transfer;
    transfer.sink = [&](const char* data, std::size_t n) {
        if (opened->body.size() + n > maxBytes)
            return false;
        opened->body.append(data, n);
        return true;
    };
    opened->httpStatus = perform(session, url, headers, flags, transfer);
    if (opened->httpStatus < 200 || opened->httpStatus >= 400)
        return nullptr;
    return opened;
}

bool InternetReadFile(InternetUrl& url, char* buffer, std::uint32_t toRead, std::uint32_t& read) {
    const std::size_t left = url.body.size() - url.readPosition;
    const std::size_t n = std::min<std::size_t>(left, toRead);
    if (n > 0)
        std::memcpy(buffer, url.body.data() + url.readPosition, n);
    url.readPosition += n;
    read = static_cast<std::uint32_t>(n);
    return true;
}

ProxyFetchResult fetchThroughProxy(std::string_view url, std::string_view proxy,
                                   std::chrono::milliseconds limit, std::size_t maxBytes) {
    ProxyFetchResult result;
    if (!isHttpUrl(url) || proxy.empty())
        return result;
    InternetSession session;
    session.agent = "Mozilla/4.0";
    session.accessType = INTERNET_OPEN_TYPE_PROXY;
    session.proxy = std::string(proxy);
    bool tooLarge = false;
    Transfer transfer;
    transfer.limit = limit;
    transfer.sink = [&](const char* data, std::size_t n) {
        if (result.body.size() + n > maxBytes) {
            tooLarge = true;
            return false;
        }
        result.body.append(data, n);
        return true;
    };
    result.httpStatus = perform(session, url, {}, INTERNET_FLAG_RELOAD, transfer);
    if (tooLarge)
        result.outcome = ProxyFetchOutcome::TooLarge;
    else if (result.httpStatus > 0)
        result.outcome = ProxyFetchOutcome::Answered;
    else
        result.outcome = ProxyFetchOutcome::NoAnswer;
    return result;
}

std::int32_t URLDownloadToFileA(std::string_view url, std::string_view fileName) {
    if (!isHttpUrl(url) || !hasCurrentMachine())
        return INET_E_INVALID_URL;
    const auto target = currentMachine().resolve(fileName);
    if (!target || target->filename().empty())
        return INET_E_INVALID_URL;

    std::random_device random;
    const auto temp = target->parent_path() /
                      ("." + target->filename().string() + ".kxpart-" + std::to_string(random()));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return INET_E_DOWNLOAD_FAILURE;
    bool writeFailed = false;
    Transfer transfer;
    transfer.sink = [&](const char* data, std::size_t n) {
        while (n > 0) {
            const auto written = ::write(fd, data, n);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                writeFailed = true;
                return false;
            }
            data += written;
            n -= static_cast<std::size_t>(written);
        }
        return true;
    };
    InternetSession session;
    session.agent = "Mozilla/4.0";
    const long status = perform(session, url, {}, INTERNET_FLAG_RELOAD, transfer);
    const bool synced = ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    std::error_code ec;
    if (status < 200 || status >= 400 || writeFailed || !synced || !closed) {
        std::filesystem::remove(temp, ec);
        return INET_E_DOWNLOAD_FAILURE;
    }
    std::filesystem::rename(temp, *target, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return INET_E_DOWNLOAD_FAILURE;
    }
    return S_OK;
}

}  // namespace kx::platform
