// oneclick-build inspect: what an installer carries (its resources) and the configuration
// record it would build in install mode under a given file name, channel and keyword id
// included. The record is built against a throwaway home, so the real registry store and
// folders stay untouched.
#include "Command.h"

#include "config/ConfigFile.h"
#include "resources/ResourceContainer.h"
#include "resources/Resources.h"
#include "base/Locations.h"
#include "base/RunningExe.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <optional>
#include <vector>

namespace {
const QString cnName = QStringLiteral("inspect");

// Points HOME, the XDG folders and the machine prefix into a temporary folder for its life.
class TThrowawayHome {
public:
    TThrowawayHome() {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                 "ONECLICK_SYSTEM_ROOT"}) {
            FSaved.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                                      : std::nullopt);
            qputenv(name, (FDir.path() + '/' + QString::fromLatin1(name).toLower()).toLocal8Bit());
        }
    }
    ~TThrowawayHome() {
        for (const auto& [name, value] : FSaved)
            value ? qputenv(name, *value) : qunsetenv(name);
    }
    bool IsValid() const { return FDir.isValid(); }

private:
    QTemporaryDir FDir;
    std::vector<std::pair<const char*, std::optional<QByteArray>>> FSaved;
};

void printRecord(QTextStream& out, const TConfigFile& c) {
    auto b = [](bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); };
    const std::pair<const char*, QString> fields[] = {
        {"FbInstallMode", b(c.FbInstallMode)},
        {"Title", c.Title},
        {"SoftId", c.SoftId},
        {"Version", c.Version},
        {"FromSource", c.FromSource},
        {"FromKeywordID", c.FromKeywordID},
        {"BigTitle", c.BigTitle},
        {"Description", c.Description},
        {"ProgramDirName", c.ProgramDirName},
        {"MainProgPath", c.MainProgPath},
        {"MainProg", c.MainProg},
        {"ShortcutName", c.ShortcutName},
        {"OpenWebsiteAfterInstall", c.OpenWebsiteAfterInstall},
        {"OpenWebsiteAfterUninstall", c.OpenWebsiteAfterUninstall},
        {"XPSupported", b(c.XPSupported)},
        {"ConfigPathForUinstall", c.ConfigPathForUinstall},
        {"AfterInstBat1", c.AfterInstBat1},
        {"AfterInstBat2", c.AfterInstBat2},
        {"RunParamForSetting", c.RunParamForSetting},
        {"ConfigFileDeletedBeforeInstall", c.ConfigFileDeletedBeforeInstall},
        {"DotNetCheck", b(c.DotNetCheck)},
        {"DotNetVerRequired", c.DotNetVerRequired},
        {"RunAtStartup", b(c.RunAtStartup)},
        {"StartupByService", b(c.StartupByService)},
        {"ServiceExeFileName", c.ServiceExeFileName},
        {"ServiceName", c.ServiceName},
        {"ServiceDisplayName", c.ServiceDisplayName},
        {"RunAsAdmin", b(c.RunAsAdmin)},
        {"ProductURL", c.ProductURL},
        {"RegDllName", c.RegDllName},
        {"RegDllName2", c.RegDllName2},
        {"RegDllName3", c.RegDllName3},
        {"ProtocalRootKeyName", c.ProtocalRootKeyName},
        {"Protocalname", c.Protocalname},
        {"AssociatedExts", c.AssociatedExts.join(u'|')},
        {"AutoStartInstall", b(c.AutoStartInstall)},
    };
    for (const auto& [name, value] : fields)
        out << "  " << name << ": " << value << '\n';
}

int runInspect(const QStringList& args) {
    QString installer;
    QString asName;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == "--as" && i + 1 < args.size())
            asName = args[++i];
        else if (installer.isEmpty() && !args[i].startsWith(u'-'))
            installer = args[i];
        else
            return UsageError(cnName, QStringLiteral("unexpected argument \"%1\"").arg(args[i]));
    }
    if (installer.isEmpty())
        return UsageError(cnName, QStringLiteral("wants the installer to inspect"));
    if (asName.isEmpty())
        asName = QFileInfo(installer).fileName();
    if (asName.contains(u'/'))
        return UsageError(cnName, QStringLiteral("--as wants a file name, not a path"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    const TResourceContainer container = TResourceContainer::Read(installer);
    if (!container.IsPresent()) {
        err << "oneclick-build " << cnName << ": " << installer << " carries no resources\n";
        return ExitFailure;
    }
    out << "resources of " << installer << ":\n";
    for (const TResourceEntry& entry : container.Entries())
        out << "  " << entry.Name.leftJustified(20) << ' ' << entry.Type.leftJustified(6) << ' '
            << entry.Size << '\n';

    // Read and build exactly as the installer does: from its own file, under the given name.
    SetRunningExePath(installer);
    QString configText;
    if (ResourceExists(QStringLiteral("configfile"), cnResTypeFile))
        configText = LoadTextResource(QStringLiteral("configfile"), cnResTypeFile);
    if (configText.isEmpty()) {
        err << "oneclick-build " << cnName << ": config data is empty\n";
        return ExitFailure;
    }
    SetRunningExePath(QFileInfo(installer).absoluteDir().filePath(asName));
    const QString realRoaming = XdgConfigHome();
    const QString realLocal = XdgDataHome();
    try {
        TThrowawayHome home;
        if (!home.IsValid())
            throw Exception(QStringLiteral("cannot make a temporary folder"));
        const QString tmpRoaming = XdgConfigHome();
        const QString tmpLocal = XdgDataHome();
        TConfigFile record(configText, true);
        // Show the folders of the user running the tool, not the throwaway ones.
        for (QString* path :
             {&record.ConfigPathForUinstall, &record.ConfigFileDeletedBeforeInstall})
            path->replace(tmpRoaming, realRoaming).replace(tmpLocal, realLocal);
        out << "configuration record (install mode, file name " << asName << "):\n";
        printRecord(out, record);
        out << "channel: " << record.FromSource << '\n'
            << "keyword id: " << record.FromKeywordID << '\n';
    } catch (const Exception& e) {
        err << "oneclick-build " << cnName << ": " << e.Message() << '\n';
        return ExitFailure;
    }
    return ExitOk;
}

const TCommandRegistrar cnRegistrar({cnName, QStringLiteral("INSTALLER [--as NAME]"), runInspect});
} // namespace
