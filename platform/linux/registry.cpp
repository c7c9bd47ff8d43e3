// The registry stand-in on SQLite.
//
// One connection per process, opened on first use and guarded by one mutex.
// The database runs in WAL mode with a generous busy time-out, and every
// write is one BEGIN IMMEDIATE transaction: the write lock is taken before
// anything is read, so two processes that read-modify-write the same value
// (a counter, a list of devices) are serialised instead of one of them
// failing or losing the other's update.
//
// Schema (ids give the enumeration order, i.e. the order first created):
//   keys(id, parent, name)        parent 0 is HKEY_LOCAL_MACHINE itself
//   "values"(id, key, name, type, data)
// Keys use AUTOINCREMENT so that the id of a deleted key is never handed to
// a new one: an open handle on the deleted key must keep answering
// ERROR_KEY_DELETED, not reach a stranger. Values need no such guard; a new
// row always gets an id above every existing one, which is what puts a
// deleted and re-written value at the end.

#include "linux/internal/debug_once.h"
#include "linux/internal/private_files.h"
#include "platform/debug.h"
#include "platform/error.h"
#include "platform/registry.h"
#include "platform/serial.h"

#include <sqlite3.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <pwd.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kBusyTimeoutMs = 10'000;
// The platform's limits; callers size their name buffers by them.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16'383;
// SQLite's own limit on one value (SQLITE_MAX_LENGTH).
constexpr DWORD kMaxValueSize = 1'000'000'000;

// The key row that HKEY_LOCAL_MACHINE stands for (no row of its own).
constexpr sqlite3_int64 kMachineRoot = 0;
// Stands for HKEY_CLASSES_ROOT while HKLM\SOFTWARE\Classes does not exist:
// no row has this parent or key, so it reads as an empty key.
constexpr sqlite3_int64 kNoClassesKey = -1;

// A failed SQLite call, carried to the API boundary and mapped there.
struct SqlError {
    int code;
    int systemErrno;
};

// A failure with a platform code, thrown where it is found deep inside.
struct RegError {
    LONG code;
};

// A file that cannot be opened or read must never answer
// ERROR_FILE_NOT_FOUND: callers take that for "no such key or value" and go
// on as if nothing were configured.
LONG codeFromErrno(int err, DWORD otherwise)
{
    if (err == 0)
        return static_cast<LONG>(otherwise);
    const DWORD code = platform::errorFromErrno(err);
    return static_cast<LONG>(code == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : code);
}

LONG codeFromSqlite(const SqlError& e)
{
    switch (e.code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN:
        return codeFromErrno(e.systemErrno, ERROR_ACCESS_DENIED);
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    case SQLITE_TOOBIG:
        return ERROR_INVALID_PARAMETER;
    case SQLITE_IOERR:
        return codeFromErrno(e.systemErrno, ERROR_INTERNAL_ERROR);
    default:  // SQLITE_CORRUPT, SQLITE_NOTADB, a foreign schema ...
        return ERROR_INTERNAL_ERROR;
    }
}

[[noreturn]] void fail(sqlite3* db, int rc)
{
    throw SqlError{rc, db != nullptr ? sqlite3_system_errno(db) : 0};
}

