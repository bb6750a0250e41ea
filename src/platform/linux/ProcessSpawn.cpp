// fork/exec for the launching operations. Everything the child needs is built before the fork:
// between fork and exec the child only makes async-signal-safe calls, since the installer has
// other threads. A close-on-exec pipe tells the parent whether exec succeeded.
#include "platform/linux/ProcessSpawn.h"

#include "platform/Process.h"
#include "base/Locations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

enum TStage : int { StageExec = 1, StageWorkingDir, StageUser, StageFork };

struct TChildFailure {
    int Stage;
    int Errno;
};

// Owns the byte strings behind a NULL-terminated char* vector.
class TCStringVector {
public:
    void Append(QByteArray text) { FStrings.push_back(std::move(text)); }
    char** Data() {
        FPointers.clear();
        for (QByteArray& s : FStrings)
            FPointers.push_back(s.data());
        FPointers.push_back(nullptr);
        return FPointers.data();
    }

private:
    std::vector<QByteArray> FStrings;
    std::vector<char*> FPointers;
};

struct TPrepared {
    QByteArray Program;
    TCStringVector Argv;
    TCStringVector Envp;
    QByteArray WorkingDir;
    const TSpawnUser* User = nullptr;
    bool Detached = false;
};

bool hasName(const char* entry, const char* name) {
    const size_t n = strlen(name);
    return strncmp(entry, name, n) == 0 && entry[n] == '=';
}

// The installer's environment; for another user with that user's identity and home, and
// without root's own XDG folders.
void prepareEnvironment(TCStringVector& envp, const TSpawnUser* user) {
    static const char* const dropped[] = {
        "HOME",          "USER",           "LOGNAME",        "XDG_CONFIG_HOME",
        "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"};
    for (char** e = environ; e && *e; ++e) {
        bool keep = true;
        for (const char* name : dropped)
            keep = keep && !(user && hasName(*e, name));
        if (keep)
            envp.Append(QByteArray(*e));
    }
    if (!user)
        return;
    envp.Append("HOME=" + user->Home);
    envp.Append("USER=" + user->Name);
    envp.Append("LOGNAME=" + user->Name);
    const QByteArray runtime = "/run/user/" + QByteArray::number(user->Uid);
    if (QFileInfo(QFile::decodeName(runtime)).isDir())
        envp.Append("XDG_RUNTIME_DIR=" + runtime);
}

void reportFailure(int fd, int stage) {
    const TChildFailure failure{stage, errno};
    ssize_t written = write(fd, &failure, sizeof failure);
    (void)written;
}

// The child's side, after fork: async-signal-safe calls only.
[[noreturn]] void execChild(TPrepared& p, char** argv, char** envp, int errFd) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    for (int s = 1; s < NSIG; ++s)
        sigaction(s, &defaults, nullptr);

    if (p.Detached) {
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            if (null > 2)
                close(null);
        }
    }
    // No handle of the installer is inherited but the failure pipe (itself close-on-exec).
    if (errFd > 3)
        close_range(3, errFd - 1, 0);
    close_range(errFd + 1, ~0U, 0);

    if (p.User) {
        if (setgroups(p.User->Groups.size(), p.User->Groups.data()) != 0 ||
            setgid(p.User->Gid) != 0 || setuid(p.User->Uid) != 0) {
            reportFailure(errFd, StageUser);
            _exit(127);
        }
    }
    if (!p.WorkingDir.isEmpty() && chdir(p.WorkingDir.constData()) != 0) {
        reportFailure(errFd, StageWorkingDir);
        _exit(127);
    }
    execve(p.Program.constData(), argv, envp);
    reportFailure(errFd, StageExec);
    _exit(127);
}

bool readFully(int fd, void* buffer, size_t size) {
    auto* out = static_cast<char*>(buffer);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = read(fd, out + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    return true;
}

int waitForChild(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// A pipe whose ends are close-on-exec and clear of the standard stream numbers.
bool makePipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        if (fds[i] <= 2) {
            const int moved = fcntl(fds[i], F_DUPFD_CLOEXEC, 3);
            close(fds[i]);
            fds[i] = moved;
        }
    }
    if (fds[0] < 0 || fds[1] < 0) {
        for (int i = 0; i < 2; ++i)
            if (fds[i] >= 0)
                close(fds[i]);
        return false;
    }
    return true;
}

int errorOf(const TChildFailure& failure) {
    if (failure.Stage == StageWorkingDir)
        return ERROR_DIRECTORY;
    return WindowsErrorFromErrno(failure.Errno);
}

} // namespace

int WindowsErrorFromErrno(int err) {
    switch (err) {
    case 0:
        return 0;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
    case E2BIG:
    case EAGAIN:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ENOEXEC:
        return ERROR_BAD_EXE_FORMAT;
    default:
        return ERROR_GEN_FAILURE;
    }
}

