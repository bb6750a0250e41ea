// Launching and termination on Linux. No shell ever sees a text from outside: programs are
// executed directly, parameters are split into words beforehand, scripts run with their
// interpreter and URLs and documents go to xdg-open as a single argument.
#include "platform/Process.h"

#include "platform/FileUtils.h"
#include "platform/linux/ProcessList.h"
#include "platform/linux/ProcessSpawn.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

// How a file is run: its program and the leading arguments, or not at all (a document).
struct TLaunchPlan {
    QString Program;
    QStringList Arguments;
    bool Document = false;
};

bool hasScriptSuffix(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("sh") || suffix == QLatin1String("bat") ||
           suffix == QLatin1String("cmd");
}

// argv0 is what the program sees as its own name; path is the absolute file.
TLaunchPlan planFor(const QString& path, const QString& argv0) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {path, {argv0}}; // let exec report why it cannot run
    const QByteArray head = file.read(256);
    if (head.startsWith("#!")) {
        // The kernel's rule: the interpreter, then the rest of the line as one argument.
        const qsizetype end = head.indexOf('\n');
        const QByteArray line = head.mid(2, end < 0 ? -1 : end - 2).trimmed();
        qsizetype cut = 0;
        while (cut < line.size() && line[cut] != ' ' && line[cut] != '\t')
            ++cut;
        const QString interpreter = QFile::decodeName(line.left(cut));
        const QByteArray option = line.mid(cut).trimmed();
        QStringList args{interpreter};
        if (!option.isEmpty())
            args << QString::fromLocal8Bit(option);
        args << path;
        return {interpreter, args};
    }
    if (head.startsWith("\x7f"
                        "ELF"))
        return {path, {argv0}};
    if (hasScriptSuffix(path))
        return {QStringLiteral("/bin/sh"), {QStringLiteral("/bin/sh"), path}};
    return {{}, {}, true};
}

QString absoluteFrom(const QString& base, const QString& path) {
    if (QDir::isAbsolutePath(path))
        return QDir::cleanPath(path);
    const QString dir = base.isEmpty() ? QDir::currentPath() : QDir(base).absolutePath();
    return QDir::cleanPath(dir + u'/' + path);
}

// A bare program name is looked for in the base directory first, then on PATH.
QString locateProgram(const QString& base, const QString& program) {
    const QString here = absoluteFrom(base, program);
    if (program.contains(u'/') || QFileInfo::exists(here))
        return here;
    const QString onPath = QStandardPaths::findExecutable(program);
    return onPath.isEmpty() ? here : onPath;
}

bool isUrl(const QString& text) {
    // Two or more scheme letters, so that a drive letter such as C: stays a path.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(text).hasMatch();
}

int shellResultFor(int error) {
    switch (error) {
    case 0:
        return SHELL_OPEN_OK;
    case ERROR_FILE_NOT_FOUND:
        return SE_ERR_FNF;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
        return SE_ERR_PNF;
    case ERROR_ACCESS_DENIED:
        return SE_ERR_ACCESSDENIED;
    case ERROR_NOT_ENOUGH_MEMORY:
        return SE_ERR_OOM;
    case ERROR_BAD_EXE_FORMAT:
        return SE_ERR_BAD_FORMAT;
    default:
        return SE_ERR_NOASSOC;
    }
}

// URLs, directories and documents open in the desktop's handler, as the desktop user: a
// browser never runs as root.
int openWithDesktop(const QString& target) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return SE_ERR_NOASSOC;
    TSpawnRequest request;
    request.Program = opener;
    request.Arguments = {opener, target};
    request.User = DesktopUserForChildren();
    return shellResultFor(SpawnProcess(request).ErrorCode);
}

// Leading and trailing blanks and control characters dropped, ASCII letters in upper case.
QString comparableName(const QString& name, bool trim) {
    QString result = name;
    if (trim) {
        qsizetype start = 0, end = result.size();
        while (start < end && result[start].unicode() <= 0x20)
            ++start;
        while (end > start && result[end - 1].unicode() <= 0x20)
            --end;
        result = result.mid(start, end - start);
    }
    for (QChar& c : result)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    return result;
}

} // namespace

