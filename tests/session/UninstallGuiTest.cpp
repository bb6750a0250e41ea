// The uninstaller run in process, as a person runs it: a click on "卸载软件", the removal steps
// with their report, the finish page, then "退出" with its farewell page; an entry removed by
// hand; and the refusal to empty a person's own folders.
#include "session/UninstallTestSupport.h"

#include "config/RegistryStrings.h"
#include "platform/RegIntegration.h"

#include <QTest>

namespace {

const QString cnKeptNote = QStringLiteral("为保护您的文件");

class UninstallTest : public TSessionTest {
protected:
    QString desktopEntry() const {
        return FEnv.Home() + QStringLiteral("/Desktop/Tavelin.desktop");
    }
    QString menu() const { return FEnv.DataHome() + QStringLiteral("/applications/Tavelin"); }
    QString dataDir() const { return FEnv.ConfigHome() + QStringLiteral("/quintelzip_win"); }
    QString runValue() const {
        return RegReadStringQuiet(HKEY_CURRENT_USER, RunKeyPath, QStringLiteral("quintelzip_win"));
    }
};

TEST_F(UninstallTest, ClickUninstallThenExit) {
    FSpec.Config["RunAtStartup"] = true;
    FSpec.Config["OpenWebsiteAfterUninstall"] =
        "http://127.0.0.1:9/bye?v=[VERSION]&again=[version]";
    ASSERT_TRUE(install());
    ASSERT_FALSE(runValue().isEmpty());
    WriteTestFile(dataDir() + QStringLiteral("/sub/settings.ini"), "[a]\n");

    auto w = uninstaller();
    ASSERT_FALSE(w->InstallMode());
    ASSERT_EQ(w->cnMain->ActivePage(), w->tbUninstall);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    TDialogHand hand({});
    QTest::mouseClick(w->btnUninstall, Qt::LeftButton);

    EXPECT_TRUE(hand.Seen().isEmpty()) << hand.Seen().join(u'|').toStdString();
    EXPECT_EQ(w->cnMain->ActivePage(), w->tbUninFinish);
    EXPECT_EQ(w->pbUninstall->Position(), 100);
    EXPECT_TRUE(w->imgbtnClose->isEnabled());
    EXPECT_EQ(w->TargetDir(), target());

    ASSERT_TRUE(FServer.WaitForRequests(1, 10000));
    const auto sent = uninstallReports();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].QueryValue("curr_ver"), "2.0.2.6");

    EXPECT_TRUE(GetInstalledVersion(QStringLiteral("quintelzip_win")).isEmpty());
    EXPECT_TRUE(runValue().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(desktopEntry()));
    EXPECT_EQ(DirEntries(menu()), QStringList({QStringLiteral("卸载软件.desktop")}));
    EXPECT_TRUE(DirEntries(dataDir()).isEmpty());
    EXPECT_TRUE(QFileInfo(dataDir()).isDir());
    // "quin" without soft.conf: the top level goes, the subfolder stays.
    EXPECT_EQ(DirEntries(target()), QStringList({QStringLiteral("common")}));

    QTest::mouseClick(w->btnUninExit, Qt::LeftButton);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(FBrowser.Pages(1),
              QStringList({QStringLiteral("http://127.0.0.1:9/bye?v=2.0.2.6&again=2.0.2.6")}));
}

TEST_F(UninstallTest, EntryRemovedByHandMeansNoReport) {
    ASSERT_TRUE(install());
    DeleteUninstallEntry(QStringLiteral("quintelzip_win"));
    auto w = uninstaller();
    w->btnUninstallClick(nullptr);
    QTest::qWait(300); // a report would be on its way by now
    EXPECT_TRUE(uninstallReports().empty());
    EXPECT_FALSE(QFileInfo::exists(desktopEntry()));
    EXPECT_EQ(DirEntries(target()), QStringList({QStringLiteral("common")}));
}

TEST_F(UninstallTest, PersonalFoldersAreNeverEmptied) {
    // A data folder that is the whole ~/.config, and the uninstaller copied into Downloads.
    FSpec.Config["ConfigPathForUinstall"] = "%appdata%";
    FSpec.Config["SoftId"] = "tavelin_win"; // no "quin": the whole tree would go
    ASSERT_TRUE(install());
    const QString downloads = FEnv.Home() + QStringLiteral("/Downloads");
    WriteTestFile(downloads + QStringLiteral("/holiday.jpg"), "jpg");
    WriteTestFile(downloads + QStringLiteral("/papers/tax.pdf"), "pdf");
    const QStringList configBefore = DirEntries(FEnv.ConfigHome());
    ASSERT_FALSE(configBefore.isEmpty());

    auto w = uninstaller(downloads + QStringLiteral("/unin.exe"));
    TDialogHand hand({QStringLiteral("确定")});
    w->btnUninstallClick(nullptr);

    ASSERT_EQ(hand.Seen().size(), 1);
    EXPECT_TRUE(hand.Seen()[0].contains(cnKeptNote)) << hand.Seen()[0].toStdString();
    EXPECT_TRUE(hand.Seen()[0].contains(downloads));
    EXPECT_TRUE(hand.Seen()[0].contains(FEnv.ConfigHome()));
    EXPECT_EQ(ReadTestFile(downloads + QStringLiteral("/holiday.jpg")), "jpg");
    EXPECT_EQ(ReadTestFile(downloads + QStringLiteral("/papers/tax.pdf")), "pdf");
    EXPECT_TRUE(QFileInfo::exists(downloads + QStringLiteral("/unin.exe")));
    EXPECT_EQ(DirEntries(FEnv.ConfigHome()), configBefore);
    // The entries still go.
    EXPECT_TRUE(GetInstalledVersion(QStringLiteral("tavelin_win")).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(desktopEntry()));
    EXPECT_EQ(w->cnMain->ActivePage(), w->tbUninFinish);
}

} // namespace
