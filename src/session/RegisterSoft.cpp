// The product set-up after extraction: shortcuts, the uninstaller copy, associations, the URL
// protocol, COM registrations, start with the system, the uninstall entry and the scripts.
// Every step is tried once; a failed one is passed over.
#include "session/UntMain.h"

#include "platform/FileUtils.h"
#include "platform/Process.h"
#include "platform/RegIntegration.h"
#include "resources/Resources.h"
#include "platform/Services.h"
#include "platform/Shortcuts.h"
#include "session/SessionDialogs.h"
#include "support/Cipher.h"
#include "support/Constants.h"

#include <QFileInfo>

namespace {

// Runs one set-up step; an error it raises does not stop the set-up.
template <class TStep> void TryStep(TStep&& Step) {
    try {
        Step();
    } catch (const Exception&) {
    }
}

} // namespace

void TFrmCommInst::registerSoft() {
    const TConfigFile& cfg = *FConfigFile;
    QString main;
    getMainProgPath(main);
    const QString targetDir = NativePath(FTargetDir);
    const auto inTarget = [&](const QString& Name) { return NativePath(FTargetDir + u'/' + Name); };
    const QString unin = inTarget(QStringLiteral("unin.exe"));

    TryStep([&] {
        QString link;
        CreateDesktopShortcut(main, QString(), cfg.ShortcutName, link);
    });
    TryStep([&] { CreateProgramsShortcut(main, cfg.ProgramDirName, cfg.ShortcutName); });
    // The uninstaller never needs the package: leaving it out spares a second copy of it.
    TryStep([&] { SaveExeWithoutResource(QStringLiteral("zipfile"), cnResTypeFile, unin); });
    TryStep([&] {
        if (QFileInfo::exists(unin))
            CreateProgramsShortcut(unin, cfg.ProgramDirName, QStringLiteral("卸载软件"));
    });
    TryStep([&] {
        const QString sideFile = gExeDir + QStringLiteral("config.dat");
        if (QFileInfo::exists(sideFile))
            CopyFileOver(sideFile, inTarget(QStringLiteral("config.dat")));
    });
    for (const QString& ext : cfg.AssociatedExts)
        TryStep([&] { AssociateFileExt(ext, ext.mid(1) + QStringLiteral("File"), ext, main, {}); });
    if (!cfg.ProtocalRootKeyName.isEmpty())
        TryStep([&] { RegisterUrlProtocol(cfg.ProtocalRootKeyName, cfg.Protocalname, main); });
    for (const QString& dll : {cfg.RegDllName, cfg.RegDllName2, cfg.RegDllName3}) {
        if (!dll.isEmpty())
            TryStep([&] {
                ShellExecuteOpen(QStringLiteral("regsvr32.exe"),
                                 QStringLiteral("/s-  \"") + inTarget(dll) + u'"', QString(),
                                 SW_HIDE);
            });
    }
    if (cfg.RunAtStartup) {
        if (cfg.StartupByService) {
            if (cfg.ServiceName.isEmpty())
                SessionStandardBox(QStringLiteral("服务名未填"));
            TryStep([&] {
                const QString exe = QFileInfo(main).absolutePath() + u'/' + cfg.ServiceExeFileName;
                InstallService(cfg.ServiceName, cfg.ServiceDisplayName, NativePath(exe));
                StartServiceAuto(cfg.ServiceName);
            });
        } else {
            TryStep([&] { SetRunAtStartup(cfg.SoftId, true, main); });
        }
    }
    if (cfg.SoftId == DecryptConstText(cnSoftIdP))
        TryStep([&] {
            ShellExecuteOpen(inTarget(DecryptConstText(cnProgNameN)), QStringLiteral("asso"),
                             QString(), SW_SHOWNORMAL);
        });
    TryStep([&] {
        WriteUninstallEntry(cfg.SoftId, cfg.ShortcutName, main, targetDir, cfg.Version,
                            QStringLiteral(" "));
    });
    if (!cfg.RunParamForSetting.isEmpty())
        TryStep([&] { ShellExecuteOpen(main, cfg.RunParamForSetting, QString(), SW_SHOWNORMAL); });
    for (const QString& script : {cfg.AfterInstBat1, cfg.AfterInstBat2}) {
        if (!script.isEmpty())
            TryStep([&] { ShellOpen(inTarget(script), SW_HIDE); });
    }
}
