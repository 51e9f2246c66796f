// Download: our own small HTTP/1.1 client on frmMain's socket, driven by the
// message loop. One download at a time; the caller waits in a loop that
// yields to the socket's events.
#include "anonymity/http_download.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

#include "core/shared_state.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/progress.hpp"

namespace kx {
namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (auto& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// "HTTP/1.x 2xx ...": only a successful answer has the body we asked for;
// an error page of the right length is still not the file.
bool successStatus(std::string_view head) {
    const auto line = head.substr(0, head.find("\r\n"));
    if (!line.starts_with("HTTP/"))
        return false;
    const auto blank = line.find(' ');
    if (blank == std::string_view::npos || blank + 1 >= line.size())
        return false;
    return line[blank + 1] == '2';
}

}  // namespace

std::int64_t leadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::int64_t value = 0;
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (kMax - digit) / 10)
            return kMax;
        value = value * 10 + digit;
    }
    return value;
}

void HttpAnswer::add(std::string_view chunk) {
    const std::size_t searchFrom = buffer_.size() >= 3 ? buffer_.size() - 3 : 0;
    buffer_ += chunk;
    received_ += static_cast<std::int64_t>(chunk.size());
    if (headerSeen_)
        return;
    const auto end = buffer_.find(kHeaderEnd, searchFrom);
    if (end == std::string::npos)
        return;
    headerSeen_ = true;
    // From here on only the body counts.
    received_ -= static_cast<std::int64_t>(end + kHeaderEnd.size());
    const auto head = std::string_view(buffer_).substr(0, end);
    bool progressFound = false;
    for (const auto line : platform::splitAt(head, "\r\n")) {
        // Completeness: any spelling of the name, the last line wins.
        const auto low = asciiLower(line);
        const auto at = low.find("content-length:");
        if (at != std::string::npos)
            expected_ = leadingNumber(line.substr(at + 15));
        // Display: the name as servers usually write it.
        if (!progressFound && line.find("Content-Length") != std::string_view::npos) {
            progressFound = true;
            const auto blank = line.find(' ');
            headerLength_ =
                blank == std::string_view::npos ? 0 : leadingNumber(line.substr(blank + 1));
        }
    }
}

std::string HttpAnswer::finish() {
    std::string body;
    const auto end = buffer_.find(kHeaderEnd);
    if (end != std::string::npos && successStatus(buffer_) && received_ == expected_)
        body = buffer_.substr(end + kHeaderEnd.size());
    clear();
    return body;
}

std::int16_t HttpAnswer::percent() const {
    double value = std::nearbyint(static_cast<double>(received_) /
                                  (static_cast<double>(headerLength_) / 100.0));
    if (std::isnan(value))
        value = 0;
    value = std::clamp(value, static_cast<double>(std::numeric_limits<std::int16_t>::min()),
                       static_cast<double>(std::numeric_limits<std::int16_t>::max()));
    return static_cast<std::int16_t>(value);
}

frmMain::frmMain() : FormBase("KOLVANEX 3", Topmost::Never) {
    name = "frmMain";
    lvFiles = add<platform::ui::ListView>("lvFiles");
    lvFiles->addColumn(std::string(platform::tr("Gefundene Dateien")));
    wscHttp.Connect = [this] { onConnect(); };
    wscHttp.DataArrival = [this](std::int32_t n) { onDataArrival(n); };
    wscHttp.Close = [this] { onClose(); };
    wscHttp.Error = [this](std::int32_t number, const std::string& description) {
        onError(number, description);
    };
}

frmMain::~frmMain() {
    wscHttp.Connect = nullptr;
    wscHttp.DataArrival = nullptr;
    wscHttp.Close = nullptr;
    wscHttp.Error = nullptr;
}

std::string frmMain::Download(const std::string& sURL) {
    // The state lives on the form: a second wait inside the first (a
    // handler that downloads while yielding) would tangle both answers.
    if (waiting_)
        return {};
    url_ = sURL;
    done_ = false;

    std::string_view rest = sURL;
    if (rest.size() >= 7 && asciiLower(rest.substr(0, 7)) == "http://")
        rest.remove_prefix(7);
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos)
        return {};
    host_ = std::string(rest.substr(0, slash));
    path_ = std::string(rest.substr(slash));

    answer_.clear();
    result_.clear();
    finished_ = false;
    failed_ = false;
    wscHttp.close();
    wscHttp.getData();  // nothing of an earlier answer may leak into this one
    // An address that names its port ("127.0.0.1:8080/x", as the machine's
    // endpoints do) is reached there; the Host line keeps the port.
    std::string connectHost = host_;
    std::uint16_t port = platform::httpPort();
    if (const auto colon = host_.rfind(':'); colon != std::string::npos) {
        const auto digits = std::string_view(host_).substr(colon + 1);
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (ec == std::errc{} && end == digits.data() + digits.size() && value > 0 &&
            value <= 65535) {
            connectHost = host_.substr(0, colon);
            port = static_cast<std::uint16_t>(value);
        }
    }
    wscHttp.connect(connectHost, port);

    waiting_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{waiting_};
    auto& loop = platform::ui::MessageLoop::current();
    while (true) {
        loop.yield();
        if (!done_)
            loop.sleep(platform::ui::Millis(kWaitSleepMs));
        if (shared().gbBreak) {
            wscHttp.close();
            answer_.clear();
            return {};
        }
        if (done_) {
            std::string result;
            if (!failed_)
                result.swap(result_);
            answer_.clear();
            result_.clear();
            wscHttp.close();
            return result;
        }
    }
}

void frmMain::onConnect() {
    const std::string request = "GET " + path_ + " HTTP/1.1\r\n" + "Host: " + host_ + "\r\n" +
                                "Connection: close\r\n" + "Accept: */*\r\n" + "\r\n";
    wscHttp.sendData(request);
}

void frmMain::onDataArrival(std::int32_t) {
    answer_.add(wscHttp.getData());
    if (answer_.announcedLength() > 1024)
        showProgress();
}

void frmMain::showProgress() {
    const auto window = existingProgressWindow();
    if (!window || !window->m_lvLastLine)
        return;
    window->m_lvLastLine->text =
        platform::trf("Download {1} {2}%", {asciiLower(url_), std::to_string(answer_.percent())});
    // One refresh after the change: the line is drawn once, never half.
    window->lvLog->refresh();
}

void frmMain::onClose() {
    if (finished_)
        return;
    result_ = answer_.finish();
    finished_ = true;
    done_ = true;
}

void frmMain::onError(std::int32_t number, const std::string& description) {
    Status(platform::trf("HTTP Error: {1}{2}", {description, std::to_string(number)}));
    failed_ = true;
    done_ = true;
}

frmMain& mainForm() {
    thread_local std::unique_ptr<frmMain> form;
    if (!form) {
        form = std::make_unique<frmMain>();
        form->load();
    }
    return *form;
}

}  // namespace kx
