#include "platform/processes/desktop.hpp"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>
#include <thread>

#include "platform/machine/machine.hpp"
#include "platform/runtime/text.hpp"

namespace kx::platform {
namespace fs = std::filesystem;
using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

namespace {

// Handles of a machine's desktop start high so that they never meet those
// of the in-memory desktops (which start where the old window table did).
constexpr std::int64_t kFileHandleBase = 0x200000;
constexpr std::int64_t kMemoryHandleBase = 0x10010;

class Statement {
  public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("desktop: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t value) {
        sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    Statement& bind(int index, std::string_view text) {
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    /// True when a row is ready; false when the statement is done.
    bool step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw std::runtime_error(std::string("desktop: ") + sqlite3_errmsg(db_));
    }
    void run() {
        while (step()) {
        }
    }
    std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string text(int column) const {
        const auto* p = sqlite3_column_text(stmt_, column);
        return p == nullptr
                   ? std::string()
                   : std::string(reinterpret_cast<const char*>(p),
                                 static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
    }

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

void exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message != nullptr ? message : "unknown error";
        sqlite3_free(message);
        throw std::runtime_error("desktop: " + text);
    }
}

// BEGIN IMMEDIATE ... COMMIT, rolled back when left by an exception.
class Transaction {
  public:
    explicit Transaction(sqlite3* db) : db_(db) { exec(db_, "BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (!done_)
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit() {
        exec(db_, "COMMIT");
        done_ = true;
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

  private:
    sqlite3* db_;
    bool done_ = false;
};

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS windows(
    hwnd INTEGER PRIMARY KEY AUTOINCREMENT,
    class TEXT NOT NULL,
    title TEXT NOT NULL,
    pid INTEGER NOT NULL,
    started INTEGER NOT NULL,
    thread INTEGER NOT NULL,
    style INTEGER NOT NULL,
    z INTEGER NOT NULL,
    topmost INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS messages(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    hwnd INTEGER NOT NULL,
    message INTEGER NOT NULL,
    wparam INTEGER NOT NULL,
    lparam INTEGER NOT NULL,
    sent INTEGER NOT NULL,
    state INTEGER NOT NULL DEFAULT 0,
    result INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS messages_queue ON messages(hwnd, state, sent, id);
CREATE TABLE IF NOT EXISTS properties(
    hwnd INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    value INTEGER NOT NULL,
    PRIMARY KEY(hwnd, name));
CREATE TABLE IF NOT EXISTS state(name TEXT PRIMARY KEY, value INTEGER NOT NULL);
)";

// Message states.
constexpr std::int64_t kQueued = 0, kTaken = 1, kFinished = 2;

std::int64_t threadId() {
    return static_cast<std::int64_t>(::gettid());
}

WindowRecord recordFrom(const Statement& s) {
    WindowRecord w;
    w.hwnd = static_cast<HWND>(s.integer(0));
    w.className = s.text(1);
    w.title = s.text(2);
    w.processId = static_cast<DWORD>(s.integer(3));
    w.style = static_cast<std::uint32_t>(s.integer(4));
    w.topmost = s.integer(5) != 0;
    return w;
}

constexpr const char* kSelectWindow = "SELECT hwnd, class, title, pid, style, topmost FROM windows";

}  // namespace

struct Desktop::Impl {
    sqlite3* db = nullptr;
    bool memory = false;
    DWORD pid = static_cast<DWORD>(::getpid());
    std::uint64_t started = processStartTime(static_cast<DWORD>(::getpid())).value_or(0);

    ~Impl() {
        if (db != nullptr)
            sqlite3_close_v2(db);
    }

    void deleteWindowRows(std::int64_t hwnd) {
        Statement(db, "DELETE FROM messages WHERE hwnd = ?").bind(1, hwnd).run();
        Statement(db, "DELETE FROM properties WHERE hwnd = ?").bind(1, hwnd).run();
        Statement(db, "DELETE FROM windows WHERE hwnd = ?").bind(1, hwnd).run();
    }

    // Drops the windows of processes that have ended. Our own process is
    // alive by definition, and an in-memory desktop holds nothing else.
    void sweep() {
        if (memory)
            return;
        std::vector<std::pair<std::int64_t, std::int64_t>> owners;
        {
            Statement s(db, "SELECT DISTINCT pid, started FROM windows WHERE pid <> ?");
            s.bind(1, pid);
            while (s.step()) owners.emplace_back(s.integer(0), s.integer(1));
        }
        std::vector<std::pair<std::int64_t, std::int64_t>> dead;
        for (const auto& [p, started] : owners) {
            if (!processRunning(static_cast<DWORD>(p), static_cast<std::uint64_t>(started)))
                dead.emplace_back(p, started);
        }
        if (dead.empty())
            return;
        Transaction tx(db);
        for (const auto& [p, started] : dead) {
            std::vector<std::int64_t> handles;
            {
                Statement s(db, "SELECT hwnd FROM windows WHERE pid = ? AND started = ?");
                s.bind(1, p).bind(2, started);
                while (s.step()) handles.push_back(s.integer(0));
            }
            for (const auto h : handles) deleteWindowRows(h);
        }
        tx.commit();
    }

    bool exists(HWND hwnd) {
        Statement s(db, "SELECT 1 FROM windows WHERE hwnd = ?");
        s.bind(1, hwnd);
        return s.step();
    }

    std::int64_t changes() const { return sqlite3_changes64(db); }
};

Desktop::Desktop(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Desktop::~Desktop() = default;

std::shared_ptr<Desktop> Desktop::open(const fs::path& file) {
    auto impl = std::make_unique<Impl>();
    const int rc = sqlite3_open_v2(
        file.c_str(), &impl->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    if (rc != SQLITE_OK) {
        const std::string message =
            impl->db != nullptr ? sqlite3_errmsg(impl->db) : "cannot open the desktop";
        throw std::runtime_error("desktop " + file.string() + ": " + message);
    }
    // Companion programs poll the table while we write it: readers must not
    // block writers, and a writer waits for another rather than failing.
    sqlite3_busy_timeout(impl->db, 5000);
    exec(impl->db, "PRAGMA journal_mode=WAL");
    exec(impl->db, "PRAGMA synchronous=NORMAL");
    {
        Transaction tx(impl->db);
        exec(impl->db, kSchema);
        Statement(impl->db,
                  "INSERT INTO sqlite_sequence(name, seq) SELECT 'windows', ? WHERE NOT EXISTS "
                  "(SELECT 1 FROM sqlite_sequence WHERE name = 'windows')")
            .bind(1, kFileHandleBase)
            .run();
        tx.commit();
    }
    return std::shared_ptr<Desktop>(new Desktop(std::move(impl)));
}

std::shared_ptr<Desktop> Desktop::inMemory() {
    auto impl = std::make_unique<Impl>();
    impl->memory = true;
    if (sqlite3_open(":memory:", &impl->db) != SQLITE_OK)
        throw std::runtime_error("desktop: cannot open an in-memory database");
    exec(impl->db, kSchema);
    Statement(impl->db, "INSERT INTO sqlite_sequence(name, seq) VALUES('windows', ?)")
        .bind(1, kMemoryHandleBase)
        .run();
    return std::shared_ptr<Desktop>(new Desktop(std::move(impl)));
}

HWND Desktop::createWindow(std::string_view className, std::string_view title,
                           std::uint32_t style) {
    auto& d = *impl_;
    Transaction tx(d.db);
    Statement s(d.db,
                "INSERT INTO windows(class, title, pid, started, thread, style, z) VALUES(?, ?, "
                "?, ?, ?, ?, (SELECT COALESCE(MAX(z), 0) + 1 FROM windows))");
    s.bind(1, className)
        .bind(2, title)
        .bind(3, d.pid)
        .bind(4, static_cast<std::int64_t>(d.started))
        .bind(5, threadId())
        .bind(6, style)
        .run();
    const auto hwnd = sqlite3_last_insert_rowid(d.db);
    tx.commit();
    return static_cast<HWND>(hwnd);
}

bool Desktop::destroyWindow(HWND hwnd) {
    auto& d = *impl_;
    Transaction tx(d.db);
    if (!d.exists(hwnd))
        return false;
    d.deleteWindowRows(hwnd);
    Statement(d.db, "DELETE FROM state WHERE name = 'foreground' AND value = ?")
        .bind(1, hwnd)
        .run();
    tx.commit();
    return true;
}

std::optional<WindowRecord> Desktop::window(HWND hwnd) {
    impl_->sweep();
    Statement s(impl_->db, (std::string(kSelectWindow) + " WHERE hwnd = ?").c_str());
    s.bind(1, hwnd);
    if (!s.step())
        return std::nullopt;
    return recordFrom(s);
}

std::vector<WindowRecord> Desktop::windows() {
    impl_->sweep();
    Statement s(impl_->db,
                (std::string(kSelectWindow) + " ORDER BY topmost DESC, z DESC, hwnd DESC").c_str());
    std::vector<WindowRecord> all;
    while (s.step()) all.push_back(recordFrom(s));
    return all;
}

bool Desktop::setTitle(HWND hwnd, std::string_view title) {
    Statement(impl_->db, "UPDATE windows SET title = ? WHERE hwnd = ?")
        .bind(1, title)
        .bind(2, hwnd)
        .run();
    return impl_->changes() > 0;
}

bool Desktop::setStyle(HWND hwnd, std::uint32_t style) {
    Statement(impl_->db, "UPDATE windows SET style = ? WHERE hwnd = ?")
        .bind(1, style)
        .bind(2, hwnd)
        .run();
    return impl_->changes() > 0;
}

std::optional<std::int64_t> Desktop::post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto ids = postAll(hwnd, {{message, wParam, lParam}});
    if (!ids)
        return std::nullopt;
    return ids->front();
}

std::optional<std::vector<std::int64_t>> Desktop::postAll(HWND hwnd,
                                                          const std::vector<Posted>& messages) {
    auto& d = *impl_;
    d.sweep();
    Transaction tx(d.db);
    if (!d.exists(hwnd))
        return std::nullopt;
    std::vector<std::int64_t> ids;
    for (const auto& m : messages) {
        Statement(d.db,
                  "INSERT INTO messages(hwnd, message, wparam, lparam, sent) VALUES(?, ?, ?, ?, 0)")
            .bind(1, hwnd)
            .bind(2, m.message)
            .bind(3, static_cast<std::int64_t>(m.wParam))
            .bind(4, static_cast<std::int64_t>(m.lParam))
            .run();
        ids.push_back(sqlite3_last_insert_rowid(d.db));
    }
    tx.commit();
    return ids;
}

std::optional<LRESULT> Desktop::send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     milliseconds timeout) {
    auto& d = *impl_;
    d.sweep();
    std::int64_t id = 0;
    {
        Transaction tx(d.db);
        if (!d.exists(hwnd))
            return std::nullopt;
        Statement(d.db,
                  "INSERT INTO messages(hwnd, message, wparam, lparam, sent) VALUES(?, ?, ?, ?, 1)")
            .bind(1, hwnd)
            .bind(2, message)
            .bind(3, static_cast<std::int64_t>(wParam))
            .bind(4, static_cast<std::int64_t>(lParam))
            .run();
        id = sqlite3_last_insert_rowid(d.db);
        tx.commit();
    }
    const auto deadline = SteadyClock::now() + timeout;
    int rounds = 0;
    for (;;) {
        std::optional<LRESULT> answer;
        {
            // Read and let go of the row before writing: a write while this
            // read is open could not see the other process's newer writes.
            Statement s(d.db, "SELECT state, result FROM messages WHERE id = ?");
            s.bind(1, id);
            if (!s.step())
                return std::nullopt;  // the window went away with its queue
            if (s.integer(0) == kFinished)
                answer = static_cast<LRESULT>(s.integer(1));
        }
        if (answer) {
            Statement(d.db, "DELETE FROM messages WHERE id = ?").bind(1, id).run();
            return answer;
        }
        if (SteadyClock::now() >= deadline)
            break;
        // The receiver may have died without answering.
        if (++rounds % 25 == 0) {
            d.sweep();
        }
        std::this_thread::sleep_for(milliseconds(2));
    }
    Statement(d.db, "DELETE FROM messages WHERE id = ?").bind(1, id).run();
    return std::nullopt;
}

std::optional<DesktopMessage> Desktop::take(HWND hwnd) {
    Statement s(impl_->db,
                "UPDATE messages SET state = 1 WHERE id = (SELECT id FROM messages WHERE hwnd = ? "
                "AND state = 0 ORDER BY sent DESC, id LIMIT 1) RETURNING id, hwnd, message, "
                "wparam, lparam, sent");
    s.bind(1, hwnd);
    if (!s.step())
        return std::nullopt;
    DesktopMessage m;
    m.id = s.integer(0);
    m.hwnd = static_cast<HWND>(s.integer(1));
    m.message = static_cast<UINT>(s.integer(2));
    m.wParam = static_cast<WPARAM>(s.integer(3));
    m.lParam = static_cast<LPARAM>(s.integer(4));
    m.sent = s.integer(5) != 0;
    s.run();
    return m;
}

void Desktop::finish(const DesktopMessage& message, LRESULT result) {
    if (message.sent) {
        Statement(impl_->db, "UPDATE messages SET state = ?, result = ? WHERE id = ?")
            .bind(1, kFinished)
            .bind(2, static_cast<std::int64_t>(result))
            .bind(3, message.id)
            .run();
    } else {
        Statement(impl_->db, "DELETE FROM messages WHERE id = ?").bind(1, message.id).run();
    }
}

bool Desktop::pending(std::int64_t id) {
    impl_->sweep();
    Statement s(impl_->db, "SELECT state FROM messages WHERE id = ?");
    s.bind(1, id);
    return s.step() && s.integer(0) != kFinished;
}

bool Desktop::bringToTop(HWND hwnd) {
    Statement(impl_->db, "UPDATE windows SET z = (SELECT MAX(z) + 1 FROM windows) WHERE hwnd = ?")
        .bind(1, hwnd)
        .run();
    return impl_->changes() > 0;
}

bool Desktop::sendToBottom(HWND hwnd) {
    Statement(impl_->db,
              "UPDATE windows SET z = (SELECT MIN(z) - 1 FROM windows), topmost = 0 WHERE hwnd = ?")
        .bind(1, hwnd)
        .run();
    return impl_->changes() > 0;
}

bool Desktop::setTopmost(HWND hwnd, bool topmost) {
    // Turning topmost on also brings the window to the front of its band.
    Statement(impl_->db,
              topmost ? "UPDATE windows SET topmost = 1, z = (SELECT MAX(z) + 1 FROM windows) "
                        "WHERE hwnd = ?"
                      : "UPDATE windows SET topmost = 0 WHERE hwnd = ?")
        .bind(1, hwnd)
        .run();
    return impl_->changes() > 0;
}

bool Desktop::setForeground(HWND hwnd) {
    auto& d = *impl_;
    d.sweep();
    Transaction tx(d.db);
    if (!d.exists(hwnd))
        return false;
    Statement(d.db, "INSERT OR REPLACE INTO state(name, value) VALUES('foreground', ?)")
        .bind(1, hwnd)
        .run();
    tx.commit();
    return true;
}

HWND Desktop::foreground() {
    impl_->sweep();
    Statement s(impl_->db,
                "SELECT s.value FROM state s JOIN windows w ON w.hwnd = s.value "
                "WHERE s.name = 'foreground'");
    return s.step() ? static_cast<HWND>(s.integer(0)) : 0;
}

bool Desktop::setProperty(HWND hwnd, std::string_view name, std::int64_t value) {
    auto& d = *impl_;
    Transaction tx(d.db);
    if (!d.exists(hwnd))
        return false;
    Statement(d.db, "INSERT OR REPLACE INTO properties(hwnd, name, value) VALUES(?, ?, ?)")
        .bind(1, hwnd)
        .bind(2, name)
        .bind(3, value)
        .run();
    tx.commit();
    return true;
}

std::optional<std::int64_t> Desktop::property(HWND hwnd, std::string_view name) {
    impl_->sweep();
    Statement s(impl_->db, "SELECT value FROM properties WHERE hwnd = ? AND name = ?");
    s.bind(1, hwnd).bind(2, name);
    if (!s.step())
        return std::nullopt;
    return s.integer(0);
}

std::optional<std::int64_t> Desktop::ownerThread(HWND hwnd) {
    Statement s(impl_->db, "SELECT thread, pid FROM windows WHERE hwnd = ?");
    s.bind(1, hwnd);
    if (!s.step())
        return std::nullopt;
    return s.integer(0);
}

// ---------------------------------------------------------------------------

namespace {

// Objects of a thread may outlive these tables at its exit (forms close
// their windows from destructors); after that, calls find no desktop.
thread_local bool cacheGone = false;
thread_local bool proceduresGone = false;

struct DesktopCache {
    std::string file;
    dev_t device = 0;
    ino_t inode = 0;
    std::shared_ptr<Desktop> desktop;
    std::shared_ptr<Desktop> memory;
    ~DesktopCache() { cacheGone = true; }
};

DesktopCache& cache() {
    thread_local DesktopCache c;
    return c;
}

// The Win32 calls answer failure rather than throw: the desktop is another
// program's business, and a busy or broken table must not take us down.
template <typename T, typename F>
T onDesktop(T failed, F&& work) {
    try {
        const auto desktop = currentDesktop();
        if (!desktop)
            return failed;
        return work(*desktop);
    } catch (const std::exception&) {
        return failed;
    }
}

struct Procedures {
    std::map<HWND, WindowProcedure> byWindow;
    ~Procedures() { proceduresGone = true; }
};

std::map<HWND, WindowProcedure>& procedures() {
    thread_local Procedures p;
    return p.byWindow;
}

}  // namespace

std::shared_ptr<Desktop> currentDesktop() {
    if (cacheGone)
        return nullptr;
    auto& c = cache();
    if (!hasCurrentMachine()) {
        if (!c.memory)
            c.memory = Desktop::inMemory();
        return c.memory;
    }
    const auto file = (currentMachine().prefix() / "desktop.db").string();
    struct stat st {};
    const bool present = ::stat(file.c_str(), &st) == 0;
    if (c.desktop && present && c.file == file && st.st_dev == c.device && st.st_ino == c.inode)
        return c.desktop;
    try {
        auto desktop = Desktop::open(file);
        if (::stat(file.c_str(), &st) != 0)
            return nullptr;
        c.file = file;
        c.device = st.st_dev;
        c.inode = st.st_ino;
        c.desktop = desktop;
        return desktop;
    } catch (const std::runtime_error&) {
        return nullptr;
    }
}

HWND FindWindowA(std::optional<std::string_view> className,
                 std::optional<std::string_view> windowName) {
    return onDesktop<HWND>(0, [&](Desktop& d) -> HWND {
        for (const auto& w : d.windows()) {
            if (className && !iequals(w.className, *className))
                continue;
            if (windowName && !iequals(w.title, *windowName))
                continue;
            return w.hwnd;
        }
        return 0;
    });
}

bool EnumWindows(const std::function<std::int32_t(HWND, LPARAM)>& callback, LPARAM lParam) {
    std::vector<WindowRecord> all;
    const bool ok = onDesktop<bool>(false, [&](Desktop& d) {
        all = d.windows();
        return true;
    });
    if (!ok)
        return false;
    // The callback runs outside the table: it may post, send or close windows.
    for (const auto& w : all) {
        if (callback(w.hwnd, lParam) == 0)
            break;
    }
    return true;
}

HWND GetWindow(HWND hwnd, UINT command) {
    return onDesktop<HWND>(0, [&](Desktop& d) -> HWND {
        const auto all = d.windows();
        const auto it = std::find_if(all.begin(), all.end(),
                                     [&](const WindowRecord& w) { return w.hwnd == hwnd; });
        if (it == all.end())
            return 0;
        switch (command) {
            case GW_HWNDFIRST:
                return all.front().hwnd;
            case GW_HWNDLAST:
                return all.back().hwnd;
            case GW_HWNDNEXT:
                return std::next(it) == all.end() ? 0 : std::next(it)->hwnd;
            case GW_HWNDPREV:
                return it == all.begin() ? 0 : std::prev(it)->hwnd;
            default:
                return 0;
        }
    });
}

bool IsWindow(HWND hwnd) {
    return onDesktop<bool>(false, [&](Desktop& d) { return d.window(hwnd).has_value(); });
}

std::int32_t GetWindowLongA(HWND hwnd, std::int32_t index) {
    if (index != GWL_STYLE)
        return 0;
    return onDesktop<std::int32_t>(0, [&](Desktop& d) {
        const auto w = d.window(hwnd);
        return w ? static_cast<std::int32_t>(w->style) : 0;
    });
}

std::int32_t GetWindowTextLengthA(HWND hwnd) {
    return onDesktop<std::int32_t>(0, [&](Desktop& d) {
        const auto w = d.window(hwnd);
        return w ? static_cast<std::int32_t>(w->title.size()) : 0;
    });
}

std::int32_t GetWindowTextA(HWND hwnd, char* buffer, std::int32_t maxCount) {
    if (buffer == nullptr || maxCount <= 0)
        return 0;
    const auto title = onDesktop<std::optional<std::string>>(
        std::nullopt, [&](Desktop& d) -> std::optional<std::string> {
            const auto w = d.window(hwnd);
            return w ? std::optional(w->title) : std::nullopt;
        });
    if (!title) {
        buffer[0] = '\0';
        return 0;
    }
    std::size_t n = std::min(title->size(), static_cast<std::size_t>(maxCount - 1));
    // Do not end inside a UTF-8 sequence.
    while (n > 0 && n < title->size() && (static_cast<unsigned char>((*title)[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(buffer, title->data(), n);
    buffer[n] = '\0';
    return static_cast<std::int32_t>(n);
}

bool SetWindowTextA(HWND hwnd, std::string_view text) {
    return onDesktop<bool>(false, [&](Desktop& d) { return d.setTitle(hwnd, text); });
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
    return onDesktop<DWORD>(0, [&](Desktop& d) -> DWORD {
        const auto w = d.window(hwnd);
        if (!w)
            return 0;
        if (processId != nullptr)
            *processId = w->processId;
        return static_cast<DWORD>(d.ownerThread(hwnd).value_or(0));
    });
}

bool PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return onDesktop<bool>(
        false, [&](Desktop& d) { return d.post(hwnd, message, wParam, lParam).has_value(); });
}

std::optional<LRESULT> SendMessageTimeoutA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           milliseconds timeout) {
    try {
        const auto desktop = currentDesktop();
        if (!desktop)
            return std::nullopt;
        const auto w = desktop->window(hwnd);
        if (!w)
            return std::nullopt;
        if (w->processId == static_cast<DWORD>(::getpid()) &&
            desktop->ownerThread(hwnd) == threadId()) {
            // Our own thread's window: nobody else will take it from the queue.
            if (proceduresGone)
                return std::nullopt;
            if (const auto it = procedures().find(hwnd); it != procedures().end() && it->second)
                return it->second(hwnd, message, wParam, lParam);
            return defWindowProc(*desktop, hwnd, message, wParam, lParam);
        }
        return desktop->send(hwnd, message, wParam, lParam, timeout);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageTimeoutA(hwnd, message, wParam, lParam, kSendMessageTimeout).value_or(0);
}

bool BringWindowToTop(HWND hwnd) {
    return onDesktop<bool>(false, [&](Desktop& d) { return d.bringToTop(hwnd); });
}

bool SetForegroundWindow(HWND hwnd) {
    return onDesktop<bool>(false, [&](Desktop& d) { return d.setForeground(hwnd); });
}

HWND GetForegroundWindow() {
    return onDesktop<HWND>(0, [](Desktop& d) { return d.foreground(); });
}

bool SetPropA(HWND hwnd, std::string_view name, std::int64_t value) {
    return onDesktop<bool>(false, [&](Desktop& d) { return d.setProperty(hwnd, name, value); });
}

std::int64_t GetPropA(HWND hwnd, std::string_view name) {
    return onDesktop<std::int64_t>(0,
                                   [&](Desktop& d) { return d.property(hwnd, name).value_or(0); });
}

void setWindowProcedure(HWND hwnd, WindowProcedure procedure) {
    if (proceduresGone)
        return;
    if (procedure)
        procedures()[hwnd] = std::move(procedure);
    else
        procedures().erase(hwnd);
}

LRESULT defWindowProc(Desktop& desktop, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_SYSKEYDOWN || (lParam & KF_ALTDOWN_BIT) == 0)
        return 0;
    if (wParam == VK_F4) {
        desktop.post(hwnd, WM_CLOSE, 0, 0);
    } else if (wParam == VK_ESCAPE) {
        desktop.sendToBottom(hwnd);
        if (desktop.foreground() == hwnd) {
            for (const auto& w : desktop.windows()) {
                if (w.hwnd != hwnd && (w.style & WS_VISIBLE) != 0) {
                    desktop.setForeground(w.hwnd);
                    break;
                }
            }
        }
    }
    return 0;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return onDesktop<LRESULT>(
        0, [&](Desktop& d) { return defWindowProc(d, hwnd, message, wParam, lParam); });
}

// ---------------------------------------------------------------------------
// SendKeys

namespace {

struct Stroke {
    std::uint16_t vk = 0;
    char character = 0;  // a character message follows the key-down when not 0
    bool shift = false, control = false, alt = false;
};

std::optional<std::uint16_t> namedKey(std::string_view name) {
    static const std::map<std::string, std::uint16_t> keys = {
        {"BACKSPACE", VK_BACK}, {"BS", VK_BACK},       {"BKSP", VK_BACK},     {"TAB", VK_TAB},
        {"ENTER", VK_RETURN},   {"ESC", VK_ESCAPE},    {"ESCAPE", VK_ESCAPE}, {"PGUP", VK_PRIOR},
        {"PGDN", VK_NEXT},      {"END", VK_END},       {"HOME", VK_HOME},     {"LEFT", VK_LEFT},
        {"UP", VK_UP},          {"RIGHT", VK_RIGHT},   {"DOWN", VK_DOWN},     {"INSERT", VK_INSERT},
        {"INS", VK_INSERT},     {"DELETE", VK_DELETE}, {"DEL", VK_DELETE},    {"BREAK", 0x03},
        {"CAPSLOCK", 0x14},     {"NUMLOCK", 0x90},     {"SCROLLLOCK", 0x91},  {"HELP", 0x2F},
        {"PRTSC", 0x2C}};
    const auto upper = platform::upper(name);
    if (const auto it = keys.find(upper); it != keys.end())
        return it->second;
    if (upper.size() >= 2 && upper[0] == 'F') {
        try {
            const int n = std::stoi(upper.substr(1));
            if (n >= 1 && n <= 16 && std::to_string(n) == upper.substr(1))
                return static_cast<std::uint16_t>(VK_F1 + n - 1);
        } catch (const std::exception&) {
        }
    }
    return std::nullopt;
}

Stroke characterStroke(char c) {
    Stroke s;
    s.character = c;
    if (c >= 'a' && c <= 'z') {
        s.vk = static_cast<std::uint16_t>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
        s.vk = static_cast<std::uint16_t>(c);
        s.shift = true;
    } else if (c >= '0' && c <= '9') {
        s.vk = static_cast<std::uint16_t>(c);
    } else if (c == ' ') {
        s.vk = 0x20;
    }
    return s;
}

// Parses the runtime's notation; nothing for a malformed text.
std::optional<std::vector<Stroke>> parseKeys(std::string_view text) {
    std::vector<Stroke> strokes;
    bool shift = false, control = false, alt = false;
    auto apply = [&](Stroke s) {
        s.shift = s.shift || shift;
        s.control = control;
        s.alt = alt;
        strokes.push_back(s);
    };
    std::size_t i = 0;
    int group = 0;
    bool groupShift = false, groupControl = false, groupAlt = false;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '+' || c == '^' || c == '%') {
            (c == '+' ? shift : c == '^' ? control : alt) = true;
            ++i;
            continue;
        }
        if (c == '(') {
            if (group > 0)
                return std::nullopt;
            group = 1;
            groupShift = shift;
            groupControl = control;
            groupAlt = alt;
            ++i;
            continue;
        }
        if (c == ')') {
            if (group == 0)
                return std::nullopt;
            group = 0;
            shift = control = alt = false;
            ++i;
            continue;
        }
        std::vector<Stroke> keys;
        if (c == '{') {
            // "{}}" and "{{}" name the braces themselves.
            std::size_t close = text.find('}', i + 2);
            if (i + 1 < text.size() && text[i + 1] == '}')
                close = i + 2 < text.size() && text[i + 2] == '}' ? i + 2 : std::string_view::npos;
            if (close == std::string_view::npos)
                return std::nullopt;
            std::string_view inside = text.substr(i + 1, close - i - 1);
            int repeat = 1;
            if (const auto blank = inside.find(' '); blank != std::string_view::npos && blank > 0) {
                try {
                    repeat = std::stoi(std::string(inside.substr(blank + 1)));
                } catch (const std::exception&) {
                    return std::nullopt;
                }
                if (repeat < 0 || repeat > 255)
                    return std::nullopt;
                inside = inside.substr(0, blank);
            }
            Stroke key;
            if (inside.size() == 1 &&
                std::string_view("+^%~(){}[]").find(inside[0]) != std::string_view::npos) {
                key = characterStroke(inside[0]);
            } else if (const auto vk = namedKey(inside)) {
                key.vk = *vk;
            } else {
                return std::nullopt;
            }
            keys.assign(static_cast<std::size_t>(repeat), key);
            i = close + 1;
        } else if (c == '~') {
            Stroke enter;
            enter.vk = VK_RETURN;
            keys.push_back(enter);
            ++i;
        } else if (c == '}' || c == '[' || c == ']') {
            return std::nullopt;
        } else {
            keys.push_back(characterStroke(c));
            ++i;
        }
        for (const auto& k : keys) apply(k);
        if (group > 0) {
            shift = groupShift;
            control = groupControl;
            alt = groupAlt;
        } else {
            shift = control = alt = false;
        }
    }
    if (group > 0)
        return std::nullopt;
    return strokes;
}

struct KeyMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<KeyMessage> messagesFor(const Stroke& s) {
    constexpr LPARAM kUp = (LPARAM{1} << 30) | (LPARAM{1} << 31);
    const LPARAM alt = s.alt ? KF_ALTDOWN_BIT : 0;
    std::vector<KeyMessage> out;
    if (s.alt)
        out.push_back({WM_SYSKEYDOWN, VK_MENU, 1 | KF_ALTDOWN_BIT});
    if (s.control)
        out.push_back({s.alt ? WM_SYSKEYDOWN : WM_KEYDOWN, VK_CONTROL, 1 | alt});
    if (s.shift)
        out.push_back({s.alt ? WM_SYSKEYDOWN : WM_KEYDOWN, VK_SHIFT, 1 | alt});
    const UINT down = s.alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    const UINT up = s.alt ? WM_SYSKEYUP : WM_KEYUP;
    if (s.vk != 0)
        out.push_back({down, s.vk, 1 | alt});
    if (s.character != 0 && !s.control) {
        char c = s.character;
        if (s.shift && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        out.push_back({s.alt ? WM_SYSCHAR : WM_CHAR,
                       static_cast<WPARAM>(static_cast<unsigned char>(c)), 1 | alt});
    }
    if (s.vk != 0)
        out.push_back({up, s.vk, 1 | alt | kUp});
    if (s.shift)
        out.push_back({up, VK_SHIFT, 1 | alt | kUp});
    if (s.control)
        out.push_back({up, VK_CONTROL, 1 | alt | kUp});
    if (s.alt)
        out.push_back({WM_KEYUP, VK_MENU, 1 | kUp});
    return out;
}

}  // namespace

bool SendKeys(std::string_view keys, bool wait) {
    const auto strokes = parseKeys(keys);
    if (!strokes)
        return false;
    return onDesktop<bool>(false, [&](Desktop& d) {
        const HWND target = d.foreground();
        if (target == 0)
            return false;
        // All keys go into the queue at once: a window that closes on the
        // first of them (Alt+F4) must not make the rest fail to arrive.
        std::vector<Desktop::Posted> messages;
        for (const auto& stroke : *strokes) {
            for (const auto& m : messagesFor(stroke))
                messages.push_back({m.message, m.wParam, m.lParam});
        }
        const auto posted = d.postAll(target, messages);
        if (!posted)
            return false;
        const auto& ids = *posted;
        if (!wait)
            return true;
        const auto deadline = SteadyClock::now() + kSendKeysTimeout;
        while (SteadyClock::now() < deadline) {
            const bool any =
                std::any_of(ids.begin(), ids.end(), [&](std::int64_t id) { return d.pending(id); });
            if (!any)
                return true;
            std::this_thread::sleep_for(milliseconds(2));
        }
        return true;  // the keys were delivered; the window is merely slow
    });
}

DWORD WaitForInputIdle(HANDLE process, DWORD milliseconds) {
    const DWORD pid = GetProcessId(process);
    if (pid == 0)
        return WAIT_FAILED;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const bool hasWindow = onDesktop<bool>(false, [&](Desktop& d) {
            const auto all = d.windows();
            return std::any_of(all.begin(), all.end(),
                               [&](const WindowRecord& w) { return w.processId == pid; });
        });
        if (hasWindow)
            return WAIT_OBJECT_0;
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
            return WAIT_FAILED;
        if (milliseconds != INFINITE && SteadyClock::now() >= deadline)
            return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace kx::platform
