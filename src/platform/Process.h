// Starting other programs (the product, its set-up scripts, web pages, the self-removal
// script) and stopping running copies of the product. A process handle is the process id;
// 0 means none. Started processes are never waited for unless asked, and never left as
// zombies of the installer.
#pragma once

#include "base/ErrorCodes.h"

#include <QString>
#include <QtGlobal>

using TProcessHandle = qint64;

// Show commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOW = 5;

// Results of the shell's "open": above 32 success, else one of these.
constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_PNF = 3;
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_OOM = 8;
constexpr int SE_ERR_BAD_FORMAT = 11;
constexpr int SE_ERR_NOASSOC = 31;
constexpr int SHELL_OPEN_OK = 42;

// The shell's "open": a URL, directory or document goes to the desktop's opener (xdg-open);
// an executable starts directly and a script with its interpreter, with parameters split into
// words as a shell would (no shell runs). directory empty: the installer's own.
int ShellExecuteOpen(const QString& file, const QString& parameters, const QString& directory,
                     int show);
int ShellOpen(const QString& file, int show);
void OpenUrlMaximized(const QString& url);

// Starts exe with the arguments p1 (always one, possibly empty) and the words of p2, in the
// directory of exe. The new process's handle, or 0.
TProcessHandle LaunchProgram(const QString& exe, const QString& p1, const QString& p2);

// Starts a command line (its first word the program; a line that names an existing file as a
// whole is that file alone). Without useOwnToken, an installer running as root starts it as
// the desktop user. With wait, answers the exit code; else the handle; 0 on failure, with
// errorCode the system error number (0 on success).
TProcessHandle RunWithToken(const QString& commandLine, bool useOwnToken, int& errorCode, bool show,
                            const QString& workingDir, bool wait);
TProcessHandle RunWithOwnToken(const QString& commandLine, bool show, const QString& workingDir,
                               bool wait);

// The installer's own process.
TProcessHandle CurrentProcessHandle();

// The first running process whose image name (its executable's file name) equals name
// without regard to ASCII case, or 0.
TProcessHandle FindProcessByName(const QString& name);

// Privileges are not separate grants here: true when the process exists and a name is given.
bool EnablePrivilege(TProcessHandle process, const QString& name);

// Kills every process (but the installer itself) whose image name, trimmed and in ASCII upper
// case, equals name treated the same way. True when every one was killed; no waiting.
bool KillProcessesByName(const QString& name);
