// What the reports say: per product, channel and version, how many devices (distinct device
// codes) and how many raw reports reached each stage of the install funnel, and the failures
// by reason. Rendered as plain text for the command line and as HTML for the service's page.
#pragma once

#include "DistStore.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

// The funnel, in order. "install_end" is the installer's closing event (an "event" report
// with event_id=install_end, or a report under that path).
inline constexpr std::array<const char*, 4> FunnelStages = {"preinstall", "install", "install_end",
                                                            "uninstall"};
// The version column of a row that sums every version of a product and channel.
inline constexpr const char* AllVersions = "*";

struct TCount {
    std::int64_t Devices = 0;
    std::int64_t Reports = 0;
};

struct TFunnelRow {
    std::string SoftId;
    std::string Channel;
    std::string Version;
    std::array<TCount, FunnelStages.size()> Stages{};
};

struct TFailureRow {
    std::string SoftId;
    std::string Channel;
    std::string Version;
    std::string Reason;
    TCount Count;
};

struct TStats {
    std::vector<TFunnelRow> Funnel;
    std::vector<TFailureRow> Failures;
};

// With SoftId only that product. A product and channel seen with more than one version also
// gets a row over all its versions (version "*"), since a web installer reports its first
// stages with its own version and the later ones with the version it downloaded.
TStats CollectStats(TDistStore& Store, const std::optional<std::string>& SoftId);

std::string StatsText(const TStats& Stats);
// A whole HTML page.
std::string StatsHtml(const TStats& Stats);
