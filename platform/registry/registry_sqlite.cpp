// The registry kept in SQLite. One row per key (the four roots have fixed ids),
// one row per value with its type and raw bytes. Names keep the spelling they
// were created with; lookups go through the lower-cased form.
#include <sqlite3.h>

#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "platform/registry/registry_query.hpp"
#include "platform/registry/registry_rules.hpp"
#include "platform/runtime/text.hpp"

namespace kx::platform {
namespace {
using namespace detail;
// Marks the file as ours, so that another program's database is not taken over.
constexpr int kApplicationId = 0x4B585247;  // "KXRG"
constexpr int kSchemaVersion = 1;

struct Handle {
    std::int64_t key = 0;
    HKEY root = 0;
    DWORD access = 0;
};

struct KeyRow {
    std::int64_t id = 0;
    bool readOnly = false;
};

class SqliteRegistry final : public Registry {
  public:
    SqliteRegistry(const std::filesystem::path& file, RegistryPolicy policy) : policy_(policy) {
        const int rc = sqlite3_open_v2(
            file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
            nullptr);
        if (rc != SQLITE_OK) {
            std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            sqlite3_close_v2(db_);
            throw std::runtime_error("registry database " + file.string() + ": " + why);
        }
        try {
            sqlite3_extended_result_codes(db_, 1);
            // Companion processes take turns; a writer waits rather than failing.
            sqlite3_busy_timeout(db_, 5000);
            setup();
        } catch (const DbError& e) {
            std::string why = sqlite3_errmsg(db_);
            if (why.empty() || why == "not an error")
                why = sqlite3_errstr(e.code);
            close();
            throw std::runtime_error("registry database " + file.string() + ": " + why);
        } catch (const std::runtime_error& e) {
            close();
            throw std::runtime_error("registry database " + file.string() + ": " + e.what());
        } catch (...) {
            close();
            throw;
        }
    }

    ~SqliteRegistry() override { close(); }

    LONG RegOpenKeyExA(HKEY hKey, std::string_view subKey, DWORD /*options*/, DWORD samDesired,
                       HKEY* phkResult) override {
        if (!phkResult)
            return ERROR_INVALID_PARAMETER;
        *phkResult = 0;
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow base;
            Tx tx(*this, false);
            if (const LONG st = liveHandle(hKey, h, base))
                return st;
            const auto parts = splitPath(subKey);
            KeyRow key = base;
            for (const auto part : parts) {
                auto child = findChild(key.id, part);
                if (!child)
                    return ERROR_FILE_NOT_FOUND;
                key = *child;
            }
            DWORD access = 0;
            if (const LONG st = grant(h.root, key, samDesired, access))
                return st;
            tx.commit();
            *phkResult = newHandle({key.id, h.root, access});
            return ERROR_SUCCESS;
        });
    }

