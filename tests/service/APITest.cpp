// The service client against a loopback service: every request's path and exact query, the
// download-information answer and its conversions, and the device code in the registry store.
#include "service/API.h"

#include "config/RegistryStrings.h"
#include "resources/BaseUrls.h"
#include "base/Exception.h"
#include "registry/Registry.h"
#include "testsupport/LoopbackServer.h"
#include "testsupport/TestEnv.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <functional>

namespace {

const QString MakerKey = QStringLiteral("SOFTWARE\\velnaglobal");
const QString ProductKey = QStringLiteral("SOFTWARE\\quintelzip_win");
const QString StoredCode = QStringLiteral("0123456789ABCDEF0123456789ABCDEF1a");

// The value as the store holds it, read with the plain registry calls; empty when absent.
QString StoredString(const QString& KeyPath, const QString& ValueName) {
    TRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath, KEY_READ, key.out()) != ERROR_SUCCESS)
        return {};
    DWORD type = REG_NONE;
    QByteArray data;
    if (RegQueryValueExW(key.get(), ValueName, &type, &data) != ERROR_SUCCESS || type != REG_SZ)
        return {};
    return RegDataToString(data);
}

bool IsDeviceCodeForm(const QString& Code) {
    static const QRegularExpression form(QStringLiteral("^[0-9A-F]{32}[0-9a-f]{2}$"));
    return form.match(Code).hasMatch();
}

} // namespace

class APITest : public TIsolatedTest {
protected:
    void SetUp() override {
        RegWriteString(HKEY_CURRENT_USER, MakerKey, QStringLiteral("guid"), StoredCode);
    }

    std::unique_ptr<TAPI> MakeApi(const QString& KeywordID = QStringLiteral("778"),
                                  int StallSeconds = HttpStallSeconds) {
        return std::make_unique<TAPI>(QStringLiteral("abc"), QStringLiteral("quintelzip_win"),
                                      QStringLiteral("2.0.2.6"), KeywordID, FServer.BaseUrl(),
                                      StallSeconds);
    }

    // The one request the server has seen, once it has arrived (threaded reports included).
    TRecordedRequest OnlyRequest() {
        EXPECT_TRUE(WaitForHttpThreads(20000));
        const auto requests = FServer.Requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? TRecordedRequest() : requests.front();
    }

    TLoopbackServer FServer;
};

struct TRequestCase {
    const char* Name;
    std::function<void(TAPI&)> Send;
    const char* Path;
    const char* Query; // with <G> for the device code
};

class APIRequestTest : public APITest, public ::testing::WithParamInterface<TRequestCase> {};

TEST_P(APIRequestTest, ReachesTheServerWithExactlyItsParameters) {
    auto api = MakeApi();
    GetParam().Send(*api);
    const TRecordedRequest request = OnlyRequest();
    EXPECT_EQ(request.Method, "GET");
    EXPECT_EQ(request.Path, GetParam().Path);
    EXPECT_EQ(QString::fromStdString(request.RawQuery),
              QString::fromLatin1(GetParam().Query).replace("<G>", StoredCode));
}

