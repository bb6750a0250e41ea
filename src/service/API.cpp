// The service client: every request is a GET of base URL + path with a query filled from the
// client's fields; values are percent-encoded only where they hold characters a query cannot
// carry, so plain values go on the wire as they stand.
#include "service/API.h"

#include "config/RegistryStrings.h"
#include "config/Source.h"
#include "config/TextUtils.h"
#include "resources/BaseUrls.h"

#include <QUuid>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <openssl/evp.h>

namespace {

// The deepest nesting of objects and arrays an answer may have.
constexpr int MaxAnswerDepth = 64;

const QString DeviceCodeKey = QStringLiteral("SOFTWARE\\velnaglobal");
const QString DeviceCodeValue = QStringLiteral("guid");

// Fills the "%s" places of a template, in order, with the encoded values.
QString FillTemplate(const QString& Template, std::initializer_list<QString> Values) {
    const QStringList pieces = Template.split(QStringLiteral("%s"));
    QString result = pieces.front();
    auto value = Values.begin();
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        if (value != Values.end())
            result += EncodeQueryValue(*value++);
        result += pieces[i];
    }
    return result;
}

int ClampToInt(long double value) {
    if (value >= static_cast<long double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<long double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

// An optional sign and decimal digits, nothing else; other texts read as 0.
int DecimalTextToInt(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return 0;
    long double value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        value = value * 10 + (text[i] - '0');
    }
    return ClampToInt(negative ? -value : value);
}

// The text conversion of configuration members: strings as they are, other values as JSON.
QString JsonText(const nlohmann::json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end())
        return {};
    if (found->is_string())
        return QString::fromStdString(found->get<std::string>());
    return QString::fromStdString(found->dump());
}

} // namespace

int JsonCodeToInt(const nlohmann::json& Code) {
    if (Code.is_boolean())
        return Code.get<bool>() ? 1 : 0;
    if (Code.is_number_integer() && Code.is_number_unsigned())
        return ClampToInt(static_cast<long double>(Code.get<std::uint64_t>()));
    if (Code.is_number_integer())
        return ClampToInt(static_cast<long double>(Code.get<std::int64_t>()));
    if (Code.is_number_float())
        return ClampToInt(std::round(static_cast<long double>(Code.get<double>())));
    if (Code.is_string())
        return DecimalTextToInt(Code.get<std::string>());
    return 0;
}

QString MD5HexLower(const QString& S) {
    const QByteArray data = S.toUtf8();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data.constData(), static_cast<size_t>(data.size()), digest, &length, EVP_md5(),
                   nullptr) != 1)
        return {};
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length)).toHex());
}

QString CreateDeviceCode() {
    const QString braced = QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
    QString code = braced + MD5HexLower(braced).left(2);
    for (const QChar c : {u'}', u'{', u'-'})
        code.remove(c);
    return code;
}

TAPI::TAPI(const QString& FromSource, const QString& SoftId, const QString& CurrVer,
           const QString& KeywordID)
    : TAPI(FromSource, SoftId, CurrVer, KeywordID, ServiceBaseUrl()) {}

TAPI::TAPI(const QString& FromSource, const QString& SoftId, const QString& CurrVer,
           const QString& KeywordID, const QString& BaseUrl, int StallSeconds)
    : FSoftId(SoftId), FCurrVer(CurrVer), FKeywordID(KeywordID), FFromSource(FromSource),
      FBaseUrl(BaseUrl.endsWith(u'/') ? BaseUrl : BaseUrl + u'/'), FStallSeconds(StallSeconds) {
    FGuid = getGlobalGUID();
}

TAPI::~TAPI() = default;

QString TAPI::getGlobalGUID() {
    QString code = RegReadStringQuiet(HKEY_CURRENT_USER, DeviceCodeKey, DeviceCodeValue);
    if (code.isEmpty())
        code = RegReadStringQuiet(HKEY_CURRENT_USER, ProductKeyPath(FSoftId), DeviceCodeValue);
    if (code.isEmpty()) {
        code = CreateDeviceCode();
        RegWriteString(HKEY_CURRENT_USER, DeviceCodeKey, DeviceCodeValue, code);
    }
    return code;
}

