// The HTTP worker against loopback servers: the wire form of GET and POST, answers and failures,
// the limits (protocols, redirects, stalls, body size, TLS), and the worker threads.
#include "service/HttpUtils.h"
#include "testsupport/LoopbackServer.h"
#include "testsupport/TestEnv.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>
#include <memory>

namespace {

TLoopbackResponse Answer(int status, const std::string& body) {
    TLoopbackResponse response;
    response.Status = status;
    response.Body = body;
    return response;
}

} // namespace

class HttpUtilsTest : public TIsolatedTest {
protected:
    TLoopbackServer FServer;
};

struct TQueryCase {
    const char* Url; // below the server's base
    const char* Params;
    const char* Target; // as the server must see it
};

class HttpQueryFormTest : public HttpUtilsTest, public ::testing::WithParamInterface<TQueryCase> {};

TEST_P(HttpQueryFormTest, PutsParamsOnTheAddressAsGiven) {
    FServer.Reply("/q", 200, "{}");
    QString body;
    ASSERT_TRUE(HttpGet(FServer.Url(GetParam().Url), GetParam().Params, body, false));
    const auto requests = FServer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Method, "GET");
    EXPECT_EQ(requests[0].Target, GetParam().Target);
    EXPECT_EQ(requests[0].Header("Accept"), "application/json");
}

INSTANTIATE_TEST_SUITE_P(Forms, HttpQueryFormTest,
                         ::testing::Values(TQueryCase{"q", "a=1&b=2", "/q?a=1&b=2"},
                                           TQueryCase{"q", "&a=1", "/q?a=1"},
                                           TQueryCase{"q", "", "/q?"},
                                           TQueryCase{"q?x=1", "&b=2", "/q?x=1b=2"},
                                           TQueryCase{"q", "&&a=1", "/q?&a=1"}));

TEST_F(HttpUtilsTest, AnswersOutsideTwoHundredsAreFailuresWithAnEmptyBody) {
    struct TCase {
        int Status;
        bool Success;
    } cases[] = {{200, true}, {201, true}, {299, true}, {404, false}, {500, false}, {302, false}};
    for (const TCase& c : cases) {
        FServer.Reply("/s", c.Status, "payload");
        QString body = QStringLiteral("stale");
        EXPECT_EQ(HttpGet(FServer.Url("s"), "", body, false), c.Success) << c.Status;
        EXPECT_EQ(body, c.Success ? QStringLiteral("payload") : QString()) << c.Status;
    }
}

TEST_F(HttpUtilsTest, FollowsARedirectToTheFinalAnswer) {
    FServer.Handle("/old", [this](const TRecordedRequest&) {
        TLoopbackResponse response = Answer(302, "moved");
        response.Headers = {{"Location", FServer.Url("new").toStdString()}};
        return response;
    });
    FServer.Reply("/new", 200, "{\"fresh\":1}");
    QString body;
    EXPECT_TRUE(HttpGet(FServer.Url("old"), "a=1", body, false));
    EXPECT_EQ(body, "{\"fresh\":1}");
    EXPECT_EQ(FServer.RequestCount(), 2u);
}

TEST_F(HttpUtilsTest, GivesUpOnEndlessRedirects) {
    FServer.Handle("/loop", [this](const TRecordedRequest&) {
        TLoopbackResponse response = Answer(302, "");
        response.Headers = {{"Location", FServer.Url("loop").toStdString()}};
        return response;
    });
    QString body;
    EXPECT_FALSE(HttpGet(FServer.Url("loop"), "", body, false));
    EXPECT_TRUE(body.isEmpty());
    EXPECT_LE(FServer.RequestCount(), 11u);
}

TEST_F(HttpUtilsTest, FetchesOnlyHttpAndHttps) {
    const QString file = FEnv.Tmp() + "/secret.txt";
    WriteTestFile(file, "local secret");
    // A gopher address would make the client write this raw request to the server.
    const QString gopher = "gopher://127.0.0.1:" + QString::number(FServer.Port()) +
                           "/_GET%20/raw%20HTTP/1.0%0D%0A%0D%0A";
    FServer.Reply("/raw", 200, "reached");
    FServer.Handle("/to-gopher", [gopher](const TRecordedRequest&) {
        TLoopbackResponse response = Answer(302, "");
        response.Headers = {{"Location", gopher.toStdString()}};
        return response;
    });
    for (const QString& url : {"file://" + file, gopher, FServer.Url("to-gopher")}) {
        FServer.ClearRequests();
        QString body;
        EXPECT_FALSE(HttpGet(url, "", body, false)) << url.toStdString();
        EXPECT_TRUE(body.isEmpty()) << url.toStdString();
        for (const TRecordedRequest& request : FServer.Requests())
            EXPECT_NE(request.Path, "/raw") << url.toStdString();
    }
}

TEST_F(HttpUtilsTest, DecodesTheBodyAsUtf8) {
    const QString text = QStringLiteral("{\"msg\":\"一键安装 – grüße 🙂\"}");
    FServer.Reply("/u", 200, text.toStdString());
    QString body;
    ASSERT_TRUE(HttpGet(FServer.Url("u"), "", body, false));
    EXPECT_EQ(body, text);
}

