// The web installer over an earlier install against servers that break the package download
// or answer the download-information request with something that is not an answer: each ends
// on its failure path with its report, message and support page, and the earlier install, the
// user's files beside it and its uninstall entry come through untouched.
#include "session/InstallTestSupport.h"

#include "platform/FileUtils.h"
#include "platform/RegIntegration.h"
#include "service/HttpDownload.h"

#include <QDirIterator>
#include <QFileInfo>
#include <map>
#include <random>

namespace {

const QString cnInstallFailed =
    QStringLiteral("安装失败，请联系官网客服协助处理。即将打开客服窗口！");
const QString cnUnzipFailed =
    QStringLiteral("文件解压失败，可能是被杀毒软件拦截导致，建议退出杀毒软件后重试！");
const QString cnNetQuestion = QStringLiteral("网络连接异常，是否尝试重连？");
const QString cnReinstallPrompt =
    QStringLiteral("检测到计算机中已存在此软件，是否为您更新到最新版本？");

// Every file below Dir (hidden ones too) with its bytes, by relative path.
std::map<QString, QByteArray> Tree(const QString& Dir) {
    std::map<QString, QByteArray> tree;
    QDirIterator it(Dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree[QDir(Dir).relativeFilePath(path)] = ReadTestFile(path);
    }
    return tree;
}

std::string Noise(std::size_t Size) {
    std::mt19937 random(3);
    std::string bytes(Size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

enum class TBody { Package, Html, Noise };

// One server fault and what the user and the service see of it.
struct TServerFault {
    const char* Name;
    TBody Body;                // what the package address serves
    TBodyFault Fault;          // how it is broken on the wire
    bool AnnounceDigest;       // the download information carries the package's SHA-256
    std::string ServiceAnswer; // empty: a proper answer pointing at the package
    std::vector<QString> Answers;
    QStringList Messages; // after the reinstall prompt
    std::string Reason;
    bool PackageLeft; // the package file stays: the download was whole, the archive bad
};

class InstallFaultsTest : public TInstallerTest,
                          public ::testing::WithParamInterface<TServerFault> {
protected:
    void SetUp() override {
        TInstallerTest::SetUp();
        // A dripping server is given up after a second instead of a minute.
        THttpDownload::SetDefaultLowSpeedLimit({DownloadLowSpeedBytes, 1});
    }
    void TearDown() override {
        THttpDownload::SetDefaultLowSpeedLimit({});
        TInstallerTest::TearDown();
    }

    QString target() const { return FEnv.DataHome() + QStringLiteral("/Tavelin"); }
    QString zipPath() const { return GetTempDir() + QStringLiteral("quintelzip_win.zip"); }

    // An earlier install in the default folder, with a file the user keeps there.
    void makeEarlierInstall() {
        WriteTestFile(target() + QStringLiteral("/common/quintel_win.exe"),
                      QByteArray("#!/bin/sh\n# version 1\n"));
        WriteTestFile(target() + QStringLiteral("/default.ico"), QByteArray("old icon"));
        WriteTestFile(target() + QStringLiteral("/notes/mine.txt"), QByteArray("the user's"));
        WriteUninstallEntry(QStringLiteral("quintelzip_win"), QStringLiteral("Tavelin"),
                            target() + QStringLiteral("/common/quintel_win.exe"), target(),
                            QStringLiteral("1.0.0.0"), QStringLiteral(" "));
    }

    std::vector<std::string> failReasons() const {
        std::vector<std::string> reasons;
        for (const TRecordedRequest& r : requestsTo("/api/report/install_fail"))
            reasons.push_back(r.QueryValue("reason"));
        return reasons;
    }
};

TEST_P(InstallFaultsTest, FailsOnItsPathAndKeepsTheEarlierInstall) {
    const TServerFault& c = GetParam();
    const QString packagePath = FWork + QStringLiteral("/demo.zip");
    const QByteArray package =
        MakePackage(packagePath, {{"common/quintel_win.exe", DemoMainProgram()},
                                  {"default.ico", QByteArray(9000, 'i')}});
    std::string body = package.toStdString();
    if (c.Body == TBody::Html)
        body = "<!DOCTYPE html><html><body><h1>Welcome</h1></body></html>";
    else if (c.Body == TBody::Noise)
        body = Noise(200 * 1024);
    TFaultyServer packageServer({200, body, "application/zip", c.Fault, 20});

    if (c.ServiceAnswer.empty()) {
        nlohmann::json data{
            {"url", packageServer.Url(QStringLiteral("pkg/demo.zip")).toStdString()},
            {"ver", "3.0.0.0"}};
        if (c.AnnounceDigest)
            data["sha256"] = FileSha256Hex(packagePath).toStdString();
        FServer.Reply("/api/config/soft_down", 200,
                      nlohmann::json{{"code", 0}, {"data", data}}.dump());
    } else {
        FServer.Reply("/api/config/soft_down", 200, c.ServiceAnswer);
    }
    makeEarlierInstall();
    const auto before = Tree(target());
    ASSERT_EQ(before.size(), 3u);

    std::vector<QString> answers{QStringLiteral("重新安装软件")};
    answers.insert(answers.end(), c.Answers.begin(), c.Answers.end());
    TDialogHand hand(answers);
    auto w = start();
    QTest::mouseClick(w->btnInstall, Qt::LeftButton);

    // The failure path: its report, its message, the support page and the quit.
    EXPECT_EQ(hand.Seen(), QStringList{cnReinstallPrompt} + c.Messages);
    EXPECT_EQ(failReasons(), std::vector<std::string>{c.Reason});
    EXPECT_TRUE(w->QuitPosted());
    EXPECT_NE(w->InstallStatus(), 2);
    const QStringList pages = FBrowser.Pages(1);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains(QStringLiteral("act=insterr_cs"))) << pages[0].toStdString();
    EXPECT_EQ(packageServer.RequestCount(), c.ServiceAnswer.empty() ? 1u : 0u);

    // Nothing lost, nothing half-written: the folder holds exactly what it held, the earlier
    // install is still the registered one, and a broken download leaves no package behind.
    EXPECT_EQ(Tree(target()), before);
    EXPECT_EQ(GetInstalledVersion(QStringLiteral("quintelzip_win")), QStringLiteral("1.0.0.0"));
    EXPECT_EQ(QFileInfo::exists(zipPath()), c.PackageLeft);
}

const std::vector<QString> cnOk{QStringLiteral("确定")};

const TServerFault cnServerFaults[] = {
    {"ResetMidBody",
     TBody::Package,
     TBodyFault::ResetMidBody,
     false,
     {},
     cnOk,
     {cnInstallFailed},
     "download_zip_fail",
     false},
    {"ClosedBeforeTheAnnouncedLength",
     TBody::Package,
     TBodyFault::CloseEarly,
     false,
     {},
     cnOk,
     {cnInstallFailed},
     "download_zip_fail",
     false},
    {"DripsOneByteAtATime",
     TBody::Package,
     TBodyFault::Drip,
     false,
     {},
     cnOk,
     {cnInstallFailed},
     "download_zip_fail",
     false},
    // Less announced than sent: the announced part arrives whole and is no archive.
    {"AnnouncesLessThanItSends",
     TBody::Package,
     TBodyFault::LongerThanAnnounced,
     false,
     {},
     cnOk,
     {cnUnzipFailed},
     "unzip_failed",
     true},
    {"AnnouncesLessWithADigest",
     TBody::Package,
     TBodyFault::LongerThanAnnounced,
     true,
     {},
     cnOk,
     {cnInstallFailed},
     "download_zip_fail",
     false},
    {"HtmlPageInsteadOfThePackage",
     TBody::Html,
     TBodyFault::None,
     false,
     {},
     cnOk,
     {cnUnzipFailed},
     "unzip_failed",
     true},
    {"NoiseInsteadOfThePackage",
     TBody::Noise,
     TBodyFault::None,
     false,
     {},
     cnOk,
     {cnUnzipFailed},
     "unzip_failed",
     true},
    {"ServiceAnswersAPage",
     TBody::Package,
     TBodyFault::None,
     false,
     "<html><body>502 Bad Gateway</body></html>",
     {QStringLiteral("No"), QStringLiteral("确定")},
     {cnNetQuestion, cnInstallFailed},
     "GetSoftDownloadInfo",
     false},
    {"ServiceAnswerNestedWithoutEnd",
     TBody::Package,
     TBodyFault::None,
     false,
     "{\"code\":0,\"data\":" + std::string(300000, '[') + std::string(300000, ']') + "}",
     {QStringLiteral("No"), QStringLiteral("确定")},
     {cnNetQuestion, cnInstallFailed},
     "GetSoftDownloadInfo",
     false},
    {"ServiceAnswerTooLarge",
     TBody::Package,
     TBodyFault::None,
     false,
     "{\"code\":0,\"pad\":\"" + std::string(HttpMaxBodyBytes, ' ') + "\"}",
     {QStringLiteral("No"), QStringLiteral("确定")},
     {cnNetQuestion, cnInstallFailed},
     "GetSoftDownloadInfo",
     false},
};

INSTANTIATE_TEST_SUITE_P(Faults, InstallFaultsTest, ::testing::ValuesIn(cnServerFaults),
                         [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