int ShellExecuteOpen(const QString& file, const QString& parameters, const QString& directory,
                     int show) {
    Q_UNUSED(show); // nothing the installer starts owns a window it could size
    if (file.trimmed().isEmpty())
        return SE_ERR_FNF;
    if (isUrl(file))
        return openWithDesktop(file);
    const QString dir = NativePath(directory);
    const QString path = locateProgram(dir, NativePath(file));
    const QFileInfo info(path);
    if (!info.exists())
        return QFileInfo(info.absolutePath()).isDir() ? SE_ERR_FNF : SE_ERR_PNF;
    if (info.isDir())
        return openWithDesktop(path);
    TLaunchPlan plan = planFor(path, path);
    if (plan.Document)
        return openWithDesktop(path);
    TSpawnRequest request;
    request.Program = plan.Program;
    request.Arguments = plan.Arguments + QProcess::splitCommand(parameters);
    request.WorkingDir = dir;
    return shellResultFor(SpawnProcess(request).ErrorCode);
}

int ShellOpen(const QString& file, int show) {
    return ShellExecuteOpen(file, {}, {}, show);
}

void OpenUrlMaximized(const QString& url) {
    ShellExecuteOpen(url, {}, {}, SW_SHOWMAXIMIZED);
}

TProcessHandle LaunchProgram(const QString& exe, const QString& p1, const QString& p2) {
    const QString given = NativePath(exe);
    const QString path = absoluteFrom({}, given);
    TSpawnRequest request;
    request.Program = path;
    request.Arguments = QStringList{given, p1} + QProcess::splitCommand(p2);
    request.WorkingDir = QFileInfo(path).absolutePath();
    return SpawnProcess(request).Pid;
}

TProcessHandle RunWithToken(const QString& commandLine, bool useOwnToken, int& errorCode, bool show,
                            const QString& workingDir, bool wait) {
    Q_UNUSED(show);
    errorCode = 0;
    const QString line = commandLine.trimmed();
    QString program;
    QStringList rest;
    // An unquoted path with blanks that names a file as a whole is that file; prefixes of it
    // are never tried, so "/opt/My" cannot stand in for "/opt/My App/run".
    if (!line.startsWith(u'"') && QFileInfo(absoluteFrom({}, NativePath(line))).isFile()) {
        program = NativePath(line);
    } else {
        const QStringList words = QProcess::splitCommand(line);
        if (words.isEmpty()) {
            errorCode = ERROR_FILE_NOT_FOUND;
            return 0;
        }
        program = NativePath(words.first());
        rest = words.mid(1);
    }
    const TLaunchPlan plan = planFor(locateProgram({}, program), program);
    if (plan.Document) {
        errorCode = ERROR_BAD_EXE_FORMAT;
        return 0;
    }
    TSpawnRequest request;
    request.Program = plan.Program;
    request.Arguments = plan.Arguments + rest;
    request.WorkingDir = NativePath(workingDir);
    request.Wait = wait;
    if (!useOwnToken)
        request.User = DesktopUserForChildren();
    const TSpawnResult result = SpawnProcess(request);
    errorCode = result.ErrorCode;
    if (result.ErrorCode != 0)
        return 0;
    return wait ? result.ExitCode : result.Pid;
}

TProcessHandle RunWithOwnToken(const QString& commandLine, bool show, const QString& workingDir,
                               bool wait) {
    int ignored = 0;
    return RunWithToken(commandLine, true, ignored, show, workingDir, wait);
}

TProcessHandle CurrentProcessHandle() {
    return getpid();
}

TProcessHandle FindProcessByName(const QString& name) {
    const QString wanted = comparableName(name, false);
    for (const TProcessEntry& entry : ProcessSnapshot())
        if (comparableName(entry.ImageName, false) == wanted)
            return entry.Pid;
    return 0;
}

bool EnablePrivilege(TProcessHandle process, const QString& name) {
    if (process <= 0 || name.isEmpty())
        return false;
    return kill(pid_t(process), 0) == 0 || errno == EPERM;
}

bool KillProcessesByName(const QString& name) {
    const QString wanted = comparableName(name, true);
    if (wanted.isEmpty())
        return true;
    bool result = true;
    const qint64 self = getpid();
    for (const TProcessEntry& entry : ProcessSnapshot()) {
        // The installer never ends itself halfway through, even when the names agree.
        if (entry.Pid == self || comparableName(entry.ImageName, true) != wanted)
            continue;
        EnablePrivilege(CurrentProcessHandle(), QStringLiteral("SeDebugPrivilege"));
        if (kill(pid_t(entry.Pid), SIGKILL) != 0 && errno != ESRCH)
            result = false;
    }
    return result;
}
