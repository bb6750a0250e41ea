// The installer and uninstaller in process while another program holds a registry database
// locked, and with a damaged database: what the person is shown, what ends up installed or
// removed, and that neither the other program's data nor the damaged file is lost.
#include "session/UninstallTestSupport.h"

#include "config/RegProbe.h"
#include "config/RegistryStrings.h"
#include "platform/FileUtils.h"
#include "platform/RegIntegration.h"
#include "base/Locations.h"
#include "registry/Registry.h"

#include <QProcess>
#include <QStandardPaths>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString cnSoftId = QStringLiteral("quintelzip_win");
const QString cnInUse = QStringLiteral("in use by another program");

// Another program in the middle of a transaction on a registry database: the sqlite3 program,
// which has added a key of its own below Root and holds the lock until Release.
class TStoreHolder {
public:
    // ReadersToo: even reading waits (the database must not be open in this process yet).
    TStoreHolder(const QString& Path, HKEY Root, bool ReadersToo) {
        const qint64 rootId = Root == HKEY_CURRENT_USER ? 2 : 3;
        FProcess.setProcessChannelMode(QProcess::MergedChannels);
        FProcess.start(QStringLiteral("sqlite3"), {Path});
        if (!FProcess.waitForStarted(10000))
            return;
        QByteArray script = ReadersToo ? "PRAGMA locking_mode = EXCLUSIVE;\n" : "";
        script += "BEGIN EXCLUSIVE;\n"
                  "INSERT INTO keys(parent, name, folded) VALUES (" +
                  QByteArray::number(rootId) +
                  ", 'HeldByOther', 'heldbyother');\n"
                  ".print held\n";
        FProcess.write(script);
        for (int i = 0; i < 100 && !FOutput.contains("held"); ++i) {
            FProcess.waitForReadyRead(100);
            FOutput += FProcess.readAll();
        }
    }
    ~TStoreHolder() { Release(); }
    // Taken, with nothing refused on the way.
    bool Held() const { return FOutput == "held\n" || FOutput == "exclusive\nheld\n"; }
    const QByteArray& Output() const { return FOutput; }
    // Commits and ends; true when the commit went through.
    bool Release() {
        if (FProcess.state() == QProcess::NotRunning)
            return FReleased;
        FProcess.write("COMMIT;\n.quit\n");
        FProcess.closeWriteChannel();
        FProcess.waitForFinished(10000);
        FOutput += FProcess.readAll();
        FReleased = Held() && FProcess.exitCode() == 0;
        return FReleased;
    }

private:
    QProcess FProcess;
    QByteArray FOutput;
    bool FReleased = false;
};

QString IntegrityOf(const QString& Path) {
    sqlite3* db = nullptr;
    sqlite3_open(Path.toUtf8().constData(), &db);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr);
    QString result;
    if (sqlite3_step(statement) == SQLITE_ROW)
        result =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return result;
}

// Creates Root's database in a child process, so this one has not opened it yet.
void CreateStoreElsewhere(HKEY Root) {
    const pid_t child = fork();
    if (child == 0) {
        RegWriteString(Root, QStringLiteral("SOFTWARE\\OtherProgram"), QStringLiteral("v"),
                       QStringLiteral("before"));
        _exit(0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0);
}

class StoreFaultsTest : public TSessionTest {
protected:
    void SetUp() override {
        TSessionTest::SetUp();
        if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
            GTEST_SKIP() << "the sqlite3 program is not installed";
    }

    QString zipFile() const { return GetTempDir() + cnSoftId + QStringLiteral(".zip"); }
    // The other program's data and the database's soundness, once it let go.
    void expectOtherProgramKept(HKEY Root) {
        EXPECT_EQ(IntegrityOf(RegDatabasePath(Root)), QStringLiteral("ok"));
        EXPECT_TRUE(ProbeKeyExists(Root, QStringLiteral("HeldByOther")));
        EXPECT_EQ(
            RegReadStringQuiet(Root, QStringLiteral("SOFTWARE\\OtherProgram"), QStringLiteral("v")),
            QStringLiteral("before"));
    }
    void expectProductFiles() {
        EXPECT_EQ(ReadTestFile(target() + QStringLiteral("/common/quintel_win.exe")),
                  DemoMainProgram());
        EXPECT_EQ(ReadTestFile(target() + QStringLiteral("/top.txt")), QByteArray("top"));
    }
    bool entryWhole() {
        return GetInstalledVersion(cnSoftId) == QStringLiteral("2.0.2.6") &&
               GetInstalledIcon(cnSoftId) == target() + QStringLiteral("/common/quintel_win.exe") &&
               ProbeKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath + u'\\' + cnSoftId);
    }
};

