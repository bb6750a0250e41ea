// The install pipeline run in process on an installer made by the test: the embedded and the
// downloaded package, what lands on disk and in the registry store, the reports the loopback
// service receives, and every failure path with its report, message, support page and end.
#include "session/InstallTestSupport.h"

#include "config/RegistryStrings.h"
#include "platform/FileUtils.h"
#include "platform/RegIntegration.h"
#include "service/HttpDownload.h"
#include "service/HttpUtils.h"
#include "session/UntMain.h"
#include "testsupport/LoopbackServer.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

namespace {

const QString cnStartFailed =
    QStringLiteral("软件启动失败，可能是杀毒软件拦截所致！请先暂停杀毒软件再继续。是否重试？");

std::string Json(const nlohmann::json& J) {
    return J.dump();
}

class InstallPipelineTest : public TInstallerTest {
protected:
    QByteArray FPackage;

    void SetUp() override {
        TInstallerTest::SetUp();
        FPackage = MakePackage(
            FWork + QStringLiteral("/demo.zip"),
            {{"common/quintel_win.exe", DemoMainProgram()}, {"default.ico", QByteArray("icon")}});
        FSpec.Package = FPackage;
    }

    void serveRelease(const std::string& Url, const std::string& Ver, const std::string& Sha = {}) {
        nlohmann::json data{{"url", Url}, {"ver", Ver}};
        if (!Sha.empty())
            data["sha256"] = Sha;
        FServer.Reply("/api/config/soft_down", 200, Json({{"code", 0}, {"data", data}}));
    }

    std::vector<std::string> failReasons() const {
        std::vector<std::string> reasons;
        for (const TRecordedRequest& r : requestsTo("/api/report/install_fail"))
            reasons.push_back(r.QueryValue("reason"));
        return reasons;
    }

    // Closes the window and answers the install-end reports the service then has.
    std::vector<TRecordedRequest> closeAndTakeInstallEnd(TFrmCommInst& W) {
        W.close();
        return requestsTo("/api/report/event");
    }

    QString zipPath() const { return GetTempDir() + QStringLiteral("quintelzip_win.zip"); }
    QString target() const { return FEnv.DataHome() + QStringLiteral("/Tavelin"); }
    QString startedMarker() const { return FEnv.Home() + QStringLiteral("/.quintel-demo-started"); }

    // Waits a bounded time for the detached main program to leave its marker.
    bool waitStarted() const {
        for (int i = 0; i < 200 && !QFileInfo::exists(startedMarker()); ++i)
            QThread::msleep(25);
        return QFileInfo::exists(startedMarker());
    }
};

TEST_F(InstallPipelineTest, EmbeddedPackageInstallsRegistersAndStartsTheProduct) {
    auto w = start();
    ASSERT_TRUE(w->InstallMode());
    EXPECT_EQ(w->cnMain->ActivePage(), w->tbInstall);
    EXPECT_TRUE(QFileInfo(target()).isDir()) << "the default folder exists before any click";
    EXPECT_EQ(w->edtPath->text(), target());

    TDialogHand hand({});
    QTest::mouseClick(w->btnInstall, Qt::LeftButton);

    EXPECT_TRUE(hand.Seen().isEmpty()) << hand.Seen().join(u'|').toStdString();
    EXPECT_EQ(w->InstallStatus(), 2);
    EXPECT_EQ(w->cnMain->ActivePage(), w->tbFinish);
    EXPECT_EQ(w->pbProgress->Position(), 100);
    EXPECT_EQ(w->lblPercentNum->Caption(), QStringLiteral("100%"));
    EXPECT_FALSE(w->QuitPosted());
    EXPECT_TRUE(w->imgbtnClose->isEnabled());

    EXPECT_EQ(ReadTestFile(target() + QStringLiteral("/common/quintel_win.exe")),
              DemoMainProgram());
    const TResourceContainer unin =
        TResourceContainer::Read(target() + QStringLiteral("/unin.exe"));
    EXPECT_TRUE(unin.Find(QStringLiteral("configfile"), QStringLiteral("file")));
    EXPECT_FALSE(unin.Find(QStringLiteral("zipfile"), QStringLiteral("file")));
    EXPECT_TRUE(QFileInfo::exists(zipPath())) << "a successful install keeps the package";
    EXPECT_EQ(GetInstalledVersion(QStringLiteral("quintelzip_win")), QStringLiteral("2.0.2.6"));
    EXPECT_EQ(GetInstalledIcon(QStringLiteral("quintelzip_win")),
              target() + QStringLiteral("/common/quintel_win.exe"));
    EXPECT_TRUE(QFileInfo::exists(FEnv.DataHome() +
                                  QStringLiteral("/applications/Tavelin/Tavelin.desktop")));
    EXPECT_TRUE(QFileInfo::exists(FEnv.DataHome() +
                                  QStringLiteral("/applications/Tavelin/卸载软件.desktop")));

    // Started directly with one (empty) argument: the file name carries no product name.
    ASSERT_TRUE(waitStarted());
    EXPECT_EQ(ReadTestFile(startedMarker()), QByteArray("\n"));

    // Embedded package: the service hears reports only.
    ASSERT_TRUE(FServer.WaitForRequests(2, 5000));
    EXPECT_TRUE(requestsTo("/api/config/soft_down").empty());
    EXPECT_EQ(requestsTo("/api/report/preinstall").size(), 1u);
    EXPECT_EQ(requestsTo("/api/report/install").size(), 1u);
    EXPECT_TRUE(failReasons().empty());

    // Closing the installed window sends the blocking install-end report.
    const auto ends = closeAndTakeInstallEnd(*w);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].QueryValue("event_id"), "install_end");
}

