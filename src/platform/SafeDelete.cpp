// Which directories the uninstaller may empty. The protected places are gathered fresh on every
// call: they derive from HOME, the XDG variables and the system prefix, which may change.
#include "platform/SafeDelete.h"

#include "platform/Drives.h"
#include "platform/FileUtils.h"
#include "platform/Shortcuts.h"
#include "platform/linux/DesktopEntry.h"
#include "base/Exception.h"
#include "base/Locations.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

constexpr int UserDirTimeoutMs = 3000;

struct TUserDir {
    const char* XdgName;
    const char* DefaultName;
};

constexpr TUserDir UserDirs[] = {
    {"DESKTOP", "Desktop"},     {"DOCUMENTS", "Documents"}, {"DOWNLOAD", "Downloads"},
    {"MUSIC", "Music"},         {"PICTURES", "Pictures"},   {"VIDEOS", "Videos"},
    {"TEMPLATES", "Templates"}, {"PUBLICSHARE", "Public"},
};

// Directories whose contents belong to the system, relative to a root.
const char* const SystemDirs[] = {
    "bin",
    "boot",
    "dev",
    "etc",
    "home",
    "lib",
    "lib32",
    "lib64",
    "libx32",
    "lost+found",
    "media",
    "mnt",
    "opt",
    "proc",
    "root",
    "run",
    "sbin",
    "snap",
    "srv",
    "sys",
    "tmp",
    "usr",
    "usr/bin",
    "usr/include",
    "usr/lib",
    "usr/lib64",
    "usr/libexec",
    "usr/local",
    "usr/local/bin",
    "usr/local/lib",
    "usr/local/share",
    "usr/sbin",
    "usr/share",
    "usr/src",
    "var",
    "var/cache",
    "var/lib",
    "var/log",
    "var/mail",
    "var/opt",
    "var/spool",
    "var/tmp",
};

// The path with links resolved where it exists, else cleaned.
QString resolved(const QString& Path) {
    const QString Clean = QDir::cleanPath(NativePath(Path));
    const QString Real = QFileInfo(Clean).canonicalFilePath();
    return Real.isEmpty() ? Clean : Real;
}

QString xdgUserDir(const char* XdgName) {
    QByteArray Output;
    if (!RunHelperTool(QStringLiteral("xdg-user-dir"), {QString::fromLatin1(XdgName)},
                       UserDirTimeoutMs, &Output))
        return {};
    const QString Dir = QString::fromLocal8Bit(Output).trimmed();
    return Dir.startsWith(u'/') ? Dir : QString();
}

QStringList protectedPlaces() {
    const QString Home = HomeDir();
    QStringList Places{QStringLiteral("/"),
                       SystemRoot(),
                       Home,
                       XdgConfigHome(),
                       XdgDataHome(),
                       XdgCacheHome(),
                       Home + QStringLiteral("/.local"),
                       ProgramsFolder()};
    for (const TUserDir& Dir : UserDirs) {
        Places << Home + u'/' + QString::fromLatin1(Dir.DefaultName);
        const QString Configured = xdgUserDir(Dir.XdgName);
        if (!Configured.isEmpty())
            Places << Configured;
    }
    for (const char* Dir : SystemDirs) {
        const QString Absolute = u'/' + QString::fromLatin1(Dir);
        Places << Absolute << SystemPath(Absolute);
    }
    return Places;
}

// Place is Dir or lies below it.
bool coversPlace(const QString& Dir, const QString& Place) {
    if (Dir == QLatin1String("/"))
        return true;
    return Place == Dir || Place.startsWith(Dir + u'/');
}

} // namespace

bool IsProtectedDirectory(const QString& Directory) {
    const QString Native = NativePath(Directory);
    if (Native.isEmpty() || !QDir::isAbsolutePath(Native))
        return true;
    const QString Dir = resolved(Native);
    // A mount point is the root of a file system, whatever its name.
    if (QFileInfo(Dir).isDir() && resolved(DriveOfPath(Dir)) == Dir)
        return true;
    for (const QString& Place : protectedPlaces()) {
        if (coversPlace(Dir, QDir::cleanPath(Place)) || coversPlace(Dir, resolved(Place)))
            return true;
    }
    return false;
}

TSafeDeleteResult SafeDeleteDirContents(const QString& Directory, bool Recurse) {
    if (IsProtectedDirectory(Directory))
        return TSafeDeleteResult::Refused;
    // A subfolder that cannot be opened ends the delete; what stays counts as in use.
    try {
        return DeleteDirContents(NativePath(Directory), Recurse) ? TSafeDeleteResult::Deleted
                                                                 : TSafeDeleteResult::Incomplete;
    } catch (const Exception&) {
        return TSafeDeleteResult::Incomplete;
    }
}
