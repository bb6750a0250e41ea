// Start-up of the installer window: the mode from the exact file name, the command-line words,
// the channel that installs by itself, the missing configuration, the earlier install and the
// product name carried in the file name.
#include "session/InstallTestSupport.h"

#include "platform/RegIntegration.h"
#include "service/HttpUtils.h"
#include "session/UntMain.h"
#include "support/Cipher.h"
#include "support/Constants.h"
#include "testsupport/LoopbackServer.h"

#include <QDir>
#include <QFileInfo>

namespace {

using StartUpTest = TInstallerTest;

struct TModeCase {
    const char* Name;
    QString FileName;
    QStringList Args;
    bool InstallMode;
    bool Shown;
    bool AutoInstall;
};

class StartUpModeTest : public StartUpTest, public ::testing::WithParamInterface<TModeCase> {};

TEST_P(StartUpModeTest, FileNameAndArgumentsChooseModeWindowAndTimer) {
    const TModeCase& c = GetParam();
    auto w = start(c.FileName, c.Args);
    EXPECT_EQ(w->InstallMode(), c.InstallMode);
    EXPECT_EQ(w->ShowMainWindow(), c.Shown);
    EXPECT_EQ(w->tmrAutoInst->Enabled(), c.AutoInstall);
    EXPECT_FALSE(w->QuitPosted());
    EXPECT_EQ(w->cnMain->ActivePage(), c.InstallMode ? w->tbInstall : w->tbUninstall);
    EXPECT_EQ(w->height(), TFrmCommInstLayout::cnCollapsedHeight);
    EXPECT_EQ(w->lblTitle->Caption(), QStringLiteral("Tavelin"));
}

const TModeCase cnModes[] = {
    {"plain", QStringLiteral("setup.exe"), {}, true, true, false},
    {"channel", QStringLiteral("setup_abc.exe"), {}, true, true, true},
    {"unin_case", QStringLiteral("Unin.exe"), {}, true, true, false},
    {"uninstaller", QStringLiteral("unin.exe"), {}, false, true, false},
    {"astart", QStringLiteral("setup.exe"), {QStringLiteral("astart")}, true, false, true},
    {"astart_case", QStringLiteral("setup.exe"), {QStringLiteral("Astart")}, true, true, false},
    {"switch", QStringLiteral("setup.exe"), {DecryptConstText(cnSwitchS)}, true, true, true},
    {"astart_uninstaller",
     QStringLiteral("unin.exe"),
     {QStringLiteral("astart")},
     false,
     false,
     true},
};

INSTANTIATE_TEST_SUITE_P(Modes, StartUpModeTest, ::testing::ValuesIn(cnModes),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(StartUpTest, InstallModeMakesTheDefaultFolderAndReportsPreinstall) {
    auto w = start(QStringLiteral("setup.exe"));
    const QString dir = FEnv.DataHome() + QStringLiteral("/Tavelin");
    EXPECT_EQ(w->edtPath->text(), dir);
    EXPECT_TRUE(QFileInfo(dir).isDir());
    ASSERT_TRUE(FServer.WaitForRequests(1, 5000));
    EXPECT_EQ(FServer.Requests()[0].Path, "/api/report/preinstall");
}

TEST_F(StartUpTest, EmptyConfigurationShowsAMessageAndQuits) {
    FSpec.Config = nullptr;
    TDialogHand hand({QStringLiteral("确定")});
    auto w = start(QStringLiteral("setup.exe"));
    EXPECT_EQ(hand.Seen(), QStringList{QStringLiteral("config data is empty")});
    EXPECT_TRUE(w->QuitPosted());
    EXPECT_EQ(w->ConfigFile(), nullptr);
    EXPECT_EQ(FServer.RequestCount(), 0u);
}

TEST_F(StartUpTest, EarlierInstallOpenedOrReinstalled) {
    // The earlier install's program leaves a marker when opened.
    const QString old = FEnv.Root() + QStringLiteral("/old/app.sh");
    const QString marker = FEnv.Root() + QStringLiteral("/old/opened");
    WriteTestFile(old, QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8());
    QFile::setPermissions(old, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    WriteUninstallEntry(QStringLiteral("quintelzip_win"), QStringLiteral("Tavelin"), old,
                        FEnv.Root() + QStringLiteral("/old"), QStringLiteral("1.0"),
                        QStringLiteral(" "));
    const QString prompt = QStringLiteral("检测到计算机中已存在此软件，是否为您更新到最新版本？");
    {
        TDialogHand hand({QStringLiteral("重新安装软件")});
        auto w = start(QStringLiteral("setup.exe"));
        EXPECT_EQ(hand.Seen(), QStringList{prompt});
        EXPECT_FALSE(w->QuitPosted());
        EXPECT_TRUE(w->ShowMainWindow());
        EXPECT_EQ(w->edtPath->text(), FEnv.DataHome() + QStringLiteral("/Tavelin"));
    }
    {
        TDialogHand hand({QStringLiteral("打开软件")});
        auto w = start(QStringLiteral("setup.exe"));
        EXPECT_EQ(hand.Seen(), QStringList{prompt});
        EXPECT_TRUE(w->QuitPosted());
        EXPECT_FALSE(w->ShowMainWindow());
        for (int i = 0; i < 200 && !QFileInfo::exists(marker); ++i)
            QThread::msleep(25);
        EXPECT_TRUE(QFileInfo::exists(marker));
    }
}

TEST_F(StartUpTest, ProductNameFromTheFileNameTakesTitleAndShortcut) {
    FSpec.Config["SoftId"] = DecryptConstText(cnSoftIdA).toStdString();
    const QString keyword = DecryptConstText(cnKeywordK1);
    ASSERT_FALSE(keyword.isEmpty());
    auto w = start(QStringLiteral("Fenwick_T") + keyword + QStringLiteral(".exe"));
    EXPECT_EQ(w->lblNameFromExe->Caption(), QStringLiteral("Fenwick"));
    EXPECT_EQ(w->lblTitle->Caption(), QStringLiteral("Fenwick"));
    EXPECT_TRUE(w->lblBigTitle->isHidden());
    EXPECT_EQ(w->lblNameFromExe->y(), w->lblBigTitle->y());
    EXPECT_EQ(w->ConfigFile()->ShortcutName, QStringLiteral("Fenwick"));

    // Another product keeps its configured name, even under the same file name.
    FSpec.Config["SoftId"] = "plainproduct";
    auto other = start(QStringLiteral("Fenwick_T") + keyword + QStringLiteral(".exe"));
    EXPECT_TRUE(other->lblNameFromExe->Caption().isEmpty());
    EXPECT_FALSE(other->lblBigTitle->isHidden());
    EXPECT_EQ(other->ConfigFile()->ShortcutName, QStringLiteral("Tavelin"));
}

} // namespace
