// Servers that break their answers: the package download against bodies cut short, reset,
// longer than announced or dripped, and the service client against answers that are not what
// it asked for (pages, noise, huge, nested without end, dripped).
#include "service/API.h"
#include "service/HttpDownload.h"

#include "config/RegistryStrings.h"
#include "testsupport/LoopbackServer.h"
#include "testsupport/TestEnv.h"

#include <QFile>

namespace {

struct TDownloadCase {
    const char* Name;
    TBodyFault Fault;
    bool Success;
    std::size_t KeptBytes; // of the 64 KiB body, when Success
};

class DownloadFaultsTest : public TIsolatedTest,
                           public ::testing::WithParamInterface<TDownloadCase> {};

TEST_P(DownloadFaultsTest, EndsAsTheServerLeftIt) {
    const TDownloadCase& c = GetParam();
    const std::string body = NoiseBytes(64 * 1024, 7);
    TFaultyServer server({200, body, "application/zip", c.Fault, 20});
    THttpDownload download;
    // A 20 ms drip moves 50 B/s: under the floor for the one second allowed here.
    download.LowSpeed = {1024, 1};
    int workEnds = 0;
    download.OnWorkEnd = [&](int) { ++workEnds; };
    const QString path = FEnv.Tmp() + QStringLiteral("/package.zip");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));

    EXPECT_EQ(download.Get(server.Url(QStringLiteral("pkg.zip")), file), c.Success)
        << download.LastError().toStdString();
    file.close();
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(workEnds, 1) << "the work ends once, whatever happened";
    if (c.Success) {
        EXPECT_EQ(ReadTestFile(path).toStdString(), body.substr(0, c.KeptBytes));
        // The digest taken on the way is the one of what the file holds.
        EXPECT_EQ(download.BodySha256Hex(), FileSha256Hex(path));
    } else {
        EXPECT_FALSE(download.LastError().isEmpty());
        EXPECT_TRUE(download.BodySha256Hex().isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DownloadFaultsTest,
    ::testing::Values(TDownloadCase{"Whole", TBodyFault::None, true, 64 * 1024},
                      TDownloadCase{"ResetMidBody", TBodyFault::ResetMidBody, false, 0},
                      TDownloadCase{"CloseEarly", TBodyFault::CloseEarly, false, 0},
                      // Only what was announced is taken; the rest is not part of the answer.
                      TDownloadCase{"LongerThanAnnounced", TBodyFault::LongerThanAnnounced, true,
                                    32 * 1024},
                      TDownloadCase{"Drip", TBodyFault::Drip, false, 0},
                      TDownloadCase{"Silent", TBodyFault::Silent, false, 0}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(DownloadFloorTest, NewClientsStartWithTheDefaultFloor) {
    EXPECT_EQ(THttpDownload().LowSpeed.BytesPerSecond, DownloadLowSpeedBytes);
    EXPECT_EQ(THttpDownload().LowSpeed.Seconds, DownloadLowSpeedSeconds);
    THttpDownload::SetDefaultLowSpeedLimit({2048, 3});
    EXPECT_EQ(THttpDownload().LowSpeed.BytesPerSecond, 2048);
    EXPECT_EQ(THttpDownload().LowSpeed.Seconds, 3);
    THttpDownload::SetDefaultLowSpeedLimit({});
    EXPECT_EQ(THttpDownload().LowSpeed.Seconds, DownloadLowSpeedSeconds);
}

std::string Nested(int Depth, const std::string& Inner) {
    return std::string(static_cast<std::size_t>(Depth), '[') + Inner +
           std::string(static_cast<std::size_t>(Depth), ']');
}

struct TAnswerCase {
    const char* Name;
    std::string Body;
    bool Success;
};

class ServiceAnswerFaultsTest : public TIsolatedTest,
                                public ::testing::WithParamInterface<TAnswerCase> {};

TEST_P(ServiceAnswerFaultsTest, OnlyAnAnswerOfTheRightShapeGivesAnAddress) {
    const TAnswerCase& c = GetParam();
    TLoopbackServer server;
    server.Reply("/api/config/soft_down", 200, c.Body);
    TAPI api(QStringLiteral("abc"), QStringLiteral("quintelzip_win"), QStringLiteral("2.0.2.6"),
             QString(), server.BaseUrl());
    QString url = QStringLiteral("before");
    QString ver = QStringLiteral("before");
    EXPECT_EQ(api.GetSoftDownloadInfo(url, ver), c.Success);
    EXPECT_EQ(server.RequestCount(), 1u);
    if (c.Success) {
        EXPECT_EQ(url, QStringLiteral("http://127.0.0.1/p.zip"));
        EXPECT_EQ(api.CurrVer(), ver);
    } else {
        EXPECT_EQ(url, QStringLiteral("before")) << "a refused answer changes nothing";
        EXPECT_EQ(ver, QStringLiteral("before"));
        EXPECT_EQ(api.CurrVer(), QStringLiteral("2.0.2.6"));
    }
}

const std::string cnGoodData = R"("url":"http://127.0.0.1/p.zip","ver":"3.0")";

INSTANTIATE_TEST_SUITE_P(
    Answers, ServiceAnswerFaultsTest,
    ::testing::Values(
        TAnswerCase{"Plain", "{\"code\":0,\"data\":{" + cnGoodData + "}}", true},
        TAnswerCase{"HtmlPage", "<html><body>502 Bad Gateway</body></html>", false},
        TAnswerCase{"Noise", NoiseBytes(4096, 11), false},
        TAnswerCase{"CutShort", "{\"code\":0,\"data\":{" + cnGoodData, false},
        TAnswerCase{"JsonArray", "[{\"code\":0,\"data\":{" + cnGoodData + "}}]", false},
        // Beyond the size an answer may have: refused before it is parsed.
        TAnswerCase{"Huge",
                    "{\"code\":0,\"data\":{" + cnGoodData + ",\"pad\":\"" +
                        std::string(HttpMaxBodyBytes, 'x') + "\"}}",
                    false},
        // Nested far deeper than any answer: refused without exhausting the stack.
        TAnswerCase{"DeepData", "{\"code\":0,\"data\":" + Nested(500000, "") + "}", false},
        TAnswerCase{"DeepUrl", "{\"code\":0,\"data\":{\"url\":" + Nested(500000, "1") + "}}",
                    false},
        TAnswerCase{"DeepObjects",
                    "{\"code\":0,\"data\":{" + cnGoodData + ",\"x\":" +
                        [] {
                            std::string s;
                            for (int i = 0; i < 200000; ++i)
                                s += "{\"a\":";
                            return s + "0" + std::string(200000, '}');
                        }() +
                        "}}",
                    false},
        // Moderate nesting beside the address is still an answer.
        TAnswerCase{"NestedWithinLimit",
                    "{\"code\":0,\"data\":{" + cnGoodData + ",\"x\":" + Nested(60, "") + "}}",
                    true}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// The download-information answer broken on the wire: every way is a failed request.
class ServiceWireFaultsTest : public TIsolatedTest,
                              public ::testing::WithParamInterface<TBodyFault> {};

TEST_P(ServiceWireFaultsTest, ABrokenAnswerIsAFailedRequest) {
    const std::string answer = "{\"code\":0,\"data\":{" + cnGoodData + "}}";
    TFaultyServer server({200, answer, "application/json", GetParam(), 50});
    TAPI api(QStringLiteral("abc"), QStringLiteral("quintelzip_win"), QStringLiteral("2.0.2.6"),
             QString(), server.Url(QString()), 1);
    QString url;
    QString ver;
    EXPECT_FALSE(api.GetSoftDownloadInfo(url, ver));
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_TRUE(url.isEmpty());
    EXPECT_EQ(api.CurrVer(), QStringLiteral("2.0.2.6"));
}

std::string FaultName(const ::testing::TestParamInfo<TBodyFault>& Info) {
    static const char* const names[] = {
        "Whole", "ResetMidBody", "CloseEarly", "LongerThanAnnounced", "Drip", "Silent"};
    return names[static_cast<int>(Info.param)];
}

INSTANTIATE_TEST_SUITE_P(Faults, ServiceWireFaultsTest,
                         ::testing::Values(TBodyFault::ResetMidBody, TBodyFault::CloseEarly,
                                           TBodyFault::LongerThanAnnounced, TBodyFault::Drip,
                                           TBodyFault::Silent),
                         FaultName);

} // namespace
