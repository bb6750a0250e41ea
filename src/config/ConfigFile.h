// The installer configuration record: the embedded JSON document turned into named fields once
// at start-up, with the distribution channel resolved (and stored or read back) and the folder
// markers of the two path fields expanded.
#pragma once

#include "base/Exception.h"

#include <QString>
#include <QStringList>

// A configuration document that is not JSON or whose top level is not an object. Raised before
// anything is written to the registry.
class EConfigError : public Exception {
public:
    using Exception::Exception;
};

class TConfigFile {
public:
    // An empty configFileData reads as "{}". In install mode the channel is taken from the
    // document or the file name and written to the per-product key; in uninstall mode it is read
    // back from there. Raises EConfigError, ERegistryException or Exception (folder look-up).
    TConfigFile(const QString& configFileData, bool bInstallMode);

    // False only for the channel "none", exactly.
    bool isValidSourceFound() const;
    // The display name before the first "_T" of the file name, when the name also contains
    // keyword; empty otherwise.
    QString getDynamicNameFromAPPName(const QString& keyword) const;

    bool FbInstallMode = false;
    QString Title;
    QString SoftId;
    QString Version;
    QString FromSource;
    QString FromKeywordID;
    QString BigTitle;
    QString Description;
    QString ProgramDirName;
    QString MainProgPath;
    QString MainProg;
    QString ShortcutName;
    QString OpenWebsiteAfterInstall;
    QString OpenWebsiteAfterUninstall;
    bool XPSupported = false;
    QString ConfigPathForUinstall;
    QString AfterInstBat1;
    QString AfterInstBat2;
    QString RunParamForSetting;
    QString ConfigFileDeletedBeforeInstall;
    bool DotNetCheck = false;
    QString DotNetVerRequired;
    bool RunAtStartup = false;
    bool StartupByService = false;
    QString ServiceExeFileName;
    QString ServiceName;
    QString ServiceDisplayName;
    bool RunAsAdmin = false;
    QString ProductURL;
    QString RegDllName;
    QString RegDllName2;
    QString RegDllName3;
    QString ProtocalRootKeyName;
    QString Protocalname;
    QStringList AssociatedExts;
    bool AutoStartInstall = false;
};

// The user's roaming and local application-data folders, without a trailing separator, created
// when missing. Raise "Error get getSysAppDataDir" when there is none.
QString getSysAppDataDir();
QString getSysLocalAppDataDir();