INSTANTIATE_TEST_SUITE_P(
    Table, APIRequestTest,
    ::testing::Values(
        TRequestCase{"SoftDown",
                     [](TAPI& api) {
                         QString url, ver;
                         api.GetSoftDownloadInfo(url, ver);
                     },
                     "/api/config/soft_down", "soft_id=quintelzip_win&source=abc"},
        TRequestCase{"EventBlocking", [](TAPI& api) { api.ReportEvent("btn_click", false); },
                     "/api/report/event",
                     "soft_id=quintelzip_win&curr_ver=2.0.2.6&source=abc&device_code=<G>"
                     "&event_id=btn_click&kid=778"},
        TRequestCase{"EventThreaded", [](TAPI& api) { api.ReportEvent("btn_click", true); },
                     "/api/report/event",
                     "soft_id=quintelzip_win&curr_ver=2.0.2.6&source=abc&device_code=<G>"
                     "&event_id=btn_click&kid=778"},
        TRequestCase{"InstallEnd", [](TAPI& api) { api.ReportInstallEnd(); }, "/api/report/event",
                     "soft_id=quintelzip_win&curr_ver=2.0.2.6&source=abc&device_code=<G>"
                     "&event_id=install_end&kid=778"},
        TRequestCase{"InstallFail", [](TAPI& api) { api.ReportInstallFail("unzip_failed", 0); },
                     "/api/report/install_fail",
                     "soft_id=quintelzip_win&curr_ver=2.0.2.6&source=abc&device_code=<G>"
                     "&reason=unzip_failed&err=0&proc=&kid=778"},
        TRequestCase{"InstallFailCode",
                     [](TAPI& api) { api.ReportInstallFail("run_exe_failed", 193); },
                     "/api/report/install_fail",
                     "soft_id=quintelzip_win&curr_ver=2.0.2.6&source=abc&device_code=<G>"
                     "&reason=run_exe_failed&err=193&proc=&kid=778"},
        TRequestCase{"PreInstall", [](TAPI& api) { api.ReportPreInstall(); },
                     "/api/report/preinstall",
                     "soft_id=quintelzip_win&curr_ver=2.0.2.6&source=abc&device_code=<G>&kid=778"},
        TRequestCase{"Install", [](TAPI& api) { api.ReportInstall(); }, "/api/report/install",
                     "soft_id=quintelzip_win&curr_ver=2.0.2.6&source=abc&device_code=<G>&kid=778"},
        TRequestCase{"Uninstall", [](TAPI& api) { api.ReportUninstall("2.0.1.0"); },
                     "/api/report/uninstall",
                     "soft_id=quintelzip_win&curr_ver=2.0.1.0&source=abc&device_code=<G>&kid=778"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(APITest, AnEmptyKeywordIdAndChannelAreSentEmpty) {
    TAPI api(QString(), QStringLiteral("quintelzip_win"), QString(), QString(), FServer.BaseUrl());
    api.ReportInstallFail("url_empty", 0);
    EXPECT_EQ(OnlyRequest().RawQuery,
              "soft_id=quintelzip_win&curr_ver=&source=&device_code=" + StoredCode.toStdString() +
                  "&reason=url_empty&err=0&proc=&kid=");
}

TEST_F(APITest, ValuesThatAQueryCannotCarryCannotForgeParameters) {
    // The keyword id comes from the file name, e.g. setup-kA&source=x_abc.exe.
    for (const QString& kid :
         {QStringLiteral("A&source=x"), QStringLiteral("a b#c"), QStringLiteral("1+1=2%"),
          QStringLiteral("ключ"), QStringLiteral("x\ty\r\n")}) {
        FServer.ClearRequests();
        auto api = MakeApi(kid);
        api->ReportInstallFail("unzip_failed", 0);
        const TRecordedRequest request = OnlyRequest();
        const TNameValues expected = {{"soft_id", "quintelzip_win"},
                                      {"curr_ver", "2.0.2.6"},
                                      {"source", "abc"},
                                      {"device_code", StoredCode.toStdString()},
                                      {"reason", "unzip_failed"},
                                      {"err", "0"},
                                      {"proc", ""},
                                      {"kid", kid.toStdString()}};
        EXPECT_EQ(request.Query, expected) << kid.toStdString();
    }
}

TEST_F(APITest, AnUninstallReportWithoutAVersionRaisesAndSendsNothing) {
    auto api = MakeApi();
    try {
        api->ReportUninstall(QString());
        FAIL() << "no error raised";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "curr version=null");
    }
    EXPECT_TRUE(WaitForHttpThreads(20000));
    EXPECT_EQ(FServer.RequestCount(), 0u);
}

TEST_F(APITest, AThreadedReportArrivesWhileTheEventLoopRuns) {
    auto api = MakeApi();
    api->ReportPreInstall();
    EXPECT_TRUE(RunEventLoopUntil([this] { return FServer.RequestCount() > 0; }));
    ASSERT_EQ(FServer.RequestCount(), 1u);
    EXPECT_EQ(FServer.Requests()[0].Path, "/api/report/preinstall");
    EXPECT_TRUE(WaitForHttpThreads(20000));
}

struct TAnswerCase {
    const char* Name;
    int Status;
    const char* Body;
    bool Success;
    const char* Url;
    const char* Ver;
};

class APIAnswerTest : public APITest, public ::testing::WithParamInterface<TAnswerCase> {};

TEST_P(APIAnswerTest, DownloadInformationFollowsTheAnswer) {
    const TAnswerCase& c = GetParam();
    FServer.Reply("/api/config/soft_down", c.Status, c.Body);
    auto api = MakeApi();
    QString url = QStringLiteral("old-url");
    QString ver = QStringLiteral("old-ver");
    EXPECT_EQ(api->GetSoftDownloadInfo(url, ver), c.Success);
    EXPECT_EQ(url, c.Success ? QString::fromUtf8(c.Url) : QStringLiteral("old-url"));
    EXPECT_EQ(ver, c.Success ? QString::fromUtf8(c.Ver) : QStringLiteral("old-ver"));

    // Later reports carry the answered version, or the configured one after a failure.
    FServer.ClearRequests();
    api->ReportInstall();
    EXPECT_EQ(OnlyRequest().QueryValue("curr_ver"), c.Success ? c.Ver : "2.0.2.6");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, APIAnswerTest,
    ::testing::Values(
        TAnswerCase{"Success", 200, R"({"code":0,"data":{"url":"U","ver":"2.0.3.0"}})", true, "U",
                    "2.0.3.0"},
        TAnswerCase{"StringZeroWithoutVer", 200, R"({"code":"0","data":{"url":"U"}})", true, "U",
                    ""},
        TAnswerCase{"NoCode", 200, R"({"data":{"url":"U","ver":"3"}})", true, "U", "3"},
        TAnswerCase{"NonTextMembers", 200, R"({"code":0,"data":{"url":null,"ver":2}})", true,
                    "null", "2"},
        TAnswerCase{"OtherMembersIgnored", 200,
                    R"({"msg":"ok","code":0,"data":{"x":1,"url":"http://d/p.zip","ver":"v"}})",
                    true, "http://d/p.zip", "v"},
        TAnswerCase{"CodeOne", 200, R"({"code":1,"data":{"url":"U","ver":"V"}})", false, "", ""},
        TAnswerCase{"CodeStringOne", 200, R"({"code":"1","data":{"url":"U"}})", false, "", ""},
        TAnswerCase{"CodeTrue", 200, R"({"code":true,"data":{"url":"U"}})", false, "", ""},
        TAnswerCase{"CodeHuge", 200, R"({"code":1e300,"data":{"url":"U"}})", false, "", ""},
        TAnswerCase{"NotJson", 200, "<html>busy</html>", false, "", ""},
        TAnswerCase{"EmptyBody", 200, "", false, "", ""},
        TAnswerCase{"NotAnObject", 200, "[0]", false, "", ""},
        TAnswerCase{"NoData", 200, R"({"code":0})", false, "", ""},
        TAnswerCase{"DataNotAnObject", 200, R"({"code":0,"data":"U"})", false, "", ""},
        TAnswerCase{"ServerError", 500, R"({"code":0,"data":{"url":"U","ver":"V"}})", false, "",
                    ""},
        TAnswerCase{"NotFound", 404, R"({"code":0,"data":{"url":"U","ver":"V"}})", false, "", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(JsonCodeTest, ConvertsTheCodeMemberToAnInteger) {
    struct TCase {
        const char* Answer;
        int Code;
    } cases[] = {{R"({"code":0})", 0},
                 {R"({"code":7})", 7},
                 {R"({"code":-3})", -3},
                 {R"({"code":2.6})", 3},
                 {R"({"code":0.4})", 0},
                 {R"({"code":"12"})", 12},
                 {R"({"code":"-5"})", -5},
                 {R"({"code":"1x"})", 0},
                 {R"({"code":""})", 0},
                 {R"({"code":true})", 1},
                 {R"({"code":false})", 0},
                 {R"({"code":null})", 0},
                 {R"({"code":{"a":1}})", 0},
                 {R"({"code":[1]})", 0},
                 {R"({})", 0},
                 {R"({"code":99999999999})", 2147483647},
                 {R"({"code":"-99999999999"})", -2147483647 - 1}};
    for (const auto& c : cases) {
        nlohmann::json data = 5;
        int code = -100;
        ASSERT_TRUE(TAPI::getJsonObject(QString::fromUtf8(c.Answer), data, code)) << c.Answer;
        EXPECT_EQ(code, c.Code) << c.Answer;
        EXPECT_TRUE(data.is_null()) << c.Answer;
    }
    nlohmann::json data;
    int code = -100;
    ASSERT_TRUE(TAPI::getJsonObject(R"({"code":0,"data":{"url":"U"}})", data, code));
    EXPECT_EQ(data, nlohmann::json({{"url", "U"}}));
    for (const char* bad : {"", "{", "not json", "[]", "0"})
        EXPECT_FALSE(TAPI::getJsonObject(QString::fromUtf8(bad), data, code)) << bad;
}

TEST_F(APITest, AStallingOrAbsentServiceGivesNoDownloadInformation) {
    FServer.Handle("/api/config/soft_down", [](const TRecordedRequest&) {
        TLoopbackResponse response;
        response.Body = R"({"code":0,"data":{"url":"U","ver":"V"}})";
        response.StallMs = 60000; // until the server stops
        return response;
    });
    QString url, ver;
    EXPECT_FALSE(MakeApi(QString(), 1)->GetSoftDownloadInfo(url, ver));

    QString closedBase;
    {
        TLoopbackServer gone;
        closedBase = gone.BaseUrl();
    }
    TAPI absent(QStringLiteral("abc"), QStringLiteral("quintelzip_win"), QStringLiteral("1"),
                QString(), closedBase);
    EXPECT_FALSE(absent.GetSoftDownloadInfo(url, ver));
    EXPECT_TRUE(url.isEmpty());
    EXPECT_TRUE(ver.isEmpty());
}

TEST_F(APITest, TheBaseUrlGetsItsSlash) {
    QString base = FServer.BaseUrl();
    base.chop(1);
    TAPI api(QStringLiteral("abc"), QStringLiteral("quintelzip_win"), QStringLiteral("1"),
             QString(), base);
    api.ReportInstallEnd();
    EXPECT_EQ(OnlyRequest().Path, "/api/report/event");
    TAPI standard(QStringLiteral("abc"), QStringLiteral("quintelzip_win"), QStringLiteral("1"),
                  QString());
    EXPECT_EQ(standard.BaseUrl(), ServiceBaseUrl() + "/");
}

// The device code, with a store that starts empty in every test.
class DeviceCodeTest : public TIsolatedTest {
protected:
    static std::unique_ptr<TAPI> Start() {
        return std::make_unique<TAPI>(QStringLiteral("abc"), QStringLiteral("quintelzip_win"),
                                      QStringLiteral("1"), QString(),
                                      QStringLiteral("http://127.0.0.1:9/"));
    }
};

TEST_F(DeviceCodeTest, IsMadeOnceAndFoundAgainOnTheNextStart) {
    const QString first = Start()->Guid();
    EXPECT_TRUE(IsDeviceCodeForm(first)) << first.toStdString();
    EXPECT_EQ(StoredString(MakerKey, "guid"), first);
    EXPECT_EQ(StoredString(ProductKey, "guid"), QString());
    EXPECT_EQ(Start()->Guid(), first);
}

TEST_F(DeviceCodeTest, FallsBackToTheProductValueWithoutCopyingIt) {
    RegWriteString(HKEY_CURRENT_USER, ProductKey, "guid", "product-code");
    EXPECT_EQ(Start()->Guid(), "product-code");
    EXPECT_EQ(StoredString(MakerKey, "guid"), QString());

    RegWriteString(HKEY_CURRENT_USER, MakerKey, "guid", "maker-code");
    EXPECT_EQ(Start()->Guid(), "maker-code");
}

TEST_F(DeviceCodeTest, AStoredValueOfAnotherTypeIsReplacedByANewCode) {
    TRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, MakerKey, KEY_ALL_ACCESS, key.out()),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), "guid", REG_DWORD, RegDwordData(7)), ERROR_SUCCESS);
    const QString code = Start()->Guid();
    EXPECT_TRUE(IsDeviceCodeForm(code)) << code.toStdString();
    EXPECT_EQ(StoredString(MakerKey, "guid"), code);
}

TEST(DeviceCodeFormTest, EndsWithTheDigestOfItsBracedGuid) {
    EXPECT_EQ(MD5HexLower(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(MD5HexLower("abc"), "900150983cd24fb0d6963f7d28e17f72");
    const QString first = CreateDeviceCode();
    for (int i = 0; i < 20; ++i) {
        const QString code = CreateDeviceCode();
        ASSERT_TRUE(IsDeviceCodeForm(code)) << code.toStdString();
        const QString braced = QStringLiteral("{%1-%2-%3-%4-%5}")
                                   .arg(code.mid(0, 8), code.mid(8, 4), code.mid(12, 4),
                                        code.mid(16, 4), code.mid(20, 12));
        EXPECT_EQ(code.right(2), MD5HexLower(braced).left(2)) << code.toStdString();
    }
    EXPECT_NE(CreateDeviceCode(), first);
}
