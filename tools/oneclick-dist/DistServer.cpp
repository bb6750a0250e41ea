// Routes of the service. Reports are written by one thread that commits whatever has queued up
// in one transaction, and a report is acknowledged only after its commit: many installers at
// once cost one sync per batch, and no acknowledged report can be lost.
#include "DistServer.h"

#include "DistPublish.h"
#include "DistStats.h"
#include "DistStore.h"
#include "DistText.h"

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <future>
#include <httplib.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Installers send a handful of short values; anything much larger is not an installer.
constexpr std::size_t MaxQueryBytes = 4096;
constexpr std::size_t MaxParams = 64;
constexpr std::size_t MaxPayloadBytes = 64 * 1024;
constexpr std::size_t MaxBatch = 4096;
constexpr int Workers = 64;

const char* const JsonType = "application/json";
const char* const HtmlType = "text/html; charset=utf-8";

// One writer thread owns the database connection that stores reports.
class TReportWriter {
public:
    explicit TReportWriter(const std::string& DbPath)
        : FStore(DbPath), FThread([this] { run(); }) {}
    ~TReportWriter() { Stop(); }

    // Blocks until the report is committed (true) or its transaction failed (false).
    bool Store(TReport Report) {
        TPending pending{std::move(Report), {}};
        std::future<bool> done = pending.Done.get_future();
        {
            std::lock_guard lock(FMutex);
            if (FStopping)
                return false;
            FQueue.push_back(&pending);
        }
        FWake.notify_one();
        return done.get();
    }

    // Stores what is queued, then ends the thread.
    void Stop() {
        {
            std::lock_guard lock(FMutex);
            FStopping = true;
        }
        FWake.notify_one();
        if (FThread.joinable())
            FThread.join();
    }

private:
    struct TPending {
        TReport Report;
        std::promise<bool> Done;
    };

    void run() {
        for (;;) {
            std::vector<TPending*> batch;
            {
                std::unique_lock lock(FMutex);
                FWake.wait(lock, [this] { return FStopping || !FQueue.empty(); });
                if (FQueue.empty())
                    return;
                while (!FQueue.empty() && batch.size() < MaxBatch) {
                    batch.push_back(FQueue.front());
                    FQueue.pop_front();
                }
            }
            std::vector<TReport> reports;
            reports.reserve(batch.size());
            for (TPending* pending : batch)
                reports.push_back(pending->Report);
            bool stored = true;
            try {
                FStore.AddReports(reports);
            } catch (const EDistError& error) {
                std::fprintf(stderr, "oneclick-dist: %zu reports not stored: %s\n", batch.size(),
                             error.what());
                stored = false;
            }
            for (TPending* pending : batch)
                pending->Done.set_value(stored);
        }
    }

    TDistStore FStore;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::deque<TPending*> FQueue;
    bool FStopping = false;
    std::thread FThread;
};

class THttpServer : public httplib::Server {
public:
    // The library listens with a backlog of 5, so a crowd of installers connecting at once
    // would see refused connections; listening again on the bound socket widens it.
    void WidenBacklog() { ::listen(svr_sock_, SOMAXCONN); }
};

void Answer(httplib::Response& res, int status, const nlohmann::json& body) {
    res.status = status;
    res.set_content(body.dump() + "\n", JsonType);
}

void Refuse(httplib::Response& res, const std::string& why) {
    Answer(res, 400, {{"code", 400}, {"msg", why}});
}

// The query as it came on the wire, decoded in order; answers 400 and returns false when the
// request is too large, carries a body, is broken or lacks a soft_id (with NeedSoftId).
bool ReadQuery(const httplib::Request& req, httplib::Response& res, TParams& params,
               bool needSoftId) {
    const std::size_t mark = req.target.find('?');
    const std::string_view raw = mark == std::string::npos
                                     ? std::string_view()
                                     : std::string_view(req.target).substr(mark + 1);
    // Installers send no body with a GET; one that comes is not read, so it must not pass.
    const std::string length = req.get_header_value("Content-Length");
    if ((!length.empty() && length != "0") || req.has_header("Transfer-Encoding")) {
        res.set_header("Connection", "close");
        Refuse(res, "a request body is not accepted");
        return false;
    }
    if (raw.size() > MaxQueryBytes) {
        Refuse(res, "request too large");
        return false;
    }
    if (!ParseQuery(raw, params)) {
        Refuse(res, "malformed query: broken escape, or text that is not UTF-8");
        return false;
    }
    if (params.size() > MaxParams) {
        Refuse(res, "too many parameters");
        return false;
    }
    if (needSoftId && FindParam(params, "soft_id").value_or("").empty()) {
        Refuse(res, "soft_id missing");
        return false;
    }
    return true;
}

bool IsHostText(const std::string& host) {
    if (host.empty() || host.size() > 255)
        return false;
    for (const char c : host) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':' || c == '[' ||
                           c == ']';
        if (!plain)
            return false;
    }
    return true;
}

std::string HostAndPort(const std::string& host, int port) {
    const std::string shown = host == "0.0.0.0" ? "127.0.0.1" : host == "::" ? "::1" : host;
    return (shown.find(':') != std::string::npos ? "[" + shown + "]" : shown) + ':' +
           std::to_string(port);
}

