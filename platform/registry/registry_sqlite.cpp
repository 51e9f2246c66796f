// The registry kept in SQLite. One row per key (the four roots have fixed ids),
// one row per value with its type and raw bytes. Names keep the spelling they
// were created with; lookups go through the lower-cased form.
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "platform/registry/registry_rules.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/storage/sqlite_database.hpp"

namespace kx::platform {
namespace {
using namespace detail;
using storage::DatabaseError;
using storage::Transaction;
// Marks the file as ours, so that another program's database is not taken over.
constexpr int kApplicationId = 0x4B585247;  // "KXRG"
constexpr int kSchemaVersion = 1;

// A SQLite failure reaches the public call as a status.
LONG statusOf(const DatabaseError& e) {
    if (e.busy())
        return ERROR_BUSY;
    if (e.outOfMemory())
        return ERROR_OUTOFMEMORY;
    return ERROR_BADDB;
}

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
        try {
            // Companion processes take turns; a writer waits rather than failing.
            db_ = storage::Database::openShared(file, std::chrono::milliseconds(5000));
            setup();
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(
                trf("Registrierungsdatenbank {1}: {2}", {file.string(), e.what()}));
        }
    }

    LONG RegOpenKeyExA(HKEY hKey, std::string_view subKey, DWORD /*options*/, DWORD samDesired,
                       HKEY* phkResult) override {
        if (!phkResult)
            return ERROR_INVALID_PARAMETER;
        *phkResult = 0;
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow base;
            Transaction tx(*db_, Transaction::Kind::Read);
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
            // A name that is not text could not be listed or exported as one.
            if (part.find('\0') != std::string_view::npos || !isValidUtf8(part))
                return ERROR_INVALID_PARAMETER;
            if (countChars(part) > kMaxKeyNameChars)
                return ERROR_INVALID_PARAMETER;
        }
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow key;
            Transaction tx(*db_, Transaction::Kind::Write);
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
            Transaction tx(*db_, Transaction::Kind::Read);
            if (const LONG st = liveHandle(hKey, h, key))
                return st;
            auto q = db_->cached("SELECT type, data FROM vals WHERE key = ?1 AND name_lc = ?2");
            q.bind(1, key.id).bindText(2, vbLCase(valueName));
            if (!q.step())
                return ERROR_FILE_NOT_FOUND;
            return putData(static_cast<DWORD>(q.integer(0)), q.bytes(1), type, data, cbData);
        });
    }

    LONG RegSetValueExA(HKEY hKey, std::string_view valueName, DWORD /*reserved*/, DWORD type,
                        const std::uint8_t* data, DWORD cbData) override {
        if (!data && cbData)
            return ERROR_INVALID_PARAMETER;
        if (valueName.find('\0') != std::string_view::npos || !isValidUtf8(valueName))
            return ERROR_INVALID_PARAMETER;
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow key;
            Transaction tx(*db_, Transaction::Kind::Write);
            if (const LONG st = liveHandle(hKey, h, key))
                return st;
            if (const LONG st = mayWriteValues(h, key))
                return st;
            // An existing value keeps the spelling of its name, as on Windows.
            db_->cached(
                   "INSERT INTO vals(key, name, name_lc, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                   "ON CONFLICT(key, name_lc) DO UPDATE SET type = excluded.type, "
                   "data = excluded.data")
                .bind(1, key.id)
                .bindText(2, valueName)
                .bindText(3, vbLCase(valueName))
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
            Transaction tx(*db_, Transaction::Kind::Write);
            if (const LONG st = liveHandle(hKey, h, key))
                return st;
            if (const LONG st = mayWriteValues(h, key))
                return st;
            auto q = db_->cached("DELETE FROM vals WHERE key = ?1 AND name_lc = ?2");
            q.bind(1, key.id).bindText(2, vbLCase(valueName)).run();
            if (db_->changes() == 0)
                return ERROR_FILE_NOT_FOUND;
            tx.commit();
            return ERROR_SUCCESS;
        });
    }

    LONG RegDeleteKeyA(HKEY hKey, std::string_view subKey) override {
        return guarded([&]() -> LONG {
            Handle h;
            KeyRow key;
            Transaction tx(*db_, Transaction::Kind::Write);
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
                auto q = db_->cached("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
                if (q.bind(1, key.id).step())
                    return ERROR_ACCESS_DENIED;
            }
            db_->cached("DELETE FROM vals WHERE key = ?1").bind(1, key.id).run();
            db_->cached("DELETE FROM keys WHERE id = ?1").bind(1, key.id).run();
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
            Transaction tx(*db_, Transaction::Kind::Read);
            if (const LONG st = liveHandle(hKey, h, key))
                return st;
            auto q = db_->cached(
                "SELECT name FROM keys WHERE parent = ?1 ORDER BY name_lc LIMIT 1 OFFSET ?2");
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
            Transaction tx(*db_, Transaction::Kind::Read);
            if (const LONG st = liveHandle(hKey, h, key))
                return st;
            auto q = db_->cached(
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
            Transaction tx(*db_, Transaction::Kind::Write);
            if (const LONG st = liveHandle(root, h, key))
                return st;
            for (const auto part : splitPath(subKey)) {
                auto child = findChild(key.id, part);
                if (!child)
                    return ERROR_FILE_NOT_FOUND;
                key = *child;
            }
            db_->cached("UPDATE keys SET readonly = ?1 WHERE id = ?2")
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
            Transaction tx(*db_, Transaction::Kind::Write);
            const LONG st = work();
            if (st == ERROR_SUCCESS)
                tx.commit();
            return st;
        } catch (const DatabaseError& e) {
            return statusOf(e);
        }
    }

  private:
    template <typename F>
    LONG guarded(F&& body) {
        std::lock_guard lock(mutex_);
        try {
            return body();
        } catch (const DatabaseError& e) {
            return statusOf(e);
        } catch (const std::bad_alloc&) {
            return ERROR_OUTOFMEMORY;
        }
    }

    void setup() {
        Transaction tx(*db_, Transaction::Kind::Write);
        const auto pragmaInt = [&](const char* sql) {
            auto q = db_->cached(sql);
            return q.step() ? q.integer(0) : 0;
        };
        const auto version = pragmaInt("PRAGMA user_version");
        const auto appId = pragmaInt("PRAGMA application_id");
        if (version == 0 && appId == 0) {
            if (pragmaInt("SELECT count(*) FROM sqlite_master") != 0)
                throw std::runtime_error(
                    std::string(tr("enthält andere Tabellen, keine Registrierung")));
            db_->exec(
                "CREATE TABLE keys("
                " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: see liveHandle
                " parent INTEGER NOT NULL,"
                " name TEXT NOT NULL,"
                " name_lc TEXT NOT NULL,"
                " readonly INTEGER NOT NULL DEFAULT 0,"
                " UNIQUE(parent, name_lc))");
            db_->exec(
                "CREATE TABLE vals("
                " key INTEGER NOT NULL,"
                " name TEXT NOT NULL,"
                " name_lc TEXT NOT NULL,"
                " type INTEGER NOT NULL,"
                " data BLOB NOT NULL,"
                " PRIMARY KEY(key, name_lc)) WITHOUT ROWID");
            for (std::size_t i = 0; i < kRoots.size(); ++i) {
                db_->cached("INSERT INTO keys(id, parent, name, name_lc) VALUES(?1, 0, ?2, ?3)")
                    .bind(1, rootId(kRoots[i]))
                    .bindText(2, kRootNames[i])
                    .bindText(3, vbLCase(kRootNames[i]))
                    .run();
            }
            db_->exec("PRAGMA application_id = " + std::to_string(kApplicationId));
            db_->exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
        } else if (appId != kApplicationId || version != kSchemaVersion) {
            throw std::runtime_error(
                std::string(tr("keine Registrierungsdatenbank dieser Version")));
        }
        tx.commit();
    }

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
        auto q = db_->cached("SELECT readonly FROM keys WHERE id = ?1");
        if (!q.bind(1, h.key).step())
            return ERROR_KEY_DELETED;
        key = {h.key, q.integer(0) != 0};
        return ERROR_SUCCESS;
    }

    std::optional<KeyRow> findChild(std::int64_t parent, std::string_view name) {
        auto q = db_->cached("SELECT id, readonly FROM keys WHERE parent = ?1 AND name_lc = ?2");
        q.bind(1, parent).bindText(2, vbLCase(name));
        if (!q.step())
            return std::nullopt;
        return KeyRow{q.integer(0), q.integer(1) != 0};
    }

    // Levels below the root: 0 for a root key.
    std::int64_t depthOf(std::int64_t id) {
        auto q = db_->cached(
            "WITH RECURSIVE up(id, n) AS (SELECT ?1, 0 UNION ALL "
            "SELECT k.parent, up.n + 1 FROM keys k JOIN up ON k.id = up.id WHERE k.parent != 0) "
            "SELECT max(n) FROM up");
        return q.bind(1, id).step() ? q.integer(0) : 0;
    }

    KeyRow insertKey(std::int64_t parent, std::string_view name) {
        db_->cached("INSERT INTO keys(parent, name, name_lc) VALUES(?1, ?2, ?3)")
            .bind(1, parent)
            .bindText(2, name)
            .bindText(3, vbLCase(name))
            .run();
        return {db_->lastInsertRowid(), false};
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
    std::unique_ptr<storage::Database> db_;
    std::unordered_map<HKEY, Handle> handles_;
    HKEY nextHandle_ = 0x100;
    std::recursive_mutex mutex_;
};

}  // namespace

std::unique_ptr<Registry> Registry::open(const std::filesystem::path& dbFile,
                                         RegistryPolicy policy) {
    return std::make_unique<SqliteRegistry>(dbFile, policy);
}

}  // namespace kx::platform
