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
#include <atomic>
#include <cerrno>
#include <csignal>
#include <map>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

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

void PrintTo(const TServerFault& Case, std::ostream* Out) {
    *Out << Case.Name;
}

// An earlier install in the default folder, with a file the user keeps there, and the
// failure reports the service hears.
class TFaultsFixture : public TInstallerTest {
protected:
    QString target() const { return FEnv.DataHome() + QStringLiteral("/Tavelin"); }
    QString zipPath() const { return GetTempDir() + QStringLiteral("quintelzip_win.zip"); }

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

    // Wraps the click on the install button: a test may change the process around it.
    using TAroundClick = std::function<void(const std::function<void()>& Click)>;

    // Takes the reinstall prompt, then Answers; checks the failure path the user sees.
    void installAndExpectFailure(const std::vector<QString>& Answers, const QStringList& Messages,
                                 const std::string& Reason, const TAroundClick& Around = {}) {
        std::vector<QString> answers{QStringLiteral("重新安装软件")};
        answers.insert(answers.end(), Answers.begin(), Answers.end());
        TDialogHand hand(answers);
        auto w = start();
        const auto click = [&] { QTest::mouseClick(w->btnInstall, Qt::LeftButton); };
        if (Around)
            Around(click);
        else
            click();
        EXPECT_EQ(hand.Seen(), QStringList{cnReinstallPrompt} + Messages);
        EXPECT_EQ(failReasons(), std::vector<std::string>{Reason});
        EXPECT_TRUE(w->QuitPosted());
        EXPECT_NE(w->InstallStatus(), 2);
        const QStringList pages = FBrowser.Pages(1);
        ASSERT_EQ(pages.size(), 1);
        EXPECT_TRUE(pages[0].contains(QStringLiteral("act=insterr_cs"))) << pages[0].toStdString();
        EXPECT_EQ(GetInstalledVersion(QStringLiteral("quintelzip_win")), QStringLiteral("1.0.0.0"))
            << "the earlier install stays the registered one";
    }
};

class InstallFaultsTest : public TFaultsFixture,
                          public ::testing::WithParamInterface<TServerFault> {
protected:
    void SetUp() override {
        TFaultsFixture::SetUp();
        // A dripping server is given up after a second instead of a minute.
        THttpDownload::SetDefaultLowSpeedLimit({DownloadLowSpeedBytes, 1});
    }
    void TearDown() override {
        THttpDownload::SetDefaultLowSpeedLimit({});
        TFaultsFixture::TearDown();
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
        body = NoiseBytes(200 * 1024, 3);
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

    installAndExpectFailure(c.Answers, c.Messages, c.Reason);
    EXPECT_EQ(packageServer.RequestCount(), c.ServiceAnswer.empty() ? 1u : 0u);

    // Nothing lost, nothing half-written: the folder holds exactly what it held, and a broken
    // download leaves no package behind.
    EXPECT_EQ(Tree(target()), before);
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
    // Only http and https are fetched: a local file named as the package is not read.
    {"PackageAddressIsALocalFile",
     TBody::Package,
     TBodyFault::None,
     false,
     R"({"code":0,"data":{"url":"file:///etc/hostname","ver":"3.0.0.0"}})",
     cnOk,
     {cnInstallFailed},
     "download_zip_fail",
     false},
};

INSTANTIATE_TEST_SUITE_P(Faults, InstallFaultsTest, ::testing::ValuesIn(cnServerFaults),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// A disk that fills up: a file-size limit on this process while the pipeline runs makes every
// write past it fail (SIGXFSZ ignored, as the installer's program does), once while the carried
// package is written out and once while a product file is extracted.
// While set, making a folder fails as on a full disk (a small file system cannot be mounted
// here); this program's definition stands in for the C library's.
std::atomic<bool> gNoSpaceForFolders{false};

} // namespace

extern "C" int mkdirat(int DirFd, const char* Path, mode_t Mode) {
    if (gNoSpaceForFolders) {
        errno = ENOSPC;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_mkdirat, DirFd, Path, Mode));
}

