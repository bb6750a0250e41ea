// The uninstaller the install leaves in the product's folder: the program with every resource
// but the package, written whole, executable, replacing whatever lay there before, and still
// able to remove the product.
#include "session/UninstallTestSupport.h"

#include "platform/RegIntegration.h"

#include <map>

namespace {

class UninstallerCopyTest : public TSessionTest {
protected:
    QString unin() const { return target() + QStringLiteral("/unin.exe"); }

    // The installer with the pictures an installer carries, added after the test's own build.
    void installWithPictures() {
        MakeInstaller(FWork, QStringLiteral("plain.exe"), FSpec);
        const QString plain = FWork + QStringLiteral("/plain.exe");
        const QString setup = FWork + QStringLiteral("/setup.exe");
        const TResourceContainer c = TResourceContainer::Read(plain);
        QFile in(plain);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        {
            TResourceWriter writer(plain, setup);
            writer.SetMode(0755);
            for (const TResourceEntry& e : c.Entries())
                writer.AddRange(e.Name, e.Type, in, e.Offset, e.Size);
            for (const char* name : {"bgpic", "logo", "btninst01"})
                writer.AddFile(QString::fromLatin1(name), QStringLiteral("file"),
                               SourceDir() + QStringLiteral("/resources/") +
                                   QString::fromLatin1(name) + QStringLiteral(".png"));
            writer.Finish();
        }
        SetRunningExePath(setup);
        // A second install is asked whether to open the earlier one: it installs again.
        TDialogHand hand({QStringLiteral("重新安装软件")});
        auto w = CreateForm<TFrmCommInst>(QStringList());
        w->tmrAutoInst->SetEnabled(false);
        w->btnInstallClick(nullptr);
        ASSERT_EQ(w->InstallStatus(), 2);
        w.reset();
        WaitForHttpThreads(5000);
    }

    // Each resource's bytes by name, and the program part, of an executable.
    static std::map<QString, QByteArray> resources(const QString& Path) {
        std::map<QString, QByteArray> found;
        const TResourceContainer c = TResourceContainer::Read(Path);
        const QByteArray bytes = ReadTestFile(Path);
        found[QStringLiteral("(program)")] = bytes.left(static_cast<qsizetype>(c.ProgramSize()));
        for (const TResourceEntry& e : c.Entries())
            found[e.Name + u'/' + e.Type] =
                bytes.mid(static_cast<qsizetype>(e.Offset), static_cast<qsizetype>(e.Size));
        return found;
    }
};

TEST_F(UninstallerCopyTest, CarriesEverythingButThePackage) {
    installWithPictures();
    ASSERT_TRUE(QFileInfo(unin()).isFile());
    EXPECT_TRUE(QFileInfo(unin()).isExecutable());

    std::map<QString, QByteArray> expected = resources(FWork + QStringLiteral("/setup.exe"));
    ASSERT_EQ(expected.erase(QStringLiteral("ZIPFILE/FILE")), 1u);
    EXPECT_EQ(resources(unin()), expected);
    EXPECT_TRUE(expected.count(QStringLiteral("BGPIC/FILE")));
    EXPECT_TRUE(expected.count(QStringLiteral("CONFIGFILE/FILE")));
    EXPECT_LT(QFileInfo(unin()).size(), QFileInfo(FWork + QStringLiteral("/setup.exe")).size());
    // Nothing half-written is left beside it.
    EXPECT_EQ(DirEntries(target()).filter(QStringLiteral("unin")),
              QStringList({QStringLiteral("unin.exe")}));
}

TEST_F(UninstallerCopyTest, ReplacesAnEarlierFileAndNeverWritesThroughALink) {
    const QString outside = FEnv.Root() + QStringLiteral("/outside.bin");
    WriteTestFile(outside, "keep me");
    QDir().mkpath(target());
    ASSERT_TRUE(QFile::link(outside, unin()));

    installWithPictures();
    EXPECT_EQ(ReadTestFile(outside), QByteArray("keep me"));
    EXPECT_FALSE(QFileInfo(unin()).isSymLink());
    const QByteArray first = ReadTestFile(unin());

    // A second install over the first: the same single container, not one stacked on another.
    installWithPictures();
    EXPECT_EQ(ReadTestFile(unin()), first);
    EXPECT_FALSE(
        TResourceContainer::Read(unin()).Find(QStringLiteral("zipfile"), QStringLiteral("file")));
}

TEST_F(UninstallerCopyTest, TheCopyStillUninstalls) {
    installWithPictures();
    ASSERT_FALSE(GetInstalledVersion(QStringLiteral("quintelzip_win")).isEmpty());

    auto w = uninstaller();
    ASSERT_FALSE(w->InstallMode());
    TDialogHand hand({});
    w->btnUninstallClick(nullptr);
    EXPECT_EQ(w->cnMain->ActivePage(), w->tbUninFinish);
    EXPECT_EQ(w->TargetDir(), target());
    EXPECT_TRUE(GetInstalledVersion(QStringLiteral("quintelzip_win")).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(target() + QStringLiteral("/top.txt")));
    ASSERT_TRUE(FServer.WaitForRequests(1, 10000));
    EXPECT_EQ(uninstallReports().size(), 1u);
}

} // namespace
