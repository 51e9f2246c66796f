// The desktop table: windows, their message queues and properties, kept in
// SQLite so that every process of the machine sees the same desktop.
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "platform/processes/desktop.hpp"
#include "platform/processes/desktop_access.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/storage/sqlite_database.hpp"

namespace kx::platform {
namespace fs = std::filesystem;
using std::chrono::milliseconds;
using storage::Statement;
using storage::Transaction;
using SteadyClock = std::chrono::steady_clock;

namespace {

// Handles of a machine's desktop start high so that they never meet those
// of the in-memory desktops (which start where the old window table did).
constexpr std::int64_t kFileHandleBase = 0x200000;
constexpr std::int64_t kMemoryHandleBase = 0x10010;

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
    std::unique_ptr<storage::Database> db;
    bool memory = false;
    DWORD pid = static_cast<DWORD>(::getpid());
    std::uint64_t started = processStartTime(static_cast<DWORD>(::getpid())).value_or(0);

    void deleteWindowRows(std::int64_t hwnd) {
        db->prepare("DELETE FROM messages WHERE hwnd = ?").bind(1, hwnd).run();
        db->prepare("DELETE FROM properties WHERE hwnd = ?").bind(1, hwnd).run();
        db->prepare("DELETE FROM windows WHERE hwnd = ?").bind(1, hwnd).run();
    }

    // Drops the windows of processes that have ended. Our own process is
    // alive by definition, and an in-memory desktop holds nothing else.
    void sweep() {
        if (memory)
            return;
        std::vector<std::pair<std::int64_t, std::int64_t>> owners;
        {
            auto s = db->prepare("SELECT DISTINCT pid, started FROM windows WHERE pid <> ?");
            s.bind(1, pid);
            while (s.step()) owners.emplace_back(s.integer(0), s.integer(1));
        }
        std::vector<std::pair<std::int64_t, std::int64_t>> dead;
        for (const auto& [p, since] : owners) {
            if (!processRunning(static_cast<DWORD>(p), static_cast<std::uint64_t>(since)))
                dead.emplace_back(p, since);
        }
        if (dead.empty())
            return;
        Transaction tx(*db, Transaction::Kind::Write);
        for (const auto& [p, since] : dead) {
            std::vector<std::int64_t> handles;
            {
                auto s = db->prepare("SELECT hwnd FROM windows WHERE pid = ? AND started = ?");
                s.bind(1, p).bind(2, since);
                while (s.step()) handles.push_back(s.integer(0));
            }
            for (const auto h : handles) deleteWindowRows(h);
        }
        tx.commit();
    }

    bool exists(HWND hwnd) {
        auto s = db->prepare("SELECT 1 FROM windows WHERE hwnd = ?");
        s.bind(1, hwnd);
        return s.step();
    }

