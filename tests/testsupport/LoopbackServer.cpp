// The loopback server on cpp-httplib: one catch-all route per method records the request and
// dispatches to the test's handler; the listening loop runs on a thread of its own.
#include "testsupport/LoopbackServer.h"

#include <QEventLoop>
#include <QTimer>
#include <httplib.h>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

TNameValues SplitItems(const std::string& text, bool plusIsSpace) {
    TNameValues items;
    if (text.empty())
        return items;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('&', start);
        const std::string item = text.substr(start, end == std::string::npos ? end : end - start);
        const std::size_t equals = item.find('=');
        if (equals == std::string::npos)
            items.emplace_back(PercentDecode(item, plusIsSpace), std::string());
        else
            items.emplace_back(PercentDecode(item.substr(0, equals), plusIsSpace),
                               PercentDecode(item.substr(equals + 1), plusIsSpace));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return items;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// A key and a self-signed certificate for 127.0.0.1, made fresh for each server.
struct TSelfSignedCertificate {
    EVP_PKEY* Key = nullptr;
    X509* Certificate = nullptr;

    TSelfSignedCertificate() {
        Key = EVP_EC_gen("P-256");
        Certificate = X509_new();
        if (!Key || !Certificate)
            throw std::runtime_error("cannot make a test certificate");
        X509_set_version(Certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(Certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(Certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(Certificate), 24 * 3600);
        X509_set_pubkey(Certificate, Key);
        X509_NAME* name = X509_get_subject_name(Certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(Certificate, name);
        if (X509_sign(Certificate, Key, EVP_sha256()) == 0)
            throw std::runtime_error("cannot sign a test certificate");
    }
    ~TSelfSignedCertificate() {
        X509_free(Certificate);
        EVP_PKEY_free(Key);
    }
};

} // namespace

bool RunEventLoopUntil(const std::function<bool()>& Done, int LimitMs) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (Done())
            loop.quit();
    });
    QTimer::singleShot(LimitMs, &loop, &QEventLoop::quit);
    poll.start(5);
    if (!Done())
        loop.exec();
    return Done();
}

std::string PercentDecode(const std::string& Text, bool PlusIsSpace) {
    std::string result;
    result.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        if (c == '%' && i + 2 < Text.size() && HexValue(Text[i + 1]) >= 0 &&
            HexValue(Text[i + 2]) >= 0) {
            result += static_cast<char>(HexValue(Text[i + 1]) * 16 + HexValue(Text[i + 2]));
            i += 2;
        } else if (c == '+' && PlusIsSpace) {
            result += ' ';
        } else {
            result += c;
        }
    }
    return result;
}

std::string TRecordedRequest::Header(const std::string& Name) const {
    for (const auto& [name, value] : Headers) {
        if (EqualsIgnoringCase(name, Name))
            return value;
    }
    return {};
}

std::string TRecordedRequest::QueryValue(const std::string& Name) const {
    for (const auto& [name, value] : Query) {
        if (name == Name)
            return value;
    }
    return {};
}

struct TLoopbackServer::TImpl {
    TScheme Scheme = TScheme::Http;
    std::unique_ptr<httplib::Server> Server;
    std::thread Listener;
    int Port = 0;

    mutable std::mutex Lock;
    mutable std::condition_variable Changed;
    bool Stopping = false;
    std::vector<TRecordedRequest> Requests;
    std::map<std::string, TLoopbackHandler> Handlers;