TEST_F(InstallPipelineTest, SetUpWritesAssociationsProtocolRunValueAndRunsTheScript) {
    FSpec.Config["AssociatedExts"] = ".txt|.log";
    FSpec.Config["ProtocalRootKeyName"] = "tavelin";
    FSpec.Config["Protocalname"] = "Tavelin link";
    FSpec.Config["RunAtStartup"] = true;
    FSpec.Config["AfterInstBat2"] = "post.sh";
    const QString scriptMarker = FEnv.Root() + QStringLiteral("/post-ran");
    FSpec.Package = MakePackage(
        FWork + QStringLiteral("/setup.zip"),
        {{"common/quintel_win.exe", DemoMainProgram()},
         {"post.sh", QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(scriptMarker).toUtf8()}});
    auto w = start();
    TDialogHand hand({});
    QTest::mouseClick(w->btnInstall, Qt::LeftButton);
    ASSERT_EQ(w->InstallStatus(), 2);

    const QString main = target() + QStringLiteral("/common/quintel_win.exe");
    for (const char* ext : {".txt", ".log"}) {
        const QString progId = QString::fromLatin1(ext + 1) + QStringLiteral("File");
        EXPECT_EQ(RegReadStringQuiet(HKEY_CLASSES_ROOT, QString::fromLatin1(ext), QString()),
                  progId);
        EXPECT_EQ(RegReadStringQuiet(HKEY_CLASSES_ROOT, progId, QString()),
                  QString::fromLatin1(ext));
    }
    EXPECT_EQ(RegReadStringQuiet(HKEY_CLASSES_ROOT, QStringLiteral("tavelin"), QString()),
              QStringLiteral("Tavelin link"));
    EXPECT_EQ(RegReadStringQuiet(HKEY_CURRENT_USER, RunKeyPath, QStringLiteral("quintelzip_win")),
              u'"' + main + u'"');
    // AfterInstBat1 is empty: the second script still runs.
    for (int i = 0; i < 200 && !QFileInfo::exists(scriptMarker); ++i)
        QThread::msleep(25);
    EXPECT_TRUE(QFileInfo::exists(scriptMarker));
}

TEST_F(InstallPipelineTest, WebInstallerTakesTheServiceVersionAndChecksTheDigest) {
    FSpec.Package.clear();
    FServer.Reply("/pkg/demo.zip", 200, FPackage.toStdString());
    const QString sha = FileSha256Hex(FWork + QStringLiteral("/demo.zip"));
    serveRelease(FServer.Url(QStringLiteral("pkg/demo.zip")).toStdString(), "3.1.0.0",
                 sha.toUpper().toStdString());
    auto w = start();
    TDialogHand hand({});
    QTest::mouseClick(w->btnInstall, Qt::LeftButton);

    EXPECT_TRUE(hand.Seen().isEmpty()) << hand.Seen().join(u'|').toStdString();
    EXPECT_EQ(w->InstallStatus(), 2);
    EXPECT_EQ(GetInstalledVersion(QStringLiteral("quintelzip_win")), QStringLiteral("3.1.0.0"));
    EXPECT_TRUE(QFileInfo::exists(target() + QStringLiteral("/common/quintel_win.exe")));
    const auto asked = requestsTo("/api/config/soft_down");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].QueryValue("soft_id"), "quintelzip_win");
    EXPECT_EQ(asked[0].QueryValue("source"), "none");
    const auto ends = closeAndTakeInstallEnd(*w);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].QueryValue("curr_ver"), "3.1.0.0");
}