class Statement {
public:
    Statement(sqlite3* db, std::string_view sql) : m_db(db)
    {
        const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr);
        if (rc != SQLITE_OK)
            fail(db, rc);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, sqlite3_int64 value)
    {
        check(sqlite3_bind_int64(m_stmt, index, value));
        return *this;
    }
    // Names are bytes (ISO-8859-1 meant) stored as text so that the NOCASE
    // collation applies; it folds ASCII only, which is what we want.
    Statement& bindText(int index, std::string_view text)
    {
        // Never a null pointer: SQLite would bind NULL, not "".
        check(sqlite3_bind_text(m_stmt, index, text.empty() ? "" : text.data(), static_cast<int>(text.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bindBlob(int index, const std::vector<BYTE>& bytes)
    {
        // A zero-length blob, not NULL, for empty data.
        static const BYTE empty = 0;
        check(sqlite3_bind_blob(m_stmt, index, bytes.empty() ? &empty : bytes.data(),
                                static_cast<int>(bytes.size()), SQLITE_TRANSIENT));
        return *this;
    }

    // True while a row is available.
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        fail(m_db, rc);
    }
    void run()
    {
        while (step()) {
        }
    }

    sqlite3_int64 integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    std::string text(int column) const
    {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return p != nullptr ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                            : std::string();
    }
    std::vector<BYTE> blob(int column) const
    {
        const auto* p = static_cast<const BYTE*>(sqlite3_column_blob(m_stmt, column));
        const auto n = static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column));
        return p != nullptr ? std::vector<BYTE>(p, p + n) : std::vector<BYTE>();
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            fail(m_db, rc);
    }

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

void exec(sqlite3* db, const char* sql)
{
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(db, rc);
}

// One transaction; rolled back unless committed. Writers begin IMMEDIATE so
// that they hold the write lock from their first read on.
class Transaction {
public:
    enum Kind { Read, Write };
    Transaction(sqlite3* db, Kind kind) : m_db(db) { exec(db, kind == Write ? "BEGIN IMMEDIATE" : "BEGIN"); }
    ~Transaction()
    {
        if (!m_done)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit()
    {
        exec(m_db, "COMMIT");
        m_done = true;
    }

private:
    sqlite3* m_db;
    bool m_done = false;
};

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM as it was when its handle was opened:
// (kernel device, COM name) pairs in value order.
using SerialCommValues = std::vector<std::pair<std::string, std::string>>;

// What a handle names.
struct KeyRef {
    enum Kind { Machine, Classes, Key, SerialComm } kind;
    sqlite3_int64 id;                                // for Key
    std::shared_ptr<const SerialCommValues> ports;  // for SerialComm
};

struct HandleState {
    KeyRef ref;
    unsigned epoch;  // the registry file it belongs to
};

// The process's registry: connection, file and open handles.
struct Registry {
    std::mutex mutex;
    sqlite3* db = nullptr;
    std::string path;  // empty until chosen
    unsigned epoch = 0;
    // HKEY values are numbers from a counter that never repeats, looked up
    // here on every use: a freed heap address could come back for the next
    // open, and a stale handle would then silently reach another key.
    std::unordered_map<std::uintptr_t, HandleState> handles;
    std::uintptr_t nextHandle = 0x10000;

    void closeDb()
    {
        if (db != nullptr)
            sqlite3_close_v2(db);
        db = nullptr;
    }
};

Registry& registry()
{
    // Never destroyed: other libraries' static destructors may still close
    // keys while the process exits.
    static auto* r = new Registry;
    return *r;
}

// Closes the connection when the process exits, so that SQLite folds its
// write-ahead log back into the file. Skipped when another thread is inside
// a call: exiting must not wait for it.
struct CloseAtExit {
    ~CloseAtExit()
    {
        Registry& r = registry();
        std::unique_lock lock(r.mutex, std::try_to_lock);
        if (lock.owns_lock())
            r.closeDb();
    }
} closeAtExit;

std::string defaultPath()
{
    if (const char* p = std::getenv("VX_REGISTRY"); p != nullptr && *p != '\0')
        return p;
    std::string config;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x != nullptr && *x != '\0') {
        config = x;
    } else {
        std::string home;
        if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0')
            home = h;
        else if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr)
            home = pw->pw_dir;
        else
            home = "/tmp";
        config = home + "/.config";
    }
    return config + "/varnex/registry.db";
}

// Switching a new file to WAL needs it to itself for a moment, and unlike
// other statements the switch answers SQLITE_BUSY at once instead of going
// through the busy handler. Processes that open a new file together meet
// here, so the switch is retried for as long as the busy time-out.
void enableWal(sqlite3* db)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
        const int rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            return;
        if ((rc & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline)
            fail(db, rc);
        sqlite3_sleep(1);
    }
}

void createSchema(sqlite3* db)
{
    Transaction tx(db, Transaction::Write);
    exec(db,
         "CREATE TABLE IF NOT EXISTS keys("
         "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
         "  parent INTEGER NOT NULL,"
         "  name TEXT NOT NULL COLLATE NOCASE,"
         "  UNIQUE(parent, name));"
         "CREATE TABLE IF NOT EXISTS \"values\"("
         "  id INTEGER PRIMARY KEY,"
         "  key INTEGER NOT NULL,"
         "  name TEXT NOT NULL COLLATE NOCASE,"
         "  type INTEGER NOT NULL,"
         "  data BLOB NOT NULL,"
         "  UNIQUE(key, name));");
    tx.commit();
}

