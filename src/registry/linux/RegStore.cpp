// The SQLite side of the registry store. Names are kept as first written and compared through
// their case-folded form, which the unique indexes hold, so a lookup is one indexed equality.
#include "registry/linux/RegStore.h"

#include "base/Locations.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <random>
#include <sqlite3.h>
#include <unistd.h>

namespace {

constexpr int SchemaVersion = 1;
// Long enough to ride out another process's short write, short enough to answer a stuck one.
constexpr std::chrono::milliseconds BusyTimeout(2000);

const char* const SchemaSql = R"sql(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER,
  name TEXT NOT NULL,
  folded TEXT NOT NULL);
CREATE UNIQUE INDEX keys_by_name ON keys(parent, folded);
CREATE TABLE vals(
  id INTEGER PRIMARY KEY,
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL);
CREATE UNIQUE INDEX vals_by_name ON vals(key, folded);
INSERT INTO keys(id, parent, name, folded) VALUES
  (1, NULL, 'HKEY_CLASSES_ROOT', 'hkey_classes_root'),
  (2, NULL, 'HKEY_CURRENT_USER', 'hkey_current_user'),
  (3, NULL, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');
PRAGMA user_version = 1;
)sql";

// Every key below Key, found by walking parent links; UNION keeps a damaged file's loops finite.
#define SUBTREE_CTE                                                                                \
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION "                                                 \
    "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "

QString Folded(const QString& name) {
    return name.toCaseFolded();
}

