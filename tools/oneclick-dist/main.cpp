// oneclick-dist: the maker's distribution and statistics service for web installers, and the
// commands that publish packages and read the statistics from the same database.
#include "DistPublish.h"
#include "DistServer.h"
#include "DistStats.h"
#include "DistStore.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

namespace {

const char* const UsageText =
    "usage: oneclick-dist serve --db FILE [--packages DIR] [--listen [HOST:]PORT]\n"
    "       oneclick-dist publish --db FILE --soft-id ID --version V --package ZIP\n"
    "                     [--channel C] [--packages DIR]\n"
    "       oneclick-dist stats --db FILE [--soft-id ID]\n"
    "       oneclick-dist reports --db FILE [--soft-id ID]\n"
    "\n"
    "serve     answers web installers: api/config/soft_down (download address, version and\n"
    "          sha256 of the current package), the package files under packages/, the\n"
    "          reports under api/report/, the support pages t.php?act=...&name=..., and the\n"
    "          statistics page at /. Listens on 127.0.0.1:8080 unless told otherwise; port 0\n"
    "          takes a free one. Prints \"listening on http://HOST:PORT/\" once it accepts.\n"
    "          Stops on SIGINT or SIGTERM; a report is answered only after it is on disk.\n"
    "publish   copies ZIP into the packages folder under a name of its own and makes it the\n"
    "          product's current release: for channel C only, or without --channel for\n"
    "          every channel that has no release of its own.\n"
    "stats     per product, channel and version, the funnel preinstall, install,\n"
    "          install_end, uninstall, and the failures by reason.\n"
    "reports   every stored report as one JSON object per line.\n"
    "\n"
    "The packages folder is recorded in the database by the first serve or publish that\n"
    "names one with --packages; later commands use it when they are given none.\n"
    "Exit status: 0 done, 1 failed, 2 usage error.\n";

struct TUsageError {
    std::string Message;
};

// "--name value" pairs after the command; every name must be one the command knows.
std::map<std::string, std::string> ReadOptions(int argc, char** argv,
                                               const std::set<std::string>& known,
                                               const std::set<std::string>& required) {
    std::map<std::string, std::string> options;
    for (int i = 2; i < argc; i += 2) {
        const std::string name = argv[i];
        if (!known.count(name))
            throw TUsageError{"unknown option " + name};
        if (i + 1 >= argc)
            throw TUsageError{name + " needs a value"};
        options[name] = argv[i + 1];
    }
    for (const std::string& name : required)
        if (!options.count(name))
            throw TUsageError{name + " is required"};
    return options;
}

std::string Get(const std::map<std::string, std::string>& options, const std::string& name) {
    const auto found = options.find(name);
    return found == options.end() ? std::string() : found->second;
}

std::optional<std::string> SoftIdFilter(const std::map<std::string, std::string>& options) {
    const auto found = options.find("--soft-id");
    return found == options.end() ? std::nullopt : std::optional(found->second);
}

int RunServe(int argc, char** argv) {
    const auto options = ReadOptions(argc, argv, {"--db", "--packages", "--listen"}, {"--db"});
    TServeOptions serve;
    serve.DbPath = Get(options, "--db");
    serve.PackagesDir = Get(options, "--packages");
    if (options.count("--listen") && !ParseListenAddress(Get(options, "--listen"), serve))
        throw TUsageError{"--listen takes HOST:PORT or PORT"};
    return Serve(serve);
}

int RunPublish(int argc, char** argv) {
    const auto options = ReadOptions(
        argc, argv, {"--db", "--soft-id", "--version", "--package", "--channel", "--packages"},
        {"--db", "--soft-id", "--version", "--package"});
    TDistStore store(Get(options, "--db"));
    const TRelease release = Publish(store, {Get(options, "--soft-id"), Get(options, "--version"),
                                             Get(options, "--package"), Get(options, "--channel"),
                                             Get(options, "--packages")});
    std::printf("published %s %s for %s: %s sha256 %s\n", release.SoftId.c_str(),
                release.Version.c_str(),
                release.Channel.empty() ? "every channel" : ("channel " + release.Channel).c_str(),
                release.File.c_str(), release.Sha256.c_str());
    return 0;
}

int RunStats(int argc, char** argv) {
    const auto options = ReadOptions(argc, argv, {"--db", "--soft-id"}, {"--db"});
    TDistStore store(Get(options, "--db"));
    std::fputs(StatsText(CollectStats(store, SoftIdFilter(options))).c_str(), stdout);
    return 0;
}

int RunReports(int argc, char** argv) {
    const auto options = ReadOptions(argc, argv, {"--db", "--soft-id"}, {"--db"});
    TDistStore store(Get(options, "--db"));
    for (const TReport& report : store.Reports(SoftIdFilter(options))) {
        nlohmann::json params = nlohmann::json::array();
        for (const auto& [name, value] : report.Params)
            params.push_back({name, value});
        const nlohmann::json line = {{"id", report.Id},
                                     {"time", report.ReceivedAt},
                                     {"kind", report.Kind},
                                     {"params", params}};
        std::puts(line.dump().c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(UsageText, stdout);
        return 0;
    }
    try {
        if (command == "serve")
            return RunServe(argc, argv);
        if (command == "publish")
            return RunPublish(argc, argv);
        if (command == "stats")
            return RunStats(argc, argv);
        if (command == "reports")
            return RunReports(argc, argv);
        throw TUsageError{command.empty() ? "no command given" : "unknown command " + command};
    } catch (const TUsageError& error) {
        std::fprintf(stderr, "oneclick-dist: %s\n%s", error.Message.c_str(), UsageText);
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "oneclick-dist: %s\n", error.what());
        return 1;
    }
}
