#pragma once
// The internet library as the engine uses it (the WinInet and URL moniker
// calls), on libcurl. Only http and https are fetched; no cache exists, so
// every fetch goes to the server (and asks proxies not to answer from theirs
// when the reload flag is given).
//
// A blocking fetch ends early when an interrupt (Ctrl+C) arrives; the
// interrupt stays raised, so the loop's next yield still turns it into a
// cancel.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kx::platform {

/// InternetOpenA access types.
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PROXY = 3;
/// InternetOpenUrlA: fetch from the server, never a cached copy.
inline constexpr std::uint32_t INTERNET_FLAG_RELOAD = 0x80000000u;

/// HRESULTs of URLDownloadToFileA.
inline constexpr std::int32_t S_OK = 0;
inline constexpr std::int32_t INET_E_DOWNLOAD_FAILURE = static_cast<std::int32_t>(0x800C0008u);
inline constexpr std::int32_t INET_E_INVALID_URL = static_cast<std::int32_t>(0x800C0002u);

/// What an InternetOpenA handle remembers.
class InternetSession {
  public:
    std::string agent;
    std::uint32_t accessType = INTERNET_OPEN_TYPE_DIRECT;
    std::string proxy;  // "host:port" for INTERNET_OPEN_TYPE_PROXY
};

/// An opened URL: the whole answer was fetched when it opened; reads hand
/// it out in order.
class InternetUrl {
  public:
    std::string body;
    std::size_t readPosition = 0;
    long httpStatus = 0;
};

/// The handle types; closing is releasing them (InternetCloseHandle).
using HINTERNET_SESSION = std::unique_ptr<InternetSession>;
using HINTERNET_URL = std::unique_ptr<InternetUrl>;

/// InternetOpenA. Null for an access type other than direct, preconfigured
/// (which here is direct: the environment's proxy variables are never used)
/// or named proxy, and for a named proxy without a name.
HINTERNET_SESSION InternetOpenA(std::string_view agent, std::uint32_t accessType,
                                std::string_view proxyName, std::string_view proxyBypass,
                                std::uint32_t flags);

/// InternetOpenUrlA: fetches the resource with the session's agent string
/// through its proxy. Extra `headers` ("Name: value" lines) are sent as
/// given. Null when the URL is not http(s), the server cannot be reached,
/// the transfer breaks, an interrupt arrives, or the server answers an HTTP
/// error (status 400 and above: an error page is not the resource).
/// Redirects are followed (http and https only). At most `maxBytes` of the
/// body are kept; a longer body fails rather than being cut silently.
HINTERNET_URL InternetOpenUrlA(InternetSession& session, std::string_view url,
                               std::string_view headers, std::uint32_t flags,
                               std::uintptr_t context, std::size_t maxBytes = 64u * 1024u * 1024u);

/// InternetReadFile: copies up to `toRead` bytes into `buffer`; `read` is
/// how many. At the end it answers true with read = 0.
bool InternetReadFile(InternetUrl& url, char* buffer, std::uint32_t toRead, std::uint32_t& read);

/// URLDownloadToFileA: the whole resource into `fileName`, a Windows path of
/// the current machine. The file appears only complete: the bytes go to a
/// temporary file beside it that is renamed over it at the end; on any
/// failure nothing is left behind and an existing file stays as it was.
/// Answers S_OK, INET_E_INVALID_URL (not http(s), or a path that reaches no
/// file) or INET_E_DOWNLOAD_FAILURE. Direct connection, agent "Mozilla/4.0".
std::int32_t URLDownloadToFileA(std::string_view url, std::string_view fileName);

/// How a fetch through a proxy ended.
enum class ProxyFetchOutcome {
    Answered,  // an HTTP answer came back (any status; see httpStatus)
    NoAnswer,  // no connection, or no complete answer within the time limit
    TooLarge,  // the body went beyond the limit it was given
    Failed,    // not an http(s) URL, or the transfer could not be set up
};

struct ProxyFetchResult {
    ProxyFetchOutcome outcome = ProxyFetchOutcome::Failed;
    long httpStatus = 0;
    std::string body;  // what came, whatever the status
};

/// A GET of `url` through the HTTP proxy `proxy` ("host:port") with the
/// agent "Mozilla/4.0" and the reload headers, connection and answer within
/// `limit` all told. The proxy's own error answers (403, 502, ...) count as
/// answered, with their status. Ends early on an interrupt (NoAnswer).
ProxyFetchResult fetchThroughProxy(std::string_view url, std::string_view proxy,
                                   std::chrono::milliseconds limit, std::size_t maxBytes);

}  // namespace kx::platform
