// Services on systemd through systemctl: system units as root, the user's units otherwise. The
// unit file is written here (Type=simple); every systemctl call is time-bound, so a manager that
// is missing or does not answer only makes the operations answer false.
#include "platform/Services.h"

#include "platform/FileUtils.h"
#include "platform/linux/DesktopEntry.h"
#include "base/Locations.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace {

constexpr int SystemctlTimeoutMs = 15000;
constexpr int StopPollIntervalMs = 1000;

// The states as the service manager of the other platform numbers them.
constexpr int SERVICE_STOPPED = 1;
constexpr int SERVICE_START_PENDING = 2;
constexpr int SERVICE_STOP_PENDING = 3;
constexpr int SERVICE_RUNNING = 4;

std::function<void(int)>& sleepFunction() {
    static std::function<void(int)> Sleep;
    return Sleep;
}

void pause(int Milliseconds) {
    if (sleepFunction())
        sleepFunction()(Milliseconds);
    else
        QThread::msleep(Milliseconds);
}

bool systemdRunning() {
    return QFileInfo(SystemPath(QStringLiteral("/run/systemd/system"))).isDir();
}

bool systemctl(const QStringList& Arguments, QByteArray* Output = nullptr) {
    QStringList Scoped = Arguments;
    if (!IsRunningAsRoot())
        Scoped.prepend(QStringLiteral("--user"));
    return RunHelperTool(QStringLiteral("systemctl"), Scoped, SystemctlTimeoutMs, Output);
}

QString unitFolder() {
    return IsRunningAsRoot() ? SystemPath(QStringLiteral("/etc/systemd/system"))
                             : XdgConfigHome() + QStringLiteral("/systemd/user");
}

// The unit of a service name, escaped as systemd-escape does for characters a unit name cannot
// hold, so every name keeps to the unit folder. Empty when there is no usable unit; then no
// manager call is made, the way the other platform's manager refuses such a name.
QString unitName(const QString& ServiceName) {
    if (ServiceName.isEmpty() || !systemdRunning())
        return {};
    const QByteArray Bytes = ServiceName.toUtf8();
    QString Unit;
    for (qsizetype I = 0; I < Bytes.size(); ++I) {
        const char C = Bytes[I];
        const bool Plain = (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') ||
                           (C >= '0' && C <= '9') || C == '_' || C == ':' ||
                           ((C == '.' || C == '-') && I > 0);
        Unit += Plain ? QString(QLatin1Char(C))
                      : QStringLiteral("\\x%1").arg(uchar(C), 2, 16, QLatin1Char('0'));
    }
    Unit += QStringLiteral(".service");
    return Unit.size() <= 255 ? Unit : QString();
}

struct TUnitStatus {
    bool Known = false;
    int State = SERVICE_STOPPED;
};

bool queryUnit(const QString& Unit, TUnitStatus* Status) {
    QByteArray Output;
    if (!systemctl(
            {QStringLiteral("show"), QStringLiteral("--property=LoadState,ActiveState"), Unit},
            &Output))
        return false;
    QString Load, Active;
    for (const QString& Line : QString::fromUtf8(Output).split(u'\n')) {
        if (Line.startsWith(QStringLiteral("LoadState=")))
            Load = Line.section(u'=', 1).trimmed();
        else if (Line.startsWith(QStringLiteral("ActiveState=")))
            Active = Line.section(u'=', 1).trimmed();
    }
    if (Load.isEmpty())
        return false;
    Status->Known = Load != QStringLiteral("not-found");
    if (Active == QStringLiteral("active") || Active == QStringLiteral("reloading") ||
        Active == QStringLiteral("refreshing"))
        Status->State = SERVICE_RUNNING;
    else if (Active == QStringLiteral("activating"))
        Status->State = SERVICE_START_PENDING;
    else if (Active == QStringLiteral("deactivating"))
        Status->State = SERVICE_STOP_PENDING;
    else // inactive, failed: the process is gone
        Status->State = SERVICE_STOPPED;
    return true;
}

bool hasControlCharacter(const QString& Text) {
    for (QChar C : Text)
        if (C.unicode() < 0x20 || C.unicode() == 0x7F)
            return true;
    return false;
}

// ExecStart's first word in double quotes, so a path with blanks stays one word; the executable
// path is not subject to variable expansion, only to specifiers and C escapes.
QString quotedExecPath(const QString& Path) {
    QString Quoted = QStringLiteral("\"");
    for (QChar C : Path) {
        if (C == u'"' || C == u'\\')
            Quoted += u'\\';
        Quoted += C == u'%' ? QStringLiteral("%%") : QString(C);
    }
    return Quoted + u'"';
}

QString unitDescription(const QString& DisplayName) {
    QString Text;
    for (QChar C : DisplayName)
        Text += (C.unicode() < 0x20 || C.unicode() == 0x7F) ? QChar(u' ') : C;
    Text = Text.trimmed().replace(u'%', QStringLiteral("%%"));
    // A final backslash would join the next line.
    while (Text.endsWith(u'\\'))
        Text.chop(1);
    return Text;
}

QString unitText(const QString& DisplayName, const QString& ExePath) {
    return QStringLiteral("[Unit]\nDescription=%1\n\n[Service]\nType=simple\nExecStart=%2\n\n"
                          "[Install]\nWantedBy=%3\n")
        .arg(unitDescription(DisplayName), quotedExecPath(ExePath),
             IsRunningAsRoot() ? QStringLiteral("multi-user.target")
                               : QStringLiteral("default.target"));
}

} // namespace

