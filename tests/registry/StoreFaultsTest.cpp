// The registry store under faults of other programs: transactions over many calls seen whole or
// not at all, a transaction that cannot begin while another program holds the lock, and store
// files cut short, which are refused and left exactly as they are.
#include "config/RegProbe.h"
#include "registry/Registry.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <sqlite3.h>
#include <thread>

namespace {

// Another program's connection to a database file.
class TOtherProgram {
public:
    explicit TOtherProgram(const QString& path) { sqlite3_open(path.toUtf8().constData(), &FDb); }
    ~TOtherProgram() { sqlite3_close(FDb); }
    int Exec(const char* sql) { return sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr); }
    // The number of values stored under any key, as this program sees the file now.
    int ValueCount() {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(FDb, "SELECT count(*) FROM vals", -1, &statement, nullptr);
        const int count =
            sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
        sqlite3_finalize(statement);
        return count;
    }

private:
    sqlite3* FDb = nullptr;
};

class StoreFaultsTest : public TIsolatedTest {
protected:
    static LONG Write(HKEY root, const QString& path, const QString& name, const QString& text) {
        TRegKey key;
        const LONG rc = RegCreateKeyExW(root, path, KEY_ALL_ACCESS, key.out());
        return rc == ERROR_SUCCESS ? RegSetValueExW(key.get(), name, REG_SZ, RegStringData(text))
                                   : rc;
    }
    // An entry of three values, the way the set-up writes one.
    static void WriteEntry(const QString& version) {
        for (const char* name : {"DisplayName", "DisplayVersion", "UninstallString"})
            EXPECT_EQ(Write(HKEY_LOCAL_MACHINE, "Software\\Uninstall\\demo", name, version),
                      ERROR_SUCCESS);
    }
};

TEST_F(StoreFaultsTest, AnotherProgramSeesATransactionWholeOrNotAtAll) {
    ASSERT_EQ(Write(HKEY_LOCAL_MACHINE, "Software\\Other", "kept", "x"), ERROR_SUCCESS);
    TOtherProgram other(RegDatabasePath(HKEY_LOCAL_MACHINE));
    {
        TRegTransaction transaction(HKEY_LOCAL_MACHINE);
        ASSERT_EQ(transaction.Error(), ERROR_SUCCESS);
        WriteEntry("1");
        // A failing call takes back nothing of the calls before it.
        EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, "Software"), ERROR_ACCESS_DENIED);
        EXPECT_EQ(other.ValueCount(), 1);
        EXPECT_EQ(ProbeString(HKEY_LOCAL_MACHINE, "Software\\Uninstall\\demo", "DisplayName"),
                  QStringLiteral("1"));
        EXPECT_EQ(transaction.Commit(), ERROR_SUCCESS);
        EXPECT_EQ(other.ValueCount(), 4);
    }
    {
        // Left without Commit: as if nothing had happened.
        TRegTransaction transaction(HKEY_LOCAL_MACHINE);
        ASSERT_EQ(transaction.Error(), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, "Software\\Uninstall"), ERROR_SUCCESS);
        EXPECT_EQ(ProbeString(HKEY_LOCAL_MACHINE, "Software\\Uninstall\\demo", "DisplayName"),
                  std::nullopt);
    }
    EXPECT_EQ(other.ValueCount(), 4);
    EXPECT_EQ(ProbeString(HKEY_LOCAL_MACHINE, "Software\\Uninstall\\demo", "UninstallString"),
              QStringLiteral("1"));
    // The user's database is another file: its calls are not part of the machine's transaction.
    {
        TRegTransaction transaction(HKEY_LOCAL_MACHINE);
        EXPECT_EQ(Write(HKEY_CURRENT_USER, "Software\\Demo", "v", "own"), ERROR_SUCCESS);
    }
    EXPECT_EQ(ProbeString(HKEY_CURRENT_USER, "Software\\Demo", "v"), QStringLiteral("own"));
}

