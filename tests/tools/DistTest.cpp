// oneclick-dist as makers and installers meet it: packages published and served on loopback,
// the reports installers send stored and counted, and what it refuses. Requests go over a
// plain socket so that the target reaches the service exactly as written.
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <arpa/inet.h>
#include <map>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <regex>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct TRun {
    int Code = -1;
    std::string Out;
    std::string Err;
};

TRun RunDist(const QStringList& args) {
    QProcess process;
    process.start(BuiltProgram(QStringLiteral("tools/oneclick-dist/oneclick-dist")), args);
    if (!process.waitForFinished(60000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

struct THttpAnswer {
    int Status = 0;
    std::map<std::string, std::string> Headers; // names in lower case
    std::string Body;
};

// One GET on a connection of its own. Extra holds header lines ("Name: value\r\n").
THttpAnswer HttpGet(int port, const std::string& target, const std::string& extra = "",
                    const std::string& body = "") {
    THttpAnswer answer;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval limit{20, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return answer;
    }
    std::string request = "GET " + target + " HTTP/1.1\r\n";
    if (extra.find("Host:") == std::string::npos)
        request += "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    request += extra + "Connection: close\r\n\r\n" + body;
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    std::string reply;
    char buffer[65536];
    // Up to the end of the announced body, as a client does: the service need not close first.
    const std::regex lengthHeader("\r\ncontent-length: *([0-9]+)\r\n", std::regex::icase);
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        reply.append(buffer, static_cast<std::size_t>(n));
        const std::size_t head = reply.find("\r\n\r\n");
        std::smatch length;
        const std::string headers = reply.substr(0, head + 2);
        if (head != std::string::npos && std::regex_search(headers, length, lengthHeader) &&
            reply.size() >= head + 4 + std::stoul(length[1]))
            break;
    }
    close(fd);
    const std::size_t end = reply.find("\r\n\r\n");
    if (reply.compare(0, 9, "HTTP/1.1 ") != 0 || end == std::string::npos)
        return answer;
    answer.Status = std::stoi(reply.substr(9, 3));
    std::size_t line = reply.find("\r\n") + 2;
    while (line < end) {
        const std::size_t next = reply.find("\r\n", line);
        const std::string header = reply.substr(line, next - line);
        const std::size_t colon = header.find(':');
        std::string name = header.substr(0, colon);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        answer.Headers[name] = header.substr(header.find_first_not_of(' ', colon + 1));
        line = next + 2;
    }
    answer.Body = reply.substr(end + 4);
    return answer;
}

std::string Sha256Hex(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    static constexpr char Digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < length; ++i)
        hex += {Digits[digest[i] >> 4], Digits[digest[i] & 15]};
    return hex;
}

// A file that starts like a zip archive, with a body of its own.
std::string PackageBytes(const std::string& tag, std::size_t size = 300) {
    std::string bytes = "PK\x03\x04" + tag;
    for (std::size_t i = 0; bytes.size() < size; ++i)
        bytes += static_cast<char>('a' + i % 26);
    return bytes;
}

using TPairs = std::vector<std::pair<std::string, std::string>>;

class TDistTest : public TIsolatedTest {
protected:
    ~TDistTest() override {
        if (FServer.state() != QProcess::NotRunning) {
            FServer.kill();
            FServer.waitForFinished(10000);
        }
    }

    QString Db() const { return FEnv.Root() + QStringLiteral("/dist.db"); }
    QString Packages() const { return FEnv.Root() + QStringLiteral("/packages"); }

    TRun Publish(const std::string& softId, const std::string& version, const std::string& bytes,
                 const std::string& channel = "") {
        const QString zip = FEnv.Tmp() + QStringLiteral("/upload.zip");
        WriteTestFile(zip, QByteArray::fromStdString(bytes));
        QStringList args{QStringLiteral("publish"),
                         QStringLiteral("--db"),
                         Db(),
                         QStringLiteral("--packages"),
                         Packages(),
                         QStringLiteral("--soft-id"),
                         QString::fromStdString(softId),
                         QStringLiteral("--version"),
                         QString::fromStdString(version),
                         QStringLiteral("--package"),
                         zip};
        if (!channel.empty())
            args << QStringLiteral("--channel") << QString::fromStdString(channel);
        return RunDist(args);
    }

    void StartService() {
        FServer.start(BuiltProgram(QStringLiteral("tools/oneclick-dist/oneclick-dist")),
                      {QStringLiteral("serve"), QStringLiteral("--db"), Db(),
                       QStringLiteral("--packages"), Packages(), QStringLiteral("--listen"),
                       QStringLiteral("127.0.0.1:0")});
        ASSERT_TRUE(FServer.waitForStarted(10000));
        while (!FServer.canReadLine() && FServer.waitForReadyRead(10000)) {
        }
        const std::string line = FServer.readLine().toStdString();
        std::smatch match;
        ASSERT_TRUE(std::regex_search(line, match,
                                      std::regex("^listening on http://127\\.0\\.0\\.1:"
                                                 "([0-9]+)/\n$")))
            << line << FServer.readAllStandardError().toStdString();
        FPort = std::stoi(match[1]);
    }

    // Stops the service the way an operator does; it must end cleanly.
    void StopService() {
        FServer.terminate();
        ASSERT_TRUE(FServer.waitForFinished(10000));
        EXPECT_EQ(FServer.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(FServer.exitCode(), 0);
    }

    THttpAnswer Get(const std::string& target, const std::string& extra = "",
                    const std::string& body = "") {
        return HttpGet(FPort, target, extra, body);
    }

    nlohmann::json SoftDown(const std::string& query, const std::string& extra = "") {
        const THttpAnswer answer = Get("/api/config/soft_down?" + query, extra);
        EXPECT_EQ(answer.Status, 200) << query;
        return nlohmann::json::parse(answer.Body, nullptr, false);
    }

    // The stored reports, each as its kind and its parameters in order.
    std::vector<std::pair<std::string, TPairs>> StoredReports() {
        const TRun run = RunDist({QStringLiteral("reports"), QStringLiteral("--db"), Db()});
        EXPECT_EQ(run.Code, 0) << run.Err;
        std::vector<std::pair<std::string, TPairs>> reports;
        std::istringstream lines(run.Out);
        for (std::string line; std::getline(lines, line);) {
            const auto report = nlohmann::json::parse(line);
            EXPECT_TRUE(std::regex_match(report["time"].get<std::string>(),
                                         std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));
            reports.emplace_back(report["kind"], report["params"].get<TPairs>());
        }
        return reports;
    }

    QProcess FServer;
    int FPort = 0;
};

TEST_F(TDistTest, AnswersEachProductWithItsChannelsReleaseAndServesIt) {
    const std::string first = PackageBytes("first");
    const std::string web = PackageBytes("web", 5000);
    const std::string second = PackageBytes("second");
    ASSERT_EQ(Publish("demo", "1.0.0.0", first).Code, 0);
    ASSERT_EQ(Publish("demo", "2.0.3.0", web, "web").Code, 0);
    ASSERT_EQ(Publish("demo", "1.1.0.0", second).Code, 0);
    StartService();

    struct TCase {
        std::string Query;
        std::string Version;
        const std::string* Bytes;
    };
    const TCase cases[] = {
        {"soft_id=demo&source=web", "2.0.3.0", &web},
        {"soft_id=demo&source=none", "1.1.0.0", &second},
        {"soft_id=demo&source=", "1.1.0.0", &second},
        {"soft_id=demo", "1.1.0.0", &second},
    };
    const std::string base = "http://127.0.0.1:" + std::to_string(FPort) + "/packages/";
    for (const TCase& c : cases) {
        const nlohmann::json answer = SoftDown(c.Query);
        ASSERT_EQ(answer.value("code", -1), 0) << c.Query;
        EXPECT_EQ(answer["data"]["ver"], c.Version) << c.Query;
        EXPECT_EQ(answer["data"]["sha256"], Sha256Hex(*c.Bytes)) << c.Query;
        const std::string url = answer["data"]["url"];
        ASSERT_EQ(url.compare(0, base.size(), base), 0) << url;
        THttpAnswer package = Get(url.substr(url.find("/packages/")));
        EXPECT_EQ(package.Status, 200);
        EXPECT_EQ(package.Headers["content-length"], std::to_string(c.Bytes->size()));
        EXPECT_TRUE(package.Body == *c.Bytes) << c.Query;
    }

    EXPECT_EQ(SoftDown("soft_id=other&source=web").value("code", -1), 1);
    // The address follows the name the installer used for the service.
    const nlohmann::json proxied = SoftDown("soft_id=demo&source=web", "Host: dist.test:8123\r\n");
    EXPECT_EQ(proxied["data"]["url"].get<std::string>().rfind("http://dist.test:8123/packages/", 0),
              0u);
}

TEST_F(TDistTest, ServesByteRangesOfAPackage) {
    const std::string bytes = PackageBytes("ranges", 1000);
    ASSERT_EQ(Publish("demo", "1.0", bytes).Code, 0);
    StartService();
    const std::string url = SoftDown("soft_id=demo&source=web")["data"]["url"];
    const std::string path = url.substr(url.find("/packages/"));

    struct TCase {
        std::string Range;
        int Status;
        std::string ContentRange;
        std::size_t From, Length;
    };
    const TCase cases[] = {
        {"bytes=0-9", 206, "bytes 0-9/1000", 0, 10},
        {"bytes=990-", 206, "bytes 990-999/1000", 990, 10},
        {"bytes=-5", 206, "bytes 995-999/1000", 995, 5},
        {"bytes=995-5000", 206, "bytes 995-999/1000", 995, 5},
        {"bytes=-5000", 206, "bytes 0-999/1000", 0, 1000},
        {"bytes=1000-", 416, "bytes */1000", 0, 0},
        {"bytes=0-1,5-6", 200, "", 0, 1000},
    };
    for (const TCase& c : cases) {
        THttpAnswer answer = Get(path, "Range: " + c.Range + "\r\n");
        EXPECT_EQ(answer.Status, c.Status) << c.Range;
        EXPECT_EQ(answer.Headers["content-range"], c.ContentRange) << c.Range;
        if (c.Status != 416) {
            EXPECT_EQ(answer.Headers["content-length"], std::to_string(c.Length)) << c.Range;
            EXPECT_TRUE(answer.Body == bytes.substr(c.From, c.Length)) << c.Range;
        }
    }
}

TEST_F(TDistTest, ReachesNothingOutsideThePublishedPackages) {
    ASSERT_EQ(Publish("demo", "1.0", PackageBytes("kept")).Code, 0);
    ASSERT_EQ(Publish("linked", "1.0", PackageBytes("swapped")).Code, 0);
    WriteTestFile(FEnv.Root() + QStringLiteral("/secret.txt"), "SECRET");
    WriteTestFile(Packages() + QStringLiteral("/extra.zip"), "SECRET unpublished");
    ASSERT_TRUE(QFile::link(FEnv.Root() + QStringLiteral("/secret.txt"),
                            Packages() + QStringLiteral("/link.zip")));
    StartService();
    // A published file replaced by a link out of the folder is not followed either.
    const std::string linkedUrl = SoftDown("soft_id=linked")["data"]["url"];
    const std::string linked = linkedUrl.substr(linkedUrl.find("/packages/"));
    const QString linkedFile = Packages() + QString::fromStdString(linked.substr(9));
    ASSERT_TRUE(QFile::remove(linkedFile));
    ASSERT_TRUE(QFile::link(FEnv.Root() + QStringLiteral("/secret.txt"), linkedFile));

    for (const std::string& target : std::vector<std::string>{
             "/packages/../secret.txt", "/packages/%2e%2e/secret.txt", "/packages/..%2fsecret.txt",
             "/packages/%2E%2E%2Fdist.db", "/packages/..", "/packages/", "/packages//secret.txt",
             "/packages/link.zip", "/packages/extra.zip", "/dist.db", "/secret.txt", linked}) {
        const THttpAnswer answer = Get(target);
        EXPECT_GE(answer.Status, 400) << target;
        EXPECT_EQ(answer.Body.find("SECRET"), std::string::npos) << target;
        EXPECT_EQ(answer.Body.find("SQLite"), std::string::npos) << target;
    }
}

TEST_F(TDistTest, StoresEveryReportWithItsTimeAndParametersInOrder) {
    StartService();
    const std::string common = "soft_id=demo&curr_ver=1.0.0.0&source=web&device_code=D1";
    const std::pair<std::string, std::string> sent[] = {
        {"preinstall", common + "&kid=%E4%B8%AD%20k+1"},
        {"install", common + "&kid="},
        {"install_fail", common + "&reason=unzip_failed&err=0&proc=&kid="},
        {"event", common + "&event_id=install_end&kid="},
        {"install_end", common + "&kid="},
        {"uninstall", common + "&kid="},
    };
    for (const auto& [kind, query] : sent) {
        const THttpAnswer answer = Get("/api/report/" + kind + "?" + query);
        EXPECT_EQ(answer.Status, 200) << kind;
        EXPECT_EQ(nlohmann::json::parse(answer.Body, nullptr, false), nlohmann::json({{"code", 0}}))
            << kind;
    }
    StopService();

    const TPairs head = {
        {"soft_id", "demo"}, {"curr_ver", "1.0.0.0"}, {"source", "web"}, {"device_code", "D1"}};
    const auto with = [&](TPairs tail) {
        TPairs all = head;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };
    const std::vector<std::pair<std::string, TPairs>> expected = {
        {"preinstall", with({{"kid", "\xE4\xB8\xAD k+1"}})},
        {"install", with({{"kid", ""}})},
        {"install_fail",
         with({{"reason", "unzip_failed"}, {"err", "0"}, {"proc", ""}, {"kid", ""}})},
        {"event", with({{"event_id", "install_end"}, {"kid", ""}})},
        {"install_end", with({{"kid", ""}})},
        {"uninstall", with({{"kid", ""}})},
    };
    EXPECT_EQ(StoredReports(), expected);
}

TEST_F(TDistTest, RefusesMalformedOrOversizedRequestsAndStoresNone) {
    StartService();
    const std::string large(5000, 'a');
    const std::string huge(9000, 'a');
    for (const std::string& query : std::vector<std::string>{
             "curr_ver=1.0&source=web", "soft_id=&source=web", "soft_id=demo&kid=%C3%28",
             "soft_id=demo&kid=%zz", "soft_id=demo&kid=%4", "soft_id=demo&kid=a%0Ab",
             "soft_id=demo&kid=%C0%AF", "soft_id=demo&kid=%ED%A0%80", "soft_id=%FF",
             "soft_id=demo&kid=" + large, "soft_id=demo&kid=" + huge}) {
        const THttpAnswer answer = Get("/api/report/install?" + query);
        EXPECT_EQ(answer.Status, 400) << query.substr(0, 60);
    }
    EXPECT_EQ(Get("/api/report/install?soft_id=demo", "Content-Length: 70000\r\n",
                  std::string(70000, 'x'))
                  .Status,
              400);
    EXPECT_EQ(Get("/api/config/soft_down?soft_id=demo%C3").Status, 400);
    EXPECT_EQ(Get("/api/report/other?soft_id=demo").Status, 404);
    StopService();
    EXPECT_TRUE(StoredReports().empty());
}

TEST_F(TDistTest, StatsCountTheFunnelAndTheFailures) {
    StartService();
    const auto report = [&](const std::string& kind, const std::string& version,
                            const std::string& device, const std::string& tail = "") {
        const std::string query = "soft_id=demo&curr_ver=" + version +
                                  "&source=web&device_code=" + device + tail + "&kid=";
        ASSERT_EQ(Get("/api/report/" + kind + "?" + query).Status, 200);
    };
    report("preinstall", "1.0", "A");
    report("preinstall", "1.0", "A");
    report("preinstall", "1.0", "B");
    report("install", "1.0", "A");
    report("install", "1.0", "B");
    report("event", "2.0", "A", "&event_id=install_end");
    report("install_fail", "2.0", "B", "&reason=download_zip_fail&err=0&proc=");
    report("install_fail", "2.0", "B", "&reason=download_zip_fail&err=0&proc=");
    report("uninstall", "2.0", "A");
    ASSERT_EQ(
        Get("/api/report/preinstall?soft_id=other&curr_ver=9&source=x&device_code=Z&kid=").Status,
        200);

    const std::regex rows[] = {
        std::regex(R"(\ndemo +web +1\.0 +2 \(3\) +2 \(2\) +0 \(0\) +0 \(0\)\n)"),
        std::regex(R"(\ndemo +web +2\.0 +0 \(0\) +0 \(0\) +1 \(1\) +1 \(1\)\n)"),
        std::regex(R"(\ndemo +web +\* +2 \(3\) +2 \(2\) +1 \(1\) +1 \(1\)\n)"),
        std::regex(R"(\ndemo +web +2\.0 +download_zip_fail +1 \(2\)\n)"),
    };
    const TRun demo = RunDist({QStringLiteral("stats"), QStringLiteral("--db"), Db(),
                               QStringLiteral("--soft-id"), QStringLiteral("demo")});
    ASSERT_EQ(demo.Code, 0) << demo.Err;
    for (const std::regex& row : rows)
        EXPECT_TRUE(std::regex_search(demo.Out, row)) << demo.Out;
    EXPECT_EQ(demo.Out.find("other"), std::string::npos) << demo.Out;

    const TRun all = RunDist({QStringLiteral("stats"), QStringLiteral("--db"), Db()});
    EXPECT_TRUE(std::regex_search(all.Out, std::regex(R"(\nother +x +9 +1 \(1\))"))) << all.Out;

    const THttpAnswer page = Get("/?soft_id=demo");
    EXPECT_EQ(page.Status, 200);
    EXPECT_NE(page.Body.find("<tr><td>demo</td><td>web</td><td>*</td><td>2 (3)</td><td>2 (2)</td>"
                             "<td>1 (1)</td><td>1 (1)</td></tr>"),
              std::string::npos)
        << page.Body;
    EXPECT_NE(page.Body.find("<td>download_zip_fail</td><td>1 (2)</td>"), std::string::npos);
    EXPECT_EQ(page.Body.find("other"), std::string::npos);
}

TEST_F(TDistTest, ShowsTheSupportPages) {
    StartService();
    const std::pair<std::string, std::string> pages[] = {
        {"insterr_cs", "Installation problem"},
        {"chatwithus", "Contact us"},
        {"tutorial", "Getting started"},
    };
    for (const auto& [act, title] : pages) {
        THttpAnswer page = Get("/t.php?act=" + act + "&name=%3Cb%3Equintel");
        EXPECT_EQ(page.Status, 200) << act;
        EXPECT_EQ(page.Headers["content-type"].rfind("text/html", 0), 0u) << act;
        EXPECT_NE(page.Body.find("<h1>" + title + "</h1>"), std::string::npos) << act;
        EXPECT_NE(page.Body.find("&lt;b&gt;quintel"), std::string::npos) << act;
        EXPECT_EQ(page.Body.find("<b>quintel"), std::string::npos) << act;
    }
    EXPECT_EQ(Get("/t.php?act=insterr_cs&name=").Status, 200);
    EXPECT_EQ(Get("/t.php?act=other&name=demo").Status, 404);
}

TEST_F(TDistTest, PublishRefusesWhatNoInstallerCouldUse) {
    const TRun notZip = Publish("demo", "1.0", "this is not an archive");
    EXPECT_EQ(notZip.Code, 1);
    EXPECT_NE(notZip.Err.find("not a zip archive"), std::string::npos) << notZip.Err;
    EXPECT_TRUE(QDir(Packages()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(Publish("demo", "", PackageBytes("x")).Code, 1);
    EXPECT_EQ(Publish("demo\x01", "1.0", PackageBytes("x")).Code, 1);

    // Without --packages the folder recorded by an earlier command is used; with none, nothing.
    const QString other = FEnv.Root() + QStringLiteral("/other.db");
    const QString zip = FEnv.Tmp() + QStringLiteral("/upload.zip");
    const QStringList bare{
        QStringLiteral("publish"),   QStringLiteral("--db"),      other,
        QStringLiteral("--soft-id"), QStringLiteral("demo"),      QStringLiteral("--version"),
        QStringLiteral("1.0"),       QStringLiteral("--package"), zip};
    const TRun noFolder = RunDist(bare);
    EXPECT_EQ(noFolder.Code, 1);
    EXPECT_NE(noFolder.Err.find("--packages"), std::string::npos) << noFolder.Err;
    EXPECT_EQ(RunDist({QStringLiteral("publish"), QStringLiteral("--db"), Db()}).Code, 2);

    ASSERT_EQ(Publish("demo", "1.0", PackageBytes("recorded")).Code, 0);
    QStringList again = bare;
    again[2] = Db();
    again[6] = QStringLiteral("1.1");
    const TRun recorded = RunDist(again);
    EXPECT_EQ(recorded.Code, 0) << recorded.Err;
    EXPECT_EQ(QDir(Packages()).entryList(QDir::Files).size(), 2);
}

TEST_F(TDistTest, KeepsEveryAcknowledgedReportWhenKilledUnderLoad) {
    QProcess load;
    load.start(BuiltProgram(QStringLiteral("tools/oneclick-dist/oneclick-dist-load")),
               {QStringLiteral("--server"),
                BuiltProgram(QStringLiteral("tools/oneclick-dist/oneclick-dist")), QStringLiteral("--work"),
                FEnv.Root() + QStringLiteral("/load"), QStringLiteral("--clients"),
                QStringLiteral("8"), QStringLiteral("--seconds"), QStringLiteral("2"),
                QStringLiteral("--kill-after"), QStringLiteral("1")});
    ASSERT_TRUE(load.waitForFinished(60000));
    const std::string out = load.readAllStandardOutput().toStdString();
    EXPECT_EQ(load.exitCode(), 0) << out << load.readAllStandardError().toStdString();
    EXPECT_NE(out.find("service killed"), std::string::npos) << out;
    EXPECT_NE(out.find(" 0 acknowledged missing, 0 stored twice"), std::string::npos) << out;
    EXPECT_NE(out.find("integrity ok"), std::string::npos) << out;
}

} // namespace