TEST_F(InstallPipelineTest, DownloadFollowsRedirectsAndCountsWorkBetween10And80) {
    FSpec.Package.clear();
    FServer.Handle("/moved.zip", [this](const TRecordedRequest&) {
        TLoopbackResponse r;
        r.Status = 302;
        r.Headers = {{"Location", FServer.Url(QStringLiteral("pkg/demo.zip")).toStdString()}};
        return r;
    });
    FServer.Reply("/pkg/demo.zip", 200, FPackage.toStdString());
    serveRelease(FServer.Url(QStringLiteral("moved.zip")).toStdString(), "3.2.0.0");
    auto w = start();
    std::vector<int> seen;
    // For people: ONECLICK_SCREENSHOT_DIR keeps a picture of the window mid-install and done.
    const QString shots = qEnvironmentVariable("ONECLICK_SCREENSHOT_DIR");
    QObject::connect(w->pbProgress, &QProgressBar::valueChanged, [&](int v) {
        if (!shots.isEmpty() && v >= 45 && (seen.empty() || seen.back() < 45))
            w->grab().save(shots + QStringLiteral("/install-progress.png"));
        seen.push_back(v);
    });
    w->show();
    TDialogHand hand({});
    QTest::mouseClick(w->btnInstall, Qt::LeftButton);
    if (!shots.isEmpty())
        w->grab().save(shots + QStringLiteral("/install-finish.png"));
    EXPECT_EQ(w->InstallStatus(), 2);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "the bar never goes back";
    EXPECT_NE(std::find(seen.begin(), seen.end(), 80), seen.end());
    EXPECT_EQ(seen.back(), 100);
}

TEST_F(InstallPipelineTest, ProgressMapsDownloadOnto10To80AndExtractionOnto80To95) {
    auto w = start();
    struct {
        qint64 Max, Count;
        int Bar;
    } const cases[] = {
        {1000, 0, 10},
        {1000, 500, 45},
        {1000, 1000, 80},
        {1000, 1999, 80},                 // more than announced stays at the end
        {3LL << 30, 3LL << 29, 45},       // 3 GiB: beyond a 32-bit size
        {0, 8LL << 20, 10 + 7 * 50 / 10}, // unknown size: half the way at 8 MiB
        {0, 1LL << 40, 79},               // and never 80 before the end
    };
    w->pbProgress->SetPosition(0); // as step 3 leaves it before counting up
    for (const auto& c : cases) {
        w->IdHTTP1WorkBegin(nullptr, 0, c.Max);
        w->IdHTTP1Work(nullptr, 0, c.Count);
        EXPECT_EQ(w->pbProgress->Position(), c.Bar) << c.Max << " " << c.Count;
        EXPECT_EQ(w->lblPercentNum->Caption(), QString::number(c.Bar) + u'%');
    }
    for (const auto& [percent, bar] : {std::pair{0, 80}, {50, 87}, {100, 95}}) {
        w->unzipProgress(nullptr, percent);
        EXPECT_EQ(w->pbProgress->Position(), bar);
    }
}

// One row of the failure table: how to provoke it and what the user and the service see.
struct TFailureCase {
    const char* Name;
    std::function<void(InstallPipelineTest&, TInstallerSpec&)> Arrange;
    std::vector<QString> Answers;
    QStringList Messages;
    std::string Reason; // empty: nothing reported
    bool SupportPage;
    bool Quits;
    bool PackageLeft;
};

class InstallFailureTest : public InstallPipelineTest,
                           public ::testing::WithParamInterface<TFailureCase> {
public:
    using InstallPipelineTest::FServer;
    using InstallPipelineTest::FWork;
    using InstallPipelineTest::zipPath;
    void serve(const std::string& Url, const std::string& Ver, const std::string& Sha = {}) {
        serveRelease(Url, Ver, Sha);
    }
};

TEST_P(InstallFailureTest, EndsAsTheTableSays) {
    const TFailureCase& c = GetParam();
    c.Arrange(*this, FSpec);
    auto w = start();
    TDialogHand hand(c.Answers);
    std::vector<std::size_t> reportsAtDialog;
    hand.OnDialog = [&] { reportsAtDialog.push_back(failReasons().size()); };
    QTest::mouseClick(w->btnInstall, Qt::LeftButton);
    ASSERT_FALSE(reportsAtDialog.empty());
    EXPECT_EQ(reportsAtDialog.back(), c.Reason.empty() ? 0u : 1u)
        << "the failure is reported before its message is shown";

    EXPECT_EQ(hand.Seen(), c.Messages);
    const auto reasons = failReasons();
    if (c.Reason.empty()) {
        EXPECT_TRUE(reasons.empty());
    } else {
        ASSERT_EQ(reasons.size(), 1u);
        EXPECT_EQ(reasons[0], c.Reason);
    }
    EXPECT_EQ(w->QuitPosted(), c.Quits);
    EXPECT_EQ(QFileInfo(zipPath()).isFile(), c.PackageLeft);
    EXPECT_TRUE(w->imgbtnClose->isEnabled() && w->btnInstall->isEnabled())
        << "the buttons come back on every way out";
    const QStringList pages = FBrowser.Pages(c.SupportPage ? 1 : 0);
    if (c.SupportPage) {
        ASSERT_EQ(pages.size(), 1);
        EXPECT_TRUE(pages[0].contains(QStringLiteral("act=insterr_cs"))) << pages[0].toStdString();
    } else {
        EXPECT_TRUE(pages.isEmpty());
    }
}

