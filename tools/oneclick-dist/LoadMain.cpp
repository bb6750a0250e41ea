// oneclick-dist-load: many installers reporting at once to a fresh oneclick-dist on loopback,
// bounded in clients and time. Afterwards every acknowledged report must be in the database
// exactly once; with --kill-after the service is killed with SIGKILL mid-load first.
#include "DistStore.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <httplib.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;

const char* const UsageText =
    "usage: oneclick-dist-load --server PATH --work DIR [--clients N] [--seconds S]\n"
    "                          [--kill-after S]\n"
    "Starts PATH (oneclick-dist) on a fresh database in DIR, sends install reports from N\n"
    "clients (default 50) for S seconds (default 10), optionally kills the service with\n"
    "SIGKILL after that many seconds, then checks the database. Exit status 0 when every\n"
    "acknowledged report is stored exactly once.\n";

struct TOptions {
    std::string Server;
    std::string Work;
    int Clients = 50;
    double Seconds = 10;
    double KillAfter = -1;
};

struct TClientResult {
    std::vector<std::string> Acked;
    long Errors = 0;
};

bool ReadOptions(int argc, char** argv, TOptions& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--server")
            options.Server = value;
        else if (name == "--work")
            options.Work = value;
        else if (name == "--clients")
            options.Clients = std::atoi(value);
        else if (name == "--seconds")
            options.Seconds = std::atof(value);
        else if (name == "--kill-after")
            options.KillAfter = std::atof(value);
        else
            return false;
    }
    return argc % 2 == 1 && !options.Server.empty() && !options.Work.empty() &&
           options.Clients > 0 && options.Clients <= 1000 && options.Seconds > 0 &&
           options.Seconds <= 600;
}

// Starts the service and reads its port from the line it prints; -1 when it does not start.
int StartService(const TOptions& options, const std::string& db, pid_t& pid) {
    int out[2];
    if (pipe(out) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string packages = options.Work + "/packages";
    std::vector<std::string> args = {options.Server, "serve",  "--db",     db,
                                     "--packages",   packages, "--listen", "127.0.0.1:0"};
    std::vector<char*> argvs;
    for (std::string& arg : args)
        argvs.push_back(arg.data());
    argvs.push_back(nullptr);
    const int rc =
        posix_spawn(&pid, options.Server.c_str(), &actions, nullptr, argvs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return -1;
    }
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(out[0]);
    const std::string prefix = "listening on http://127.0.0.1:";
    if (line.compare(0, prefix.size(), prefix) != 0)
        return -1;
    return std::atoi(line.c_str() + prefix.size());
}

void RunClient(int index, int port, TClock::time_point deadline, const std::atomic<bool>& killed,
               TClientResult& result) {
    httplib::Client client("127.0.0.1", port);
    client.set_keep_alive(true);
    client.set_connection_timeout(2);
    client.set_read_timeout(10);
    const std::string channel = "ch" + std::to_string(index % 4);
    for (long seq = 0; TClock::now() < deadline && !killed; ++seq) {
        // The device code names the report, so the database check can find each one.
        const std::string id = "L" + std::to_string(index) + "x" + std::to_string(seq);
        const std::string path =
            "/api/report/install?soft_id=load&curr_ver=1.0.0&source=" + channel +
            "&device_code=" + id + "&kid=";
        const auto answer = client.Get(path.c_str());
        if (answer && answer->status == 200 && answer->body == "{\"code\":0}\n")
            result.Acked.push_back(id);
        else
            ++result.Errors;
    }
}

} // namespace

int main(int argc, char** argv) {
    TOptions options;
    if (!ReadOptions(argc, argv, options)) {
        std::fputs(UsageText, stderr);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::filesystem::create_directories(options.Work);
    const std::string db = options.Work + "/load.db";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(db + suffix);

    pid_t pid = -1;
    const int port = StartService(options, db, pid);
    if (port <= 0) {
        std::fprintf(stderr, "oneclick-dist-load: the service did not start\n");
        return 1;
    }

    const auto start = TClock::now();
    const auto deadline = start + std::chrono::duration_cast<TClock::duration>(
                                      std::chrono::duration<double>(options.Seconds));
    std::atomic<bool> killed = false;
    std::vector<TClientResult> results(static_cast<std::size_t>(options.Clients));
    std::vector<std::thread> clients;
    for (int i = 0; i < options.Clients; ++i)
        clients.emplace_back(RunClient, i, port, deadline, std::cref(killed),
                             std::ref(results[static_cast<std::size_t>(i)]));
    if (options.KillAfter >= 0) {
        std::this_thread::sleep_until(start + std::chrono::duration<double>(options.KillAfter));
        kill(pid, SIGKILL);
        killed = true;
    }
    for (std::thread& client : clients)
        client.join();
    const double elapsed = std::chrono::duration<double>(TClock::now() - start).count();
    if (!killed)
        kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);

    long acked = 0;
    long errors = 0;
    for (const TClientResult& result : results) {
        acked += static_cast<long>(result.Acked.size());
        errors += result.Errors;
    }

    std::map<std::string, std::int64_t> stored;
    std::string integrity;
    try {
        TDistStore store(db);
        TStatement check(store.Handle(), "PRAGMA integrity_check");
        integrity = check.Step() ? check.Text(0) : "no answer";
        TStatement rows(store.Handle(),
                        "SELECT device_code, COUNT(*) FROM reports GROUP BY device_code");
        while (rows.Step())
            stored[rows.Text(0)] = rows.Int(1);
    } catch (const EDistError& error) {
        std::fprintf(stderr, "oneclick-dist-load: %s\n", error.what());
        return 1;
    }
    long missing = 0;
    long twice = 0;
    long found = 0;
    for (const TClientResult& result : results)
        for (const std::string& id : result.Acked) {
            const auto it = stored.find(id);
            if (it == stored.end())
                ++missing;
            else
                ++found;
        }
    std::int64_t total = 0;
    for (const auto& [id, count] : stored) {
        total += count;
        twice += count > 1;
    }

    char killNote[64] = "";
    if (killed)
        std::snprintf(killNote, sizeof killNote, ", service killed after %.1f s",
                      options.KillAfter);
    std::printf("clients %d, %.1f s%s: %ld reports acknowledged (%.0f/s), %ld errors\n",
                options.Clients, elapsed, killNote, acked, acked / elapsed, errors);
    std::printf("stored %lld: %ld acknowledged missing, %ld stored twice, %lld stored without "
                "acknowledgement; integrity %s\n",
                static_cast<long long>(total), missing, twice,
                static_cast<long long>(total) - found, integrity.c_str());
    const bool sound =
        missing == 0 && twice == 0 && integrity == "ok" && acked > 0 && (killed || errors == 0);
    return sound ? 0 : 1;
}
