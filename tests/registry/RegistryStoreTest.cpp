// The registry store's files: where they are and with what mode, damaged or locked databases,
// several processes writing at once and a writer killed half-way.
#include "registry/Registry.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class RegistryStoreTest : public TIsolatedTest {
protected:
    QString UserDb() const { return FEnv.ConfigHome() + "/oneclick/registry.db"; }

    static QString Read(HKEY root, const QString& path, const QString& name) {
        TRegKey key;
        QByteArray data;
        LONG rc = RegOpenKeyExW(root, path, KEY_READ, key.out());
        if (rc == ERROR_SUCCESS)
            rc = RegQueryValueExW(key.get(), name, nullptr, &data);
        return rc == ERROR_SUCCESS ? RegDataToString(data) : QStringLiteral("<error %1>").arg(rc);
    }
    static LONG Write(HKEY root, const QString& path, const QString& name, const QString& text) {
        TRegKey key;
        LONG rc = RegCreateKeyExW(root, path, KEY_ALL_ACCESS, key.out());
        return rc == ERROR_SUCCESS ? RegSetValueExW(key.get(), name, REG_SZ, RegStringData(text))
                                   : rc;
    }
};

// A second connection of this process, as another program holding the database would be.
class TRawConnection {
public:
    explicit TRawConnection(const QString& path) { sqlite3_open(path.toUtf8().constData(), &FDb); }
    ~TRawConnection() { sqlite3_close(FDb); }
    int Exec(const char* sql) { return sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr); }

private:
    sqlite3* FDb = nullptr;
};

mode_t FileMode(const QString& path) {
    struct stat info {};
    return ::stat(path.toLocal8Bit().constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Runs Child in a forked process; answers its pid. The child ends with Child's result.
template <typename TChild> pid_t Spawn(TChild child) {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(child());
    return pid;
}

int ExitStatus(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(RegistryStoreTest, DatabasesAreCreatedPrivateWithTheirFolder) {
    ASSERT_FALSE(QFile::exists(FEnv.ConfigHome() + "/oneclick"));
    ASSERT_EQ(Write(HKEY_CURRENT_USER, "Software\\Demo", "source", "abc"), ERROR_SUCCESS);
    ASSERT_EQ(Write(HKEY_LOCAL_MACHINE, "Software\\Demo", "x", "y"), ERROR_SUCCESS);
    for (const QString& path : {UserDb(), RegDatabasePath(HKEY_LOCAL_MACHINE)}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(FileMode(path), mode_t(0600));
        // The journal of an open database is as private as the database.
        if (QFile::exists(path + "-wal")) {
            EXPECT_EQ(FileMode(path + "-wal"), mode_t(0600));
        }
    }
    // A database file that is there already is used as it stands.
    ASSERT_EQ(chmod(UserDb().toLocal8Bit().constData(), 0640), 0);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Demo", "source"), "abc");
    EXPECT_EQ(FileMode(UserDb()), mode_t(0640));
}

QByteArray DamagedSchemaPage() {
    // A sound database whose first page, past the file header, is overwritten.
    QTemporaryDir dir;
    const QString path = dir.path() + "/sound.db";
    {
        TRawConnection db(path);
        db.Exec("CREATE TABLE keys(id INTEGER PRIMARY KEY, name TEXT);"
                "INSERT INTO keys(name) VALUES ('a'), ('b');");
    }
    QByteArray bytes = ReadTestFile(path);
    for (qsizetype i = 100; i < 1000 && i < bytes.size(); ++i)
        bytes[i] = char(0xA5);
    return bytes;
}

// An SQLite file with tables of its own; Version 1 is this store's layout version.
QByteArray LaterLayout(int version) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/later.db";
    {
        TRawConnection db(path);
        db.Exec(QStringLiteral("CREATE TABLE things(x); PRAGMA user_version = %1;")
                    .arg(version)
                    .toUtf8()
                    .constData());
    }
    return ReadTestFile(path);
}

TEST_F(RegistryStoreTest, DamagedDatabasesAnswerErrorsAndStayUntouched) {
    const struct {
        const char* Name;
        QByteArray Content;
    } cases[] = {
        {"not a database", QByteArray("this is no database at all\n").repeated(200)},
        {"damaged pages", DamagedSchemaPage()},
        {"a later layout", LaterLayout(2)},
        {"this layout's number on other tables", LaterLayout(1)},
        {"a foreign file", LaterLayout(0)},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        FEnv.Set("XDG_CONFIG_HOME", FEnv.Root() + QStringLiteral("/case%1").arg(++n));
        const QString path = RegDatabasePath(HKEY_CURRENT_USER);
        WriteTestFile(path, c.Content);

        TRegKey key;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, "Software\\X", KEY_ALL_ACCESS, key.out()),
                  ERROR_BADDB);
        EXPECT_FALSE(key);
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, "Software", KEY_READ, key.out()), ERROR_BADDB);
        DWORD type = 5;
        QByteArray data("stale");
        EXPECT_EQ(RegQueryValueExW(HKEY_CURRENT_USER, "v", &type, &data), ERROR_BADDB);
        EXPECT_TRUE(data.isEmpty());
        QStringList names{"stale"};
        EXPECT_EQ(RegEnumKeys(HKEY_CURRENT_USER, &names), ERROR_BADDB);
        EXPECT_TRUE(names.isEmpty());
        EXPECT_EQ(RegSetValueExW(HKEY_CURRENT_USER, "v", REG_DWORD, RegDwordData(1)), ERROR_BADDB);
        EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, "Software"), ERROR_BADDB);
        EXPECT_EQ(ReadTestFile(path), c.Content);
    }
}