struct TPage {
    const char* Act;
    const char* Title;
    const char* Text; // %s: the product id
};

const TPage Pages[] = {
    {"insterr_cs", "Installation problem",
     "The installation of <b>%s</b> did not finish. Please check that the disk has room and "
     "that no security program blocks the installer, then run it again. If it fails again, "
     "write to customer service and name the product <b>%s</b>."},
    {"chatwithus", "Contact us",
     "Questions about <b>%s</b>? Write to customer service and name the product <b>%s</b>; we "
     "answer within one working day."},
    {"tutorial", "Getting started",
     "After the installation, <b>%s</b> starts from its desktop shortcut. To remove it, use the "
     "uninstaller in its folder or the list of installed programs (<b>%s</b>)."},
};

std::string PageHtml(const TPage& page, const std::string& name) {
    const std::string escaped = HtmlEscape(name);
    std::string text = page.Text;
    for (std::size_t at; (at = text.find("%s")) != std::string::npos;)
        text.replace(at, 2, escaped);
    return std::string("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>") +
           page.Title + "</title></head><body>\n<h1>" + page.Title + "</h1>\n<p>" + text +
           "</p>\n</body></html>\n";
}

class TService {
public:
    TService(const TServeOptions& options, const std::string& packagesDir)
        : FOptions(options), FPackagesDir(packagesDir), FReader(options.DbPath),
          FWriter(options.DbPath) {}

    void Route(THttpServer& server) {
        server.Get("/api/config/soft_down",
                   [this](const auto& req, auto& res) { softDown(req, res); });
        server.Get(R"(/api/report/(preinstall|install|install_fail|install_end|uninstall|event))",
                   [this](const auto& req, auto& res) { report(req, res); });
        server.Get(R"(/packages/([^/]+))",
                   [this](const auto& req, auto& res) { package(req, res); });
        server.Get("/t.php", [](const auto& req, auto& res) { supportPage(req, res); });
        server.Get("/", [this](const auto& req, auto& res) { statsPage(req, res); });
    }

    void StopWriting() { FWriter.Stop(); }
    void SetPort(int Port) { FPort = Port; }

private:
    void softDown(const httplib::Request& req, httplib::Response& res) {
        TParams params;
        if (!ReadQuery(req, res, params, true))
            return;
        std::optional<TRelease> release;
        {
            std::lock_guard lock(FReaderMutex);
            release = FReader.CurrentRelease(*FindParam(params, "soft_id"),
                                             FindParam(params, "source").value_or(""));
        }
        if (!release)
            return Answer(res, 200, {{"code", 1}, {"msg", "unknown product"}});
        // The address follows the name the installer reached us by, so any port or host works.
        const std::string host = req.get_header_value("Host");
        const std::string base =
            "http://" + (IsHostText(host) ? host : HostAndPort(FOptions.Host, FPort));
        Answer(res, 200,
               {{"code", 0},
                {"data",
                 {{"url", base + "/packages/" + release->File},
                  {"ver", release->Version},
                  {"sha256", release->Sha256}}}});
    }

    void report(const httplib::Request& req, httplib::Response& res) {
        // The library answers HEAD through the GET routes; a HEAD is no report.
        if (req.method != "GET")
            return Refuse(res, "reports are sent with GET");
        TReport report;
        if (!ReadQuery(req, res, report.Params, true))
            return;
        report.ReceivedAt = UtcNow();
        report.Kind = req.matches[1];
        if (!FWriter.Store(std::move(report)))
            return Answer(res, 503, {{"code", 503}, {"msg", "report not stored"}});
        Answer(res, 200, {{"code", 0}});
    }

    void package(const httplib::Request& req, httplib::Response& res) {
        // Only files that publish put there are served: the name is one of the recorded ones
        // (plain names, no separators), and a link in the folder is not followed.
        const std::string name = req.matches[1];
        bool published;
        {
            std::lock_guard lock(FReaderMutex);
            published = FReader.IsPublishedFile(name);
        }
        const int fd =
            published ? open((FPackagesDir + '/' + name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)
                      : -1;
        struct stat info {};
        if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            if (fd >= 0)
                close(fd);
            res.status = 404;
            return res.set_content("not found\n", "text/plain");
        }
        const auto size = static_cast<std::size_t>(info.st_size);
        std::size_t start = 0;
        std::size_t length = size;
        res.set_header("Accept-Ranges", "bytes");
        // The library's own range handling miscounts ranges past the end, so ranges are done
        // here and the parsed ones taken away from it (the request object is not const).
        const httplib::Ranges ranges = req.ranges;
        const_cast<httplib::Request&>(req).ranges.clear();
        if (ranges.size() == 1) {
            const auto [first, last] = ranges.front();
            if (first < 0) {
                length = std::min(size, static_cast<std::size_t>(last));
                start = size - length;
            } else {
                start = static_cast<std::size_t>(first);
                const std::size_t end = last < 0 || static_cast<std::size_t>(last) >= size
                                            ? size
                                            : static_cast<std::size_t>(last) + 1;
                length = start < end ? end - start : 0;
            }
            if (length == 0) {
                close(fd);
                res.status = 416;
                res.set_header("Content-Range", "bytes */" + std::to_string(size));
                return res.set_content("range not satisfiable\n", "text/plain");
            }
            res.status = 206;
            res.set_header("Content-Range", "bytes " + std::to_string(start) + '-' +
                                                std::to_string(start + length - 1) + '/' +
                                                std::to_string(size));
        }
        // Several ranges get the whole file, which a client must accept.
        if (length == 0) {
            close(fd);
            return res.set_content("", "application/zip");
        }
        res.set_content_provider(
            length, "application/zip",
            [fd, start](std::size_t offset, std::size_t want, httplib::DataSink& sink) {
                char buffer[1 << 16];
                const ssize_t got = pread(fd, buffer, std::min(want, sizeof buffer),
                                          static_cast<off_t>(start + offset));
                return got > 0 && sink.write(buffer, static_cast<std::size_t>(got));
            },
            [fd](bool) { close(fd); });
    }