    LONG RegCreateKeyExA(HKEY hKey, std::string_view subKey, DWORD /*reserved*/,
                         std::string_view /*className*/, DWORD /*options*/, DWORD samDesired,
                         const void* /*security*/, HKEY* phkResult, DWORD* disposition) override {
        if (!phkResult)
            return ERROR_INVALID_PARAMETER;
        *phkResult = 0;
        const auto parts = splitPath(subKey);
        for (const auto part : parts) {
            if (part.find('\0') != std::string_view::npos)
                return ERROR_INVALID_PARAMETER;
            if (countChars(part) > kMaxKeyNameChars)
                return ERROR_INVALID_PARAMETER;
        }
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow key;
            Tx tx(*this, true);
            if (const LONG st = liveHandle(hKey, h, key))
                return st;
            std::size_t i = 0;
            for (; i < parts.size(); ++i) {
                auto child = findChild(key.id, parts[i]);
                if (!child)
                    break;
                key = *child;
            }
            DWORD created = REG_OPENED_EXISTING_KEY;
            if (i < parts.size()) {
                if (!isRoot(hKey) && !(h.access & KEY_CREATE_SUB_KEY))
                    return ERROR_ACCESS_DENIED;
                if (denyByPolicy(h.root) || key.readOnly)
                    return ERROR_ACCESS_DENIED;
                if (depthOf(key.id) + static_cast<std::int64_t>(parts.size() - i) > kMaxDepth)
                    return ERROR_INVALID_PARAMETER;
                for (; i < parts.size(); ++i) key = insertKey(key.id, parts[i]);
                created = REG_CREATED_NEW_KEY;
            }
            DWORD access = 0;
            if (const LONG st = grant(h.root, key, samDesired, access))
                return st;
            tx.commit();
            *phkResult = newHandle({key.id, h.root, access});
            if (disposition)
                *disposition = created;
            return ERROR_SUCCESS;
        });
    }

    LONG RegQueryValueExA(HKEY hKey, std::string_view valueName, DWORD* /*reserved*/, DWORD* type,
                          std::uint8_t* data, DWORD* cbData) override {
        if (data && !cbData)
            return ERROR_INVALID_PARAMETER;
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow key;
            Tx tx(*this, false);
            if (const LONG st = liveHandle(hKey, h, key))
                return st;
            Query q = query("SELECT type, data FROM vals WHERE key = ?1 AND name_lc = ?2");
            q.bind(1, key.id).bindText(2, lower(valueName));
            if (!q.step())
                return ERROR_FILE_NOT_FOUND;
            return putData(static_cast<DWORD>(q.integer(0)), q.bytes(1), type, data, cbData);
        });
    }

    LONG RegSetValueExA(HKEY hKey, std::string_view valueName, DWORD /*reserved*/, DWORD type,
                        const std::uint8_t* data, DWORD cbData) override {
        if (!data && cbData)
            return ERROR_INVALID_PARAMETER;
        if (valueName.find('\0') != std::string_view::npos)
            return ERROR_INVALID_PARAMETER;
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow key;
            Tx tx(*this, true);
            if (const LONG st = liveHandle(hKey, h, key))
                return st;
            if (const LONG st = mayWriteValues(h, key))
                return st;
            // An existing value keeps the spelling of its name, as on Windows.
            query(
                "INSERT INTO vals(key, name, name_lc, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                "ON CONFLICT(key, name_lc) DO UPDATE SET type = excluded.type, "
                "data = excluded.data")
                .bind(1, key.id)
                .bindText(2, valueName)
                .bindText(3, lower(valueName))
                .bind(4, type)
                .bindBlob(5, data, cbData)
                .run();
            tx.commit();
            return ERROR_SUCCESS;
        });
    }

    LONG RegDeleteValueA(HKEY hKey, std::string_view valueName) override {
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow key;
            Tx tx(*this, true);
            if (const LONG st = liveHandle(hKey, h, key))
                return st;
            if (const LONG st = mayWriteValues(h, key))
                return st;
            Query q = query("DELETE FROM vals WHERE key = ?1 AND name_lc = ?2");
            q.bind(1, key.id).bindText(2, lower(valueName)).run();
            if (q.changes() == 0)
                return ERROR_FILE_NOT_FOUND;
            tx.commit();
            return ERROR_SUCCESS;
        });
    }

    LONG RegDeleteKeyA(HKEY hKey, std::string_view subKey) override {
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow key;
            Tx tx(*this, true);
            if (const LONG st = liveHandle(hKey, h, key))
                return st;
            for (const auto part : splitPath(subKey)) {
                auto child = findChild(key.id, part);
                if (!child)
                    return ERROR_FILE_NOT_FOUND;
                key = *child;
            }
            if (key.id <= static_cast<std::int64_t>(kRoots.size()))
                return ERROR_ACCESS_DENIED;
            if (key.readOnly || denyByPolicy(h.root))
                return ERROR_ACCESS_DENIED;
            {
                Query q = query("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
                if (q.bind(1, key.id).step())
                    return ERROR_ACCESS_DENIED;
            }
            query("DELETE FROM vals WHERE key = ?1").bind(1, key.id).run();
            query("DELETE FROM keys WHERE id = ?1").bind(1, key.id).run();
            tx.commit();
            return ERROR_SUCCESS;
        });
    }

    LONG RegEnumKeyExA(HKEY hKey, DWORD index, char* name, DWORD* cchName, DWORD* /*reserved*/,
                       char* className, DWORD* cchClass, void* /*lastWriteTime*/) override {
        if (!name || !cchName)
            return ERROR_INVALID_PARAMETER;
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow key;
            Tx tx(*this, false);
            if (const LONG st = liveHandle(hKey, h, key))
                return st;
            Query q =
                query("SELECT name FROM keys WHERE parent = ?1 ORDER BY name_lc LIMIT 1 OFFSET ?2");
            q.bind(1, key.id).bind(2, index);
            if (!q.step())
                return ERROR_NO_MORE_ITEMS;
            if (const LONG st = putName(q.bytes(0), name, cchName))
                return st;
            // Keys have no class names here.
            if (cchClass) {
                if (className && *cchClass > 0)
                    className[0] = '\0';
                *cchClass = 0;
            }
            return ERROR_SUCCESS;
        });
    }

    LONG RegEnumValueA(HKEY hKey, DWORD index, char* valueName, DWORD* cchValueName,
                       DWORD* /*reserved*/, DWORD* type, std::uint8_t* data,
                       DWORD* cbData) override {
        if (!valueName || !cchValueName)
            return ERROR_INVALID_PARAMETER;
        if (data && !cbData)
            return ERROR_INVALID_PARAMETER;
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow key;
            Tx tx(*this, false);
            if (const LONG st = liveHandle(hKey, h, key))
                return st;
            Query q = query(
                "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY name_lc "
                "LIMIT 1 OFFSET ?2");
            q.bind(1, key.id).bind(2, index);
            if (!q.step())
                return ERROR_NO_MORE_ITEMS;
            if (const LONG st = putName(q.bytes(0), valueName, cchValueName))
                return st;
            return putData(static_cast<DWORD>(q.integer(1)), q.bytes(2), type, data, cbData);
        });
    }

    LONG RegCloseKey(HKEY hKey) override {
        if (isRoot(hKey))
            return ERROR_SUCCESS;
        std::lock_guard lock(mutex_);
        return handles_.erase(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    }

    LONG setKeyReadOnly(HKEY root, std::string_view subKey, bool readOnly) override {
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow key;
            Tx tx(*this, true);
            if (const LONG st = liveHandle(root, h, key))
                return st;
            for (const auto part : splitPath(subKey)) {
                auto child = findChild(key.id, part);
                if (!child)
                    return ERROR_FILE_NOT_FOUND;
                key = *child;
            }
            query("UPDATE keys SET readonly = ?1 WHERE id = ?2")
                .bind(1, readOnly ? 1 : 0)
                .bind(2, key.id)
                .run();
            tx.commit();
            return ERROR_SUCCESS;
        });
    }

    LONG transaction(const std::function<LONG()>& work) override {
        // The lock is held for the whole work, so another thread's calls cannot
        // slip into this transaction.
        std::lock_guard lock(mutex_);
        try {
            Tx tx(*this, true);
            const LONG st = work();
            if (st == ERROR_SUCCESS)
                tx.commit();
            return st;
        } catch (const DbError& e) {
            return e.status();
        }
    }

  private:
    // A transaction, or a savepoint inside the one already open. Read scopes
    // nested in another scope do nothing; an outermost read scope still opens a
    // transaction so that a call sees one consistent state. Write scopes start
    // with BEGIN IMMEDIATE: taking the write lock up front lets the busy
    // time-out do its work, where upgrading a read transaction later would fail
    // at once when another process wrote in between.
    class Tx {
      public:
        Tx(SqliteRegistry& r, bool write) : r_(r) {
            if (r_.depth_ > 0) {
                // SQLite may have rolled back the outer transaction on its own
                // (disk full, I/O error); carrying on would commit piecemeal.
                if (sqlite3_get_autocommit(r_.db_))
                    throw DbError{SQLITE_ABORT};
                if (!write)
                    return;
                name_ = "kx" + std::to_string(r_.depth_);
                r_.exec(("SAVEPOINT " + name_).c_str());
            } else {
                r_.exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
            }
            active_ = true;
            ++r_.depth_;
        }
        Tx(const Tx&) = delete;
        Tx& operator=(const Tx&) = delete;

        void commit() {
            if (!active_)
                return;
            if (name_.empty()) {
                if (sqlite3_get_autocommit(r_.db_))
                    throw DbError{SQLITE_ABORT};
                r_.exec("COMMIT");
            } else {
                r_.exec(("RELEASE " + name_).c_str());
            }
            active_ = false;
            --r_.depth_;
        }

        ~Tx() {
            if (!active_)
                return;
            --r_.depth_;
            if (name_.empty()) {
                if (!sqlite3_get_autocommit(r_.db_))
                    r_.execQuiet("ROLLBACK");
            } else {
                r_.execQuiet(("ROLLBACK TO " + name_).c_str());
                r_.execQuiet(("RELEASE " + name_).c_str());
            }
        }

      private:
        SqliteRegistry& r_;
        std::string name_;
        bool active_ = false;
    };

    template <typename F>
    LONG guarded(F&& body) {
        std::lock_guard lock(mutex_);
        try {
            return body();
        } catch (const DbError& e) {
            return e.status();
        } catch (const std::bad_alloc&) {
            return ERROR_OUTOFMEMORY;
        }
    }

    void setup() {
        // WAL lets readers in other processes carry on while one writes.
        {
            Query q = query("PRAGMA journal_mode = WAL");
            q.step();
        }
        // With WAL a crash of the program loses nothing committed; only a
        // power failure may drop the last commits, as Windows' lazy flush does.
        exec("PRAGMA synchronous = NORMAL");
        Tx tx(*this, true);
        const auto pragmaInt = [&](const char* sql) {
            Query q = query(sql);
            return q.step() ? q.integer(0) : 0;
        };
        const auto version = pragmaInt("PRAGMA user_version");
        const auto appId = pragmaInt("PRAGMA application_id");
        if (version == 0 && appId == 0) {
            if (pragmaInt("SELECT count(*) FROM sqlite_master") != 0)
                throw std::runtime_error("holds other tables, not a registry");
            exec(
                "CREATE TABLE keys("
                " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: see liveHandle
                " parent INTEGER NOT NULL,"
                " name TEXT NOT NULL,"
                " name_lc TEXT NOT NULL,"
                " readonly INTEGER NOT NULL DEFAULT 0,"
                " UNIQUE(parent, name_lc))");
            exec(
                "CREATE TABLE vals("
                " key INTEGER NOT NULL,"
                " name TEXT NOT NULL,"
                " name_lc TEXT NOT NULL,"
                " type INTEGER NOT NULL,"
                " data BLOB NOT NULL,"
                " PRIMARY KEY(key, name_lc)) WITHOUT ROWID");
            for (std::size_t i = 0; i < kRoots.size(); ++i) {
                query("INSERT INTO keys(id, parent, name, name_lc) VALUES(?1, 0, ?2, ?3)")
                    .bind(1, rootId(kRoots[i]))
                    .bindText(2, kRootNames[i])
                    .bindText(3, lower(kRootNames[i]))
                    .run();
            }
            exec(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
            exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
        } else if (appId != kApplicationId || version != kSchemaVersion) {
            throw std::runtime_error("not a registry database of this version");
        }
        tx.commit();
    }

    void close() {
        for (auto& [sql, st] : statements_) sqlite3_finalize(st);
        statements_.clear();
        if (db_)
            sqlite3_close_v2(db_);
        db_ = nullptr;
    }

    Query query(const char* sql) {
        auto it = statements_.find(sql);
        if (it == statements_.end()) {
            sqlite3_stmt* st = nullptr;
            const int rc =
                sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
            if (rc != SQLITE_OK)
                throw DbError{rc};
            it = statements_.emplace(sql, st).first;
        }
        return Query(db_, it->second);
    }

    void exec(const char* sql) {
        const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw DbError{rc};
    }
    void execQuiet(const char* sql) noexcept { sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

    bool denyByPolicy(HKEY root) const {
        return !policy_.administrator && root != HKEY_CURRENT_USER;
    }

    // Resolves a handle to its key. Row ids are never reused, so a handle whose
    // key was deleted cannot come to name a key created later at the same path.
    LONG liveHandle(HKEY hKey, Handle& h, KeyRow& key) {
        if (isRoot(hKey)) {
            h = {rootId(hKey), hKey, KEY_ALL_ACCESS};
        } else {
            const auto it = handles_.find(hKey);
            if (it == handles_.end())
                return ERROR_INVALID_HANDLE;
            h = it->second;
        }
        Query q = query("SELECT readonly FROM keys WHERE id = ?1");
        if (!q.bind(1, h.key).step())
            return ERROR_KEY_DELETED;
        key = {h.key, q.integer(0) != 0};
        return ERROR_SUCCESS;
    }

    std::optional<KeyRow> findChild(std::int64_t parent, std::string_view name) {
        Query q = query("SELECT id, readonly FROM keys WHERE parent = ?1 AND name_lc = ?2");
        q.bind(1, parent).bindText(2, lower(name));
        if (!q.step())
            return std::nullopt;
        return KeyRow{q.integer(0), q.integer(1) != 0};
    }

    // Levels below the root: 0 for a root key.
    std::int64_t depthOf(std::int64_t id) {
        Query q = query(
            "WITH RECURSIVE up(id, n) AS (SELECT ?1, 0 UNION ALL "
            "SELECT k.parent, up.n + 1 FROM keys k JOIN up ON k.id = up.id WHERE k.parent != 0) "
            "SELECT max(n) FROM up");
        return q.bind(1, id).step() ? q.integer(0) : 0;
    }

    KeyRow insertKey(std::int64_t parent, std::string_view name) {
        query("INSERT INTO keys(parent, name, name_lc) VALUES(?1, ?2, ?3)")
            .bind(1, parent)
            .bindText(2, name)
            .bindText(3, lower(name))
            .run();
        return {sqlite3_last_insert_rowid(db_), false};
    }

    // The access a new handle gets, or ERROR_ACCESS_DENIED.
    LONG grant(HKEY root, const KeyRow& key, DWORD samDesired, DWORD& access) const {
        const bool writable = !key.readOnly && !denyByPolicy(root);
        access = mapGenericAccess(samDesired);
        if (access & kMaximumAllowed) {
            access &= ~kMaximumAllowed;
            access |= writable ? KEY_ALL_ACCESS : KEY_READ;
        }
        if ((access & kWriteAccess) && !writable)
            return ERROR_ACCESS_DENIED;
        return ERROR_SUCCESS;
    }

    LONG mayWriteValues(const Handle& h, const KeyRow& key) const {
        if (!(h.access & KEY_SET_VALUE))
            return ERROR_ACCESS_DENIED;
        if (key.readOnly || denyByPolicy(h.root))
            return ERROR_ACCESS_DENIED;
        return ERROR_SUCCESS;
    }

    HKEY newHandle(const Handle& h) {
        // Multiples of four, as Windows hands them out, below the root values.
        for (;;) {
            nextHandle_ += 4;
            if (nextHandle_ >= HKEY_CLASSES_ROOT)
                nextHandle_ = 0x100;
            if (!handles_.contains(nextHandle_))
                break;
        }
        handles_.emplace(nextHandle_, h);
        return nextHandle_;
    }

    RegistryPolicy policy_;
    sqlite3* db_ = nullptr;
    std::unordered_map<const char*, sqlite3_stmt*> statements_;
    std::unordered_map<HKEY, Handle> handles_;
    HKEY nextHandle_ = 0x100;
    int depth_ = 0;
    std::recursive_mutex mutex_;
};

}  // namespace

std::unique_ptr<Registry> Registry::open(const std::filesystem::path& dbFile,
                                         RegistryPolicy policy) {
    return std::make_unique<SqliteRegistry>(dbFile, policy);
}

}  // namespace kx::platform