TEST_F(RegistryStoreTest, AnUnreachableFolderAnswersCantOpen) {
    WriteTestFile(FEnv.Root() + "/plain-file", "x");
    FEnv.Set("XDG_CONFIG_HOME", FEnv.Root() + "/plain-file/config");
    TRegKey key;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, "Software", KEY_ALL_ACCESS, key.out()),
              ERROR_CANTOPEN);
    EXPECT_EQ(RegSetValueExW(HKEY_CURRENT_USER, "v", REG_DWORD, RegDwordData(1)), ERROR_CANTOPEN);
    // The machine database is elsewhere and unaffected.
    EXPECT_EQ(Write(HKEY_LOCAL_MACHINE, "Software", "v", "x"), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, WritesFailWhileAnotherConnectionHoldsTheWriteLock) {
    ASSERT_EQ(Write(HKEY_CURRENT_USER, "Software\\Demo", "v", "before"), ERROR_SUCCESS);
    TRegKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, "Software\\Demo", KEY_ALL_ACCESS, key.out()),
              ERROR_SUCCESS);
    TRawConnection other(UserDb());
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);

    EXPECT_EQ(RegSetValueExW(key.get(), "v", REG_SZ, RegStringData("during")), ERROR_CANTWRITE);
    EXPECT_EQ(Write(HKEY_CURRENT_USER, "Software\\New", "v", "x"), ERROR_CANTWRITE);
    // Readers are not held up by a writer.
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Demo", "v"), "before");

    ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
    EXPECT_EQ(RegSetValueExW(key.get(), "v", REG_SZ, RegStringData("after")), ERROR_SUCCESS);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Demo", "v"), "after");
}

TEST_F(RegistryStoreTest, ReadsAndWritesFailWhileAnotherProcessHoldsTheFileExclusively) {
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const QString path = UserDb();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    // The other process holds the new database before this one first opens it.
    const pid_t holder = Spawn([&] {
        close(ready[0]);
        close(release[1]);
        TRawConnection db(path);
        if (db.Exec("BEGIN EXCLUSIVE") != SQLITE_OK)
            return 1;
        char c = 1;
        // Holds on until the other end of the pipe closes.
        if (write(ready[1], &c, 1) != 1 || read(release[0], &c, 1) != 0)
            return 2;
        return db.Exec("ROLLBACK") == SQLITE_OK ? 0 : 3;
    });
    close(ready[1]);
    close(release[0]);
    char c = 0;
    const bool locked = read(ready[0], &c, 1) == 1;
    close(ready[0]);
    if (locked) {
        EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Demo", "v"), "<error 1012>");
        EXPECT_EQ(RegSetValueExW(HKEY_CURRENT_USER, "v", REG_DWORD, RegDwordData(1)),
                  ERROR_CANTWRITE);
    }
    close(release[1]);
    ASSERT_EQ(ExitStatus(holder), 0) << "the holder could not take the lock";
    // Once the lock is gone the store works as if nothing had happened.
    EXPECT_EQ(Write(HKEY_CURRENT_USER, "Software\\Demo", "v", "new"), ERROR_SUCCESS);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Demo", "v"), "new");
}