// A file that SQLite can open but that is not a registry of ours: damaged,
// or a database of another program whose tables share our names.
struct NotOurs {
    std::string reason;
};

// Checks the file's pages and, where our tables exist, their columns;
// throws NotOurs. Only reads: a file that is not ours is left as it was.
void checkOurs(sqlite3* db)
{
    {
        Statement check(db, "PRAGMA quick_check(1)");
        const std::string verdict = check.step() ? check.text(0) : std::string("no answer");
        if (verdict != "ok")
            throw NotOurs{"damaged: " + verdict};
    }
    struct Table {
        const char* name;
        const char* columns;
    };
    for (const Table& table : {Table{"keys", "SELECT id, parent, name FROM keys LIMIT 0"},
                               Table{"values", "SELECT id, key, name, type, data FROM \"values\" LIMIT 0"}}) {
        Statement exists(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
        exists.bindText(1, table.name);
        if (!exists.step())
            continue;  // a new file: the table is made below
        sqlite3_stmt* statement = nullptr;
        const int rc = sqlite3_prepare_v2(db, table.columns, -1, &statement, nullptr);
        const std::string message = rc != SQLITE_OK ? sqlite3_errmsg(db) : "";
        sqlite3_finalize(statement);
        if (rc == SQLITE_OK)
            continue;
        if ((rc & 0xFF) == SQLITE_ERROR)
            throw NotOurs{"tables of another schema: " + message};
        fail(db, rc);
    }
}

std::string utcStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
}

// Moves a registry file that is not ours (with its write-ahead log and
// shared-memory index, which belong to it) to "<name>.corrupt-<time>", so
// that a new one can start while the old one stays for a person to look at.
// Left alone when the file at `path` is no longer the one examined (another
// process moved it first and may have started a new one).
void moveAside(const std::string& path, const struct stat& examined, const std::string& reason)
{
    struct stat now {};
    if (::stat(path.c_str(), &now) != 0 || now.st_dev != examined.st_dev || now.st_ino != examined.st_ino)
        return;
    const std::string aside = path + ".corrupt-" + utcStamp();
    if (::rename(path.c_str(), aside.c_str()) != 0) {
        platform::outputDebugLineOnce("registry: " + path + " is not a registry (" + reason +
                                      ") and cannot be moved aside: " + std::strerror(errno) + "\n");
        return;
    }
    for (const char* companion : {"-wal", "-shm"})
        ::rename((path + companion).c_str(), (aside + companion).c_str());
    OutputDebugStringA(("registry: " + path + " is not a registry (" + reason + "); moved aside to " + aside +
                        ", a new one started\n")
                           .c_str());
}

// Opens and prepares the file at `path`. Throws SqlError, or NotOurs with
// the connection closed.
sqlite3* openDatabase(const std::string& path)
{
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        SqlError e{rc, db != nullptr ? sqlite3_system_errno(db) : 0};
        sqlite3_close_v2(db);
        throw e;
    }
    try {
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        checkOurs(db);
        // WAL lets readers go on while one process writes. NORMAL sync is
        // safe in WAL mode: a crash can lose the last commits, never corrupt.
        enableWal(db);
        exec(db, "PRAGMA synchronous=NORMAL");
        createSchema(db);
    } catch (const SqlError& e) {
        sqlite3_close_v2(db);
        const int primary = e.code & 0xFF;
        if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT)
            throw NotOurs{std::string("damaged: ") + sqlite3_errstr(e.code)};
        throw;
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
    return db;
}

// The connection, opened on first use. Throws on failure and stays closed,
// so the next call tries again. A file that cannot be opened as ours is
// moved aside once and a new one started; a file that cannot be reached
// (no permission, a read-only folder) is left as it is and answers its error.
sqlite3* connection(Registry& r)
{
    if (r.db != nullptr)
        return r.db;
    if (r.path.empty())
        r.path = defaultPath();

    // The registry holds what the user configured: private to the user from
    // its folder down. A failure shows as SQLITE_CANTOPEN below.
    const std::string parent = std::filesystem::path(r.path).parent_path().string();
    if (!parent.empty())
        platform::makePrivateDirectories(parent);
    const int created = platform::openPrivateFile(r.path, O_RDWR | O_CREAT | O_EXCL);
    if (created >= 0)
        ::close(created);

    for (int attempt = 0;; ++attempt) {
        struct stat examined {};
        const bool known = ::stat(r.path.c_str(), &examined) == 0;
        try {
            r.db = openDatabase(r.path);
            return r.db;
        } catch (const NotOurs& e) {
            if (attempt > 0 || !known)
                throw SqlError{SQLITE_NOTADB, 0};
            moveAside(r.path, examined, e.reason);
            const int fresh = platform::openPrivateFile(r.path, O_RDWR | O_CREAT | O_EXCL);
            if (fresh >= 0)
                ::close(fresh);
        }
    }
}