class StartWithTheUserStoreHeld : public StoreFaultsTest,
                                  public ::testing::WithParamInterface<bool> {};

TEST_P(StartWithTheUserStoreHeld, ShowsWhyQuitsAndLeavesNothingHalfDone) {
    const bool readersToo = GetParam();
    CreateStoreElsewhere(HKEY_CURRENT_USER);
    TStoreHolder holder(RegDatabasePath(HKEY_CURRENT_USER), HKEY_CURRENT_USER, readersToo);
    ASSERT_TRUE(holder.Held()) << holder.Output().toStdString();
    {
        TDialogHand hand({QStringLiteral("OK")});
        auto w = start(QStringLiteral("setup_abc.exe"), {QStringLiteral("astart")});
        ASSERT_EQ(hand.Seen().size(), 1);
        EXPECT_THAT(
            hand.Seen()[0].toStdString(),
            ::testing::AllOf(
                ::testing::HasSubstr("SOFTWARE\\quintelzip_win"),
                ::testing::HasSubstr(
                    RegErrorMessage(readersToo ? ERROR_CANTREAD : ERROR_CANTWRITE).toStdString())));
        EXPECT_TRUE(w->QuitPosted());
        EXPECT_FALSE(w->ShowMainWindow());
        EXPECT_EQ(w->InstallStatus(), 0);
    }
    WaitForHttpThreads(5000);
    EXPECT_EQ(FServer.RequestCount(), 0u);
    EXPECT_FALSE(QFileInfo::exists(target()));
    EXPECT_FALSE(QFileInfo::exists(zipFile()));

    ASSERT_TRUE(holder.Release()) << holder.Output().toStdString();
    expectOtherProgramKept(HKEY_CURRENT_USER);
    EXPECT_TRUE(RegReadStringQuiet(HKEY_CURRENT_USER, QStringLiteral("SOFTWARE\\") + cnSoftId,
                                   QStringLiteral("source"))
                    .isEmpty());

    // The next run finds a store with nothing of the broken one and installs.
    auto w = installer(QStringLiteral("setup_abc.exe"));
    w->btnInstallClick(nullptr);
    EXPECT_EQ(w->InstallStatus(), 2);
    EXPECT_TRUE(entryWhole());
    EXPECT_EQ(RegReadStringQuiet(HKEY_CURRENT_USER, QStringLiteral("SOFTWARE\\") + cnSoftId,
                                 QStringLiteral("source")),
              QStringLiteral("abc"));
}

INSTANTIATE_TEST_SUITE_P(Locks, StartWithTheUserStoreHeld, ::testing::Bool(), [](const auto& Info) {
    return std::string(Info.param ? "ReadersToo" : "WritersOnly");
});

class SetUpWithTheMachineStoreHeld : public StoreFaultsTest,
                                     public ::testing::WithParamInterface<bool> {};

TEST_P(SetUpWithTheMachineStoreHeld, AsksAgainAndRegistersWholeOrNotAtAll) {
    const bool retry = GetParam();
    RegWriteString(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\OtherProgram"),
                   QStringLiteral("v"), QStringLiteral("before"));
    TStoreHolder holder(RegDatabasePath(HKEY_LOCAL_MACHINE), HKEY_LOCAL_MACHINE, false);
    ASSERT_TRUE(holder.Held()) << holder.Output().toStdString();
    auto w = installer();
    TDialogHand hand({retry ? QStringLiteral("Yes") : QStringLiteral("No")});
    // The other program lets go while the question is up.
    if (retry)
        hand.OnDialog = [&] { holder.Release(); };
    w->btnInstallClick(nullptr);

    ASSERT_EQ(hand.Seen().size(), 1);
    EXPECT_THAT(hand.Seen()[0].toStdString(), ::testing::HasSubstr(cnInUse.toStdString()));
    EXPECT_EQ(w->InstallStatus(), 2);
    expectProductFiles();
    ASSERT_TRUE(holder.Release()) << holder.Output().toStdString();
    expectOtherProgramKept(HKEY_LOCAL_MACHINE);
    if (retry) {
        EXPECT_TRUE(entryWhole());
    } else {
        EXPECT_FALSE(ProbeKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath + u'\\' + cnSoftId));
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, SetUpWithTheMachineStoreHeld, ::testing::Bool(),
                         [](const auto& Info) {
                             return std::string(Info.param ? "RetriedWhenFree" : "GivenUp");
                         });

