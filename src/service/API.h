// The client of the maker's distribution and statistics service: builds its requests, reads the
// one answer the installer uses (the package address and version) and owns the per-machine
// device code. It never raises for a failed exchange; reports are fire-and-forget.
#pragma once

#include "service/HttpUtils.h"

#include <QString>
#include <nlohmann/json.hpp>

class TAPI {
public:
    // Talks to ServiceBaseUrl().
    TAPI(const QString& FromSource, const QString& SoftId, const QString& CurrVer,
         const QString& KeywordID);
    // Talks to BaseUrl (a "/" is added when it has none); StallSeconds bounds every exchange.
    TAPI(const QString& FromSource, const QString& SoftId, const QString& CurrVer,
         const QString& KeywordID, const QString& BaseUrl, int StallSeconds = HttpStallSeconds);
    virtual ~TAPI();
    TAPI(const TAPI&) = delete;
    TAPI& operator=(const TAPI&) = delete;

    // The device code: the maker-wide value, else the per-product "guid", else a new code,
    // which is stored maker-wide. Registry write errors are raised.
    QString getGlobalGUID();

    // Blocking. True with the package address and version when the service answers code 0 with
    // a "data" object; the version then becomes the curr_ver of later reports.
    bool GetSoftDownloadInfo(QString& url, QString& ver);
    // The same, with the package's "sha256" when the answer carries one (empty otherwise).
    bool GetSoftDownloadInfo(QString& url, QString& ver, QString& sha256);

    void ReportEvent(const QString& eventName, bool byThread);
    void ReportInstallEnd();                                    // blocking
    void ReportInstallFail(const QString& reason, int errCode); // blocking
    void ReportPreInstall();                                    // on a thread
    void ReportInstall();                                       // on a thread
    // On a thread; an empty version raises "curr version=null" and sends nothing.
    void ReportUninstall(const QString& localVersion);

    // Parses an answer: jsData is its "data" member (null when absent), retCode its "code" read
    // as an integer. False for an empty text, a text that is not JSON or not a JSON object, and
    // one nested more than 64 levels deep.
    static bool getJsonObject(const QString& strData, nlohmann::json& jsData, int& retCode);

    const QString& SoftId() const { return FSoftId; }
    const QString& CurrVer() const { return FCurrVer; }
    const QString& KeywordID() const { return FKeywordID; }
    const QString& FromSource() const { return FFromSource; }
    const QString& Guid() const { return FGuid; }
    const QString& BaseUrl() const { return FBaseUrl; }

private:
    bool send(const QString& path, const QString& params, QString& respData, bool byThread);
    void report(const QString& path, const QString& params, bool byThread);

    QString FSoftId;
    QString FCurrVer;
    QString FKeywordID;
    QString FFromSource;
    QString FGuid;
    QString FBaseUrl;
    int FStallSeconds;
};

// Reads the answer to the package-address request: true with the address, version and digest
// (empty when none) when it is code 0 with a "data" object. The client's blocking request uses it.
bool ParseSoftDownloadInfo(const QString& Body, QString& url, QString& ver, QString& sha256);

// The "code" member's integer: numbers rounded (clamped to the int range), decimal strings,
// true as 1; anything else, absent included, as 0.
int JsonCodeToInt(const nlohmann::json& Code);

// A new device code: the 32 upper-case hex digits of a random GUID followed by the first two
// (lower-case) hex digits of the MD5 of its braced text.
QString CreateDeviceCode();
// The MD5 (RFC 1321) of S's UTF-8 bytes as 32 lower-case hex digits.
QString MD5HexLower(const QString& S);