std::vector<std::string_view> splitPath(LPCSTR path)
{
    std::vector<std::string_view> parts;
    if (path == nullptr)
        return parts;
    std::string_view rest(path);
    while (!rest.empty()) {
        const auto cut = rest.find('\\');
        const auto part = rest.substr(0, cut);
        if (!part.empty())
            parts.push_back(part);
        if (cut == std::string_view::npos)
            break;
        rest.remove_prefix(cut + 1);
    }
    return parts;
}

std::string_view valueNameOf(LPCSTR name)
{
    return name != nullptr ? std::string_view(name) : std::string_view();
}

// The sub-key `name` of `parent`, or -1 when there is none.
sqlite3_int64 findChild(sqlite3* db, sqlite3_int64 parent, std::string_view name)
{
    Statement s(db, "SELECT id FROM keys WHERE parent = ?1 AND name = ?2");
    s.bind(1, parent).bindText(2, name);
    return s.step() ? s.integer(0) : -1;
}

sqlite3_int64 createChild(sqlite3* db, sqlite3_int64 parent, std::string_view name)
{
    if (name.size() > kMaxKeyNameLength)
        throw RegError{ERROR_INVALID_PARAMETER};
    Statement s(db, "INSERT INTO keys(parent, name) VALUES(?1, ?2)");
    s.bind(1, parent).bindText(2, name).run();
    return sqlite3_last_insert_rowid(db);
}

// Follows `parts` down from `start`. Missing keys are created when `create`
// is set (and `created` tells whether the last one was); otherwise a missing
// key answers ERROR_FILE_NOT_FOUND.
sqlite3_int64 walk(sqlite3* db, sqlite3_int64 start, const std::vector<std::string_view>& parts, bool create,
                   bool* created = nullptr)
{
    sqlite3_int64 id = start;
    bool madeLast = false;
    for (const auto part : parts) {
        sqlite3_int64 child = id == kNoClassesKey ? -1 : findChild(db, id, part);
        madeLast = false;
        if (child < 0) {
            if (!create)
                throw RegError{ERROR_FILE_NOT_FOUND};
            child = createChild(db, id, part);
            madeLast = true;
        }
        id = child;
    }
    if (created != nullptr)
        *created = madeLast;
    return id;
}

const std::vector<std::string_view>& classesPath()
{
    static const std::vector<std::string_view> path{"SOFTWARE", "Classes"};
    return path;
}

// The key row a handle names, inside the caller's transaction. With
// `create`, HKEY_CLASSES_ROOT's backing key is made when it is missing;
// without, a missing one reads as kNoClassesKey (an empty key).
sqlite3_int64 locate(sqlite3* db, const KeyRef& ref, bool create)
{
    switch (ref.kind) {
    case KeyRef::Machine:
        return kMachineRoot;
    case KeyRef::Classes:
        if (create)
            return walk(db, kMachineRoot, classesPath(), true);
        try {
            return walk(db, kMachineRoot, classesPath(), false);
        } catch (const RegError&) {
            return kNoClassesKey;
        }
    case KeyRef::SerialComm:
        throw RegError{ERROR_ACCESS_DENIED};  // a view has no row; callers serve it first
    case KeyRef::Key:
        break;
    }
    Statement s(db, "SELECT 1 FROM keys WHERE id = ?1");
    s.bind(1, ref.id);
    if (!s.step())
        throw RegError{ERROR_KEY_DELETED};
    return ref.id;
}