namespace {

struct TDiskFullCase {
    const char* Name;
    bool Web; // the package is downloaded rather than carried
    // The limit, from the package's size.
    std::function<rlim_t(rlim_t PackageBytes)> Limit;
    std::vector<QString> Answers;
    QStringList Messages;
    std::string Reason;
    bool PackageLeft;
    bool NoNewFolder = false; // no folder can be made, whatever the size limit
};

void PrintTo(const TDiskFullCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class InstallDiskFullTest : public TFaultsFixture,
                            public ::testing::WithParamInterface<TDiskFullCase> {};

TEST_P(InstallDiskFullTest, FailsOnItsPathAndLeavesNoHalfFile) {
    const TDiskFullCase& c = GetParam();
    // About 520 KiB of package for 4.5 MiB of product: noise does not shrink, zeros do.
    const std::vector<std::pair<std::string, QByteArray>> entries{
        {"common/quintel_win.exe", DemoMainProgram()},
        {"default.ico", QByteArray("new icon")},
        {"data/noise.bin", QByteArray::fromStdString(NoiseBytes(512 * 1024, 3))},
        {"data/big.bin", QByteArray(4 * 1024 * 1024, '\0')}};
    const QByteArray package = MakePackage(FWork + QStringLiteral("/demo.zip"), entries);
    const auto packageBytes = static_cast<rlim_t>(package.size());
    ASSERT_GT(packageBytes, 256u * 1024);
    ASSERT_LT(packageBytes, 2u * 1024 * 1024);
    if (c.Web) {
        FServer.Reply("/pkg/demo.zip", 200, package.toStdString());
        FServer.Reply(
            "/api/config/soft_down", 200,
            nlohmann::json{{"code", 0},
                           {"data",
                            {{"url", FServer.Url(QStringLiteral("pkg/demo.zip")).toStdString()},
                             {"ver", "3.0.0.0"}}}}
                .dump());
    } else {
        FSpec.Package = package;
    }
    const rlim_t limit = c.Limit(packageBytes);
    makeEarlierInstall();
    const auto before = Tree(target());

    installAndExpectFailure(c.Answers, c.Messages, c.Reason,
                            [&](const std::function<void()>& Click) {
                                rlimit saved{};
                                getrlimit(RLIMIT_FSIZE, &saved);
                                const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
                                rlimit limited = saved;
                                limited.rlim_cur = limit;
                                ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
                                gNoSpaceForFolders = c.NoNewFolder;
                                Click();
                                gNoSpaceForFolders = false;
                                setrlimit(RLIMIT_FSIZE, &saved);
                                std::signal(SIGXFSZ, oldHandler);
                            });

    // The earlier files are there, each whole: the old bytes, or the new entry's when it was
    // written completely before the disk filled. The user's file and the folder's other
    // contents stay; the file that did not fit is not there under any name.
    const auto after = Tree(target());
    const auto entryBytes = [&](const QString& Path) -> const QByteArray* {
        for (const auto& [name, data] : entries)
            if (QString::fromStdString(name) == Path)
                return &data;
        return nullptr;
    };
    for (const auto& [path, data] : before) {
        ASSERT_TRUE(after.count(path)) << path.toStdString();
        const QByteArray* fresh = entryBytes(path);
        EXPECT_TRUE(after.at(path) == data || (fresh && after.at(path) == *fresh))
            << path.toStdString();
    }
    for (const auto& [path, data] : after) {
        if (before.count(path))
            continue;
        const QByteArray* fresh = entryBytes(path);
        ASSERT_NE(fresh, nullptr) << "a stray file: " << path.toStdString();
        EXPECT_EQ(data, *fresh) << path.toStdString();
    }
    EXPECT_FALSE(after.count(QStringLiteral("data/big.bin")));
    EXPECT_EQ(QFileInfo::exists(zipPath()), c.PackageLeft);
    if (c.PackageLeft) {
        EXPECT_EQ(ReadTestFile(zipPath()), package) << "the package was written whole";
    }
}

const TDiskFullCase cnDiskFull[] = {
    {"WhileThePackageIsWrittenOut",
     false,
     [](rlim_t) { return rlim_t{256 * 1024}; },
     {QStringLiteral("OK")},
     {QStringLiteral("资源不存在,安装包已损坏!")},
     "CreateResFile",
     false},
    {"WhileAProductFileIsExtracted",
     false,
     [](rlim_t) { return rlim_t{2 * 1024 * 1024}; },
     {QStringLiteral("确定")},
     {cnUnzipFailed},
     "unzip_failed",
     true},
    {"WhileThePackageDownloads",
     true,
     [](rlim_t) { return rlim_t{256 * 1024}; },
     {QStringLiteral("确定")},
     {cnInstallFailed},
     "download_zip_fail",
     false},
    // Only the last few bytes do not fit: the failure comes as the last block is written out.
    {"AtTheEndOfTheDownload",
     true,
     [](rlim_t Package) { return Package - 100; },
     {QStringLiteral("确定")},
     {cnInstallFailed},
     "download_zip_fail",
     false},
    // The earlier install has "common"; the package's new folder "data" cannot be made.
    {"WhenANewFolderCannotBeMade",
     false,
     [](rlim_t) { return RLIM_INFINITY; },
     {QStringLiteral("确定")},
     {cnUnzipFailed},
     "unzip_failed",
     true,
     true},
};

INSTANTIATE_TEST_SUITE_P(Limits, InstallDiskFullTest, ::testing::ValuesIn(cnDiskFull),
                         [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