TEST_F(StoreFaultsTest, OtherThreadsWaitForTheTransactionAndStayOutOfIt) {
    ASSERT_EQ(Write(HKEY_LOCAL_MACHINE, "Software\\Other", "v", "before"), ERROR_SUCCESS);
    std::thread writer;
    {
        TRegTransaction transaction(HKEY_LOCAL_MACHINE);
        ASSERT_EQ(transaction.Error(), ERROR_SUCCESS);
        writer = std::thread(
            [] { EXPECT_EQ(Write(HKEY_LOCAL_MACHINE, "Software\\Other", "v", "thread"), 0); });
        WriteEntry("rolled back");
        // Taking this transaction back must not take the other thread's write with it.
    }
    writer.join();
    EXPECT_EQ(ProbeString(HKEY_LOCAL_MACHINE, "Software\\Other", "v"), QStringLiteral("thread"));
    EXPECT_EQ(ProbeString(HKEY_LOCAL_MACHINE, "Software\\Uninstall\\demo", "DisplayName"),
              std::nullopt);
}

TEST_F(StoreFaultsTest, ATransactionCannotBeginWhileAnotherProgramHoldsTheLock) {
    ASSERT_EQ(Write(HKEY_LOCAL_MACHINE, "Software\\Other", "v", "x"), ERROR_SUCCESS);
    TOtherProgram other(RegDatabasePath(HKEY_LOCAL_MACHINE));
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE; DELETE FROM vals;"), SQLITE_OK);
    {
        TRegTransaction transaction(HKEY_LOCAL_MACHINE);
        EXPECT_EQ(transaction.Error(), ERROR_CANTWRITE);
        EXPECT_EQ(transaction.Commit(), ERROR_CANTWRITE);
        // Nothing was begun: each call answers for itself.
        EXPECT_EQ(Write(HKEY_LOCAL_MACHINE, "Software\\Other", "w", "y"), ERROR_CANTWRITE);
        EXPECT_EQ(ProbeString(HKEY_LOCAL_MACHINE, "Software\\Other", "v"), QStringLiteral("x"));
    }
    // What the other program held is what it committed.
    ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
    EXPECT_EQ(ProbeString(HKEY_LOCAL_MACHINE, "Software\\Other", "v"), std::nullopt);
    TRegTransaction transaction(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(transaction.Error(), ERROR_SUCCESS);
    EXPECT_EQ(Write(HKEY_LOCAL_MACHINE, "Software\\Other", "v", "again"), ERROR_SUCCESS);
    EXPECT_EQ(transaction.Commit(), ERROR_SUCCESS);
    EXPECT_EQ(other.ValueCount(), 1);
}

TEST_F(StoreFaultsTest, AStoreFileCutShortIsRefusedAndLeftAsItIs) {
    // A real store of many pages, folded back from its journal into the file.
    FEnv.Set("XDG_CONFIG_HOME", FEnv.Root() + "/source");
    for (int i = 0; i < 60; ++i)
        ASSERT_EQ(Write(HKEY_CURRENT_USER, QStringLiteral("Software\\K%1").arg(i), "v",
                        QString(500, QChar(u'a' + i % 26))),
                  ERROR_SUCCESS);
    const QString source = RegDatabasePath(HKEY_CURRENT_USER);
    ASSERT_EQ(TOtherProgram(source).Exec("PRAGMA wal_checkpoint(TRUNCATE)"), SQLITE_OK);
    const QByteArray whole = ReadTestFile(source);
    ASSERT_GT(whole.size(), 16 * 4096);

    const qsizetype cuts[] = {
        50, 100, 4096, 4096 * 3, whole.size() / 2, whole.size() - 4096, whole.size() - 1};
    int n = 0;
    for (const qsizetype cut : cuts) {
        SCOPED_TRACE(cut);
        FEnv.Set("XDG_CONFIG_HOME", FEnv.Root() + QStringLiteral("/case%1").arg(++n));
        const QString path = RegDatabasePath(HKEY_CURRENT_USER);
        WriteTestFile(path, whole.left(cut));
        EXPECT_EQ(ProbeString(HKEY_CURRENT_USER, "Software\\K1", "v"), std::nullopt);
        EXPECT_EQ(Write(HKEY_CURRENT_USER, "Software\\New", "v", "x"), ERROR_BADDB);
        TRegTransaction transaction(HKEY_CURRENT_USER);
        EXPECT_EQ(transaction.Error(), ERROR_BADDB);
        EXPECT_EQ(ReadTestFile(path), whole.left(cut));
    }
}

} // namespace
