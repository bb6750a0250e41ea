// Image names come from the /proc/<pid>/exe link. When that cannot be read (another user's
// process, a kernel thread), the name falls back to argv[0]'s file name when it agrees with
// the kernel's short command name, else to that short name.
#include "platform/linux/ProcessList.h"

#include <QByteArray>
#include <QFile>
#include <algorithm>
#include <climits>
#include <dirent.h>
#include <memory>
#include <unistd.h>

namespace {

QByteArray readSmallFile(const QByteArray& path) {
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(65536);
}

QByteArray baseName(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}

// False for zombies and for processes that are gone.
bool isLive(const QByteArray& procDir) {
    const QByteArray stat = readSmallFile(procDir + "/stat");
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0 || close + 2 >= stat.size())
        return false;
    const char state = stat.at(close + 2);
    return state != 'Z' && state != 'X' && state != 'x';
}

QString imageName(const QByteArray& procDir) {
    char target[PATH_MAX];
    const ssize_t n = readlink((procDir + "/exe").constData(), target, sizeof target);
    if (n > 0) {
        QByteArray path(target, n);
        if (path.endsWith(" (deleted)"))
            path.chop(10);
        return QFile::decodeName(baseName(path));
    }
    QByteArray comm = readSmallFile(procDir + "/comm");
    if (comm.endsWith('\n'))
        comm.chop(1);
    const QByteArray cmdline = readSmallFile(procDir + "/cmdline");
    const QByteArray argv0 = baseName(cmdline.left(cmdline.indexOf('\0')));
    if (!comm.isEmpty() && argv0.startsWith(comm))
        return QFile::decodeName(argv0);
    return QFile::decodeName(comm);
}

} // namespace

QList<TProcessEntry> ProcessSnapshot() {
    QList<TProcessEntry> entries;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
    if (!proc)
        return entries;
    while (const dirent* entry = readdir(proc.get())) {
        bool ok = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&ok);
        if (!ok || pid <= 0)
            continue;
        const QByteArray dir = QByteArray("/proc/") + entry->d_name;
        if (!isLive(dir))
            continue;
        entries.append({pid, imageName(dir)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const TProcessEntry& a, const TProcessEntry& b) { return a.Pid < b.Pid; });
    return entries;
}
