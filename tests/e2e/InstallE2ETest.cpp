// The built installer run as a person's machine runs it: made by oneclick-build from the demo
// product, started under a file name with a channel and a keyword id, against a loopback
// service that records every request.
#include "config/RegistryStrings.h"
#include "e2e/BuiltProgramsTest.h"
#include "platform/RegIntegration.h"
#include "resources/ResourceContainer.h"
#include "registry/Registry.h"
#include "support/Cipher.h"
#include "support/Constants.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QThread>

namespace {

class InstallE2ETest : public TBuiltProgramsTest {
protected:
    QString FResources = SourceDir() + QStringLiteral("/resources");

    void SetUp() override {
        TBuiltProgramsTest::SetUp();
        // The support page goes to a browser that only notes it.
        recordBrowserTo(FEnv.Root() + QStringLiteral("/bin/opened.log"));
    }

    QString package() {
        const QString out = FWork + QStringLiteral("/demo.zip");
        const TProgramRun r =
            RunProgram(tool(),
                       {QStringLiteral("package"), FResources + QStringLiteral("/package"),
                        QStringLiteral("-o"), out},
                       60000);
        EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
        return out;
    }

    // The demo installer under FileName; with a package unless Web.
    QString build(const QString& FileName, bool Web) {
        const QString out = FWork + u'/' + FileName;
        QStringList args{QStringLiteral("installer"),
                         QStringLiteral("--program"),
                         setup(),
                         QStringLiteral("--config"),
                         FResources + QStringLiteral("/config.json"),
                         QStringLiteral("--resource-dir"),
                         FResources,
                         QStringLiteral("--service-url"),
                         FServer.BaseUrl(),
                         QStringLiteral("--support-url"),
                         FServer.BaseUrl(),
                         QStringLiteral("-o"),
                         out};
        if (!Web)
            args << QStringLiteral("--package") << package();
        const TProgramRun r = RunProgram(tool(), args, 60000);
        EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
        return out;
    }

    std::vector<TRecordedRequest> reports() const {
        std::vector<TRecordedRequest> found;
        for (const TRecordedRequest& r : FServer.Requests())
            if (r.Path.rfind("/api/report/", 0) == 0)
                found.push_back(r);
        return found;
    }

    QString marker() const { return FEnv.Home() + QStringLiteral("/.quintel-demo-started"); }

    bool waitFor(const QString& Path) const {
        for (int i = 0; i < 200 && !QFileInfo::exists(Path); ++i)
            QThread::msleep(25);
        return QFileInfo::exists(Path);
    }
};

TEST_F(InstallE2ETest, AstartInstallsTheEmbeddedPackageWithoutAWindow) {
    const QString installer = build(QStringLiteral("setup-k778_abc.exe"), false);
    const TProgramRun r = RunProgram(installer, {QStringLiteral("astart")}, 120000);
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();

    // Files, the uninstaller beside them, the menu and desktop entries.
    EXPECT_TRUE(QFileInfo(target() + QStringLiteral("/common/quintel_win.exe")).isExecutable());
    // The uninstaller carries the installer's resources but the package.
    const TResourceContainer unin =
        TResourceContainer::Read(target() + QStringLiteral("/unin.exe"));
    EXPECT_TRUE(unin.Find(QStringLiteral("configfile"), QStringLiteral("file")));
    EXPECT_FALSE(unin.Find(QStringLiteral("zipfile"), QStringLiteral("file")));
    EXPECT_TRUE(QFileInfo::exists(FEnv.Home() + QStringLiteral("/Desktop/Tavelin.desktop")));
    EXPECT_TRUE(QFileInfo::exists(FEnv.DataHome() +
                                  QStringLiteral("/applications/Tavelin/Tavelin.desktop")));

    // The uninstall entry and the per-product key with the channel and keyword id.
    EXPECT_EQ(GetInstalledVersion(QStringLiteral("quintelzip_win")), QStringLiteral("2.0.2.6"));
    EXPECT_EQ(GetInstalledIcon(QStringLiteral("quintelzip_win")),
              target() + QStringLiteral("/common/quintel_win.exe"));
    EXPECT_EQ(RegReadStringQuiet(HKEY_CURRENT_USER, QStringLiteral("SOFTWARE\\quintelzip_win"),
                                 QStringLiteral("source")),
              QStringLiteral("abc"));
    EXPECT_EQ(RegReadStringQuiet(HKEY_CURRENT_USER, QStringLiteral("SOFTWARE\\quintelzip_win"),
                                 QStringLiteral("kid")),
              QStringLiteral("778"));

    // The main program, started with the name the file name carries (none for this product).
    ASSERT_TRUE(waitFor(marker()));
    EXPECT_EQ(ReadTestFile(marker()), QByteArray("\n"));

    // preinstall, install and install_end, in that order, with the install's identity.
    const auto sent = reports();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].Path, "/api/report/preinstall");
    EXPECT_EQ(sent[1].Path, "/api/report/install");
    EXPECT_EQ(sent[2].Path, "/api/report/event");
    EXPECT_EQ(sent[2].QueryValue("event_id"), "install_end");
    for (const TRecordedRequest& q : sent) {
        EXPECT_EQ(q.QueryValue("soft_id"), "quintelzip_win") << q.Path;
        EXPECT_EQ(q.QueryValue("curr_ver"), "2.0.2.6") << q.Path;
        EXPECT_EQ(q.QueryValue("source"), "abc") << q.Path;
        EXPECT_EQ(q.QueryValue("kid"), "778") << q.Path;
        EXPECT_EQ(q.QueryValue("device_code").size(), 34u) << q.Path;
    }
    EXPECT_EQ(FServer.RequestCount(), 3u) << "an embedded package needs no download information";
}

TEST_F(InstallE2ETest, WebInstallerRecordsTheServedVersion) {
    const QByteArray zip = ReadTestFile(package());
    FServer.Reply("/files/demo.zip", 200, zip.toStdString());
    const std::string sha =
        QCryptographicHash::hash(zip, QCryptographicHash::Sha256).toHex().toStdString();
    FServer.Reply("/api/config/soft_down", 200,
                  R"({"code":0,"data":{"url":")" +
                      FServer.Url(QStringLiteral("files/demo.zip")).toStdString() +
                      R"(","ver":"2.1.0.0","sha256":")" + sha + R"("}})");
    const QString installer = build(QStringLiteral("setup_web.exe"), true);
    const TProgramRun r = RunProgram(installer, {QStringLiteral("astart")}, 120000);
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();

    EXPECT_EQ(GetInstalledVersion(QStringLiteral("quintelzip_win")), QStringLiteral("2.1.0.0"));
    const auto sent = reports();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].QueryValue("curr_ver"), "2.0.2.6");
    EXPECT_EQ(sent[2].QueryValue("event_id"), "install_end");
    EXPECT_EQ(sent[2].QueryValue("curr_ver"), "2.1.0.0");
    EXPECT_EQ(sent[2].QueryValue("source"), "web");
    ASSERT_TRUE(waitFor(marker()));
}

} // namespace
