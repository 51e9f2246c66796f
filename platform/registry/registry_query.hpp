#pragma once
// The registry's use of SQLite statements: cached statements bound, stepped
// and reset in one scope, and SQLite failures carried to the public call.
#include <sqlite3.h>

#include <cstdint>
#include <string_view>

#include "platform/registry/registry.hpp"

namespace kx::platform::detail {
// A SQLite failure travelling to the public call, which answers it as a status.
struct DbError {
    int code;
    LONG status() const {
        const int primary = code & 0xFF;
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
            return ERROR_BUSY;
        if (primary == SQLITE_NOMEM)
            return ERROR_OUTOFMEMORY;
        return ERROR_BADDB;
    }
};

// SQLite binds a null pointer as SQL NULL, not as an empty text or blob.
inline constexpr char kEmpty[1] = {0};

// One use of a cached statement: bindings and reset are undone on scope exit.
class Query {
  public:
    Query(sqlite3* db, sqlite3_stmt* st) : db_(db), st_(st) {}
    ~Query() {
        sqlite3_reset(st_);
        sqlite3_clear_bindings(st_);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& bind(int i, std::int64_t v) {
        check(sqlite3_bind_int64(st_, i, v));
        return *this;
    }
    Query& bindText(int i, std::string_view v) {
        check(sqlite3_bind_text64(st_, i, v.empty() ? kEmpty : v.data(), v.size(), SQLITE_TRANSIENT,
                                  SQLITE_UTF8));
        return *this;
    }
    Query& bindBlob(int i, const void* data, std::size_t size) {
        check(sqlite3_bind_blob64(st_, i, size == 0 ? kEmpty : data, size, SQLITE_TRANSIENT));
        return *this;
    }
    /// True for a row, false when done.
    bool step() {
        const int rc = sqlite3_step(st_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw DbError{rc};
    }
    void run() {
        while (step()) {
        }
    }
    std::int64_t integer(int col) const { return sqlite3_column_int64(st_, col); }
    std::string_view bytes(int col) const {
        const void* p = sqlite3_column_blob(st_, col);
        const int n = sqlite3_column_bytes(st_, col);
        if (!p || n <= 0)
            return {};
        return {static_cast<const char*>(p), static_cast<std::size_t>(n)};
    }
    int changes() const { return sqlite3_changes(db_); }

  private:
    void check(int rc) {
        if (rc != SQLITE_OK)
            throw DbError{rc};
    }
    sqlite3* db_;
    sqlite3_stmt* st_;
};

}  // namespace kx::platform::detail
