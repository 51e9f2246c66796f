// The desktop table: windows, their message queues and properties, kept in
// SQLite so that every process of the machine sees the same desktop.
#include <sqlite3.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "platform/processes/desktop.hpp"
#include "platform/processes/desktop_access.hpp"

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
        .bind(5, detail::callingThreadId())
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
}  // namespace kx::platform