bool TAPI::getJsonObject(const QString& strData, nlohmann::json& jsData, int& retCode) {
    if (strData.isEmpty())
        return false;
    // Copying or printing a value recurses once per level, so a deeply nested answer would
    // overflow the stack; answers are a few levels deep, anything deeper is not one.
    bool tooDeep = false;
    const nlohmann::json::parser_callback_t limitDepth =
        [&tooDeep](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
            if (depth > MaxAnswerDepth)
                tooDeep = true;
            return !tooDeep;
        };
    const nlohmann::json answer = nlohmann::json::parse(strData.toStdString(), limitDepth, false);
    if (tooDeep || answer.is_discarded() || !answer.is_object())
        return false;
    const auto data = answer.find("data");
    jsData = data != answer.end() ? *data : nlohmann::json();
    const auto code = answer.find("code");
    retCode = code != answer.end() ? JsonCodeToInt(*code) : 0;
    return true;
}

bool TAPI::send(const QString& path, const QString& params, QString& respData, bool byThread) {
    return HttpGet(FBaseUrl + path, params, respData, byThread, FStallSeconds);
}

void TAPI::report(const QString& path, const QString& params, bool byThread) {
    QString ignored;
    send(path, params, ignored, byThread);
}

bool TAPI::GetSoftDownloadInfo(QString& url, QString& ver) {
    QString sha256;
    return GetSoftDownloadInfo(url, ver, sha256);
}

bool TAPI::GetSoftDownloadInfo(QString& url, QString& ver, QString& sha256) {
    QString body;
    if (!send(QStringLiteral("api/config/soft_down"),
              FillTemplate(QStringLiteral("soft_id=%s&source=%s"), {FSoftId, FFromSource}), body,
              false))
        return false;
    if (!ParseSoftDownloadInfo(body, url, ver, sha256))
        return false;
    FCurrVer = ver;
    return true;
}

bool ParseSoftDownloadInfo(const QString& Body, QString& url, QString& ver, QString& sha256) {
    nlohmann::json data;
    int code = 0;
    if (!TAPI::getJsonObject(Body, data, code) || code != 0)
        return false;
    // An answer without a "data" object carries no address to use.
    if (!data.is_object())
        return false;
    url = JsonText(data, "url");
    ver = JsonText(data, "ver");
    // Only a text is a digest; anything else means the answer announces none.
    const auto digest = data.find("sha256");
    sha256 = digest != data.end() && digest->is_string()
                 ? QString::fromStdString(digest->get<std::string>())
                 : QString();
    return true;
}

void TAPI::ReportEvent(const QString& eventName, bool byThread) {
    report(QStringLiteral("api/report/event"),
           FillTemplate(QStringLiteral("soft_id=%s&curr_ver=%s&source=%s&device_code=%s&event_id=%s"
                                       "&kid=%s"),
                        {FSoftId, FCurrVer, FFromSource, FGuid, eventName, FKeywordID}),
           byThread);
}

void TAPI::ReportInstallEnd() {
    ReportEvent(QStringLiteral("install_end"), false);
}

void TAPI::ReportInstallFail(const QString& reason, int errCode) {
    // The number goes in first, so no value can be taken for a "%d".
    const QString failTemplate = QStringLiteral("soft_id=%s&curr_ver=%s&source=%s&device_code=%s"
                                                "&reason=%s&err=%d&proc=%s&kid=%s")
                                     .replace(QStringLiteral("%d"), QString::number(errCode));
    report(QStringLiteral("api/report/install_fail"),
           FillTemplate(failTemplate,
                        {FSoftId, FCurrVer, FFromSource, FGuid, reason, QString(), FKeywordID}),
           false);
}

namespace {

const QString StageTemplate =
    QStringLiteral("soft_id=%s&curr_ver=%s&source=%s&device_code=%s&kid=%s");

} // namespace

void TAPI::ReportPreInstall() {
    report(QStringLiteral("api/report/preinstall"),
           FillTemplate(StageTemplate, {FSoftId, FCurrVer, FFromSource, FGuid, FKeywordID}), true);
}

void TAPI::ReportInstall() {
    report(QStringLiteral("api/report/install"),
           FillTemplate(StageTemplate, {FSoftId, FCurrVer, FFromSource, FGuid, FKeywordID}), true);
}

void TAPI::ReportUninstall(const QString& localVersion) {
    if (localVersion.isEmpty())
        RaiseError(QStringLiteral("curr version=null"));
    report(QStringLiteral("api/report/uninstall"),
           FillTemplate(StageTemplate, {FSoftId, localVersion, FFromSource, FGuid, FKeywordID}),
           true);
}