    static void supportPage(const httplib::Request& req, httplib::Response& res) {
        TParams params;
        if (!ReadQuery(req, res, params, false))
            return;
        const std::string act = FindParam(params, "act").value_or("");
        for (const TPage& page : Pages)
            if (act == page.Act)
                return res.set_content(PageHtml(page, FindParam(params, "name").value_or("")),
                                       HtmlType);
        res.status = 404;
        res.set_content("<!DOCTYPE html>\n<html><body><p>No such page.</p></body></html>\n",
                        HtmlType);
    }

    void statsPage(const httplib::Request& req, httplib::Response& res) {
        TParams params;
        if (!ReadQuery(req, res, params, false))
            return;
        const auto softId = FindParam(params, "soft_id");
        TStats stats;
        {
            std::lock_guard lock(FReaderMutex);
            stats = CollectStats(FReader, softId && !softId->empty() ? softId : std::nullopt);
        }
        res.set_content(StatsHtml(stats), HtmlType);
    }

    const TServeOptions FOptions;
    const std::string FPackagesDir;
    int FPort = 0;
    std::mutex FReaderMutex;
    TDistStore FReader;
    TReportWriter FWriter;
};

} // namespace

bool ParseListenAddress(const std::string& Text, TServeOptions& Options) {
    std::string host = Options.Host;
    std::string port = Text;
    if (!Text.empty() && Text.front() == '[') {
        const std::size_t close = Text.find("]:");
        if (close == std::string::npos)
            return false;
        host = Text.substr(1, close - 1);
        port = Text.substr(close + 2);
    } else if (const std::size_t colon = Text.rfind(':'); colon != std::string::npos) {
        host = Text.substr(0, colon);
        port = Text.substr(colon + 1);
    }
    if (host.empty() || port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) > 65535)
        return false;
    Options.Host = host;
    Options.Port = std::stoi(port);
    return true;
}

int Serve(const TServeOptions& Options) {
    // Signals are taken by one thread (below), so block them before any thread starts.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::string packagesDir;
    {
        TDistStore store(Options.DbPath);
        packagesDir = ResolvePackagesDir(store, Options.PackagesDir);
    }
    TService service(Options, packagesDir);
    THttpServer server;
    server.new_task_queue = [] { return new httplib::ThreadPool(Workers); };
    server.set_keep_alive_max_count(100);
    server.set_payload_max_length(MaxPayloadBytes);
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
            // Oversized lines and bodies are refused like any other malformed request; what is
            // left of them is not read, so the connection ends with the answer.
            if (res.status == 413 || res.status == 414) {
                res.status = 400;
                res.set_header("Connection", "close");
                res.set_content("request too large\n", "text/plain");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (!res.body.empty() || res.content_length_)
                return httplib::Server::HandlerResponse::Unhandled;
            res.set_content(std::to_string(res.status) + "\n", "text/plain");
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "oneclick-dist: %s\n", e.what());
            } catch (...) {
            }
            res.status = 500;
            res.set_content("internal error\n", "text/plain");
        });
    service.Route(server);

    const int port = Options.Port == 0
                         ? server.bind_to_any_port(Options.Host)
                         : (server.bind_to_port(Options.Host, Options.Port) ? Options.Port : -1);
    if (port <= 0) {
        std::fprintf(stderr, "oneclick-dist: cannot listen on %s:%d\n", Options.Host.c_str(),
                     Options.Port);
        return 1;
    }
    server.WidenBacklog();
    service.SetPort(port);

    std::atomic<bool> done = false;
    std::atomic<bool> stopped = false;
    std::thread signals([&] {
        const timespec tick{0, 200'000'000};
        while (!done) {
            if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) {
                stopped = true;
                server.stop();
                return;
            }
        }
    });
    std::printf("listening on http://%s/\n", HostAndPort(Options.Host, port).c_str());
    std::fflush(stdout);
    const bool clean = server.listen_after_bind();
    done = true;
    signals.join();
    service.StopWriting();
    return clean || stopped ? 0 : 1;
}
