// Funnel and failure counts from the report log, and their text and HTML forms.
#include "DistStats.h"

#include "DistText.h"

#include <map>
#include <tuple>

namespace {

using TTable = std::vector<std::vector<std::string>>;

struct TRawRow {
    std::string SoftId, Channel, Version, Key;
    TCount Count;
};

const char* const FunnelKey = "CASE WHEN kind='event' THEN event_id ELSE kind END";
const char* const FunnelFilter = "(kind IN ('preinstall', 'install', 'install_end', 'uninstall') "
                                 "OR (kind='event' AND event_id='install_end'))";
const char* const FailureFilter = "kind='install_fail'";

// Counts per product, channel, version (or all versions) and Key over the reports Filter picks.
std::vector<TRawRow> CountRows(TDistStore& store, const std::optional<std::string>& softId,
                               const std::string& key, const std::string& filter, bool perVersion) {
    const std::string version = perVersion ? "curr_ver" : "'*'";
    const std::string sql = "SELECT soft_id, source, " + version + ", " + key +
                            " AS k, COUNT(DISTINCT NULLIF(device_code, '')), COUNT(*) "
                            "FROM reports WHERE (?1 IS NULL OR soft_id=?1) AND " +
                            filter + " GROUP BY soft_id, source, " +
                            (perVersion ? "curr_ver, " : "") + "k ORDER BY 1, 2, 3, 4";
    TStatement query(store.Handle(), sql.c_str());
    if (softId)
        query.Bind(1, *softId);
    else
        query.BindNull(1);
    std::vector<TRawRow> rows;
    while (query.Step())
        rows.push_back({query.Text(0),
                        query.Text(1),
                        query.Text(2),
                        query.Text(3),
                        {query.Int(4), query.Int(5)}});
    return rows;
}

// Per-version rows of each product and channel, followed by its all-versions rows when it has
// more than one version. Raw rows with the same version (and Key, with ByKey) share one row;
// add counts a raw row into its row.
template <typename TRow, typename TAdd>
std::vector<TRow> Assemble(const std::vector<TRawRow>& perVersion,
                           const std::vector<TRawRow>& allVersions, bool byKey, TAdd add) {
    // (all-versions flag, version, key): the all-versions rows sort after the versions.
    using TKey = std::tuple<bool, std::string, std::string>;
    std::map<std::pair<std::string, std::string>, std::map<TKey, TRow>> groups;
    for (const auto& [rows, total] : {std::pair(&perVersion, false), std::pair(&allVersions, true)})
        for (const TRawRow& raw : *rows)
            add(groups[{raw.SoftId, raw.Channel}][TKey{total, raw.Version, byKey ? raw.Key : ""}],
                raw);
    std::vector<TRow> result;
    for (auto& [product, group] : groups) {
        std::size_t versions = 0;
        const std::string* last = nullptr;
        for (const auto& [key, row] : group)
            if (!std::get<0>(key) && (!last || *last != std::get<1>(key))) {
                ++versions;
                last = &std::get<1>(key);
            }
        for (auto& [key, row] : group)
            if (!std::get<0>(key) || versions > 1)
                result.push_back(std::move(row));
    }
    return result;
}

std::string Cell(const TCount& count) {
    return std::to_string(count.Devices) + " (" + std::to_string(count.Reports) + ")";
}

std::string ChannelText(const std::string& channel) {
    return channel.empty() ? "(empty)" : channel;
}

TTable FunnelTable(const TStats& stats) {
    TTable table{{"product", "channel", "version"}};
    for (const char* stage : FunnelStages)
        table[0].push_back(stage);
    for (const TFunnelRow& row : stats.Funnel) {
        table.push_back({row.SoftId, ChannelText(row.Channel), row.Version});
        for (const TCount& count : row.Stages)
            table.back().push_back(Cell(count));
    }
    return table;
}

TTable FailureTable(const TStats& stats) {
    TTable table{{"product", "channel", "version", "reason", "failures"}};
    for (const TFailureRow& row : stats.Failures)
        table.push_back(
            {row.SoftId, ChannelText(row.Channel), row.Version, row.Reason, Cell(row.Count)});
    return table;
}

// Characters, not bytes, so that non-ASCII names keep the columns aligned.
std::size_t Width(const std::string& text) {
    std::size_t width = 0;
    for (const char c : text)
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return width;
}

std::string AlignedText(const TTable& table) {
    std::vector<std::size_t> widths;
    for (const auto& row : table)
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths.resize(std::max(widths.size(), row.size()));
            widths[i] = std::max(widths[i], Width(row[i]));
        }
    std::string text;
    for (const auto& row : table) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += std::string(widths[i] - Width(row[i]) + 2, ' ');
        }
        text += line + '\n';
    }
    return text;
}

std::string HtmlTable(const TTable& table) {
    std::string html = "<table>\n";
    for (std::size_t r = 0; r < table.size(); ++r) {
        const char* tag = r == 0 ? "th" : "td";
        html += "<tr>";
        for (const std::string& cell : table[r])
            html += std::string("<") + tag + ">" + HtmlEscape(cell) + "</" + tag + ">";
        html += "</tr>\n";
    }
    return html + "</table>\n";
}

const char* const Legend = "Each count is distinct devices (device codes), then raw reports "
                           "in brackets. Version * sums all versions of a product and channel.";

} // namespace

TStats CollectStats(TDistStore& Store, const std::optional<std::string>& SoftId) {
    const auto addStage = [](TFunnelRow& row, const TRawRow& raw) {
        row.SoftId = raw.SoftId;
        row.Channel = raw.Channel;
        row.Version = raw.Version;
        for (std::size_t i = 0; i < FunnelStages.size(); ++i)
            if (raw.Key == FunnelStages[i])
                row.Stages[i] = raw.Count;
    };
    const auto addFailure = [](TFailureRow& row, const TRawRow& raw) {
        row = {raw.SoftId, raw.Channel, raw.Version, raw.Key, raw.Count};
    };
    TStats stats;
    stats.Funnel = Assemble<TFunnelRow>(CountRows(Store, SoftId, FunnelKey, FunnelFilter, true),
                                        CountRows(Store, SoftId, FunnelKey, FunnelFilter, false),
                                        false, addStage);
    stats.Failures = Assemble<TFailureRow>(CountRows(Store, SoftId, "reason", FailureFilter, true),
                                           CountRows(Store, SoftId, "reason", FailureFilter, false),
                                           true, addFailure);
    return stats;
}

std::string StatsText(const TStats& Stats) {
    if (Stats.Funnel.empty() && Stats.Failures.empty())
        return "no reports\n";
    std::string text = std::string(Legend) + "\n\nFunnel\n" + AlignedText(FunnelTable(Stats));
    text += "\nFailures by reason\n";
    text += Stats.Failures.empty() ? "none\n" : AlignedText(FailureTable(Stats));
    return text;
}

std::string StatsHtml(const TStats& Stats) {
    std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                       "<title>Installs</title><style>td,th{padding:2px 10px;text-align:left}"
                       "</style></head><body>\n<h1>Installs</h1>\n<p>" +
                       std::string(Legend) + "</p>\n<h2>Funnel</h2>\n";
    html += Stats.Funnel.empty() ? "<p>no reports</p>\n" : HtmlTable(FunnelTable(Stats));
    html += "<h2>Failures by reason</h2>\n";
    html += Stats.Failures.empty() ? "<p>none</p>\n" : HtmlTable(FailureTable(Stats));
    return html + "</body></html>\n";
}