struct TUninstallLock {
    const char* Name;
    HKEY Root;
};

class UninstallWithAStoreHeld : public StoreFaultsTest,
                                public ::testing::WithParamInterface<TUninstallLock> {};

TEST_P(UninstallWithAStoreHeld, RemovesNothingUntilTheStoreIsFree) {
    FSpec.Config["RunAtStartup"] = true;
    ASSERT_TRUE(install());
    RegWriteString(GetParam().Root, QStringLiteral("SOFTWARE\\OtherProgram"), QStringLiteral("v"),
                   QStringLiteral("before"));
    const auto runValue = [] {
        return RegReadStringQuiet(HKEY_CURRENT_USER, RunKeyPath, cnSoftId);
    };
    ASSERT_FALSE(runValue().isEmpty());

    auto w = uninstaller();
    {
        TStoreHolder holder(RegDatabasePath(GetParam().Root), GetParam().Root, false);
        ASSERT_TRUE(holder.Held()) << holder.Output().toStdString();
        TDialogHand hand({QStringLiteral("No")});
        w->btnUninstallClick(nullptr);
        ASSERT_EQ(hand.Seen().size(), 1);
        EXPECT_THAT(hand.Seen()[0].toStdString(), ::testing::HasSubstr(cnInUse.toStdString()));
        EXPECT_EQ(w->cnMain->ActivePage(), w->tbUninstall);
        ASSERT_TRUE(holder.Release()) << holder.Output().toStdString();
    }
    expectOtherProgramKept(GetParam().Root);
    // Everything as installed: the entry and the Run value of files that are all still there.
    expectProductFiles();
    EXPECT_TRUE(entryWhole());
    EXPECT_FALSE(runValue().isEmpty());
    WaitForHttpThreads(5000);
    EXPECT_TRUE(uninstallReports().empty());

    // Once the store is free the same window uninstalls.
    TDialogHand hand({});
    w->btnUninstallClick(nullptr);
    EXPECT_TRUE(hand.Seen().isEmpty()) << hand.Seen().join(u'|').toStdString();
    EXPECT_EQ(w->cnMain->ActivePage(), w->tbUninFinish);
    EXPECT_FALSE(ProbeKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath + u'\\' + cnSoftId));
    EXPECT_TRUE(runValue().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(target() + QStringLiteral("/top.txt")));
    ASSERT_TRUE(FServer.WaitForRequests(1, 10000));
    EXPECT_EQ(uninstallReports().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Roots, UninstallWithAStoreHeld,
                         ::testing::Values(TUninstallLock{"MachineStore", HKEY_LOCAL_MACHINE},
                                           TUninstallLock{"UserStore", HKEY_CURRENT_USER}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// The damaged files: garbage, a store cut short, another program's SQLite database.
QByteArray DamagedFile(int Kind, TTempEnvironment& Env) {
    if (Kind == 0)
        return QByteArray("\x13\x37 no database here ").repeated(300);
    const QString scratch = Env.Root() + QStringLiteral("/scratch%1.db").arg(Kind);
    sqlite3* db = nullptr;
    sqlite3_open(scratch.toUtf8().constData(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent, name, folded);"
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION SELECT i + 1 FROM n WHERE i < 400) "
                 "INSERT INTO keys(parent, name, folded) SELECT 2, hex(randomblob(40)), i FROM n;",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const QByteArray whole = ReadTestFile(scratch);
    return Kind == 1 ? whole.left(whole.size() / 2) : whole;
}

struct TDamage {
    const char* Name;
    int Kind;
    HKEY Root;
};

class InstallWithADamagedStore : public StoreFaultsTest,
                                 public ::testing::WithParamInterface<TDamage> {};

TEST_P(InstallWithADamagedStore, TellsTheUserAndLeavesTheFileAsItIs) {
    const QString path = RegDatabasePath(GetParam().Root);
    const QByteArray damaged = DamagedFile(GetParam().Kind, FEnv);
    WriteTestFile(path, damaged);
    TDialogHand hand({QStringLiteral("OK")});
    const std::string corrupt = RegErrorMessage(ERROR_BADDB).toStdString();
    if (GetParam().Root == HKEY_CURRENT_USER) {
        // Without the user's store there is no channel to keep: the start-up ends.
        auto w = start(QStringLiteral("setup_abc.exe"), {QStringLiteral("astart")});
        EXPECT_TRUE(w->QuitPosted());
        EXPECT_FALSE(QFileInfo::exists(target()));
    } else {
        // The product installs; only its registration is missing, and the user is told why.
        auto w = installer();
        w->btnInstallClick(nullptr);
        EXPECT_EQ(w->InstallStatus(), 2);
        expectProductFiles();
        EXPECT_TRUE(GetInstalledVersion(cnSoftId).isEmpty());
        ASSERT_EQ(hand.Seen().size(), 1);
        EXPECT_THAT(hand.Seen()[0].toStdString(), ::testing::HasSubstr(path.toStdString()));
    }
    ASSERT_EQ(hand.Seen().size(), 1);
    EXPECT_THAT(hand.Seen()[0].toStdString(), ::testing::HasSubstr(corrupt));
    EXPECT_EQ(ReadTestFile(path), damaged);
}

INSTANTIATE_TEST_SUITE_P(Files, InstallWithADamagedStore,
                         ::testing::Values(TDamage{"UserGarbage", 0, HKEY_CURRENT_USER},
                                           TDamage{"UserCutShort", 1, HKEY_CURRENT_USER},
                                           TDamage{"UserForeign", 2, HKEY_CURRENT_USER},
                                           TDamage{"MachineGarbage", 0, HKEY_LOCAL_MACHINE},
                                           TDamage{"MachineCutShort", 1, HKEY_LOCAL_MACHINE},
                                           TDamage{"MachineForeign", 2, HKEY_LOCAL_MACHINE}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

class UninstallWithADamagedMachineStore : public StoreFaultsTest,
                                          public ::testing::WithParamInterface<int> {};

TEST_P(UninstallWithADamagedMachineStore, RemovesTheFilesAndLeavesTheFileAsItIs) {
    ASSERT_TRUE(install());
    const QString unin = target() + QStringLiteral("/unin.exe");
    // The machine's store moves to a damaged file this process has never opened.
    FEnv.Set(IsRunningAsRoot() ? "ONECLICK_SYSTEM_ROOT" : "XDG_DATA_HOME",
             FEnv.Root() + QStringLiteral("/damaged"));
    const QString path = RegDatabasePath(HKEY_LOCAL_MACHINE);
    const QByteArray damaged = DamagedFile(GetParam(), FEnv);
    WriteTestFile(path, damaged);

    SetRunningExePath(unin);
    FServer.ClearRequests();
    auto w = CreateForm<TFrmCommInst>(QStringList());
    TDialogHand hand({});
    w->btnUninstallClick(nullptr);
    EXPECT_TRUE(hand.Seen().isEmpty()) << hand.Seen().join(u'|').toStdString();
    EXPECT_EQ(w->cnMain->ActivePage(), w->tbUninFinish);
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(unin).path() + QStringLiteral("/top.txt")));
    EXPECT_EQ(ReadTestFile(path), damaged);
    // No version could be read, so nothing is reported.
    WaitForHttpThreads(5000);
    EXPECT_TRUE(uninstallReports().empty());
}

const char* const cnDamageNames[] = {"Garbage", "CutShort", "Foreign"};

INSTANTIATE_TEST_SUITE_P(Files, UninstallWithADamagedMachineStore, ::testing::Values(0, 1, 2),
                         [](const auto& Info) { return std::string(cnDamageNames[Info.param]); });

} // namespace
