// The package download: one blocking HTTP GET into a file with work events (begin with the
// announced size, progress with the bytes received, end) driven by libcurl's progress, plus a
// streaming SHA-256 of a file to check what arrived.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

class QFile;

// Work mode passed to the work events; the download only reads.
constexpr int wmRead = 0;

// The low-speed floor of a download: a transfer that stays below DownloadLowSpeedBytes per
// second for DownloadLowSpeedSeconds in a row is given up. The installer's close button is
// hidden while it downloads, so a server that drips a byte now and then (or accepts and then
// says nothing) would otherwise hold it for ever; any usable link is far above this floor.
constexpr long DownloadLowSpeedBytes = 1024;
constexpr int DownloadLowSpeedSeconds = 60;

struct TLowSpeedLimit {
    long BytesPerSecond = DownloadLowSpeedBytes;
    int Seconds = DownloadLowSpeedSeconds; // 0: no floor
};

class THttpDownload {
public:
    using TWorkBeginEvent = std::function<void(int AWorkMode, qint64 AWorkCountMax)>;
    using TWorkEvent = std::function<void(int AWorkMode, qint64 AWorkCount)>;
    using TWorkEndEvent = std::function<void(int AWorkMode)>;

    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
    TWorkEndEvent OnWorkEnd;

    // Redirects are followed over http and https only.
    bool HandleRedirects = true;
    int ConnectTimeoutMs = 5000;
    // Starts as DefaultLowSpeedLimit().
    TLowSpeedLimit LowSpeed = DefaultLowSpeedLimit();

    // The floor every new client starts with: DownloadLowSpeedBytes over DownloadLowSpeedSeconds
    // unless changed. A seam for tests, which give the session's client a short window.
    static TLowSpeedLimit DefaultLowSpeedLimit();
    static void SetDefaultLowSpeedLimit(const TLowSpeedLimit& Limit);

    // GETs url into Target (open for writing). True when no error occurred (transport, a write
    // or flush of Target, a work event that threw) and the final status is 200..299. ResponseCode
    // gets the final status (0 when none arrived).
    bool Get(const QString& url, QFile& Target);
    int ResponseCode() const { return FResponseCode; }
    const QString& LastError() const { return FLastError; }
    // The SHA-256 of the body written by the last successful Get, as 64 lower-case hex digits,
    // taken as the bytes arrived (no second read of the file); empty after a failed Get.
    const QString& BodySha256Hex() const { return FBodySha256Hex; }

private:
    int FResponseCode = 0;
    QString FLastError;
    QString FBodySha256Hex;
};

// The SHA-256 of a file's bytes as 64 lower-case hex digits, read in blocks; empty when the
// file cannot be read.
QString FileSha256Hex(const QString& path);
