// The built installer run under a file-size limit, as on a disk that fills up: past the limit
// its writes fail instead of the system ending it, so it still reports why the install failed
// and opens the support page, and leaves no half-written file under a final name.
#include "e2e/BuiltProgramsTest.h"
#include "platform/FileUtils.h"
#include "testsupport/LoopbackServer.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

namespace {

struct TLimitCase {
    const char* Name;
    int LimitKiB;
    const char* Reason;
    bool PackageLeft;
};

class DiskFullE2ETest : public TBuiltProgramsTest,
                        public ::testing::WithParamInterface<TLimitCase> {
protected:
    void SetUp() override {
        TBuiltProgramsTest::SetUp();
        recordBrowserTo(pagesLog());
    }

    QString pagesLog() const { return FEnv.Root() + QStringLiteral("/bin/opened.log"); }

    // The demo product with 512 KiB that does not shrink and 4 MiB that does: a package of
    // about 520 KiB whose largest file is 4 MiB.
    QString package() {
        const QString source = FWork + QStringLiteral("/product");
        const QString demo = SourceDir() + QStringLiteral("/resources/package");
        QDirIterator it(demo, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString copy = source + u'/' + QDir(demo).relativeFilePath(path);
            WriteTestFile(copy, ReadTestFile(path));
            QFile::setPermissions(copy, QFile::permissions(path));
        }
        WriteTestFile(source + QStringLiteral("/data/noise.bin"),
                      QByteArray::fromStdString(NoiseBytes(512 * 1024, 5)));
        WriteTestFile(source + QStringLiteral("/data/big.bin"), QByteArray(4 * 1024 * 1024, '\0'));
        const QString out = FWork + QStringLiteral("/product.zip");
        const TProgramRun r =
            RunProgram(tool(), {QStringLiteral("package"), source, QStringLiteral("-o"), out});
        EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
        return out;
    }

    QString build(const QString& Package) {
        const QString resources = SourceDir() + QStringLiteral("/resources");
        const QString out = FWork + QStringLiteral("/setup.exe");
        const TProgramRun r = RunProgram(
            tool(), {QStringLiteral("installer"), QStringLiteral("--program"), setup(),
                     QStringLiteral("--config"), resources + QStringLiteral("/config.json"),
                     QStringLiteral("--resource-dir"), resources, QStringLiteral("--service-url"),
                     FServer.BaseUrl(), QStringLiteral("--support-url"), FServer.BaseUrl(),
                     QStringLiteral("--package"), Package, QStringLiteral("-o"), out});
        EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
        return out;
    }

    std::vector<std::string> failReasons() const {
        std::vector<std::string> reasons;
        for (const TRecordedRequest& r : FServer.Requests())
            if (r.Path == "/api/report/install_fail")
                reasons.push_back(r.QueryValue("reason"));
        return reasons;
    }

    // Waits a bounded time for Done, and no longer once Run has ended.
    static bool waitWhileRunning(QProcess& Run, const std::function<bool()>& Done) {
        for (int i = 0; i < 1200 && !Done(); ++i)
            if (Run.state() != QProcess::Running || Run.waitForFinished(50))
                break;
        return Done();
    }
};

void PrintTo(const TLimitCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

TEST_P(DiskFullE2ETest, ReportsTheFailureAndLeavesNoHalfFile) {
    const TLimitCase& c = GetParam();
    const QString zip = package();
    const QByteArray packageBytes = ReadTestFile(zip);
    // The limits of the table lie below and above it.
    ASSERT_GT(packageBytes.size(), 256 * 1024);
    ASSERT_LT(packageBytes.size(), 2048 * 1024);
    const QString installer = build(zip);
    WriteTestFile(target() + QStringLiteral("/notes/mine.txt"), QByteArray("the user's"));

    // bash's ulimit -f counts KiB; the limit passes through exec to the installer.
    QProcess run;
    run.start(QStringLiteral("/bin/bash"),
              {QStringLiteral("-c"),
               QStringLiteral("ulimit -f %1 && exec \"$0\" \"$@\"").arg(c.LimitKiB), installer,
               QStringLiteral("astart")});
    ASSERT_TRUE(run.waitForStarted());
    const bool reported = waitWhileRunning(run, [&] { return !failReasons().empty(); });
    const bool pageOpened = waitWhileRunning(run, [&] { return QFileInfo::exists(pagesLog()); });
    // It now waits on its message for someone to read it, not ended by the limit.
    const bool running = run.state() == QProcess::Running;
    run.kill();
    run.waitForFinished(10000);

    ASSERT_TRUE(reported) << run.readAllStandardError().toStdString();
    EXPECT_EQ(failReasons(), std::vector<std::string>{c.Reason});
    EXPECT_TRUE(pageOpened);
    EXPECT_TRUE(running);
    EXPECT_TRUE(ReadTestFile(pagesLog()).contains("act=insterr_cs"));

    EXPECT_EQ(ReadTestFile(target() + QStringLiteral("/notes/mine.txt")), QByteArray("the user's"));
    EXPECT_FALSE(QFileInfo::exists(target() + QStringLiteral("/data/big.bin")));
    QDirIterator it(target(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = QFileInfo(it.next()).fileName();
        EXPECT_FALSE(name.startsWith(u'.')) << "a temporary file is left: " << name.toStdString();
    }
    const QString left = GetTempDir() + QStringLiteral("quintelzip_win.zip");
    EXPECT_EQ(QFileInfo::exists(left), c.PackageLeft);
    if (c.PackageLeft) {
        EXPECT_EQ(ReadTestFile(left), packageBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, DiskFullE2ETest,
    ::testing::Values(TLimitCase{"BelowThePackage", 256, "CreateResFile", false},
                      TLimitCase{"BelowTheLargestProductFile", 2048, "unzip_failed", true}),
    [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
