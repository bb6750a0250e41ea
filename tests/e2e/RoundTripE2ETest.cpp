// The round trip of the built programs: the demo installer installs silently, then the
// uninstaller it left in the product's folder removes the product again, silently ("astart"),
// reporting the installed version to a loopback service.
#include "config/RegistryStrings.h"
#include "e2e/BuiltProgramsTest.h"
#include "platform/RegIntegration.h"
#include "registry/Registry.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <nlohmann/json.hpp>

namespace {

const QString cnSoftId = QStringLiteral("quintelzip_win");

bool WaitGone(const QString& Path) {
    for (int i = 0; i < 400 && QFileInfo::exists(Path); ++i)
        QThread::msleep(25);
    return !QFileInfo::exists(Path);
}

QStringList Entries(const QString& Dir) {
    return QDir(Dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

struct TRoundTrip {
    const char* Name;
    bool Marker;         // the package carries soft.conf
    bool KeepsSubfolder; // the whole-tree rule leaves the subfolder "common"
};

class RoundTripE2ETest : public TBuiltProgramsTest,
                         public ::testing::WithParamInterface<TRoundTrip> {
protected:
    void SetUp() override {
        TBuiltProgramsTest::SetUp();
        FServer.Reply("/api/report/uninstall", 200, R"({"code":0})");
    }

    // The demo installer, starting with the system as a Run value, with or without the marker.
    QString build(bool Marker) {
        const QString resources = SourceDir() + QStringLiteral("/resources");
        const QString packageDir = FWork + QStringLiteral("/package");
        EXPECT_EQ(
            RunProgram(QStringLiteral("cp"),
                       {QStringLiteral("-a"), resources + QStringLiteral("/package"), packageDir},
                       10000)
                .Code,
            0);
        if (Marker)
            WriteTestFile(packageDir + QStringLiteral("/soft.conf"), "");
        const QString zip = FWork + QStringLiteral("/demo.zip");
        EXPECT_EQ(RunProgram(tool(),
                             {QStringLiteral("package"), packageDir, QStringLiteral("-o"), zip},
                             60000)
                      .Code,
                  0);
        nlohmann::json config =
            nlohmann::json::parse(ReadTestFile(resources + QStringLiteral("/config.json")));
        config["RunAtStartup"] = true;
        const QString configFile = FWork + QStringLiteral("/config.json");
        WriteTestFile(configFile, QByteArray::fromStdString(config.dump()));
        const QString out = FWork + QStringLiteral("/Tavelin-setup.exe");
        EXPECT_EQ(RunProgram(tool(),
                             {QStringLiteral("installer"), QStringLiteral("--program"), setup(),
                              QStringLiteral("--config"), configFile,
                              QStringLiteral("--resource-dir"), resources,
                              QStringLiteral("--package"), zip, QStringLiteral("--service-url"),
                              FServer.BaseUrl(), QStringLiteral("--support-url"), FServer.BaseUrl(),
                              QStringLiteral("-o"), out},
                             60000)
                      .Code,
                  0);
        return out;
    }

    QString runValue() const { return RegReadStringQuiet(HKEY_CURRENT_USER, RunKeyPath, cnSoftId); }
};

TEST_P(RoundTripE2ETest, SilentUninstallRemovesWhatTheSilentInstallMade) {
    const TRoundTrip& C = GetParam();
    const QString installer = build(C.Marker);
    ASSERT_EQ(RunProgram(installer, {QStringLiteral("astart")}, 120000).Code, 0);

    const QString desktop = FEnv.Home() + QStringLiteral("/Desktop/Tavelin.desktop");
    const QString menu = FEnv.DataHome() + QStringLiteral("/applications/Tavelin");
    const QString autostart = FEnv.ConfigHome() + QStringLiteral("/autostart");
    const QString dataDir = FEnv.ConfigHome() + QStringLiteral("/quintelzip_win");
    ASSERT_TRUE(QFileInfo::exists(target() + QStringLiteral("/unin.exe")));
    ASSERT_EQ(GetInstalledVersion(cnSoftId), QStringLiteral("2.0.2.6"));
    ASSERT_FALSE(runValue().isEmpty());
    ASSERT_FALSE(Entries(autostart).isEmpty());
    ASSERT_TRUE(QFileInfo::exists(desktop));
    ASSERT_EQ(Entries(menu),
              QStringList({QStringLiteral("Tavelin.desktop"), QStringLiteral("卸载软件.desktop")}));
    WriteTestFile(dataDir + QStringLiteral("/settings.ini"), "[a]\n");
    WriteTestFile(dataDir + QStringLiteral("/cache/x.bin"), "x");
    FServer.ClearRequests();

    const QString uninstaller = target() + QStringLiteral("/unin.exe");
    ASSERT_EQ(RunProgram(uninstaller, {QStringLiteral("astart")}, 120000).Code, 0);

    // The report with the installed version, once.
    ASSERT_TRUE(FServer.WaitForRequests(1, 10000));
    const auto sent = FServer.Requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Path, "/api/report/uninstall");
    EXPECT_EQ(sent[0].QueryValue("curr_ver"), "2.0.2.6");
    EXPECT_EQ(sent[0].QueryValue("soft_id"), "quintelzip_win");

    // Entries gone; the uninstall shortcut and the menu folder stay.
    EXPECT_TRUE(GetInstalledVersion(cnSoftId).isEmpty());
    EXPECT_TRUE(GetInstalledIcon(cnSoftId).isEmpty());
    EXPECT_TRUE(runValue().isEmpty());
    EXPECT_TRUE(Entries(autostart).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(desktop));
    EXPECT_EQ(Entries(menu), QStringList({QStringLiteral("卸载软件.desktop")}));
    // The data folder emptied but kept.
    EXPECT_TRUE(QFileInfo(dataDir).isDir());
    EXPECT_TRUE(Entries(dataDir).isEmpty());

    // Files by the whole-tree rule; the uninstaller itself gone once it has ended.
    EXPECT_TRUE(WaitGone(uninstaller));
    if (C.KeepsSubfolder) {
        EXPECT_EQ(Entries(target()), QStringList({QStringLiteral("common")}));
        EXPECT_TRUE(QFileInfo::exists(target() + QStringLiteral("/common/quintel_win.exe")));
    } else {
        EXPECT_FALSE(QFileInfo::exists(target()));
    }
}

INSTANTIATE_TEST_SUITE_P(WholeTreeRule, RoundTripE2ETest,
                         ::testing::Values(TRoundTrip{"WithoutMarker", false, true},
                                           TRoundTrip{"WithMarker", true, false}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
