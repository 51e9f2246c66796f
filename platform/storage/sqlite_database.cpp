#include "platform/storage/sqlite_database.hpp"

#include <sqlite3.h>

#include <map>

#include "platform/storage/crash_trials.hpp"

namespace kx::platform::storage {
namespace {

// SQLite binds a null pointer as SQL NULL, not as an empty text or blob.
const char kEmpty[1] = {0};

sqlite3_stmt* stmt(void* p) {
    return static_cast<sqlite3_stmt*>(p);
}

}  // namespace

// ---- DatabaseError -----------------------------------------------------------

DatabaseError::DatabaseError(int code, const std::string& message)
    : std::runtime_error(message), code_(code) {}

bool DatabaseError::busy() const {
    const int primary = code_ & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool DatabaseError::outOfMemory() const {
    return (code_ & 0xFF) == SQLITE_NOMEM;
}

DatabaseError DatabaseError::rolledBack() {
    return DatabaseError(SQLITE_ABORT, sqlite3_errstr(SQLITE_ABORT));
}

// ---- Database ----------------------------------------------------------------

struct Statement::Cached {
    sqlite3_stmt* statement = nullptr;
    bool inUse = false;
};

struct Database::Impl {
    sqlite3* db = nullptr;
    std::map<std::string, Statement::Cached, std::less<>> statements;
    int depth = 0;  // open transaction scopes

    ~Impl() {
        for (auto& [sql, cached] : statements) sqlite3_finalize(cached.statement);
        if (db != nullptr)
            sqlite3_close_v2(db);
    }
};

Database::Database(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Database::~Database() = default;

void Database::fail(int code) const {
    // The connection's message says more than the code's, unless it has
    // none for this failure.
    std::string why = impl_->db != nullptr ? sqlite3_errmsg(impl_->db) : "";
    if (why.empty() || why == "not an error")
        why = sqlite3_errstr(code);
    throw DatabaseError(code, why);
}

std::unique_ptr<Database> Database::openShared(const std::filesystem::path& file,
                                               std::chrono::milliseconds busyTimeout) {
    armCrashTrialFromEnvironment();
    auto impl = std::make_unique<Impl>();
    const int rc = sqlite3_open_v2(
        file.c_str(), &impl->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    std::unique_ptr<Database> db(new Database(std::move(impl)));
    if (rc != SQLITE_OK)
        db->fail(rc);
    sqlite3_extended_result_codes(db->impl_->db, 1);
    sqlite3_busy_timeout(db->impl_->db, static_cast<int>(busyTimeout.count()));
    db->exec("PRAGMA journal_mode = WAL");
    // With WAL a crash of the program loses nothing committed; only a power
    // failure may drop the last commits, as Windows' lazy flush does.
    db->exec("PRAGMA synchronous = NORMAL");
    return db;
}

std::unique_ptr<Database> Database::openExisting(const std::filesystem::path& file,
                                                 std::chrono::milliseconds busyTimeout) {
    auto impl = std::make_unique<Impl>();
    const int rc = sqlite3_open_v2(file.c_str(), &impl->db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    std::unique_ptr<Database> db(new Database(std::move(impl)));
    if (rc != SQLITE_OK)
        db->fail(rc);
    sqlite3_extended_result_codes(db->impl_->db, 1);
    sqlite3_busy_timeout(db->impl_->db, static_cast<int>(busyTimeout.count()));
    return db;
}

std::unique_ptr<Database> Database::openInMemory() {
    auto impl = std::make_unique<Impl>();
    const int rc = sqlite3_open(":memory:", &impl->db);
    std::unique_ptr<Database> db(new Database(std::move(impl)));
    if (rc != SQLITE_OK)
        db->fail(rc);
    sqlite3_extended_result_codes(db->impl_->db, 1);
    return db;
}

void Database::exec(std::string_view sql) {
    const std::string text(sql);
    const int rc = sqlite3_exec(impl_->db, text.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
}

void Database::execQuiet(const std::string& sql) noexcept {
    sqlite3_exec(impl_->db, sql.c_str(), nullptr, nullptr, nullptr);
}

bool Database::autocommit() const {
    return sqlite3_get_autocommit(impl_->db) != 0;
}

Statement Database::prepare(std::string_view sql) {
    sqlite3_stmt* st = nullptr;
    const int rc =
        sqlite3_prepare_v2(impl_->db, sql.data(), static_cast<int>(sql.size()), &st, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
    return Statement(*this, st, nullptr);
}

Statement Database::cached(const char* sql) {
    auto it = impl_->statements.find(std::string_view(sql));
    if (it == impl_->statements.end()) {
        sqlite3_stmt* st = nullptr;
        const int rc =
            sqlite3_prepare_v3(impl_->db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
        if (rc != SQLITE_OK)
            fail(rc);
        it = impl_->statements.emplace(sql, Statement::Cached{st, false}).first;
    }
    if (it->second.inUse)
        return prepare(sql);
    it->second.inUse = true;
    return Statement(*this, it->second.statement, &it->second);
}

std::int64_t Database::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(impl_->db);
}

std::int64_t Database::changes() const {
    return sqlite3_changes64(impl_->db);
}

// ---- Statement ---------------------------------------------------------------

Statement::Statement(Database& db, void* statement, Cached* cached)
    : db_(&db), statement_(statement), cached_(cached) {}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), statement_(other.statement_), cached_(other.cached_) {
    other.statement_ = nullptr;
    other.cached_ = nullptr;
}

Statement::~Statement() {
    if (statement_ == nullptr)
        return;
    if (cached_ == nullptr) {
        sqlite3_finalize(stmt(statement_));
        return;
    }
    sqlite3_reset(stmt(statement_));
    sqlite3_clear_bindings(stmt(statement_));
    cached_->inUse = false;
}

Statement& Statement::bind(int index, std::int64_t value) {
    if (const int rc = sqlite3_bind_int64(stmt(statement_), index, value); rc != SQLITE_OK)
        db_->fail(rc);
    return *this;
}

Statement& Statement::bindText(int index, std::string_view text) {
    const int rc = sqlite3_bind_text64(stmt(statement_), index, text.empty() ? kEmpty : text.data(),
                                       text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK)
        db_->fail(rc);
    return *this;
}

Statement& Statement::bindBlob(int index, const void* data, std::size_t size) {
    const int rc = sqlite3_bind_blob64(stmt(statement_), index, size == 0 ? kEmpty : data, size,
                                       SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        db_->fail(rc);
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(stmt(statement_));
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        db_->fail(rc);
    return false;
}

void Statement::run() {
    while (step()) {
    }
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(stmt(statement_), column);
}

std::string_view Statement::bytes(int column) const {
    const void* p = sqlite3_column_blob(stmt(statement_), column);
    const int n = sqlite3_column_bytes(stmt(statement_), column);
    if (p == nullptr || n <= 0)
        return {};
    return {static_cast<const char*>(p), static_cast<std::size_t>(n)};
}

// ---- Transaction -------------------------------------------------------------

Transaction::Transaction(Database& db, Kind kind) : db_(db) {
    auto& depth = db_.impl_->depth;
    if (depth > 0) {
        // SQLite may have rolled back the outer transaction on its own (disk
        // full, I/O error); carrying on would commit piecemeal.
        if (db_.autocommit())
            throw DatabaseError::rolledBack();
        if (kind == Kind::Read)
            return;
        savepoint_ = "kx" + std::to_string(depth);
        db_.exec("SAVEPOINT " + savepoint_);
    } else {
        db_.exec(kind == Kind::Write ? "BEGIN IMMEDIATE" : "BEGIN");
    }
    active_ = true;
    ++depth;
}

void Transaction::commit() {
    if (!active_)
        return;
    if (savepoint_.empty()) {
        if (db_.autocommit())
            throw DatabaseError::rolledBack();
        db_.exec("COMMIT");
    } else {
        db_.exec("RELEASE " + savepoint_);
    }
    active_ = false;
    --db_.impl_->depth;
}

Transaction::~Transaction() {
    if (!active_)
        return;
    --db_.impl_->depth;
    if (savepoint_.empty()) {
        if (!db_.autocommit())
            db_.execQuiet("ROLLBACK");
    } else {
        db_.execQuiet("ROLLBACK TO " + savepoint_);
        db_.execQuiet("RELEASE " + savepoint_);
    }
}

}  // namespace kx::platform::storage
