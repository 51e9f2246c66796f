#pragma once
// frmMain: the hidden main window of the component. It holds the socket
// `wscHttp` through which `Download` fetches small files over HTTP/1.1, and
// the list `lvFiles` in which a cleaning run keeps the tracks it found. It is
// created on first use and stays loaded for the thread's life.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/network/http_socket.hpp"
#include "services/form_base.hpp"

namespace kx {

/// The answer to Download's request as it arrives: the header block is read
/// once its end is there, and the body counts only when its length equals the
/// Content-Length (the header name in any case, the last such line wins) and
/// the status is a success (2xx). However the bytes are cut into pieces, the
/// outcome is the same.
class HttpAnswer {
  public:
    /// Adds the bytes that arrived.
    void add(std::string_view chunk);
    /// The connection closed: the body of a complete successful answer, else
    /// "". The answer is empty afterwards.
    std::string finish();
    void clear() { *this = HttpAnswer{}; }

    /// Body bytes received so far (0 before the header block has ended).
    std::int64_t received() const { return received_; }
    /// The length a "Content-Length" line (as servers usually spell it)
    /// announces, for the progress line; 0 when there is none.
    std::int64_t announcedLength() const { return headerLength_; }
    /// received() in per cent of announcedLength(), within the range of a
    /// 16-bit Integer.
    std::int16_t percent() const;

  private:
    std::string buffer_;
    // 64 bits where the old fields had 32: an absurd Content-Length or a
    // long stream must not wrap around into a false match.
    std::int64_t received_ = 0;
    std::int64_t expected_ = 0;
    std::int64_t headerLength_ = 0;
    bool headerSeen_ = false;
};

class frmMain final : public FormBase {
  public:
    frmMain();
    ~frmMain() override;

    /// The socket of Download.
    platform::TcpClientSocket wscHttp;

    /// The found list of a cleaning run, one line per track.
    std::shared_ptr<platform::ui::ListView> lvFiles;

    /// Download: GET of "http://host/path" (the scheme may be left off) to
    /// port 80 (or the machine's configured HTTP port; a port written in the
    /// address, "host:8080", wins), answering the body.
    /// The request is exactly "GET path HTTP/1.1", "Host: host",
    /// "Connection: close", "Accept: */*" and the empty line. The answer
    /// ends when the server closes the connection; the body counts only when
    /// its length equals the Content-Length of the header block (the header
    /// name in any case). Answers "" when:
    ///  - the URL has no "/" after the host (nothing is connected then),
    ///  - the host cannot be resolved or reached, or the connection breaks
    ///    (a status line "HTTP Error: <description><number>" is shown),
    ///  - the answer has no header end, no Content-Length, or a body of
    ///    another length,
    ///  - gbBreak is set while it waits (the connection is dropped),
    ///  - another Download of this thread is still waiting.
    /// While a body above 1024 bytes arrives (by its "Content-Length"
    /// header, written in that case), the progress window's current line
    /// reads "Download <url in lower case> <percent>%".
    /// There is no time-out: only the server or gbBreak ends the wait.
    std::string Download(const std::string& sURL);

    /// Milliseconds the wait sleeps between two yields.
    static constexpr std::int32_t kWaitSleepMs = 200;

  private:
    void onConnect();
    void onDataArrival(std::int32_t bytesTotal);
    void onClose();
    void onError(std::int32_t number, const std::string& description);
    void showProgress();

    std::string host_;
    std::string path_;
    std::string url_;
    HttpAnswer answer_;
    std::string result_;
    bool finished_ = false;
    bool done_ = false;
    bool failed_ = false;
    bool waiting_ = false;
};

/// The thread's frmMain, created (loaded, hidden) on first use.
frmMain& mainForm();

/// The number that starts `text` after leading blanks; reading stops at the
/// first non-digit (0 when there is none). Saturates instead of overflowing.
std::int64_t leadingNumber(std::string_view text);

}  // namespace kx
