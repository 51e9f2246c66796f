#pragma once
// One SQLite database file of the machine (the registry, the desktop), shared
// by every process of the machine: opened in WAL mode, so readers in other
// processes carry on while one writes, with a busy time-out, so a writer
// waits for another rather than failing. Statements are bound, stepped and
// released in one scope; transactions roll back when left by an exception.
//
// Failures throw DatabaseError, which carries SQLite's result code.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kx::platform::storage {

class DatabaseError : public std::runtime_error {
  public:
    DatabaseError(int code, const std::string& message);
    /// SQLite's (extended) result code.
    int code() const { return code_; }
    /// Another connection holds the lock longer than the busy time-out.
    bool busy() const;
    bool outOfMemory() const;
    /// The transaction was rolled back by SQLite on its own (disk full, I/O
    /// error) and cannot be carried on.
    static DatabaseError rolledBack();

  private:
    int code_;
};

class Database;

/// A statement in use: bindings are undone and the statement reset (or
/// released) when it leaves the scope.
class Statement {
  public:
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    Statement& bind(int index, std::int64_t value);
    /// Binds UTF-8 text; an empty text stays a text, not SQL NULL.
    Statement& bindText(int index, std::string_view text);
    Statement& bindBlob(int index, const void* data, std::size_t size);
    /// True when a row is ready; false when the statement is done.
    bool step();
    /// Steps to the end.
    void run();
    std::int64_t integer(int column) const;
    /// The bytes of a text or blob column, valid until the next step.
    std::string_view bytes(int column) const;
    std::string text(int column) const { return std::string(bytes(column)); }

  private:
    friend class Database;
    struct Cached;
    Statement(Database& db, void* statement, Cached* cached);
    Database* db_;
    void* statement_;  // sqlite3_stmt
    Cached* cached_;   // null for a statement of its own, finalised at the end
};

class Database {
  public:
    /// Opens (creating when absent) a database file shared with other
    /// processes: WAL journal, synchronous NORMAL, the given busy time-out.
    static std::unique_ptr<Database> openShared(const std::filesystem::path& file,
                                                std::chrono::milliseconds busyTimeout);
    /// Opens a database file another program keeps (a browser's), as it is:
    /// never created, its journal mode left as the owner chose it.
    static std::unique_ptr<Database> openExisting(const std::filesystem::path& file,
                                                  std::chrono::milliseconds busyTimeout);
    /// A private database of this process.
    static std::unique_ptr<Database> openInMemory();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    /// Runs one or more statements without results.
    void exec(std::string_view sql);
    /// A statement prepared for this use only.
    Statement prepare(std::string_view sql);
    /// A statement prepared once and kept for the connection's life; a use
    /// while the kept one is still in use gets a statement of its own.
    Statement cached(const char* sql);

    std::int64_t lastInsertRowid() const;
    /// Rows the last INSERT, UPDATE or DELETE changed.
    std::int64_t changes() const;

  private:
    friend class Statement;
    friend class Transaction;
    struct Impl;
    explicit Database(std::unique_ptr<Impl> impl);
    void execQuiet(const std::string& sql) noexcept;
    bool autocommit() const;
    [[noreturn]] void fail(int code) const;
    std::unique_ptr<Impl> impl_;
};

/// A transaction, or a savepoint inside the one already open on the
/// connection. A read scope nested in another scope does nothing; an
/// outermost read scope still opens a transaction so that its reads see one
/// state. Write scopes start with BEGIN IMMEDIATE: taking the write lock up
/// front lets the busy time-out do its work, where upgrading a read
/// transaction later would fail at once when another process wrote in between.
/// Left without commit(), the scope's changes are rolled back.
class Transaction {
  public:
    enum class Kind { Read, Write };
    Transaction(Database& db, Kind kind);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

  private:
    Database& db_;
    std::string savepoint_;
    bool active_ = false;
};

}  // namespace kx::platform::storage
