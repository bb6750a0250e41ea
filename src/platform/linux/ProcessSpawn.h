// Starting a process on Linux without a shell: fork and exec with every argument and the
// environment prepared beforehand, optionally as another user, detached in its own session
// (double fork, so no zombie is left behind) or waited for.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>
#include <vector>

struct TSpawnUser {
    uid_t Uid = 0;
    gid_t Gid = 0;
    std::vector<gid_t> Groups;
    QByteArray Name;
    QByteArray Home;
};

struct TSpawnRequest {
    QString Program;                // the file to run, as is (no search)
    QStringList Arguments;          // the whole argument vector, argv[0] first
    QString WorkingDir;             // empty: the installer's own
    std::optional<TSpawnUser> User; // run as this user
    bool Wait = false;              // false: detached, own session, standard streams on /dev/null
};

struct TSpawnResult {
    qint64 Pid = 0;    // 0 when nothing started
    int ErrorCode = 0; // the system error number of a failed start
    int ExitCode = 0;  // with Wait: the exit status (128 + signal when killed)
};

TSpawnResult SpawnProcess(const TSpawnRequest& request);

// The system error number for a failed file or process call.
int WindowsErrorFromErrno(int err);

// The account of uid with its groups and home, when it exists.
std::optional<TSpawnUser> SpawnUserById(uid_t uid);

// When the installer runs as root: the desktop user that programs should run as (SUDO_UID,
// PKEXEC_UID, else the owner of the active graphical session). Otherwise none.
std::optional<TSpawnUser> DesktopUserForChildren();