TEST_F(RegistryStoreTest, SeveralProcessesWriteAtOnce) {
    constexpr int Processes = 4;
    constexpr int ValuesEach = 20;
    // The parent's own connection is open before the fork; the children must not share it.
    ASSERT_EQ(Write(HKEY_LOCAL_MACHINE, "Software\\Shared", "parent", "1"), ERROR_SUCCESS);
    std::vector<pid_t> children;
    for (int p = 0; p < Processes; ++p)
        children.push_back(Spawn([p] {
            for (int i = 0; i < ValuesEach; ++i) {
                const QString name = QStringLiteral("p%1_%2").arg(p).arg(i);
                if (Write(HKEY_LOCAL_MACHINE, "Software\\Shared", name, name) != ERROR_SUCCESS)
                    return 1;
                if (Write(HKEY_LOCAL_MACHINE, QStringLiteral("Software\\Own%1\\K%2").arg(p).arg(i),
                          "", name) != ERROR_SUCCESS)
                    return 2;
            }
            return 0;
        }));
    for (pid_t child : children)
        EXPECT_EQ(ExitStatus(child), 0);

    TRegKey shared;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, "Software\\Shared", KEY_READ, shared.out()),
              ERROR_SUCCESS);
    QStringList names;
    ASSERT_EQ(RegEnumValues(shared.get(), &names), ERROR_SUCCESS);
    EXPECT_EQ(names.size(), 1 + Processes * ValuesEach);
    for (int p = 0; p < Processes; ++p)
        for (int i = 0; i < ValuesEach; ++i) {
            const QString name = QStringLiteral("p%1_%2").arg(p).arg(i);
            EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "Software\\Shared", name), name);
            EXPECT_EQ(
                Read(HKEY_LOCAL_MACHINE, QStringLiteral("Software\\Own%1\\K%2").arg(p).arg(i), ""),
                name);
        }
}

TEST_F(RegistryStoreTest, AKilledWriterLosesNothingItCommitted) {
    int reports[2];
    ASSERT_EQ(pipe(reports), 0);
    const pid_t writer = Spawn([&] {
        close(reports[0]);
        TRegKey key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, "Software\\Crash", KEY_ALL_ACCESS, key.out()))
            return 1;
        // Reports every committed value, and writes on until it is killed.
        for (DWORD i = 0;; ++i) {
            if (RegSetValueExW(key.get(), QString::number(i), REG_DWORD, RegDwordData(i)) !=
                ERROR_SUCCESS)
                return 2;
            if (write(reports[1], &i, sizeof i) != sizeof i)
                return 3;
        }
    });
    close(reports[1]);
    DWORD last = 0;
    for (int n = 0; n < 30; ++n)
        ASSERT_EQ(read(reports[0], &last, sizeof last), ssize_t(sizeof last));
    kill(writer, SIGKILL);
    while (read(reports[0], &last, sizeof last) == ssize_t(sizeof last)) {
    }
    close(reports[0]);
    EXPECT_EQ(ExitStatus(writer), 128 + SIGKILL);

    TRegKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, "Software\\Crash", KEY_ALL_ACCESS, key.out()),
              ERROR_SUCCESS);
    for (DWORD i = 0; i <= last; ++i) {
        QByteArray data;
        ASSERT_EQ(RegQueryValueExW(key.get(), QString::number(i), nullptr, &data), ERROR_SUCCESS)
            << i;
        EXPECT_EQ(RegDataToDword(data), i);
    }
    EXPECT_EQ(RegSetValueExW(key.get(), "after", REG_DWORD, RegDwordData(1)), ERROR_SUCCESS);
}

} // namespace
