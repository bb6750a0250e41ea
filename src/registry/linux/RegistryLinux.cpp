// The registry calls on Linux: handles over keys of the SQLite databases. A predefined root
// finds its database afresh at every use, so it follows the environment; an opened key stays
// with the database it was opened in. One lock serialises every call of the process; a
// transaction keeps it for its whole life.
#include "registry/Registry.h"

#include "base/Locations.h"
#include "registry/linux/RegStore.h"

#include <map>
#include <mutex>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

struct TRegKeyHandle {
    std::int64_t FKey = 0;
    REGSAM FAccess = 0;
    bool FPredefined = false;
    std::shared_ptr<TRegDatabase> FDb; // empty for the predefined roots
};

namespace {

TRegKeyHandle gClassesRoot{TRegDatabase::ClassesRootId, KEY_ALL_ACCESS, true, {}};
TRegKeyHandle gCurrentUser{TRegDatabase::CurrentUserId, KEY_ALL_ACCESS, true, {}};
TRegKeyHandle gLocalMachine{TRegDatabase::LocalMachineId, KEY_ALL_ACCESS, true, {}};

// Windows' own limits on the length of a key name and of a value name.
constexpr qsizetype MaxKeyNameLength = 255;
constexpr qsizetype MaxValueNameLength = 16383;
// Far above any real value; keeps a runaway caller from filling the disk through one call.
constexpr qsizetype MaxValueDataSize = 64 * 1024 * 1024;

// Any of these lets a handle remove keys below it.
constexpr REGSAM DeleteRights = DELETE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
constexpr REGSAM ViewFlags = KEY_WOW64_64KEY | KEY_WOW64_32KEY;

struct TCachedDatabase {
    std::shared_ptr<TRegDatabase> Db;
    dev_t Device;
    ino_t Inode;
};

// Never destroyed: handles held by static objects elsewhere may be closed during exit.
struct TRegistryState {
    std::recursive_mutex Lock;
    std::unordered_set<HKEY> LiveKeys;
    std::map<QString, TCachedDatabase> Databases;
};

// Lets go of the cached connections at exit, so the last process to leave folds the journal
// back into the database; a connection that an open handle still holds closes with it.
struct TCacheRelease {
    ~TCacheRelease();
};

TRegistryState& State() {
    static TRegistryState* const state = new TRegistryState;
    static TCacheRelease release;
    return *state;
}

TCacheRelease::~TCacheRelease() {
    TRegistryState& state = State();
    std::lock_guard<std::recursive_mutex> lock(state.Lock);
    for (auto& [path, cached] : state.Databases)
        if (cached.Db->Owner() != getpid())
            cached.Db->Abandon();
    state.Databases.clear();
}

bool IsPredefined(HKEY key) {
    return key == &gClassesRoot || key == &gCurrentUser || key == &gLocalMachine;
}

LONG ErrorNumber(int rc, bool write) {
    switch (rc & 0xff) {
    case SQLITE_OK:
        return ERROR_SUCCESS;
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_CANTOPEN;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_READONLY:
    case SQLITE_PROTOCOL:
        return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
    default: // not a database, damaged pages, tables of another layout
        return ERROR_BADDB;
    }
}

bool StatFile(const QString& path, struct stat* info) {
    return ::stat(path.toLocal8Bit().constData(), info) == 0;
}

// The connection to Path, reused while the file there is the one it was opened on. A
// connection inherited through fork is left to the parent and the child opens its own.
std::shared_ptr<TRegDatabase> Database(const QString& path, bool write, LONG* error) {
    auto& databases = State().Databases;
    struct stat info {};
    for (auto it = databases.begin(); it != databases.end();) {
        const bool inherited = it->second.Db->Owner() != getpid();
        if (inherited)
            it->second.Db->Abandon();
        const bool current = !inherited && StatFile(it->first, &info) &&
                             info.st_dev == it->second.Device && info.st_ino == it->second.Inode;
        if (current && it->first == path)
            return it->second.Db;
        it = current ? std::next(it) : databases.erase(it);
    }
    int rc = SQLITE_OK;
    std::shared_ptr<TRegDatabase> db = TRegDatabase::Open(path, &rc);
    if (!db || !StatFile(path, &info)) {
        *error = db ? ERROR_CANTOPEN : ErrorNumber(rc, write);
        return nullptr;
    }
    databases[path] = {db, info.st_dev, info.st_ino};
    return db;
}

// A key as one call sees it.
struct TKeyRef {
    std::shared_ptr<TRegDatabase> Db;
    std::int64_t Id = 0;
    REGSAM Access = 0;
    bool Root = false;
};

LONG Resolve(HKEY key, bool write, TKeyRef* ref) {
    if (!key)
        return ERROR_INVALID_HANDLE;
    LONG error = ERROR_SUCCESS;
    if (IsPredefined(key)) {
        ref->Db = Database(RegDatabasePath(key), write, &error);
    } else {
        if (!State().LiveKeys.count(key))
            return ERROR_INVALID_HANDLE;
        if (key->FDb->Owner() != getpid()) {
            key->FDb->Abandon();
            std::shared_ptr<TRegDatabase> db = Database(key->FDb->Path(), write, &error);
            if (!db)
                return error;
            key->FDb = db;
        }
        ref->Db = key->FDb;
    }
    if (!ref->Db)
        return error;
    ref->Id = key->FKey;
    ref->Access = key->FAccess;
    ref->Root = key->FPredefined;
    return ERROR_SUCCESS;
}

LONG SplitKeyPath(const QString& path, QStringList* names) {
    *names = path.split(u'\\', Qt::SkipEmptyParts);
    for (const QString& name : *names)
        if (name.size() > MaxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

// Runs Body, which answers a SQLite result code and may set a registry error of its own, in a
// transaction that is committed only when both are clean.
template <typename TBody> LONG Transact(TRegDatabase& db, bool write, TBody body) {
    int rc = write ? db.BeginWrite() : db.BeginRead();
    if (rc != SQLITE_OK)
        return ErrorNumber(rc, write);
    LONG result = ERROR_SUCCESS;
    rc = body(&result);
    if (rc == SQLITE_OK && result == ERROR_SUCCESS)
        rc = db.Commit();
    if (rc != SQLITE_OK || result != ERROR_SUCCESS)
        db.Rollback();
    return rc != SQLITE_OK ? ErrorNumber(rc, write) : result;
}

// Inside a transaction: the key of the handle must still exist.
int CheckAlive(const TKeyRef& ref, LONG* result) {
    bool exists = false;
    const int rc = ref.Db->KeyExists(ref.Id, &exists);
    if (rc == SQLITE_OK && !exists)
        *result = ref.Root ? ERROR_BADDB : ERROR_KEY_DELETED;
    return rc;
}

// Follows Names down from Start as far as they exist: *Reached is the last key found and
// *Depth the number of names matched.
int Walk(TRegDatabase& db, std::int64_t start, const QStringList& names, std::int64_t* reached,
         qsizetype* depth) {
    *reached = start;
    for (*depth = 0; *depth < names.size(); ++*depth) {
        std::int64_t child = 0;
        if (const int rc = db.FindChild(*reached, names[*depth], &child); rc != SQLITE_OK)
            return rc;
        if (!child)
            break;
        *reached = child;
    }
    return SQLITE_OK;
}

// Inside a transaction: checks that the handle's key still exists and follows Names below it
// as far as they exist.
int WalkFrom(const TKeyRef& ref, const QStringList& names, std::int64_t* reached, qsizetype* depth,
             LONG* result) {
    *reached = ref.Id;
    *depth = 0;
    const int rc = CheckAlive(ref, result);
    return rc != SQLITE_OK || *result != ERROR_SUCCESS
               ? rc
               : Walk(*ref.Db, ref.Id, names, reached, depth);
}

// Inside a transaction: the key that Names lead to below the handle's key.
int FindKey(const TKeyRef& ref, const QStringList& names, std::int64_t* key, LONG* result) {
    qsizetype depth = 0;
    const int rc = WalkFrom(ref, names, key, &depth, result);
    if (rc == SQLITE_OK && *result == ERROR_SUCCESS && depth < names.size())
        *result = ERROR_FILE_NOT_FOUND;
    return rc;
}

// The start of both open calls: the result cleared, the path split, the parent resolved.
LONG PrepareOpen(HKEY key, const QString& subKey, HKEY* result, QStringList* names, TKeyRef* ref) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    const LONG error = SplitKeyPath(subKey, names);
    return error != ERROR_SUCCESS ? error : Resolve(key, false, ref);
}

HKEY NewHandle(const std::shared_ptr<TRegDatabase>& db, std::int64_t key, REGSAM access) {
    HKEY handle = new TRegKeyHandle{key, access & ~ViewFlags, false, db};
    State().LiveKeys.insert(handle);
    return handle;
}

// Every call runs under the one lock, and nothing thrown inside leaves it.
template <typename TCall> LONG Guarded(TCall call) noexcept {
    try {
        std::lock_guard<std::recursive_mutex> lock(State().Lock);
        return call();
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    } catch (...) {
        return ERROR_BADDB;
    }
}

// The common frame of the calls that work on the handle's own key.
template <typename TBody> LONG KeyCall(HKEY key, REGSAM needed, bool write, TBody body) {
    TKeyRef ref;
    if (const LONG error = Resolve(key, write, &ref); error != ERROR_SUCCESS)
        return error;
    if (!(ref.Access & needed))
        return ERROR_ACCESS_DENIED;
    return Transact(*ref.Db, write, [&](LONG* result) {
        const int rc = CheckAlive(ref, result);
        return rc != SQLITE_OK || *result != ERROR_SUCCESS ? rc : body(ref, result);
    });
}

} // namespace

HKEY const HKEY_CLASSES_ROOT = &gClassesRoot;
HKEY const HKEY_CURRENT_USER = &gCurrentUser;
HKEY const HKEY_LOCAL_MACHINE = &gLocalMachine;

QString RegDatabasePath(HKEY Root) {
    if (Root == HKEY_CURRENT_USER)
        return XdgConfigHome() + QStringLiteral("/oneclick/registry.db");
    if (Root != HKEY_LOCAL_MACHINE && Root != HKEY_CLASSES_ROOT)
        return {};
    return IsRunningAsRoot() ? SystemPath(QStringLiteral("/var/lib/oneclick/registry.db"))
                             : XdgDataHome() + QStringLiteral("/oneclick/machine-registry.db");
}

LONG RegCreateKeyExW(HKEY Key, const QString& SubKey, REGSAM Desired, HKEY* Result,
                     DWORD* Disposition) {
    return Guarded([&]() -> LONG {
        QStringList names;
        TKeyRef ref;
        if (const LONG error = PrepareOpen(Key, SubKey, Result, &names, &ref))
            return error;
        // Look first without the write lock: most calls open a key that is there already.
        std::int64_t key = 0;
        qsizetype depth = 0;
        LONG error = Transact(*ref.Db, false, [&](LONG* result) {
            return WalkFrom(ref, names, &key, &depth, result);
        });
        if (error != ERROR_SUCCESS)
            return error;
        bool created = false;
        if (depth < names.size()) {
            if (!(ref.Access & KEY_CREATE_SUB_KEY))
                return ERROR_ACCESS_DENIED;
            error = Transact(*ref.Db, true, [&](LONG* result) {
                // Walk again: another process may have created part of the path meanwhile.
                int rc = WalkFrom(ref, names, &key, &depth, result);
                created = depth < names.size();
                for (; rc == SQLITE_OK && *result == ERROR_SUCCESS && depth < names.size(); ++depth)
                    rc = ref.Db->CreateChild(key, names[depth], &key);
                return rc;
            });
            if (error != ERROR_SUCCESS)
                return error;
        }
        *Result = NewHandle(ref.Db, key, Desired);
        if (Disposition)
            *Disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
}

LONG RegOpenKeyExW(HKEY Key, const QString& SubKey, REGSAM Desired, HKEY* Result) {
    return Guarded([&]() -> LONG {
        QStringList names;
        TKeyRef ref;
        if (const LONG error = PrepareOpen(Key, SubKey, Result, &names, &ref))
            return error;
        std::int64_t key = 0;
        const LONG error = Transact(
            *ref.Db, false, [&](LONG* result) { return FindKey(ref, names, &key, result); });
        if (error == ERROR_SUCCESS)
            *Result = NewHandle(ref.Db, key, Desired);
        return error;
    });
}

LONG RegCloseKey(HKEY Key) {
    return Guarded([&]() -> LONG {
        if (IsPredefined(Key))
            return ERROR_SUCCESS;
        if (!Key || !State().LiveKeys.erase(Key))
            return ERROR_INVALID_HANDLE;
        delete Key;
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueExW(HKEY Key, const QString& ValueName, DWORD* Type, QByteArray* Data) {
    return Guarded([&]() -> LONG {
        if (Type)
            *Type = REG_NONE;
        if (Data)
            Data->clear();
        return KeyCall(Key, KEY_QUERY_VALUE, false, [&](const TKeyRef& ref, LONG* result) {
            bool found = false;
            DWORD type = REG_NONE;
            QByteArray data;
            const int rc = ref.Db->GetValue(ref.Id, ValueName, &found, &type, &data);
            if (rc == SQLITE_OK && !found)
                *result = ERROR_FILE_NOT_FOUND;
            if (rc == SQLITE_OK && found) {
                if (Type)
                    *Type = type;
                if (Data)
                    *Data = data;
            }
            return rc;
        });
    });
}

LONG RegSetValueExW(HKEY Key, const QString& ValueName, DWORD Type, const QByteArray& Data) {
    return Guarded([&]() -> LONG {
        // Numbers of the wrong width would read back as some other number.
        const bool badWidth =
            (Type == REG_DWORD && Data.size() != 4) || (Type == REG_QWORD && Data.size() != 8);
        if (badWidth || ValueName.size() > MaxValueNameLength || Data.size() > MaxValueDataSize)
            return ERROR_INVALID_PARAMETER;
        return KeyCall(Key, KEY_SET_VALUE, true, [&](const TKeyRef& ref, LONG*) {
            return ref.Db->SetValue(ref.Id, ValueName, Type, Data);
        });
    });
}

LONG RegDeleteValueW(HKEY Key, const QString& ValueName) {
    return Guarded([&]() -> LONG {
        return KeyCall(Key, KEY_SET_VALUE, true, [&](const TKeyRef& ref, LONG* result) {
            bool deleted = false;
            const int rc = ref.Db->DeleteValue(ref.Id, ValueName, &deleted);
            if (rc == SQLITE_OK && !deleted)
                *result = ERROR_FILE_NOT_FOUND;
            return rc;
        });
    });
}

namespace {

// RegDeleteKeyW and RegDeleteTreeW: an empty SubKey means the handle's own key.
LONG DeleteKey(HKEY key, const QString& subKey, bool tree) {
    QStringList names;
    LONG error = SplitKeyPath(subKey, &names);
    TKeyRef ref;
    if (error != ERROR_SUCCESS || (error = Resolve(key, true, &ref)) != ERROR_SUCCESS)
        return error;
    if (!(ref.Access & DeleteRights))
        return ERROR_ACCESS_DENIED;
    // A root is never removed nor emptied as a whole: one empty name must not wipe the store.
    if (ref.Root && names.isEmpty())
        return ERROR_ACCESS_DENIED;
    return Transact(*ref.Db, true, [&](LONG* result) {
        std::int64_t target = 0;
        int rc = FindKey(ref, names, &target, result);
        if (rc != SQLITE_OK || *result != ERROR_SUCCESS)
            return rc;
        if (!tree) {
            bool hasChildren = false;
            rc = ref.Db->HasChildren(target, &hasChildren);
            if (rc == SQLITE_OK && hasChildren)
                *result = ERROR_ACCESS_DENIED;
            if (rc != SQLITE_OK || hasChildren)
                return rc;
        }
        return ref.Db->DeleteTree(target, !tree || !names.isEmpty());
    });
}

LONG ListNames(HKEY key, REGSAM needed, QStringList* names, bool subkeys) {
    if (!names)
        return ERROR_INVALID_PARAMETER;
    names->clear();
    return KeyCall(key, needed, false, [&](const TKeyRef& ref, LONG*) {
        return subkeys ? ref.Db->ChildNames(ref.Id, names) : ref.Db->ValueNames(ref.Id, names);
    });
}

} // namespace

LONG RegDeleteKeyW(HKEY Key, const QString& SubKey) {
    return Guarded([&] { return DeleteKey(Key, SubKey, false); });
}

LONG RegDeleteTreeW(HKEY Key, const QString& SubKey) {
    return Guarded([&] { return DeleteKey(Key, SubKey, true); });
}

LONG RegEnumKeys(HKEY Key, QStringList* Names) {
    return Guarded([&] { return ListNames(Key, KEY_ENUMERATE_SUB_KEYS, Names, true); });
}

LONG RegEnumValues(HKEY Key, QStringList* Names) {
    return Guarded([&] { return ListNames(Key, KEY_QUERY_VALUE, Names, false); });
}

struct TRegTransaction::TImpl {
    std::unique_lock<std::recursive_mutex> Lock;
    std::shared_ptr<TRegDatabase> Db;
};

TRegTransaction::TRegTransaction(HKEY Root) : FImpl(std::make_unique<TImpl>()) {
    FError = Guarded([&]() -> LONG {
        std::unique_lock<std::recursive_mutex> lock(State().Lock);
        if (!IsPredefined(Root))
            return ERROR_INVALID_HANDLE;
        LONG error = ERROR_SUCCESS;
        std::shared_ptr<TRegDatabase> db = Database(RegDatabasePath(Root), true, &error);
        if (!db)
            return error;
        // One outer transaction per database: a nested one would end the outer one early.
        if (db->InOuter())
            return ERROR_INVALID_PARAMETER;
        if (const int rc = db->BeginOuter(); rc != SQLITE_OK)
            return ErrorNumber(rc, true);
        FImpl->Db = std::move(db);
        FImpl->Lock = std::move(lock);
        return ERROR_SUCCESS;
    });
}

TRegTransaction::~TRegTransaction() {
    if (FImpl->Db)
        FImpl->Db->EndOuter(false);
}

LONG TRegTransaction::Commit() {
    if (!FImpl->Db)
        return FError;
    const int rc = FImpl->Db->EndOuter(true);
    FImpl->Db.reset();
    FImpl->Lock = {};
    FError = ErrorNumber(rc, true);
    return FError;
}
