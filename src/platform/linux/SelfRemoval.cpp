// The self-removal script: a /bin/sh script in the private temporary directory that waits a
// second, deletes the file unless a process still runs it, and repeats until the file is gone
// (for at most ten minutes), then deletes itself. It runs detached in its own session, so it
// outlives the uninstaller. Paths enter it only as single-quoted shell words.
#include "platform/SelfRemoval.h"

#include "platform/FileUtils.h"
#include "platform/Process.h"
#include "platform/linux/ProcessSpawn.h"
#include "base/Exception.h"
#include "base/RunningExe.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int MaxRounds = 600;

// One shell word with exactly these bytes: inside single quotes only the quote itself is
// special, and it is written as '\''.
QByteArray shellWord(QByteArray text) {
    text.replace('\'', "'\\''");
    return '\'' + text + '\'';
}

QByteArray removalScript(const QByteArray& path, const QByteArray& script) {
    return "#!/bin/sh\n"
           "PATH=/usr/sbin:/usr/bin:/sbin:/bin\n"
           "p=" +
           shellWord(path) +
           "\n"
           "s=" +
           shellWord(script) +
           "\n"
           "n=0\n"
           "while [ \"$n\" -lt " +
           QByteArray::number(MaxRounds) +
           " ]; do\n"
           "    sleep 1\n"
           "    busy=\n"
           "    for e in /proc/[0-9]*/exe; do\n"
           "        if [ \"$e\" -ef \"$p\" ]; then busy=1; break; fi\n"
           "    done\n"
           "    [ -n \"$busy\" ] || rm -f -- \"$p\"\n"
           "    if [ ! -e \"$p\" ] && [ ! -L \"$p\" ]; then break; fi\n"
           "    n=$((n + 1))\n"
           "done\n"
           "rm -f -- \"$s\"\n";
}

bool writeAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

void DeleteFileAfterExit(const QString& path) {
    const QByteArray file = QFile::encodeName(QDir::current().absoluteFilePath(NativePath(path)));
    struct stat st;
    if (path.isEmpty() || lstat(file.constData(), &st) != 0)
        return;

    // A fresh name, so that a removal still pending is never overwritten.
    const QByteArray dir = QFile::encodeName(GetTempDir());
    QByteArray script;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        script = dir + QByteArray::number(QRandomGenerator::global()->bounded(5000)) + ".sh";
        fd = open(script.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw EInOutError(
            QStringLiteral("Cannot create the removal script in %1").arg(QFile::decodeName(dir)),
            WindowsErrorFromErrno(errno));
    const bool written = writeAll(fd, removalScript(file, script));
    const int writeErrno = errno;
    if (close(fd) != 0 || !written) {
        unlink(script.constData());
        throw EInOutError(
            QStringLiteral("Cannot write the removal script %1").arg(QFile::decodeName(script)),
            WindowsErrorFromErrno(writeErrno));
    }
    RunWithOwnToken(QFile::decodeName(script), false, {}, false);
}

void DeleteSelfAfterExit() {
    DeleteFileAfterExit(RunningExePath());
}
