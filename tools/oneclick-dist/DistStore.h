// The distribution service's database: the releases that publish records and the reports that
// installers send. One SQLite file in WAL mode with full syncs, so a write the caller has been
// told about is on disk, whatever happens to the process afterwards.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class EDistError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Query items in the order they came, percent-decoded.
using TParams = std::vector<std::pair<std::string, std::string>>;

struct TRelease {
    std::string SoftId;
    std::string Channel; // empty: the default for every channel without its own
    std::string Version;
    std::string File; // a plain file name inside the packages folder
    std::string Sha256;
    std::int64_t Size = 0;
    std::string PublishedAt;
};

struct TReport {
    std::int64_t Id = 0;    // set by the store
    std::string ReceivedAt; // UTC, ISO 8601 with milliseconds
    std::string Kind;       // the report's path name: preinstall, install, install_fail, ...
    TParams Params;
};

// One prepared statement; throws EDistError on any failure.
class TStatement {
public:
    TStatement(sqlite3* Db, const char* Sql);
    ~TStatement();
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    TStatement& Bind(int Index, const std::string& Value);
    TStatement& Bind(int Index, std::int64_t Value);
    TStatement& BindNull(int Index);
    // True while a row is there; false when done.
    bool Step();
    void Reset();
    std::string Text(int Column) const;
    std::int64_t Int(int Column) const;

private:
    sqlite3* FDb;
    sqlite3_stmt* FStmt = nullptr;
};

class TDistStore {
public:
    // Opens or creates the database and its tables.
    explicit TDistStore(const std::string& Path);
    ~TDistStore();
    TDistStore(const TDistStore&) = delete;
    TDistStore& operator=(const TDistStore&) = delete;

    std::string Setting(const std::string& Name);
    void SetSetting(const std::string& Name, const std::string& Value);

    void AddRelease(const TRelease& Release);
    // The release answered to a product asked for from a channel: the channel's own latest,
    // else the latest default one.
    std::optional<TRelease> CurrentRelease(const std::string& SoftId, const std::string& Channel);
    // Whether File is the package of some release (current or earlier).
    bool IsPublishedFile(const std::string& File);

    // Stores the reports in one transaction and sets their ids; throws when it did not commit.
    void AddReports(std::vector<TReport>& Reports);
    // Every report, oldest first; with SoftId only that product's.
    std::vector<TReport> Reports(const std::optional<std::string>& SoftId);

    void Exec(const char* Sql);
    sqlite3* Handle() const { return FDb; }

private:
    sqlite3* FDb = nullptr;
};

// "2024-05-01T12:00:00.123Z" for now.
std::string UtcNow();
