// Two built installers of the same product started together, silently, for the same person:
// they take turns, and the product ends up installed once and whole, with whole registry
// entries, a report of every stage from each, and nothing left over in the temporary folder.
#include "config/RegistryStrings.h"
#include "e2e/BuiltProgramsTest.h"
#include "platform/FileUtils.h"
#include "platform/RegIntegration.h"
#include "registry/Registry.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString cnSoftId = QStringLiteral("quintelzip_win");

class ConcurrentInstallE2ETest : public TBuiltProgramsTest {
protected:
    QString FPackageDir = FWork + QStringLiteral("/package");

    void SetUp() override {
        TBuiltProgramsTest::SetUp();
        if (IsSkipped())
            return;
        FEnv.Set("PATH", QStringLiteral("/usr/bin:/bin"));
        // The demo product with a large file, so that the package takes a while to write and
        // to extract.
        ASSERT_EQ(RunProgram(QStringLiteral("cp"),
                             {QStringLiteral("-a"),
                              SourceDir() + QStringLiteral("/resources/package"), FPackageDir})
                      .Code,
                  0);
        QByteArray big(12 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(big.data()), big.size() / 4);
        WriteTestFile(FPackageDir + QStringLiteral("/data/big.bin"), big);
    }

    QString build(const QString& FileName) {
        const QString zip = FWork + QStringLiteral("/demo.zip");
        const TProgramRun packed =
            RunProgram(tool(), {QStringLiteral("package"), FPackageDir, QStringLiteral("-o"), zip});
        EXPECT_EQ(packed.Code, 0) << packed.Err.toStdString();
        const QString resources = SourceDir() + QStringLiteral("/resources");
        const QString out = FWork + u'/' + FileName;
        const TProgramRun built = RunProgram(
            tool(),
            {QStringLiteral("installer"), QStringLiteral("--program"), setup(),
             QStringLiteral("--config"), resources + QStringLiteral("/config.json"),
             QStringLiteral("--resource-dir"), resources, QStringLiteral("--package"), zip,
             QStringLiteral("--service-url"), FServer.BaseUrl(), QStringLiteral("--support-url"),
             FServer.BaseUrl(), QStringLiteral("-o"), out});
        EXPECT_EQ(built.Code, 0) << built.Err.toStdString();
        return out;
    }

    int reportsTo(const std::string& Path, const std::string& Event = {}) const {
        int count = 0;
        for (const TRecordedRequest& r : FServer.Requests())
            count += r.Path == Path && (Event.empty() || r.QueryValue("event_id") == Event);
        return count;
    }
};

TEST_F(ConcurrentInstallE2ETest, TwoInstallersTakeTurnsAndInstallOnceAndWhole) {
    const QString installer = build(QStringLiteral("setup_abc.exe"));
    // A third installer is in the middle of its install until both have started theirs, so
    // that both are under way at once when it is done.
    auto earlier = std::make_unique<QLockFile>(GetTempDir() + cnSoftId + QStringLiteral(".lock"));
    earlier->setStaleLockTime(0);
    ASSERT_TRUE(earlier->tryLock(0));

    QProcess runs[2];
    for (QProcess& run : runs) {
        run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        run.start(installer, {QStringLiteral("astart")});
        ASSERT_TRUE(run.waitForStarted(10000));
    }
    ASSERT_TRUE(RunEventLoopUntil([&] { return reportsTo("/api/report/install") == 2; }, 60000));
    earlier.reset();
    for (QProcess& run : runs) {
        const bool ended = run.waitForFinished(120000);
        if (!ended)
            run.kill();
        EXPECT_TRUE(ended) << "an installer did not end";
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), 0);
    }

    // Every file of the package, byte for byte, and the uninstaller beside them.
    int files = 0;
    QDirIterator it(FPackageDir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString installed = target() + source.mid(FPackageDir.size());
        EXPECT_TRUE(ReadTestFile(installed) == ReadTestFile(source)) << installed.toStdString();
        ++files;
    }
    EXPECT_GE(files, 2);
    EXPECT_TRUE(QFileInfo(target() + QStringLiteral("/unin.exe")).isExecutable());

    // The entries, whole.
    EXPECT_EQ(GetInstalledVersion(cnSoftId), QStringLiteral("2.0.2.6"));
    EXPECT_EQ(GetInstalledIcon(cnSoftId), target() + QStringLiteral("/common/quintel_win.exe"));
    EXPECT_EQ(RegReadStringQuiet(HKEY_LOCAL_MACHINE, UninstallKeyPath + u'\\' + cnSoftId,
                                 QStringLiteral("UninstallString")),
              NativePath(target()) + QStringLiteral("\\unin.exe"));
    EXPECT_EQ(RegReadStringQuiet(HKEY_CURRENT_USER, QStringLiteral("SOFTWARE\\") + cnSoftId,
                                 QStringLiteral("source")),
              QStringLiteral("abc"));

    // Each installer reported every stage and no failure.
    EXPECT_TRUE(FServer.WaitForRequests(6, 10000));
    EXPECT_EQ(reportsTo("/api/report/preinstall"), 2);
    EXPECT_EQ(reportsTo("/api/report/install"), 2);
    EXPECT_EQ(reportsTo("/api/report/event", "install_end"), 2);
    EXPECT_EQ(reportsTo("/api/report/install_fail"), 0);

    // Only the one package the last install used, whole.
    EXPECT_EQ(QDir(GetTempDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{cnSoftId + QStringLiteral(".zip")});
    EXPECT_TRUE(ReadTestFile(GetTempDir() + cnSoftId + QStringLiteral(".zip")) ==
                ReadTestFile(FWork + QStringLiteral("/demo.zip")));
}

TEST_F(ConcurrentInstallE2ETest, AnInstallerThatDiedHoldsNobodyUp) {
    const QString installer = build(QStringLiteral("setup_abc.exe"));
    // An installer killed in the middle of its install leaves its lock file behind.
    const QString lockPath = GetTempDir() + cnSoftId + QStringLiteral(".lock");
    const pid_t child = fork();
    if (child == 0) {
        auto* lock = new QLockFile(lockPath);
        _exit(lock->tryLock(0) ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(QFileInfo::exists(lockPath));

    const TProgramRun run = RunProgram(installer, {QStringLiteral("astart")}, 120000);
    EXPECT_EQ(run.Code, 0) << run.Err.toStdString();
    EXPECT_EQ(GetInstalledVersion(cnSoftId), QStringLiteral("2.0.2.6"));
    EXPECT_TRUE(ReadTestFile(target() + QStringLiteral("/data/big.bin")) ==
                ReadTestFile(FPackageDir + QStringLiteral("/data/big.bin")));
    EXPECT_FALSE(QFileInfo::exists(lockPath));
}

} // namespace
