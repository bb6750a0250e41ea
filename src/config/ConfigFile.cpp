// Reading the configuration document: the text and truth conversions of its members, the
// channel step and the folder markers.
#include "config/ConfigFile.h"

#include "config/Source.h"
#include "config/TextUtils.h"
#include "base/Locations.h"

#include <nlohmann/json.hpp>

namespace {

using TJson = nlohmann::json;

// Far deeper than any configuration; a bound keeps the recursive conversions off the stack's end.
constexpr int kMaxDepth = 256;

TJson parseDocument(const QString& data) {
    const QByteArray utf8 = data.isEmpty() ? QByteArrayLiteral("{}") : data.toUtf8();
    bool tooDeep = false;
    const TJson::parser_callback_t watchDepth = [&tooDeep](int depth, TJson::parse_event_t,
                                                           TJson&) {
        if (depth > kMaxDepth)
            tooDeep = true;
        return !tooDeep;
    };
    TJson doc = TJson::parse(utf8.cbegin(), utf8.cend(), watchDepth, false);
    if (tooDeep)
        throw EConfigError(QStringLiteral("config data is nested too deeply"));
    if (doc.is_discarded())
        throw EConfigError(QStringLiteral("config data is not valid JSON"));
    if (!doc.is_object())
        throw EConfigError(QStringLiteral("config data is not a JSON object"));
    return doc;
}

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// A string gives its content, anything else its compact JSON text.
QString readText(const TJson& doc, const char* key) {
    const auto it = doc.find(key);
    if (it == doc.end())
        return {};
    if (it->is_string())
        return fromUtf8(it->get_ref<const std::string&>());
    return fromUtf8(it->dump(-1, ' ', false, TJson::error_handler_t::replace));
}

// Absent and null read false; numbers and strings true unless zero or empty ("false" is true).
bool readTruth(const TJson& doc, const char* key) {
    const auto it = doc.find(key);
    if (it == doc.end())
        return false;
    switch (it->type()) {
    case TJson::value_t::boolean:
        return it->get<bool>();
    case TJson::value_t::number_integer:
        return it->get<std::int64_t>() != 0;
    case TJson::value_t::number_unsigned:
        return it->get<std::uint64_t>() != 0;
    case TJson::value_t::number_float:
        return it->get<double>() != 0.0;
    case TJson::value_t::string:
        return !it->get_ref<const std::string&>().empty();
    case TJson::value_t::null:
    case TJson::value_t::discarded:
        return false;
    default:
        return true; // object, array, binary
    }
}

QString expandFolderMarkers(const QString& value) {
    if (value.isEmpty())
        return value;
    QString result = ReplaceAll(value, QStringLiteral("%appdata%"), getSysAppDataDir(), false);
    return ReplaceAll(result, QStringLiteral("%localappdata%"), getSysLocalAppDataDir(), false);
}

QString appDataFolder(const QString& path) {
    if (path.isEmpty() || !EnsureDir(path))
        RaiseError(QStringLiteral("Error get getSysAppDataDir"));
    return path;
}

} // namespace

QString getSysAppDataDir() {
    return appDataFolder(XdgConfigHome());
}

QString getSysLocalAppDataDir() {
    return appDataFolder(XdgDataHome());
}

TConfigFile::TConfigFile(const QString& configFileData, bool bInstallMode) {
    FbInstallMode = bInstallMode;
    const TJson doc = parseDocument(configFileData);

    SoftId = readText(doc, "SoftId");
    Title = readText(doc, "Title");
    Version = readText(doc, "Version");

    if (FbInstallMode) {
        FromSource = readText(doc, "FromSource");
        if (FromSource.isEmpty())
            GetSourceFromExeName(FromSource, FromKeywordID);
        SaveSourceToRegistry(SoftId, FromSource, FromKeywordID);
    } else {
        FromSource = LoadSourceFromRegistry(SoftId);
    }

    BigTitle = readText(doc, "BigTitle");
    Description = readText(doc, "Description");
    MainProg = readText(doc, "MainProg");
    MainProgPath = readText(doc, "MainProgPath");
    ShortcutName = readText(doc, "ShortcutName");
    OpenWebsiteAfterInstall = readText(doc, "OpenWebsiteAfterInstall");
    OpenWebsiteAfterUninstall = readText(doc, "OpenWebsiteAfterUninstall");
    ProgramDirName = readText(doc, "ProgramDirName");

    // A document without the member is read like the other truth keys: false.
    XPSupported = readTruth(doc, "XPSupported");

    RegDllName = readText(doc, "RegDllName");
    RegDllName2 = readText(doc, "RegDllName2");
    RegDllName3 = readText(doc, "RegDllName3");
    ProductURL = readText(doc, "ProductURL");
    RunAsAdmin = readTruth(doc, "RunAsAdmin");
    RunAtStartup = readTruth(doc, "RunAtStartup");
    ServiceExeFileName = readText(doc, "ServiceExeFileName");
    StartupByService = readTruth(doc, "StartupByService");
    ServiceName = readText(doc, "ServiceName");
    ServiceDisplayName = readText(doc, "ServiceDisplayName");
    AfterInstBat1 = readText(doc, "AfterInstBat1");
    AfterInstBat2 = readText(doc, "AfterInstBat2");
    RunParamForSetting = readText(doc, "RunParamForSetting");
    DotNetCheck = readTruth(doc, "DotNetCheck");
    DotNetVerRequired = readText(doc, "DotNetVerRequired");

    ConfigPathForUinstall = expandFolderMarkers(readText(doc, "ConfigPathForUinstall"));
    ConfigFileDeletedBeforeInstall =
        expandFolderMarkers(readText(doc, "ConfigFileDeletedBeforeInstall"));

    SplitToList(AssociatedExts, readText(doc, "AssociatedExts"), u'|');

    ProtocalRootKeyName = readText(doc, "ProtocalRootKeyName");
    Protocalname = readText(doc, "Protocalname");
    AutoStartInstall = readTruth(doc, "AutoStartInstall");
}

bool TConfigFile::isValidSourceFound() const {
    return FromSource != kNoSource;
}

QString TConfigFile::getDynamicNameFromAPPName(const QString& keyword) const {
    const QString name = RunningExeName();
    if (!HasSubStr(QStringLiteral("_T"), name) || !HasSubStr(keyword, name))
        return {};
    return name.left(name.indexOf(QStringLiteral("_T")));
}