// A prepared statement that finalises itself; the first failure sticks and Step reports it.
class TStatement {
public:
    TStatement(sqlite3* db, const char* sql) {
        FRc = sqlite3_prepare_v2(db, sql, -1, &FStmt, nullptr);
    }
    ~TStatement() { sqlite3_finalize(FStmt); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    void Bind(int index, std::int64_t value) {
        if (FRc == SQLITE_OK)
            FRc = sqlite3_bind_int64(FStmt, index, value);
    }
    void Bind(int index, const QString& text) {
        if (FRc == SQLITE_OK)
            FRc = sqlite3_bind_text16(FStmt, index, text.utf16(), int(text.size() * 2),
                                      SQLITE_TRANSIENT);
    }
    void Bind(int index, const QByteArray& data) {
        // constData is never null, so an empty array binds an empty blob rather than NULL.
        if (FRc == SQLITE_OK)
            FRc = sqlite3_bind_blob(FStmt, index, data.constData(), int(data.size()),
                                    SQLITE_TRANSIENT);
    }
    // SQLITE_ROW, SQLITE_DONE or the failure.
    int Step() { return FRc == SQLITE_OK ? sqlite3_step(FStmt) : FRc; }
    // For statements that return no rows.
    int Run() {
        const int rc = Step();
        return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
    }

    std::int64_t Int(int column) { return sqlite3_column_int64(FStmt, column); }
    QString Text(int column) {
        const void* text = sqlite3_column_text16(FStmt, column);
        const int bytes = sqlite3_column_bytes16(FStmt, column);
        return text ? QString(static_cast<const QChar*>(text), bytes / 2) : QString();
    }
    QByteArray Blob(int column) {
        const void* data = sqlite3_column_blob(FStmt, column);
        const int bytes = sqlite3_column_bytes(FStmt, column);
        return data ? QByteArray(static_cast<const char*>(data), bytes) : QByteArray();
    }

private:
    sqlite3_stmt* FStmt = nullptr;
    int FRc;
};

int NameList(sqlite3* db, const char* sql, std::int64_t key, QStringList* names) {
    names->clear();
    TStatement statement(db, sql);
    statement.Bind(1, key);
    int rc;
    while ((rc = statement.Step()) == SQLITE_ROW)
        names->append(statement.Text(0));
    if (rc != SQLITE_DONE)
        names->clear();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// The file gets its restrictive mode before SQLite first writes to it; SQLite gives its -wal
// and -shm companions the mode of the database file.
int CreateFileIfMissing(const QString& path) {
    if (!EnsureDir(QFileInfo(path).absolutePath()))
        return SQLITE_CANTOPEN;
    const QByteArray native = path.toLocal8Bit();
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    else if (errno != EEXIST)
        return SQLITE_CANTOPEN;
    return SQLITE_OK;
}

// A file shorter than its own header says has lost pages; SQLite would read the missing ones
// as empty only when it reaches them, and a write meanwhile would build on the loss.
bool CutShort(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const QByteArray header = file.read(100);
    // A fresh file; or a journal that still holds pages, which SQLite puts back itself.
    if (size == 0 || QFileInfo(path + QStringLiteral("-wal")).size() > 0)
        return false;
    if (header.size() < 100)
        return true;
    const auto word = [&](int at) {
        return quint32(quint8(header[at])) << 24 | quint32(quint8(header[at + 1])) << 16 |
               quint32(quint8(header[at + 2])) << 8 | quint32(quint8(header[at + 3]));
    };
    quint32 pageSize = quint32(quint8(header[16])) << 8 | quint8(header[17]);
    if (pageSize == 1)
        pageSize = 65536;
    // The page count in the header counts only when the writer that left it said so.
    const bool countValid = word(24) == word(92) && word(28) != 0;
    return countValid && qint64(word(28)) * pageSize > size;
}

} // namespace

TRegDatabase::TRegDatabase(sqlite3* Db, QString Path)
    : FDb(Db), FPath(std::move(Path)), FOwner(getpid()) {}

TRegDatabase::~TRegDatabase() {
    if (!FAbandoned)
        sqlite3_close_v2(FDb);
}

std::unique_ptr<TRegDatabase> TRegDatabase::Open(const QString& Path, int* Rc) {
    *Rc = CreateFileIfMissing(Path);
    if (*Rc == SQLITE_OK && CutShort(Path))
        *Rc = SQLITE_CORRUPT;
    if (*Rc != SQLITE_OK)
        return nullptr;
    sqlite3* db = nullptr;
    *Rc = sqlite3_open_v2(Path.toLocal8Bit().constData(), &db,
                          SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (*Rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    std::unique_ptr<TRegDatabase> database(new TRegDatabase(db, Path));
    sqlite3_extended_result_codes(db, 0);
    sqlite3_busy_handler(db, &TRegDatabase::busyWait, database.get());
    // FULL: a commit that returned has reached the disk, even across a power cut.
    *Rc = database->exec("PRAGMA synchronous = FULL");
    if (*Rc == SQLITE_OK)
        *Rc = database->prepareSchema();
    return *Rc == SQLITE_OK ? std::move(database) : nullptr;
}

int TRegDatabase::busyWait(void* Self, int Count) {
    // SQLite's own wait sleeps up to 100 ms between tries, which lets a steady stream of
    // writers in other processes starve it; short uneven waits catch the first free moment.
    auto* self = static_cast<TRegDatabase*>(Self);
    const auto now = std::chrono::steady_clock::now();
    if (Count == 0)
        self->FBusySince = now;
    if (now - self->FBusySince >= BusyTimeout)
        return 0;
    thread_local std::minstd_rand random(std::random_device{}());
    usleep(useconds_t(200 + random() % 1800));
    return 1;
}

int TRegDatabase::exec(const char* Sql) {
    return sqlite3_exec(FDb, Sql, nullptr, nullptr, nullptr);
}

int TRegDatabase::layout(int* Version, bool* Empty, bool* Ours) {
    TStatement version(FDb, "PRAGMA user_version");
    int rc = version.Step();
    *Version = rc == SQLITE_ROW ? int(version.Int(0)) : 0;
    if (rc != SQLITE_ROW)
        return rc;
    TStatement tables(FDb, "SELECT count(*), count(CASE WHEN type = 'table' AND name IN "
                           "('keys', 'vals') THEN 1 END) FROM sqlite_master");
    rc = tables.Step();
    *Empty = rc == SQLITE_ROW && tables.Int(0) == 0;
    *Ours = rc == SQLITE_ROW && *Version == SchemaVersion && tables.Int(1) == 2;
    return rc == SQLITE_ROW ? SQLITE_OK : rc;
}

int TRegDatabase::prepareSchema() {
    // Anything but a fresh file or one of this layout is left exactly as it is.
    int version = 0;
    bool empty = false, ours = false;
    int rc = layout(&version, &empty, &ours);
    if (rc != SQLITE_OK || (!ours && (version != 0 || !empty)))
        return rc != SQLITE_OK ? rc : SQLITE_NOTADB;
    rc = exec("PRAGMA journal_mode = WAL");
    if (rc != SQLITE_OK || ours)
        return rc;
    if ((rc = BeginWrite()) != SQLITE_OK)
        return rc;
    // Another process may have created the schema while this one waited for the lock.
    rc = layout(&version, &empty, &ours);
    if (rc == SQLITE_OK && version == 0 && empty)
        rc = exec(SchemaSql);
    else if (rc == SQLITE_OK && !ours)
        rc = SQLITE_NOTADB;
    if (rc == SQLITE_OK)
        rc = Commit();
    if (rc != SQLITE_OK)
        Rollback();
    return rc;
}

int TRegDatabase::BeginRead() {
    return exec(FOuter ? "SAVEPOINT call" : "BEGIN DEFERRED");
}

int TRegDatabase::BeginWrite() {
    return exec(FOuter ? "SAVEPOINT call" : "BEGIN IMMEDIATE");
}

int TRegDatabase::Commit() {
    return exec(FOuter ? "RELEASE call" : "COMMIT");
}

void TRegDatabase::Rollback() {
    if (sqlite3_get_autocommit(FDb))
        return;
    // A failed call takes back its own changes and leaves the outer transaction going.
    exec(FOuter ? "ROLLBACK TO call; RELEASE call" : "ROLLBACK");
}

int TRegDatabase::BeginOuter() {
    const int rc = exec("BEGIN IMMEDIATE");
    FOuter = rc == SQLITE_OK;
    return rc;
}

int TRegDatabase::EndOuter(bool Keep) {
    FOuter = false;
    const int rc = Keep ? exec("COMMIT") : SQLITE_OK;
    if (!sqlite3_get_autocommit(FDb))
        exec("ROLLBACK");
    return rc;
}

int TRegDatabase::KeyExists(std::int64_t Key, bool* Exists) {
    TStatement statement(FDb, "SELECT 1 FROM keys WHERE id = ?1");
    statement.Bind(1, Key);
    const int rc = statement.Step();
    *Exists = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int TRegDatabase::FindChild(std::int64_t Parent, const QString& Name, std::int64_t* Child) {
    TStatement statement(FDb, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
    statement.Bind(1, Parent);
    statement.Bind(2, Folded(Name));
    const int rc = statement.Step();
    *Child = rc == SQLITE_ROW ? statement.Int(0) : 0;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int TRegDatabase::CreateChild(std::int64_t Parent, const QString& Name, std::int64_t* Child) {
    TStatement statement(FDb, "INSERT INTO keys(parent, name, folded) VALUES (?1, ?2, ?3)");
    statement.Bind(1, Parent);
    statement.Bind(2, Name);
    statement.Bind(3, Folded(Name));
    const int rc = statement.Run();
    *Child = rc == SQLITE_OK ? sqlite3_last_insert_rowid(FDb) : 0;
    return rc;
}

int TRegDatabase::HasChildren(std::int64_t Key, bool* Any) {
    TStatement statement(FDb, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
    statement.Bind(1, Key);
    const int rc = statement.Step();
    *Any = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int TRegDatabase::ChildNames(std::int64_t Key, QStringList* Names) {
    return NameList(FDb, "SELECT name FROM keys WHERE parent = ?1 ORDER BY id", Key, Names);
}

int TRegDatabase::DeleteTree(std::int64_t Key, bool WithKey) {
    TStatement values(FDb, SUBTREE_CTE "DELETE FROM vals WHERE key IN tree");
    values.Bind(1, Key);
    const int rc = values.Run();
    if (rc != SQLITE_OK)
        return rc;
    TStatement keys(FDb, SUBTREE_CTE "DELETE FROM keys WHERE id IN tree AND (?2 OR id <> ?1)");
    keys.Bind(1, Key);
    keys.Bind(2, std::int64_t(WithKey));
    return keys.Run();
}

int TRegDatabase::GetValue(std::int64_t Key, const QString& Name, bool* Found, std::uint32_t* Type,
                           QByteArray* Data) {
    TStatement statement(FDb, "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2");
    statement.Bind(1, Key);
    statement.Bind(2, Folded(Name));
    const int rc = statement.Step();
    *Found = rc == SQLITE_ROW;
    *Type = *Found ? std::uint32_t(statement.Int(0)) : 0;
    *Data = *Found ? statement.Blob(1) : QByteArray();
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int TRegDatabase::SetValue(std::int64_t Key, const QString& Name, std::uint32_t Type,
                           const QByteArray& Data) {
    // An overwrite keeps the value's place in the enumeration and the name as first written.
    TStatement statement(FDb, "INSERT INTO vals(key, name, folded, type, data) "
                              "VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT(key, folded) "
                              "DO UPDATE SET type = excluded.type, data = excluded.data");
    statement.Bind(1, Key);
    statement.Bind(2, Name);
    statement.Bind(3, Folded(Name));
    statement.Bind(4, std::int64_t(Type));
    statement.Bind(5, Data);
    return statement.Run();
}

int TRegDatabase::DeleteValue(std::int64_t Key, const QString& Name, bool* Deleted) {
    TStatement statement(FDb, "DELETE FROM vals WHERE key = ?1 AND folded = ?2");
    statement.Bind(1, Key);
    statement.Bind(2, Folded(Name));
    const int rc = statement.Run();
    *Deleted = rc == SQLITE_OK && sqlite3_changes(FDb) > 0;
    return rc;
}

int TRegDatabase::ValueNames(std::int64_t Key, QStringList* Names) {
    return NameList(FDb, "SELECT name FROM vals WHERE key = ?1 ORDER BY id", Key, Names);
}