// What `key` names, or ERROR_INVALID_HANDLE.
KeyRef resolveHandle(Registry& r, HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE)
        return {KeyRef::Machine, 0, nullptr};
    if (key == HKEY_CLASSES_ROOT)
        return {KeyRef::Classes, 0, nullptr};
    const auto it = r.handles.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == r.handles.end() || it->second.epoch != r.epoch)
        throw RegError{ERROR_INVALID_HANDLE};
    return it->second.ref;
}

HKEY newHandle(Registry& r, const KeyRef& ref)
{
    const std::uintptr_t value = r.nextHandle;
    r.handles.emplace(value, HandleState{ref, r.epoch});
    r.nextHandle += 4;
    // Stay clear of the predefined roots' values.
    if ((r.nextHandle & ~std::uintptr_t{0xFF}) == 0x80000000u)
        r.nextHandle += 0x100;
    return reinterpret_cast<HKEY>(value);
}

// Runs `body` under the registry's lock and turns every failure into a code.
template <class Body>
LONG guarded(Body&& body)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    try {
        return body(r);
    } catch (const RegError& e) {
        return e.code;
    } catch (const SqlError& e) {
        return codeFromSqlite(e);
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    } catch (...) {
        return ERROR_INTERNAL_ERROR;
    }
}

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM is not kept: it shows the serial ports
// present when it is opened, from the port listing and the COM table, and
// never touches the database, so ports are listed even when the registry
// file is read-only or cannot be opened at all. The view cannot be written.
bool isSerialCommKey(HKEY key, const std::vector<std::string_view>& parts)
{
    static const char* const path[] = {"HARDWARE", "DEVICEMAP", "SERIALCOMM"};
    if (key != HKEY_LOCAL_MACHINE || parts.size() != std::size(path))
        return false;
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (parts[i].size() != std::strlen(path[i]) || strncasecmp(parts[i].data(), path[i], parts[i].size()) != 0)
            return false;
    return true;
}

// The value `name` of a view (case-insensitive, as every value name), or null.
const std::pair<std::string, std::string>* viewValue(const KeyRef& ref, std::string_view name)
{
    for (const auto& value : *ref.ports)
        if (value.first.size() == name.size() && strncasecmp(value.first.data(), name.data(), name.size()) == 0)
            return &value;
    return nullptr;
}

// A REG_SZ value's data as stored: the text and its NUL.
std::vector<BYTE> viewData(const std::pair<std::string, std::string>& value)
{
    return std::vector<BYTE>(value.second.c_str(), value.second.c_str() + value.second.size() + 1);
}

// Opens or creates the key at `subKey` below `key` and returns a new handle.
LONG openKey(HKEY key, LPCSTR subKey, bool create, PHKEY result, LPDWORD disposition)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    const auto parts = splitPath(subKey);
    // Listed before the registry's lock is taken: the COM table reads the
    // registry's path.
    const auto serialPorts = isSerialCommKey(key, parts)
                                 ? std::make_shared<const SerialCommValues>(platform::serialCommValues())
                                 : nullptr;
    return guarded([&](Registry& r) -> LONG {
        const KeyRef base = resolveHandle(r, key);
        if (serialPorts != nullptr || (base.kind == KeyRef::SerialComm && parts.empty())) {
            *result = newHandle(r, serialPorts != nullptr ? KeyRef{KeyRef::SerialComm, 0, serialPorts} : base);
            if (disposition != nullptr)
                *disposition = REG_OPENED_EXISTING_KEY;
            return ERROR_SUCCESS;
        }
        if (base.kind == KeyRef::SerialComm)
            return create ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;  // a view has no sub-keys
        sqlite3* db = connection(r);
        if (parts.empty()) {
            // A new handle on the key itself; a view stays a view.
            Transaction tx(db, Transaction::Read);
            if (base.kind == KeyRef::Key)
                locate(db, base, false);
            tx.commit();
            *result = newHandle(r, base);
            if (disposition != nullptr)
                *disposition = REG_OPENED_EXISTING_KEY;
            return ERROR_SUCCESS;
        }
        Transaction tx(db, create ? Transaction::Write : Transaction::Read);
        bool created = false;
        const sqlite3_int64 id = walk(db, locate(db, base, create), parts, create, &created);
        tx.commit();
        *result = newHandle(r, {KeyRef::Key, id, nullptr});
        if (disposition != nullptr)
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
}

// Removes the values of `id` and of every key below it, and those keys;
// `id` itself too unless `keepRoot` is set (RegDeleteTree on a key empties
// it and leaves it in place).
void deleteSubtree(sqlite3* db, sqlite3_int64 id, bool keepRoot)
{
    static const std::string subtree =
        "WITH RECURSIVE tree(id) AS ("
        "  SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) ";
    Statement values(db, subtree + "DELETE FROM \"values\" WHERE key IN tree");
    values.bind(1, id).run();
    Statement keys(db, subtree + "DELETE FROM keys WHERE id IN tree" + (keepRoot ? " AND id <> ?1" : ""));
    keys.bind(1, id).run();
}

std::vector<BYTE> storedForm(DWORD type, const BYTE* data, DWORD size)
{
    std::vector<BYTE> bytes(data, data + size);
    // Strings always carry their terminating NUL, whether or not the
    // caller counted it, so that readers can use them as C strings.
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && (bytes.empty() || bytes.back() != 0))
        bytes.push_back(0);
    return bytes;
}