    void Serve(const httplib::Request& request, httplib::Response& response) {
        TRecordedRequest record;
        record.Method = request.method;
        record.Target = request.target;
        const std::size_t mark = record.Target.find('?');
        record.HasQueryMark = mark != std::string::npos;
        record.Path = PercentDecode(record.Target.substr(0, mark), false);
        if (record.HasQueryMark)
            record.RawQuery = record.Target.substr(mark + 1);
        record.Query = SplitItems(record.RawQuery, false);
        for (const auto& [name, value] : request.headers)
            record.Headers.emplace_back(name, value);
        record.Body = request.body;
        if (record.Header("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0)
            record.Form = SplitItems(record.Body, true);

        TLoopbackHandler handler;
        {
            std::lock_guard lock(Lock);
            Requests.push_back(record);
            const auto found = Handlers.find(record.Path);
            if (found != Handlers.end())
                handler = found->second;
        }
        Changed.notify_all();

        TLoopbackResponse answer;
        if (handler) {
            answer = handler(record);
        } else {
            answer.Status = 404;
            answer.Body = "not found";
            answer.ContentType = "text/plain";
        }
        if (answer.StallMs > 0) {
            std::unique_lock lock(Lock);
            Changed.wait_for(lock, std::chrono::milliseconds(answer.StallMs),
                             [this] { return Stopping; });
        }
        response.status = answer.Status;
        for (const auto& [name, value] : answer.Headers)
            response.set_header(name, value);
        response.set_content(answer.Body, answer.ContentType.c_str());
    }
};

TLoopbackServer::TLoopbackServer(TScheme Scheme) : FImpl(std::make_unique<TImpl>()) {
    FImpl->Scheme = Scheme;
    if (Scheme == TScheme::Https) {
        TSelfSignedCertificate certificate;
        FImpl->Server =
            std::make_unique<httplib::SSLServer>(certificate.Certificate, certificate.Key, nullptr);
    } else {
        FImpl->Server = std::make_unique<httplib::Server>();
    }
    httplib::Server& server = *FImpl->Server;
    if (!server.is_valid())
        throw std::runtime_error("cannot create the loopback server");
    // One request per connection: every exchange is recorded and closed at once.
    server.set_keep_alive_max_count(1);
    auto serve = [impl = FImpl.get()](const httplib::Request& request,
                                      httplib::Response& response) {
        impl->Serve(request, response);
    };
    const std::string any = ".*";
    server.Get(any, serve).Post(any, serve).Put(any, serve).Patch(any, serve);
    server.Delete(any, serve).Options(any, serve);
    FImpl->Port = server.bind_to_any_port("127.0.0.1");
    if (FImpl->Port <= 0)
        throw std::runtime_error("cannot bind the loopback server");
    FImpl->Listener = std::thread([&server] { server.listen_after_bind(); });
    // A stop before the loop runs would be missed and leave the listener running.
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TLoopbackServer::~TLoopbackServer() {
    Stop();
}

void TLoopbackServer::Stop() {
    {
        std::lock_guard lock(FImpl->Lock);
        FImpl->Stopping = true;
    }
    FImpl->Changed.notify_all();
    FImpl->Server->stop();
    if (FImpl->Listener.joinable())
        FImpl->Listener.join();
}

int TLoopbackServer::Port() const {
    return FImpl->Port;
}

QString TLoopbackServer::BaseUrl() const {
    const char* scheme = FImpl->Scheme == TScheme::Https ? "https" : "http";
    return QStringLiteral("%1://127.0.0.1:%2/").arg(QLatin1String(scheme)).arg(FImpl->Port);
}

QString TLoopbackServer::Url(const QString& Path) const {
    return BaseUrl() + Path;
}

void TLoopbackServer::Handle(const std::string& Path, TLoopbackHandler Handler) {
    std::lock_guard lock(FImpl->Lock);
    FImpl->Handlers[Path] = std::move(Handler);
}

void TLoopbackServer::Reply(const std::string& Path, int Status, const std::string& Body) {
    Handle(Path, [Status, Body](const TRecordedRequest&) {
        TLoopbackResponse response;
        response.Status = Status;
        response.Body = Body;
        return response;
    });
}

std::vector<TRecordedRequest> TLoopbackServer::Requests() const {
    std::lock_guard lock(FImpl->Lock);
    return FImpl->Requests;
}

std::size_t TLoopbackServer::RequestCount() const {
    std::lock_guard lock(FImpl->Lock);
    return FImpl->Requests.size();
}

bool TLoopbackServer::WaitForRequests(std::size_t Count, int TimeoutMs) const {
    std::unique_lock lock(FImpl->Lock);
    return FImpl->Changed.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                                   [&] { return FImpl->Requests.size() >= Count; });
}

void TLoopbackServer::ClearRequests() {
    std::lock_guard lock(FImpl->Lock);
    FImpl->Requests.clear();
}

struct TFaultyServer::TImpl {
    TFaultyAnswer Answer;
    int Listen = -1;
    int Port = 0;
    std::thread Acceptor;
    std::vector<std::thread> Connections;

    mutable std::mutex Lock;
    std::condition_variable Changed;
    bool Stopping = false;
    std::size_t Requests = 0;

    bool stopping() {
        std::lock_guard lock(Lock);
        return Stopping;
    }

    // Waits up to Ms for a stop; true when stopping.
    bool pause(int Ms) {
        std::unique_lock lock(Lock);
        return Changed.wait_for(lock, std::chrono::milliseconds(Ms), [this] { return Stopping; });
    }

    static bool sendAll(int Socket, const char* Data, std::size_t Size) {
        while (Size > 0) {
            const ssize_t n = ::send(Socket, Data, Size, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            Data += n;
            Size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    // Reads up to the end of the request head; false when it does not come within a while.
    bool readHead(int Socket) {
        std::string head;
        char buffer[4096];
        for (int waited = 0; head.find("\r\n\r\n") == std::string::npos;) {
            pollfd p{Socket, POLLIN, 0};
            if (::poll(&p, 1, 100) == 0) {
                if (stopping() || (waited += 100) > 10000)
                    return false;
                continue;
            }
            const ssize_t n = ::recv(Socket, buffer, sizeof buffer, 0);
            if (n <= 0 || head.size() > 65536)
                return false;
            head.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }

    void serve(int Socket) {
        if (readHead(Socket)) {
            {
                std::lock_guard lock(Lock);
                ++Requests;
            }
            answer(Socket);
        }
        ::close(Socket);
    }

    void answer(int Socket) {
        const std::string& body = Answer.Body;
        const std::size_t half = body.size() / 2;
        const std::size_t announced =
            Answer.Fault == TBodyFault::LongerThanAnnounced ? half : body.size();
        const std::string head = "HTTP/1.1 " + std::to_string(Answer.Status) +
                                 " Answer\r\nContent-Type: " + Answer.ContentType +
                                 "\r\nContent-Length: " + std::to_string(announced) +
                                 "\r\nConnection: close\r\n\r\n";
        if (Answer.Fault == TBodyFault::Silent) {
            pause(24 * 3600 * 1000);
            return;
        }
        if (!sendAll(Socket, head.data(), head.size()))
            return;
        switch (Answer.Fault) {
        case TBodyFault::None:
        case TBodyFault::LongerThanAnnounced:
            sendAll(Socket, body.data(), body.size());
            ::shutdown(Socket, SHUT_WR);
            break;
        case TBodyFault::CloseEarly:
            sendAll(Socket, body.data(), half);
            ::shutdown(Socket, SHUT_WR);
            break;
        case TBodyFault::ResetMidBody: {
            sendAll(Socket, body.data(), half);
            // A zero linger turns the close into a reset.
            const linger abort{1, 0};
            ::setsockopt(Socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            break;
        }
        case TBodyFault::Silent:
            break;
        case TBodyFault::Drip:
            for (std::size_t i = 0; i < body.size(); ++i)
                if (!sendAll(Socket, body.data() + i, 1) || pause(Answer.DripMs))
                    break;
            break;
        }
    }

    void accept() {
        while (!stopping()) {
            pollfd p{Listen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int socket = ::accept4(Listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (socket < 0)
                continue;
            std::lock_guard lock(Lock);
            Connections.emplace_back([this, socket] { serve(socket); });
        }
    }
};

TFaultyServer::TFaultyServer(TFaultyAnswer Answer) : FImpl(std::make_unique<TImpl>()) {
    FImpl->Answer = std::move(Answer);
    FImpl->Listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (FImpl->Listen < 0 ||
        ::bind(FImpl->Listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(FImpl->Listen, 16) != 0 ||
        ::getsockname(FImpl->Listen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot bind the faulty server");
    FImpl->Port = ntohs(address.sin_port);
    FImpl->Acceptor = std::thread([impl = FImpl.get()] { impl->accept(); });
}

TFaultyServer::~TFaultyServer() {
    Stop();
}

void TFaultyServer::Stop() {
    {
        std::lock_guard lock(FImpl->Lock);
        FImpl->Stopping = true;
    }
    FImpl->Changed.notify_all();
    if (FImpl->Acceptor.joinable())
        FImpl->Acceptor.join();
    // No new connection thread starts once the acceptor has ended.
    for (std::thread& connection : FImpl->Connections)
        connection.join();
    FImpl->Connections.clear();
    if (FImpl->Listen >= 0)
        ::close(FImpl->Listen);
    FImpl->Listen = -1;
}

QString TFaultyServer::Url(const QString& Path) const {
    return QStringLiteral("http://127.0.0.1:%1/").arg(FImpl->Port) + Path;
}

std::size_t TFaultyServer::RequestCount() const {
    std::lock_guard lock(FImpl->Lock);
    return FImpl->Requests;
}

std::string NoiseBytes(std::size_t Size, unsigned Seed) {
    std::mt19937 random(Seed);
    std::string bytes(Size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}
