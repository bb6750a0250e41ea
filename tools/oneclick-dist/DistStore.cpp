// The service's SQLite database: schema, releases and the report log.
#include "DistStore.h"

#include <chrono>
#include <ctime>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

namespace {

const char* const Schema = R"sql(
CREATE TABLE IF NOT EXISTS settings(name TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS releases(
  id INTEGER PRIMARY KEY, soft_id TEXT NOT NULL, channel TEXT NOT NULL, version TEXT NOT NULL,
  file TEXT NOT NULL, sha256 TEXT NOT NULL, size INTEGER NOT NULL, published_at TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS releases_by_product ON releases(soft_id, channel);
CREATE INDEX IF NOT EXISTS releases_by_file ON releases(file);
CREATE TABLE IF NOT EXISTS reports(
  id INTEGER PRIMARY KEY, received_at TEXT NOT NULL, kind TEXT NOT NULL,
  soft_id TEXT NOT NULL, source TEXT NOT NULL, curr_ver TEXT NOT NULL, device_code TEXT NOT NULL,
  event_id TEXT NOT NULL, reason TEXT NOT NULL, params TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS reports_by_product ON reports(soft_id, source, curr_ver, kind);
)sql";

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
    throw EDistError(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

std::string FirstValue(const TParams& params, const char* name) {
    for (const auto& [key, value] : params)
        if (key == name)
            return value;
    return {};
}

TRelease ReadRelease(const TStatement& row) {
    return TRelease{row.Text(0), row.Text(1), row.Text(2), row.Text(3),
                    row.Text(4), row.Int(5),  row.Text(6)};
}

} // namespace

TStatement::TStatement(sqlite3* Db, const char* Sql) : FDb(Db) {
    if (sqlite3_prepare_v2(Db, Sql, -1, &FStmt, nullptr) != SQLITE_OK)
        Fail(Db, "cannot prepare a statement");
}

TStatement::~TStatement() {
    sqlite3_finalize(FStmt);
}

TStatement& TStatement::Bind(int Index, const std::string& Value) {
    if (sqlite3_bind_text(FStmt, Index, Value.data(), static_cast<int>(Value.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK)
        Fail(FDb, "cannot bind a value");
    return *this;
}

TStatement& TStatement::Bind(int Index, std::int64_t Value) {
    if (sqlite3_bind_int64(FStmt, Index, Value) != SQLITE_OK)
        Fail(FDb, "cannot bind a value");
    return *this;
}

TStatement& TStatement::BindNull(int Index) {
    if (sqlite3_bind_null(FStmt, Index) != SQLITE_OK)
        Fail(FDb, "cannot bind a value");
    return *this;
}

bool TStatement::Step() {
    const int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    Fail(FDb, "database statement failed");
}

void TStatement::Reset() {
    sqlite3_reset(FStmt);
    sqlite3_clear_bindings(FStmt);
}

std::string TStatement::Text(int Column) const {
    const auto* text = sqlite3_column_text(FStmt, Column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<std::size_t>(sqlite3_column_bytes(FStmt, Column)))
                : std::string();
}

std::int64_t TStatement::Int(int Column) const {
    return sqlite3_column_int64(FStmt, Column);
}

TDistStore::TDistStore(const std::string& Path) {
    if (sqlite3_open_v2(Path.c_str(), &FDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string message = FDb ? sqlite3_errmsg(FDb) : "out of memory";
        sqlite3_close(FDb);
        throw EDistError("cannot open " + Path + ": " + message);
    }
    try {
        sqlite3_busy_timeout(FDb, 10000);
        TStatement wal(FDb, "PRAGMA journal_mode=WAL");
        if (!wal.Step() || wal.Text(0) != "wal")
            throw EDistError("cannot switch " + Path + " to WAL mode");
        // A report is acknowledged only after its commit, and a full sync makes that commit
        // survive a power cut as well as a killed process.
        Exec("PRAGMA synchronous=FULL");
        Exec(Schema);
    } catch (...) {
        sqlite3_close(FDb);
        throw;
    }
}

TDistStore::~TDistStore() {
    sqlite3_close(FDb);
}

void TDistStore::Exec(const char* Sql) {
    char* error = nullptr;
    if (sqlite3_exec(FDb, Sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : sqlite3_errmsg(FDb);
        sqlite3_free(error);
        throw EDistError("database statement failed: " + message);
    }
}

std::string TDistStore::Setting(const std::string& Name) {
    TStatement query(FDb, "SELECT value FROM settings WHERE name=?1");
    query.Bind(1, Name);
    return query.Step() ? query.Text(0) : std::string();
}

void TDistStore::SetSetting(const std::string& Name, const std::string& Value) {
    TStatement update(FDb, "INSERT INTO settings(name, value) VALUES(?1, ?2) "
                           "ON CONFLICT(name) DO UPDATE SET value=excluded.value");
    update.Bind(1, Name).Bind(2, Value).Step();
}

void TDistStore::AddRelease(const TRelease& Release) {
    TStatement insert(FDb, "INSERT INTO releases(soft_id, channel, version, file, sha256, size, "
                           "published_at) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    insert.Bind(1, Release.SoftId).Bind(2, Release.Channel).Bind(3, Release.Version);
    insert.Bind(4, Release.File).Bind(5, Release.Sha256).Bind(6, Release.Size);
    insert.Bind(7, Release.PublishedAt).Step();
}

std::optional<TRelease> TDistStore::CurrentRelease(const std::string& SoftId,
                                                   const std::string& Channel) {
    TStatement query(FDb, "SELECT soft_id, channel, version, file, sha256, size, published_at "
                          "FROM releases WHERE soft_id=?1 AND channel IN (?2, '') "
                          "ORDER BY channel=?2 DESC, id DESC LIMIT 1");
    query.Bind(1, SoftId).Bind(2, Channel);
    if (!query.Step())
        return std::nullopt;
    return ReadRelease(query);
}

bool TDistStore::IsPublishedFile(const std::string& File) {
    TStatement query(FDb, "SELECT 1 FROM releases WHERE file=?1 LIMIT 1");
    query.Bind(1, File);
    return query.Step();
}

void TDistStore::AddReports(std::vector<TReport>& Reports) {
    Exec("BEGIN IMMEDIATE");
    try {
        TStatement insert(FDb, "INSERT INTO reports(received_at, kind, soft_id, source, curr_ver, "
                               "device_code, event_id, reason, params) "
                               "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
        for (TReport& report : Reports) {
            nlohmann::json params = nlohmann::json::array();
            for (const auto& [name, value] : report.Params)
                params.push_back({name, value});
            insert.Bind(1, report.ReceivedAt).Bind(2, report.Kind);
            insert.Bind(3, FirstValue(report.Params, "soft_id"));
            insert.Bind(4, FirstValue(report.Params, "source"));
            insert.Bind(5, FirstValue(report.Params, "curr_ver"));
            insert.Bind(6, FirstValue(report.Params, "device_code"));
            insert.Bind(7, FirstValue(report.Params, "event_id"));
            insert.Bind(8, FirstValue(report.Params, "reason"));
            insert.Bind(9, params.dump());
            insert.Step();
            insert.Reset();
            report.Id = sqlite3_last_insert_rowid(FDb);
        }
        Exec("COMMIT");
    } catch (...) {
        sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<TReport> TDistStore::Reports(const std::optional<std::string>& SoftId) {
    TStatement query(FDb, "SELECT id, received_at, kind, params FROM reports "
                          "WHERE ?1 IS NULL OR soft_id=?1 ORDER BY id");
    if (SoftId)
        query.Bind(1, *SoftId);
    else
        query.BindNull(1);
    std::vector<TReport> reports;
    while (query.Step()) {
        TReport report{query.Int(0), query.Text(1), query.Text(2), {}};
        const auto params = nlohmann::json::parse(query.Text(3), nullptr, false);
        if (params.is_array())
            for (const auto& item : params)
                if (item.is_array() && item.size() == 2 && item[0].is_string() &&
                    item[1].is_string())
                    report.Params.emplace_back(item[0].get<std::string>(),
                                               item[1].get<std::string>());
        reports.push_back(std::move(report));
    }
    return reports;
}

std::string UtcNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis));
    return text;
}