// Inserts or overwrites a value. An overwrite updates the row in place, so
// the value keeps its place in the enumeration (and the spelling of its
// name).
void writeValue(sqlite3* db, sqlite3_int64 key, std::string_view name, DWORD type, const std::vector<BYTE>& bytes)
{
    Statement update(db, "UPDATE \"values\" SET type = ?3, data = ?4 WHERE key = ?1 AND name = ?2");
    update.bind(1, key).bindText(2, name).bind(3, type).bindBlob(4, bytes).run();
    if (sqlite3_changes(db) > 0)
        return;
    Statement insert(db, "INSERT INTO \"values\"(key, name, type, data) VALUES(?1, ?2, ?3, ?4)");
    insert.bind(1, key).bindText(2, name).bind(3, type).bindBlob(4, bytes).run();
}

// Copies a name into a caller's buffer sized in characters (NUL included).
bool copyName(const std::string& name, LPSTR buffer, LPDWORD capacity)
{
    if (name.size() + 1 > *capacity)
        return false;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *capacity = static_cast<DWORD>(name.size());
    return true;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result)
{
    return openKey(key, subKey, false, result, nullptr);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, void*, PHKEY result,
                     LPDWORD disposition)
{
    return openKey(key, subKey, true, result, disposition);
}

LONG RegCloseKey(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT)
        return ERROR_SUCCESS;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.handles.erase(reinterpret_cast<std::uintptr_t>(key)) > 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size)
{
    if (data != nullptr && size == nullptr)
        return ERROR_INVALID_PARAMETER;
    return guarded([&](Registry& r) -> LONG {
        const KeyRef ref = resolveHandle(r, key);
        std::vector<BYTE> bytes;
        DWORD storedType = REG_SZ;
        if (ref.kind == KeyRef::SerialComm) {
            const auto* value = viewValue(ref, valueNameOf(valueName));
            if (value == nullptr)
                return ERROR_FILE_NOT_FOUND;
            bytes = viewData(*value);
        } else {
            sqlite3* db = connection(r);
            Transaction tx(db, Transaction::Read);
            Statement s(db, "SELECT type, data FROM \"values\" WHERE key = ?1 AND name = ?2");
            s.bind(1, locate(db, ref, false)).bindText(2, valueNameOf(valueName));
            if (!s.step())
                return ERROR_FILE_NOT_FOUND;
            bytes = s.blob(1);
            storedType = static_cast<DWORD>(s.integer(0));
        }
        if (type != nullptr)
            *type = storedType;
        const auto needed = static_cast<DWORD>(bytes.size());
        if (data != nullptr && *size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (data != nullptr && needed > 0)
            std::memcpy(data, bytes.data(), needed);
        if (size != nullptr)
            *size = needed;
        return ERROR_SUCCESS;
    });
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    if (data == nullptr && size != 0)
        return ERROR_INVALID_PARAMETER;
    if ((type == REG_DWORD && size != sizeof(DWORD)) || size > kMaxValueSize)
        return ERROR_INVALID_PARAMETER;
    const std::string_view name = valueNameOf(valueName);
    if (name.size() > kMaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    return guarded([&](Registry& r) -> LONG {
        const KeyRef ref = resolveHandle(r, key);
        if (ref.kind == KeyRef::SerialComm)
            return ERROR_ACCESS_DENIED;
        const auto bytes = storedForm(type, data, size);
        sqlite3* db = connection(r);
        Transaction tx(db, Transaction::Write);
        writeValue(db, locate(db, ref, true), name, type, bytes);
        tx.commit();
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName)
{
    return guarded([&](Registry& r) -> LONG {
        const KeyRef ref = resolveHandle(r, key);
        if (ref.kind == KeyRef::SerialComm)
            return ERROR_ACCESS_DENIED;
        sqlite3* db = connection(r);
        Transaction tx(db, Transaction::Write);
        Statement s(db, "DELETE FROM \"values\" WHERE key = ?1 AND name = ?2");
        s.bind(1, locate(db, ref, false)).bindText(2, valueNameOf(valueName)).run();
        if (sqlite3_changes(db) == 0)
            return ERROR_FILE_NOT_FOUND;
        tx.commit();
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey)
{
    if (subKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    const auto parts = splitPath(subKey);
    return guarded([&](Registry& r) -> LONG {
        const KeyRef ref = resolveHandle(r, key);
        // The roots themselves are never deleted.
        if (parts.empty() && ref.kind != KeyRef::Key)
            return ERROR_ACCESS_DENIED;
        if (ref.kind == KeyRef::SerialComm)
            return ERROR_FILE_NOT_FOUND;
        sqlite3* db = connection(r);
        Transaction tx(db, Transaction::Write);
        const sqlite3_int64 id = walk(db, locate(db, ref, false), parts, false);
        Statement children(db, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
        children.bind(1, id);
        if (children.step())
            return ERROR_ACCESS_DENIED;
        deleteSubtree(db, id, false);
        tx.commit();
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteTreeA(HKEY key, LPCSTR subKey)
{
    const auto parts = splitPath(subKey);
    return guarded([&](Registry& r) -> LONG {
        const KeyRef ref = resolveHandle(r, key);
        if (ref.kind == KeyRef::SerialComm)
            return parts.empty() ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        sqlite3* db = connection(r);
        Transaction tx(db, Transaction::Write);
        const sqlite3_int64 id = walk(db, locate(db, ref, false), parts, false);
        deleteSubtree(db, id, parts.empty());
        tx.commit();
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR keyClass, LPDWORD classSize,
                   void*)
{
    if (name == nullptr || nameSize == nullptr)
        return ERROR_INVALID_PARAMETER;
    return guarded([&](Registry& r) -> LONG {
        const KeyRef ref = resolveHandle(r, key);
        if (ref.kind == KeyRef::SerialComm)
            return ERROR_NO_MORE_ITEMS;
        sqlite3* db = connection(r);
        Transaction tx(db, Transaction::Read);
        Statement s(db, "SELECT name FROM keys WHERE parent = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
        s.bind(1, locate(db, ref, false)).bind(2, index);
        if (!s.step())
            return ERROR_NO_MORE_ITEMS;
        if (!copyName(s.text(0), name, nameSize))
            return ERROR_MORE_DATA;
        if (keyClass != nullptr && classSize != nullptr && *classSize > 0)
            keyClass[0] = '\0';
        if (classSize != nullptr)
            *classSize = 0;
        return ERROR_SUCCESS;
    });
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type, LPBYTE data,
                   LPDWORD dataSize)
{
    if (name == nullptr || nameSize == nullptr || (data != nullptr && dataSize == nullptr))
        return ERROR_INVALID_PARAMETER;
    return guarded([&](Registry& r) -> LONG {
        const KeyRef ref = resolveHandle(r, key);
        std::string valueName;
        DWORD storedType = REG_SZ;
        std::vector<BYTE> bytes;
        if (ref.kind == KeyRef::SerialComm) {
            if (index >= ref.ports->size())
                return ERROR_NO_MORE_ITEMS;
            valueName = (*ref.ports)[index].first;
            bytes = viewData((*ref.ports)[index]);
        } else {
            sqlite3* db = connection(r);
            Transaction tx(db, Transaction::Read);
            Statement s(db,
                        "SELECT name, type, data FROM \"values\" WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
            s.bind(1, locate(db, ref, false)).bind(2, index);
            if (!s.step())
                return ERROR_NO_MORE_ITEMS;
            valueName = s.text(0);
            storedType = static_cast<DWORD>(s.integer(1));
            bytes = s.blob(2);
        }
        if (!copyName(valueName, name, nameSize))
            return ERROR_MORE_DATA;
        if (type != nullptr)
            *type = storedType;
        const auto needed = static_cast<DWORD>(bytes.size());
        if (data != nullptr && *dataSize < needed) {
            *dataSize = needed;
            return ERROR_MORE_DATA;
        }
        if (data != nullptr && needed > 0)
            std::memcpy(data, bytes.data(), needed);
        if (dataSize != nullptr)
            *dataSize = needed;
        return ERROR_SUCCESS;
    });
}

LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classSize, LPDWORD, LPDWORD subKeys, LPDWORD maxSubKeyLength,
                      LPDWORD maxClassLength, LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                      LPDWORD securityDescriptor, void*)
{
    return guarded([&](Registry& r) -> LONG {
        const KeyRef ref = resolveHandle(r, key);
        // Counts and longest lengths (in bytes: names are single-byte text).
        sqlite3_int64 keyCount = 0, longestKey = 0, valueCount = 0, longestName = 0, longestData = 0;
        if (ref.kind == KeyRef::SerialComm) {
            valueCount = static_cast<sqlite3_int64>(ref.ports->size());
            for (const auto& [device, com] : *ref.ports) {
                longestName = std::max<sqlite3_int64>(longestName, static_cast<sqlite3_int64>(device.size()));
                longestData = std::max<sqlite3_int64>(longestData, static_cast<sqlite3_int64>(com.size() + 1));
            }
        } else {
            sqlite3* db = connection(r);
            Transaction tx(db, Transaction::Read);
            const sqlite3_int64 id = locate(db, ref, false);
            Statement k(db,
                        "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0) FROM keys WHERE parent = ?1");
            k.bind(1, id).step();
            Statement v(db,
                        "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0), coalesce(max(length(data)), 0) "
                        "FROM \"values\" WHERE key = ?1");
            v.bind(1, id).step();
            keyCount = k.integer(0);
            longestKey = k.integer(1);
            valueCount = v.integer(0);
            longestName = v.integer(1);
            longestData = v.integer(2);
        }
        const auto put = [](LPDWORD out, sqlite3_int64 value) {
            if (out != nullptr)
                *out = static_cast<DWORD>(value);
        };
        if (keyClass != nullptr && classSize != nullptr && *classSize > 0)
            keyClass[0] = '\0';
        put(classSize, 0);
        put(subKeys, keyCount);
        put(maxSubKeyLength, longestKey);
        put(maxClassLength, 0);
        put(values, valueCount);
        put(maxValueNameLength, longestName);
        put(maxValueLength, longestData);
        put(securityDescriptor, 0);
        return ERROR_SUCCESS;
    });
}

namespace platform {

LONG RegIncrementDword(HKEY key, LPCSTR valueName, DWORD delta, DWORD* result)
{
    const std::string_view name = valueNameOf(valueName);
    return guarded([&](Registry& r) -> LONG {
        const KeyRef ref = resolveHandle(r, key);
        if (ref.kind == KeyRef::SerialComm)
            return ERROR_ACCESS_DENIED;
        sqlite3* db = connection(r);
        Transaction tx(db, Transaction::Write);
        const sqlite3_int64 id = locate(db, ref, true);
        DWORD value = 0;
        {
            Statement s(db, "SELECT type, data FROM \"values\" WHERE key = ?1 AND name = ?2");
            s.bind(1, id).bindText(2, name);
            if (s.step()) {
                const auto bytes = s.blob(1);
                if (s.integer(0) != REG_DWORD || bytes.size() != sizeof(DWORD))
                    return ERROR_INVALID_PARAMETER;
                std::memcpy(&value, bytes.data(), sizeof value);
            }
        }
        value += delta;  // wraps, as a DWORD does
        const auto* p = reinterpret_cast<const BYTE*>(&value);
        writeValue(db, id, name, REG_DWORD, std::vector<BYTE>(p, p + sizeof value));
        tx.commit();
        if (result != nullptr)
            *result = value;
        return ERROR_SUCCESS;
    });
}

void setRegistryPath(const std::string& path)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.closeDb();
    r.path = path;
    ++r.epoch;
}

std::string registryPath()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.path.empty() ? defaultPath() : r.path;
}

}  // namespace platform