TSpawnResult SpawnProcess(const TSpawnRequest& request) {
    TSpawnResult result;
    TPrepared p;
    p.Program = QFile::encodeName(request.Program);
    for (const QString& arg : request.Arguments)
        p.Argv.Append(arg.toLocal8Bit());
    prepareEnvironment(p.Envp, request.User ? &*request.User : nullptr);
    p.WorkingDir = QFile::encodeName(request.WorkingDir);
    p.User = request.User ? &*request.User : nullptr;
    p.Detached = !request.Wait;
    char** argv = p.Argv.Data();
    char** envp = p.Envp.Data();

    int errPipe[2];
    if (!makePipe(errPipe)) {
        result.ErrorCode = WindowsErrorFromErrno(errno);
        return result;
    }
    int pidPipe[2] = {-1, -1};
    if (p.Detached && !makePipe(pidPipe)) {
        result.ErrorCode = WindowsErrorFromErrno(errno);
        close(errPipe[0]);
        close(errPipe[1]);
        return result;
    }

    const pid_t child = fork();
    if (child == 0) {
        close(errPipe[0]);
        if (!p.Detached)
            execChild(p, argv, envp, errPipe[1]);
        // Detached: the middle process starts a new session, forks the real child and ends,
        // so the child is adopted by init and never becomes the installer's zombie.
        close(pidPipe[0]);
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            close(pidPipe[1]);
            execChild(p, argv, envp, errPipe[1]);
        }
        if (grandchild < 0) {
            reportFailure(errPipe[1], StageFork);
            _exit(1);
        }
        ssize_t written = write(pidPipe[1], &grandchild, sizeof grandchild);
        (void)written;
        _exit(0);
    }
    const int forkErrno = errno;
    close(errPipe[1]);
    if (p.Detached)
        close(pidPipe[1]);
    if (child < 0) {
        close(errPipe[0]);
        if (p.Detached)
            close(pidPipe[0]);
        result.ErrorCode = WindowsErrorFromErrno(forkErrno);
        return result;
    }

    pid_t started = child;
    if (p.Detached) {
        waitForChild(child);
        if (!readFully(pidPipe[0], &started, sizeof started))
            started = 0;
        close(pidPipe[0]);
    }
    TChildFailure failure{};
    const bool failed = readFully(errPipe[0], &failure, sizeof failure);
    close(errPipe[0]);
    if (failed || started <= 0) {
        result.ErrorCode = failed ? errorOf(failure) : ERROR_GEN_FAILURE;
        if (!p.Detached)
            waitForChild(child);
        return result;
    }
    result.Pid = started;
    if (request.Wait)
        result.ExitCode = waitForChild(child);
    return result;
}

std::optional<TSpawnUser> SpawnUserById(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    TSpawnUser user;
    user.Uid = found->pw_uid;
    user.Gid = found->pw_gid;
    user.Name = found->pw_name;
    user.Home = found->pw_dir ? QByteArray(found->pw_dir) : QByteArray("/");
    int count = 32;
    for (int round = 0; round < 8; ++round) {
        user.Groups.resize(size_t(count));
        int n = count;
        if (getgrouplist(found->pw_name, found->pw_gid, user.Groups.data(), &n) >= 0) {
            user.Groups.resize(size_t(n));
            return user;
        }
        count = std::max(n, count * 2);
    }
    user.Groups.assign(1, user.Gid);
    return user;
}

namespace {

std::optional<uid_t> uidFromEnvironment(const char* name) {
    bool ok = false;
    const uint uid = qEnvironmentVariable(name).trimmed().toUInt(&ok);
    if (!ok || uid == 0)
        return std::nullopt;
    return uid_t(uid);
}

// The owner of the active graphical login session, from logind's session records.
std::optional<uid_t> graphicalSessionOwner() {
    const QDir sessions(SystemPath(QStringLiteral("/run/systemd/sessions")));
    const QStringList names = sessions.entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QFile file(sessions.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QByteArray type, uidText;
        bool active = false;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.startsWith("TYPE="))
                type = line.mid(5).trimmed();
            else if (line.startsWith("UID="))
                uidText = line.mid(4).trimmed();
            else if (line.trimmed() == "ACTIVE=1" || line.trimmed() == "STATE=active")
                active = true;
        }
        bool ok = false;
        const uint uid = uidText.toUInt(&ok);
        if (active && ok && uid != 0 && (type == "x11" || type == "wayland" || type == "mir"))
            return uid_t(uid);
    }
    return std::nullopt;
}

} // namespace

std::optional<TSpawnUser> DesktopUserForChildren() {
    if (!IsRunningAsRoot())
        return std::nullopt;
    for (const char* name : {"SUDO_UID", "PKEXEC_UID"}) {
        if (const auto uid = uidFromEnvironment(name))
            if (auto user = SpawnUserById(*uid))
                return user;
    }
    if (const auto uid = graphicalSessionOwner())
        return SpawnUserById(*uid);
    return std::nullopt;
}