TEST_F(HttpUtilsTest, RefusesAnOversizedBody) {
    FServer.Reply("/big", 200, std::string(HttpMaxBodyBytes + 1, 'x'));
    QString body;
    EXPECT_FALSE(HttpGet(FServer.Url("big"), "", body, false));
    EXPECT_TRUE(body.isEmpty());
}

TEST_F(HttpUtilsTest, AClosedPortFails) {
    QString url;
    {
        TLoopbackServer gone;
        url = gone.Url("x");
    }
    QString body = QStringLiteral("stale");
    EXPECT_FALSE(HttpGet(url, "a=1", body, false));
    EXPECT_TRUE(body.isEmpty());
}

TEST_F(HttpUtilsTest, AServerThatStallsIsGivenUp) {
    FServer.Handle("/slow", [](const TRecordedRequest&) {
        TLoopbackResponse response = Answer(200, "late");
        response.StallMs = 60000; // released when the server stops
        return response;
    });
    QString body;
    EXPECT_FALSE(HttpRequest(FServer.Url("slow"), "", HttpMethodGet, body, 5000, 1));
    EXPECT_TRUE(body.isEmpty());
    EXPECT_EQ(FServer.RequestCount(), 1u);
}

TEST_F(HttpUtilsTest, HttpsAddressesInAnyCaseUseTls) {
    FServer.Reply("/t", 200, "plain");
    struct TCase {
        const char* Scheme;
        bool Success;
    } cases[] = {
        {"https", false}, {"HTTPS", false}, {"HttpS", false}, {"http", true}, {"HTTP", true}};
    for (const TCase& c : cases) {
        const QString url = QStringLiteral("%1://127.0.0.1:%2/t").arg(c.Scheme).arg(FServer.Port());
        QString body;
        EXPECT_EQ(HttpGet(url, "", body, false), c.Success) << c.Scheme;
        EXPECT_EQ(body, c.Success ? QStringLiteral("plain") : QString()) << c.Scheme;
    }
}

TEST_F(HttpUtilsTest, AnUntrustedCertificateIsRefused) {
    TLoopbackServer tls(TLoopbackServer::TScheme::Https);
    tls.Reply("/t", 200, "secret");
    QString body;
    EXPECT_FALSE(HttpGet(tls.Url("t"), "", body, false));
    EXPECT_TRUE(body.isEmpty());
    EXPECT_EQ(tls.RequestCount(), 0u);
}

TEST_F(HttpUtilsTest, PostSendsTheItemsAsAFormBody) {
    FServer.Reply("/p", 200, "ok");
    QString body;
    ASSERT_TRUE(
        HttpPost(FServer.Url("p"), QStringLiteral("&a=1&b=2*&c=x y&d=ü&e=1+1"), body, false));
    EXPECT_EQ(body, "ok");
    const auto requests = FServer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Method, "POST");
    EXPECT_EQ(requests[0].Target, "/p");
    EXPECT_EQ(requests[0].Header("Accept"), "application/json");
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
    const TNameValues expected = {{"a", "1"}, {"b", "2"}, {"c", "x y"}, {"d", "ü"}, {"e", "1+1"}};
    EXPECT_EQ(requests[0].Form, expected);
}

TEST_F(HttpUtilsTest, AThreadedGetReturnsAtOnceAndReachesTheServer) {
    FServer.Reply("/r", 200, "answer");
    QString body = QStringLiteral("untouched");
    EXPECT_TRUE(HttpGet(FServer.Url("r"), "k=v", body, true));
    EXPECT_EQ(body, "untouched");
    EXPECT_TRUE(RunEventLoopUntil([this] { return FServer.RequestCount() == 1; }));
    EXPECT_TRUE(WaitForHttpThreads(20000));
    EXPECT_EQ(FServer.Requests()[0].Target, "/r?k=v");
}

TEST_F(HttpUtilsTest, TheCompletionStepRunsOnTheMainThread) {
    FServer.Reply("/c", 200, "done");
    QObject context;
    struct TOutcome {
        bool Called = false;
        bool OnMainThread = false;
        bool Success = false;
        QString Body;
    } outcome;
    HttpRequestAsync(
        FServer.Url("c"), "", HttpMethodGet,
        TOnFinishEvent(&context,
                       [&outcome](THttpThread* Sender, const QString& respData, bool HttpSuccess) {
                           outcome.Called = Sender != nullptr;
                           outcome.OnMainThread = QThread::currentThread() == qApp->thread();
                           outcome.Success = HttpSuccess;
                           outcome.Body = respData;
                       }),
        5000);
    ASSERT_TRUE(RunEventLoopUntil([&] { return outcome.Called; }));
    EXPECT_TRUE(outcome.OnMainThread);
    EXPECT_TRUE(outcome.Success);
    EXPECT_EQ(outcome.Body, "done");
    EXPECT_TRUE(WaitForHttpThreads(20000));
}

