// File-system helpers on Linux. The tree walks go by directory descriptor, so they never
// change the process's current directory and never follow a symbolic link out of the tree;
// names are kept as bytes so that any file name on disk can be deleted.
#include "platform/FileUtils.h"

#include "platform/linux/ProcessSpawn.h"
#include "base/Exception.h"
#include "base/RunningExe.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace {

QByteArray encoded(const QString& path) {
    return QFile::encodeName(NativePath(path));
}

using TDirPtr = std::unique_ptr<DIR, int (*)(DIR*)>;

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

struct TDirEntry {
    QByteArray Name;
    unsigned char Type;
};

// The entries of an open directory, read before anything in it changes.
std::vector<TDirEntry> listEntries(DIR* dir) {
    std::vector<TDirEntry> entries;
    while (const dirent* entry = readdir(dir))
        if (!isDotOrDotDot(entry->d_name))
            entries.push_back({QByteArray(entry->d_name), entry->d_type});
    return entries;
}

bool entryIsDirectory(int dirFd, const TDirEntry& entry) {
    if (entry.Type != DT_UNKNOWN)
        return entry.Type == DT_DIR;
    struct stat st;
    return fstatat(dirFd, entry.Name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(st.st_mode);
}

[[noreturn]] void raiseCannotOpen(const QByteArray& path, int err) {
    throw EInOutError(QStringLiteral("Cannot open directory %1").arg(QFile::decodeName(path)),
                      WindowsErrorFromErrno(err));
}

// Deletes everything below the open directory dirFd (which it takes over). Entries that
// cannot be deleted are passed over; false only when the directory cannot be listed.
bool walkTree(int dirFd, const QByteArray& shownPath) {
    TDirPtr dir(fdopendir(dirFd), closedir);
    if (!dir) {
        close(dirFd);
        return false;
    }
    const int fd = dirfd(dir.get());
    for (const TDirEntry& entry : listEntries(dir.get())) {
        const char* name = entry.Name.constData();
        if (!entryIsDirectory(fd, entry)) {
            unlinkat(fd, name, 0);
            continue;
        }
        const int sub = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) {
            // Replaced by a link or a file since it was listed: removed as what it is now.
            if (errno == ELOOP || errno == ENOTDIR) {
                unlinkat(fd, name, 0);
                continue;
            }
            if (errno == ENOENT)
                continue;
            raiseCannotOpen(shownPath + '/' + entry.Name, errno);
        }
        walkTree(sub, shownPath + '/' + entry.Name);
        unlinkat(fd, name, AT_REMOVEDIR);
    }
    return true;
}

bool forceDelete(const QByteArray& path) {
    return unlink(path.constData()) == 0;
}

bool deleteTree(const QByteArray& path) {
    struct stat st;
    if (lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    const int fd = open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP)
            return false;
        raiseCannotOpen(path, errno);
    }
    const bool listed = walkTree(fd, path);
    rmdir(path.constData());
    return listed;
}

bool isPrivateDir(const QByteArray& path) {
    struct stat st;
    return lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 0777) == 0700;
}

QString tempBase() {
    QString base = qEnvironmentVariable("TMPDIR");
    if (!base.startsWith(u'/') || !QFileInfo(base).isDir())
        base = QStringLiteral("/tmp");
    while (base.size() > 1 && base.endsWith(u'/'))
        base.chop(1);
    return base;
}

} // namespace

QString NativePath(const QString& path) {
    QString result = path;
    result.replace(u'\\', u'/');
    return result;
}

int BytesToWholeMiB(std::uint64_t bytes) {
    const std::uint64_t mib = bytes / 1024 / 1024;
    return mib > std::uint64_t(INT_MAX) ? INT_MAX : int(mib);
}

bool GetDiskFreeSpaceMB(const QString& path, int& freeMB) {
    freeMB = 0;
    struct statvfs fs;
    if (path.isEmpty() || statvfs(encoded(path).constData(), &fs) != 0)
        return false;
    freeMB = BytesToWholeMiB(std::uint64_t(fs.f_bavail) * fs.f_frsize);
    return true;
}

QString GetTempDir() {
    const QString base = tempBase();
    const QString fixedName = base + QStringLiteral("/oneclick-") + QString::number(geteuid());
    const QByteArray fixed = QFile::encodeName(fixedName);
    mkdir(fixed.constData(), 0700);
    if (isPrivateDir(fixed))
        return fixedName + u'/';

    // The expected directory belongs to someone else or is open to others: never use it,
    // make a fresh one of our own instead (and keep using it for this process).
    static QHash<QString, QByteArray> fresh;
    QByteArray& mine = fresh[base];
    if (mine.isEmpty() || !isPrivateDir(mine)) {
        QByteArray pattern = fixed + "-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw EInOutError(
                QStringLiteral("Cannot create a private temporary directory in %1").arg(base),
                WindowsErrorFromErrno(errno));
        mine = pattern;
    }
    return QFile::decodeName(mine) + u'/';
}

QString GetExeDir() {
    const QString exe = NativePath(RunningExePath());
    return exe.left(exe.lastIndexOf(u'/') + 1);
}

QString GetExeFileName() {
    const QString exe = NativePath(RunningExePath());
    return exe.mid(exe.lastIndexOf(u'/') + 1);
}

bool ForceDeleteFile(const QString& path) {
    return !path.isEmpty() && forceDelete(encoded(path));
}

bool CopyFileOver(const QString& source, const QString& target) {
    const QByteArray from = encoded(source);
    const QByteArray to = encoded(target);
    const int in = open(from.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st;
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return false;
    }
    // Written beside the target and renamed over it: the target is replaced whole or not at
    // all, and a link at the target is replaced rather than written through.
    const qsizetype slash = to.lastIndexOf('/');
    QByteArray temp = to.left(slash + 1) + '.' + to.mid(slash + 1) + ".XXXXXX";
    const int out = mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        close(in);
        return false;
    }
    bool ok = fchmod(out, st.st_mode & 0777) == 0;
    char buffer[65536];
    while (ok) {
        const ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = write(out, buffer + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            ok = w > 0;
            done += w > 0 ? w : 0;
        }
    }
    close(in);
    ok = close(out) == 0 && ok;
    ok = ok && rename(temp.constData(), to.constData()) == 0;
    if (!ok)
        unlink(temp.constData());
    return ok;
}

bool DeleteDirTree(const QString& directory) {
    return !directory.isEmpty() && deleteTree(encoded(directory));
}

bool DeleteDirContents(const QString& directory, bool recurse) {
    const QByteArray path = encoded(directory);
    std::vector<TDirEntry> entries;
    {
        TDirPtr dir(opendir(path.constData()), closedir);
        if (!dir)
            return true;
        entries = listEntries(dir.get());
    }
    bool result = true;
    for (const TDirEntry& entry : entries) {
        // Every name beginning with a full stop stays, not only "." and "..".
        if (entry.Name.startsWith('.'))
            continue;
        const QByteArray full = path + '/' + entry.Name;
        struct stat st;
        const bool isDir = lstat(full.constData(), &st) == 0 && S_ISDIR(st.st_mode);
        if (recurse && isDir) {
            if (!deleteTree(full))
                result = false;
        } else if (!forceDelete(full)) {
            result = false;
        }
    }
    return result;
}