bool ServiceExists(const QString& ServiceName) {
    const QString Unit = unitName(ServiceName);
    TUnitStatus Status;
    return !Unit.isEmpty() && queryUnit(Unit, &Status) && Status.Known;
}

bool InstallService(const QString& ServiceName, const QString& DisplayName,
                    const QString& ExePath) {
    const QString Unit = unitName(ServiceName);
    if (Unit.isEmpty())
        return false;
    if (ServiceExists(ServiceName))
        return true;
    const QString Path = CleanNativePath(ExePath);
    // A line break in a value would add directives of its own to the unit.
    if (Path.isEmpty() || hasControlCharacter(Path))
        return false;
    const QString File = unitFolder() + u'/' + Unit;
    if (!WriteFileIfChanged(File, unitText(DisplayName, Path).toUtf8()))
        return false;
    if (systemctl({QStringLiteral("daemon-reload")}))
        return true;
    ForceDeleteFile(File);
    return false;
}

bool StartServiceAuto(const QString& ServiceName) {
    const QString Unit = unitName(ServiceName);
    TUnitStatus Status;
    if (Unit.isEmpty() || !queryUnit(Unit, &Status) || !Status.Known)
        return false;
    // Automatic start is set even when the start below is refused.
    systemctl({QStringLiteral("enable"), Unit});
    if (Status.State != SERVICE_STOPPED)
        return false;
    return systemctl({QStringLiteral("start"), Unit});
}

bool StopServiceWait(const QString& ServiceName) {
    const QString Unit = unitName(ServiceName);
    TUnitStatus Status;
    if (Unit.isEmpty() || !queryUnit(Unit, &Status) || !Status.Known)
        return false;
    // Only a running (or starting) service accepts the stop request.
    if (Status.State != SERVICE_RUNNING && Status.State != SERVICE_START_PENDING)
        return false;
    if (!systemctl({QStringLiteral("stop"), QStringLiteral("--no-block"), Unit}))
        return false;
    int State = SERVICE_STOP_PENDING;
    pause(StopPollIntervalMs);
    for (int Poll = 1;; ++Poll) {
        if (!queryUnit(Unit, &Status))
            break;
        QCoreApplication::processEvents();
        State = Status.State;
        if (State != SERVICE_STOP_PENDING || Poll >= ServiceStopPollLimit)
            break;
        pause(StopPollIntervalMs);
    }
    return State == SERVICE_STOPPED;
}

void RemoveService(const QString& ServiceName) {
    const QString Unit = unitName(ServiceName);
    TUnitStatus Status;
    if (Unit.isEmpty() || !queryUnit(Unit, &Status))
        return;
    if (Status.Known) {
        systemctl({QStringLiteral("stop"), QStringLiteral("--no-block"), Unit});
        systemctl({QStringLiteral("disable"), Unit});
    }
    // Only the unit this program wrote; the manager forgets the service once it has stopped.
    const QString File = unitFolder() + u'/' + Unit;
    if (QFileInfo::exists(File) && ForceDeleteFile(File))
        systemctl({QStringLiteral("daemon-reload")});
}

void SetServiceSleepFunction(std::function<void(int Milliseconds)> Sleep) {
    sleepFunction() = std::move(Sleep);
}
