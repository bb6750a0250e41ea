// Shortcuts as freedesktop desktop entries: <name>.desktop on the desktop (made executable, so
// desktops trust it) and in the Programs menu folder below $XDG_DATA_HOME/applications.
#include "platform/Shortcuts.h"

#include "platform/FileUtils.h"
#include "platform/linux/DesktopEntry.h"
#include "base/Locations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

constexpr int UserDirTimeoutMs = 3000;
const QString EntrySuffix = QStringLiteral(".desktop");

std::function<void()>& notifyHandler() {
    static std::function<void()> Handler;
    return Handler;
}

// xdg-user-dir falls back to $HOME for names it does not know; only a configured desktop may
// be the home folder itself.
bool desktopIsConfigured() {
    QFile File(XdgConfigHome() + QStringLiteral("/user-dirs.dirs"));
    return File.open(QIODevice::ReadOnly) &&
           QString::fromUtf8(File.readAll()).contains(QStringLiteral("XDG_DESKTOP_DIR="));
}

QString shortcutName(const QString& TargetPath, const QString& Name) {
    return Name.isEmpty() ? QFileInfo(TargetPath).completeBaseName() : Name;
}

// The entry file for Name below Folder; empty when the name would lead out of the folder.
QString entryPath(const QString& Folder, const QString& RelativeName) {
    const QString Path = CleanNativePath(Folder + u'/' + RelativeName + EntrySuffix);
    return IsInsideFolder(Path, Folder) ? Path : QString();
}

TDesktopEntry shortcutEntry(const QString& EntryFile, const QString& TargetPath) {
    TDesktopEntry Entry;
    Entry.Name = QFileInfo(EntryFile).fileName().chopped(EntrySuffix.size());
    Entry.Command << TargetPath;
    Entry.Path = QFileInfo(TargetPath).absolutePath();
    return Entry;
}

} // namespace

QString DesktopFolder() {
    QByteArray Output;
    if (RunHelperTool(QStringLiteral("xdg-user-dir"), {QStringLiteral("DESKTOP")}, UserDirTimeoutMs,
                      &Output)) {
        const QString Folder = CleanNativePath(QString::fromLocal8Bit(Output).trimmed());
        if (Folder.startsWith(u'/') && (Folder != HomeDir() || desktopIsConfigured()))
            return Folder;
    }
    return HomeDir() + QStringLiteral("/Desktop");
}

QString ProgramsFolder() {
    return XdgDataHome() + QStringLiteral("/applications");
}

bool CreateDesktopShortcut(const QString& Target, const QString& Arguments, const QString& Name,
                           QString& LinkPath) {
    const QString TargetPath = CleanNativePath(Target);
    if (TargetPath.isEmpty() || !QFileInfo(TargetPath).isFile())
        return false;
    const QString Folder = DesktopFolder();
    const QString File = entryPath(Folder, shortcutName(TargetPath, Name));
    // The desktop itself is made when missing, but never a subfolder a name might imply.
    if (File.isEmpty() || !EnsureDir(Folder) || !QFileInfo(File).absoluteDir().exists())
        return false;

    TDesktopEntry Entry = shortcutEntry(File, TargetPath);
    Entry.Command << QProcess::splitCommand(Arguments);
    const QString Icon = Entry.Path + QStringLiteral("/default.ico");
    if (QFileInfo(Icon).isFile())
        Entry.Icon = Icon;
    if (!WriteDesktopEntry(File, Entry, true))
        return false;
    LinkPath = File;
    return true;
}

bool RemoveDesktopShortcut(const QString& Target, const QString& Name) {
    const QString File = entryPath(DesktopFolder(), shortcutName(CleanNativePath(Target), Name));
    if (!File.isEmpty())
        ForceDeleteFile(File);
    return true;
}

bool CreateProgramsShortcut(const QString& Target, const QString& Group, const QString& Name) {
    const QString TargetPath = CleanNativePath(Target);
    if (TargetPath.isEmpty() || !QFileInfo(TargetPath).isFile())
        return false;
    const QString File = entryPath(ProgramsFolder(), Group + u'/' + shortcutName(TargetPath, Name));
    return !File.isEmpty() && WriteDesktopEntry(File, shortcutEntry(File, TargetPath), false);
}

bool RemoveProgramsShortcut(const QString& Target, const QString& Group, const QString& Name) {
    const QString File =
        entryPath(ProgramsFolder(), Group + u'/' + shortcutName(CleanNativePath(Target), Name));
    if (!File.isEmpty())
        ForceDeleteFile(File);
    return true;
}

void NotifyShellChanged() {
    if (notifyHandler()) {
        notifyHandler()();
        return;
    }
    const QString Applications = ProgramsFolder();
    if (QFileInfo(Applications).isDir())
        StartHelperTool(QStringLiteral("update-desktop-database"),
                        {QStringLiteral("-q"), Applications});
    StartHelperTool(QStringLiteral("xdg-desktop-menu"), {QStringLiteral("forceupdate")});
}

void SetNotifyShellChangedHandler(std::function<void()> Handler) {
    notifyHandler() = std::move(Handler);
}