const TFailureCase cnFailures[] = {
    {"CreateResFile",
     [](InstallPipelineTest& t, TInstallerSpec&) {
         // A folder where the package file must go: it cannot be written.
         QDir().mkpath(static_cast<InstallFailureTest&>(t).zipPath() + QStringLiteral("/x"));
     },
     {QStringLiteral("OK")},
     {QStringLiteral("资源不存在,安装包已损坏!")},
     "CreateResFile",
     true,
     true,
     false},
    {"GetSoftDownloadInfo",
     [](InstallPipelineTest& t, TInstallerSpec& s) {
         s.Package.clear();
         static_cast<InstallFailureTest&>(t).FServer.Reply("/api/config/soft_down", 200,
                                                           R"({"code":1})");
     },
     {QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral("确定")},
     {cnNetQuestion, cnNetQuestion, cnInstallFailed},
     "GetSoftDownloadInfo",
     true,
     true,
     false},
    {"url_empty",
     [](InstallPipelineTest& t, TInstallerSpec& s) {
         s.Package.clear();
         static_cast<InstallFailureTest&>(t).serve("", "9.9.9.9");
     },
     {QStringLiteral("确定")},
     {cnInstallFailed},
     "url_empty",
     true,
     false,
     false},
    {"download_zip_fail",
     [](InstallPipelineTest& t, TInstallerSpec& s) {
         s.Package.clear();
         auto& f = static_cast<InstallFailureTest&>(t);
         f.serve(f.FServer.Url(QStringLiteral("missing.zip")).toStdString(), "1.0.0.0");
     },
     {QStringLiteral("确定")},
     {cnInstallFailed},
     "download_zip_fail",
     true,
     true,
     false},
    {"download_zip_fail on a digest mismatch",
     [](InstallPipelineTest& t, TInstallerSpec& s) {
         auto& f = static_cast<InstallFailureTest&>(t);
         f.FServer.Reply("/pkg/demo.zip", 200, s.Package.toStdString());
         s.Package.clear();
         f.serve(f.FServer.Url(QStringLiteral("pkg/demo.zip")).toStdString(), "1.0.0.0",
                 std::string(64, '0'));
     },
     {QStringLiteral("确定")},
     {cnInstallFailed},
     "download_zip_fail",
     true,
     true,
     false},
    {"zip_file_not_exist",
     [](InstallPipelineTest& t, TInstallerSpec& s) {
         s.Config["ConfigFileDeletedBeforeInstall"] =
             static_cast<InstallFailureTest&>(t).zipPath().toStdString();
     },
     {QStringLiteral("确定")},
     {cnUnzipFailed},
     "zip_file_not_exist",
     false,
     true,
     false},
    {"unzip_failed on an empty 200 answer",
     [](InstallPipelineTest& t, TInstallerSpec& s) {
         s.Package.clear();
         auto& f = static_cast<InstallFailureTest&>(t);
         f.FServer.Reply("/empty.zip", 204, "");
         f.serve(f.FServer.Url(QStringLiteral("empty.zip")).toStdString(), "1.0.0.0");
     },
     {QStringLiteral("确定")},
     {cnUnzipFailed},
     "unzip_failed",
     true,
     true,
     true},
    {"run_exe_failed",
     [](InstallPipelineTest& t, TInstallerSpec& s) {
         s.Package =
             MakePackage(static_cast<InstallFailureTest&>(t).FWork + QStringLiteral("/nomain.zip"),
                         {{"readme.txt", QByteArray("no program")}});
     },
     {QStringLiteral("是"), QStringLiteral("否"), QStringLiteral("确定")},
     {cnStartFailed, cnStartFailed, cnInstallFailed},
     "run_exe_failed",
     true,
     false,
     true},
};

INSTANTIATE_TEST_SUITE_P(Table, InstallFailureTest, ::testing::ValuesIn(cnFailures),
                         [](const auto& Info) {
                             std::string n = Info.param.Name;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return n;
                         });

} // namespace