    std::int64_t changes() const { return db->changes(); }
};

Desktop::Desktop(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Desktop::~Desktop() = default;

std::shared_ptr<Desktop> Desktop::open(const fs::path& file) {
    auto impl = std::make_unique<Impl>();
    try {
        // Companion programs poll the table while we write it: readers must
        // not block writers, and a writer waits for another rather than failing.
        impl->db = storage::Database::openShared(file, milliseconds(5000));
    } catch (const storage::DatabaseError& e) {
        throw std::runtime_error(trf("Desktop {1}: {2}", {file.string(), e.what()}));
    }
    {
        Transaction tx(*impl->db, Transaction::Kind::Write);
        impl->db->exec(kSchema);
        impl->db
            ->prepare(
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
    impl->db = storage::Database::openInMemory();
    impl->db->exec(kSchema);
    impl->db->prepare("INSERT INTO sqlite_sequence(name, seq) VALUES('windows', ?)")
        .bind(1, kMemoryHandleBase)
        .run();
    return std::shared_ptr<Desktop>(new Desktop(std::move(impl)));
}

HWND Desktop::createWindow(std::string_view className, std::string_view title,
                           std::uint32_t style) {
    auto& d = *impl_;
    Transaction tx(*d.db, Transaction::Kind::Write);
    auto s = d.db->prepare(
        "INSERT INTO windows(class, title, pid, started, thread, style, z) VALUES(?, ?, "
        "?, ?, ?, ?, (SELECT COALESCE(MAX(z), 0) + 1 FROM windows))");
    s.bindText(1, className)
        .bindText(2, title)
        .bind(3, d.pid)
        .bind(4, static_cast<std::int64_t>(d.started))
        .bind(5, detail::callingThreadId())
        .bind(6, style)
        .run();
    const auto hwnd = d.db->lastInsertRowid();
    tx.commit();
    return static_cast<HWND>(hwnd);
}

bool Desktop::destroyWindow(HWND hwnd) {
    auto& d = *impl_;
    Transaction tx(*d.db, Transaction::Kind::Write);
    if (!d.exists(hwnd))
        return false;
    d.deleteWindowRows(hwnd);
    d.db->prepare("DELETE FROM state WHERE name = 'foreground' AND value = ?").bind(1, hwnd).run();
    tx.commit();
    return true;
}

std::optional<WindowRecord> Desktop::window(HWND hwnd) {
    impl_->sweep();
    auto s = impl_->db->prepare((std::string(kSelectWindow) + " WHERE hwnd = ?"));
    s.bind(1, hwnd);
    if (!s.step())
        return std::nullopt;
    return recordFrom(s);
}

std::vector<WindowRecord> Desktop::windows() {
    impl_->sweep();
    auto s = impl_->db->prepare(
        (std::string(kSelectWindow) + " ORDER BY topmost DESC, z DESC, hwnd DESC"));
    std::vector<WindowRecord> all;
    while (s.step()) all.push_back(recordFrom(s));
    return all;
}

bool Desktop::setTitle(HWND hwnd, std::string_view title) {
    impl_->db->prepare("UPDATE windows SET title = ? WHERE hwnd = ?")
        .bindText(1, title)
        .bind(2, hwnd)
        .run();
    return impl_->changes() > 0;
}

bool Desktop::setStyle(HWND hwnd, std::uint32_t style) {
    impl_->db->prepare("UPDATE windows SET style = ? WHERE hwnd = ?")
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
    Transaction tx(*d.db, Transaction::Kind::Write);
    if (!d.exists(hwnd))
        return std::nullopt;
    std::vector<std::int64_t> ids;
    for (const auto& m : messages) {
        d.db->prepare(
                "INSERT INTO messages(hwnd, message, wparam, lparam, sent) VALUES(?, ?, ?, ?, 0)")
            .bind(1, hwnd)
            .bind(2, m.message)
            .bind(3, static_cast<std::int64_t>(m.wParam))
            .bind(4, static_cast<std::int64_t>(m.lParam))
            .run();
        ids.push_back(d.db->lastInsertRowid());
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
        Transaction tx(*d.db, Transaction::Kind::Write);
        if (!d.exists(hwnd))
            return std::nullopt;
        d.db->prepare(
                "INSERT INTO messages(hwnd, message, wparam, lparam, sent) VALUES(?, ?, ?, ?, 1)")
            .bind(1, hwnd)
            .bind(2, message)
            .bind(3, static_cast<std::int64_t>(wParam))
            .bind(4, static_cast<std::int64_t>(lParam))
            .run();
        id = d.db->lastInsertRowid();
        tx.commit();
    }
    const auto deadline = SteadyClock::now() + timeout;
    int rounds = 0;
    for (;;) {
        std::optional<LRESULT> answer;
        {
            // Read and let go of the row before writing: a write while this
            // read is open could not see the other process's newer writes.
            auto s = d.db->prepare("SELECT state, result FROM messages WHERE id = ?");
            s.bind(1, id);
            if (!s.step())
                return std::nullopt;  // the window went away with its queue
            if (s.integer(0) == kFinished)
                answer = static_cast<LRESULT>(s.integer(1));
        }
        if (answer) {
            d.db->prepare("DELETE FROM messages WHERE id = ?").bind(1, id).run();
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
    d.db->prepare("DELETE FROM messages WHERE id = ?").bind(1, id).run();
    return std::nullopt;
}

std::optional<DesktopMessage> Desktop::take(HWND hwnd) {
    auto s = impl_->db->prepare(
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
        impl_->db->prepare("UPDATE messages SET state = ?, result = ? WHERE id = ?")
            .bind(1, kFinished)
            .bind(2, static_cast<std::int64_t>(result))
            .bind(3, message.id)
            .run();
    } else {
        impl_->db->prepare("DELETE FROM messages WHERE id = ?").bind(1, message.id).run();
    }
}

bool Desktop::pending(std::int64_t id) {
    impl_->sweep();
    auto s = impl_->db->prepare("SELECT state FROM messages WHERE id = ?");
    s.bind(1, id);
    return s.step() && s.integer(0) != kFinished;
}

bool Desktop::bringToTop(HWND hwnd) {
    impl_->db->prepare("UPDATE windows SET z = (SELECT MAX(z) + 1 FROM windows) WHERE hwnd = ?")
        .bind(1, hwnd)
        .run();
    return impl_->changes() > 0;
}

bool Desktop::sendToBottom(HWND hwnd) {
    impl_->db
        ->prepare(
            "UPDATE windows SET z = (SELECT MIN(z) - 1 FROM windows), topmost = 0 WHERE hwnd = ?")
        .bind(1, hwnd)
        .run();
    return impl_->changes() > 0;
}

bool Desktop::setTopmost(HWND hwnd, bool topmost) {
    // Turning topmost on also brings the window to the front of its band.
    impl_->db
        ->prepare(topmost ? "UPDATE windows SET topmost = 1, z = (SELECT MAX(z) + 1 FROM windows) "
                            "WHERE hwnd = ?"
                          : "UPDATE windows SET topmost = 0 WHERE hwnd = ?")
        .bind(1, hwnd)
        .run();
    return impl_->changes() > 0;
}

bool Desktop::setForeground(HWND hwnd) {
    auto& d = *impl_;
    d.sweep();
    Transaction tx(*d.db, Transaction::Kind::Write);
    if (!d.exists(hwnd))
        return false;
    d.db->prepare("INSERT OR REPLACE INTO state(name, value) VALUES('foreground', ?)")
        .bind(1, hwnd)
        .run();
    tx.commit();
    return true;
}

HWND Desktop::foreground() {
    impl_->sweep();
    auto s = impl_->db->prepare(
        "SELECT s.value FROM state s JOIN windows w ON w.hwnd = s.value "
        "WHERE s.name = 'foreground'");
    return s.step() ? static_cast<HWND>(s.integer(0)) : 0;
}

bool Desktop::setProperty(HWND hwnd, std::string_view name, std::int64_t value) {
    auto& d = *impl_;
    Transaction tx(*d.db, Transaction::Kind::Write);
    if (!d.exists(hwnd))
        return false;
    d.db->prepare("INSERT OR REPLACE INTO properties(hwnd, name, value) VALUES(?, ?, ?)")
        .bind(1, hwnd)
        .bindText(2, name)
        .bind(3, value)
        .run();
    tx.commit();
    return true;
}

std::optional<std::int64_t> Desktop::property(HWND hwnd, std::string_view name) {
    impl_->sweep();
    auto s = impl_->db->prepare("SELECT value FROM properties WHERE hwnd = ? AND name = ?");
    s.bind(1, hwnd).bindText(2, name);
    if (!s.step())
        return std::nullopt;
    return s.integer(0);
}

std::optional<std::int64_t> Desktop::ownerThread(HWND hwnd) {
    auto s = impl_->db->prepare("SELECT thread, pid FROM windows WHERE hwnd = ?");
    s.bind(1, hwnd);
    if (!s.step())
        return std::nullopt;
    return s.integer(0);
}
}  // namespace kx::platform