TEST_F(HttpUtilsTest, AFailedThreadedExchangeReportsFalseAndAnEmptyBody) {
    FServer.Reply("/f", 500, "broken");
    bool called = false;
    bool success = true;
    QString body = QStringLiteral("stale");
    QObject context;
    HttpRequestAsync(FServer.Url("f"), "", HttpMethodGet,
                     TOnFinishEvent(&context,
                                    [&](THttpThread*, const QString& respData, bool ok) {
                                        called = true;
                                        success = ok;
                                        body = respData;
                                    }),
                     5000);
    ASSERT_TRUE(RunEventLoopUntil([&] { return called; }));
    EXPECT_FALSE(success);
    EXPECT_TRUE(body.isEmpty());
    EXPECT_TRUE(WaitForHttpThreads(20000));
}

TEST_F(HttpUtilsTest, ACallbackOfADestroyedObjectIsSkipped) {
    FServer.Reply("/d", 200, "x");
    bool called = false;
    auto context = std::make_unique<QObject>();
    HttpRequestAsync(FServer.Url("d"), "", HttpMethodGet,
                     TOnFinishEvent(context.get(), [&called](THttpThread*, const QString&,
                                                             bool) { called = true; }),
                     5000);
    context.reset(); // before the main thread could have run the completion step
    EXPECT_TRUE(WaitForHttpThreads(20000));
    EXPECT_FALSE(called);
    EXPECT_EQ(FServer.RequestCount(), 1u);
}

TEST_F(HttpUtilsTest, TheExitGraceWaitsForRunningThreadsWithinItsLimit) {
    FServer.Handle("/hold", [](const TRecordedRequest&) {
        TLoopbackResponse response = Answer(200, "");
        response.StallMs = 60000; // until the server stops
        return response;
    });
    QString ignored;
    HttpGet(FServer.Url("hold"), "", ignored, true);
    ASSERT_TRUE(FServer.WaitForRequests(1, 20000));
    EXPECT_FALSE(WaitForHttpThreads(100));
    EXPECT_EQ(RunningHttpThreads(), 1);
    FServer.Stop();
    EXPECT_TRUE(WaitForHttpThreads(20000));
    EXPECT_EQ(RunningHttpThreads(), 0);
}

struct TEncodeCase {
    const char* Value;
    const char* Wire;
};

class EncodeQueryValueTest : public ::testing::TestWithParam<TEncodeCase> {};

TEST_P(EncodeQueryValueTest, EncodesOnlyWhatAQueryCannotCarry) {
    EXPECT_EQ(EncodeQueryValue(QString::fromUtf8(GetParam().Value)), GetParam().Wire);
}

INSTANTIATE_TEST_SUITE_P(
    Values, EncodeQueryValueTest,
    ::testing::Values(TEncodeCase{"2.0.2.6", "2.0.2.6"}, TEncodeCase{"quintel_win", "quintel_win"},
                      TEncodeCase{"", ""}, TEncodeCase{"A-z~0(1)[2]", "A-z~0(1)%5B2%5D"},
                      TEncodeCase{"a b", "a%20b"}, TEncodeCase{"A&source=x", "A%26source%3Dx"},
                      TEncodeCase{"#+%", "%23%2B%25"}, TEncodeCase{"ü", "%C3%BC"},
                      TEncodeCase{"\t\x7f", "%09%7F"}, TEncodeCase{"一", "%E4%B8%80"}));

// Ending the program while threaded exchanges are in flight: a child run of this binary starts
// exchanges with and without callbacks against this process's server and returns after a short,
// varying delay, so the application object and then the process go away under the workers.
TEST(HttpExitTest, EndingWithExchangesInFlightDoesNotCrash) {
    const QString childBase = qEnvironmentVariable("ONECLICK_HTTP_EXIT_SERVER");
    if (!childBase.isEmpty()) {
        static QObject context;
        for (int i = 0; i < 24; ++i) {
            const QString url = childBase + QChar(u'a' + i % 4);
            if (i % 2) {
                HttpRequestAsync(
                    url, "", HttpMethodGet,
                    TOnFinishEvent(&context, [](THttpThread*, const QString&, bool) {}), 5000);
            } else {
                QString ignored;
                HttpGet(url, "", ignored, true);
            }
        }
        QThread::msleep(qEnvironmentVariableIntValue("ONECLICK_HTTP_EXIT_DELAY"));
        return;
    }
    TLoopbackServer server;
    int stall = 0;
    for (const char* path : {"/a", "/b", "/c", "/d"}) {
        server.Handle(path, [stall](const TRecordedRequest&) {
            TLoopbackResponse response = Answer(200, "x");
            response.StallMs = stall;
            return response;
        });
        stall += 20;
    }
    for (const int delay : {0, 10, 30, 60, 100}) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("ONECLICK_HTTP_EXIT_SERVER", server.BaseUrl());
        environment.insert("ONECLICK_HTTP_EXIT_DELAY", QString::number(delay));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=HttpExitTest.EndingWithExchangesInFlightDoesNotCrash"});
        ASSERT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << delay;
        EXPECT_EQ(child.exitCode(), 0) << delay << child.readAllStandardError().toStdString();
    }
    EXPECT_GT(server.RequestCount(), 0u);
}
