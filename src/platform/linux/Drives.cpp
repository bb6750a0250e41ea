// Drives from the kernel's mount table. Memory, kernel and read-only file systems are not
// places to install to, so the free-drive search passes them over.
#include "platform/Drives.h"

#include "platform/FileUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

struct TMount {
    QString Point;
    QByteArray Type;
    QList<QByteArray> Options;
};

// The table escapes blanks, tabs, newlines and backslashes in its fields as \ooo.
QByteArray unescapeField(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(char(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return out;
}

QList<TMount> readMounts() {
    QList<TMount> mounts;
    QFile table(QStringLiteral("/proc/self/mounts"));
    if (!table.open(QIODevice::ReadOnly))
        return mounts;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 4)
            continue;
        mounts.append({QFile::decodeName(unescapeField(fields[1])), unescapeField(fields[2]),
                       fields[3].split(',')});
    }
    return mounts;
}

bool isDiskType(const QByteArray& type) {
    static const QSet<QByteArray> virtualTypes = {
        "proc",       "sysfs",      "devtmpfs", "devpts",  "tmpfs",       "ramfs",    "cgroup",
        "cgroup2",    "securityfs", "pstore",   "debugfs", "tracefs",     "mqueue",   "hugetlbfs",
        "configfs",   "fusectl",    "bpf",      "autofs",  "binfmt_misc", "efivarfs", "nsfs",
        "rpc_pipefs", "selinuxfs",  "squashfs", "fuse",    "iso9660",     "udf"};
    return !virtualTypes.contains(type) && !type.startsWith("fuse.");
}

bool isUnder(const QString& path, const QString& mountPoint) {
    return mountPoint == QLatin1String("/") || path == mountPoint ||
           path.startsWith(mountPoint + u'/');
}

} // namespace

QString DriveOfPath(const QString& path) {
    QString probe = QDir::cleanPath(QDir::current().absoluteFilePath(NativePath(path)));
    // The path may not exist yet: its nearest existing ancestor lies on the same drive.
    while (!QFileInfo::exists(probe) && probe != QLatin1String("/"))
        probe = QFileInfo(probe).absolutePath();
    const QString real = QFileInfo(probe).canonicalFilePath();
    if (!real.isEmpty())
        probe = real;
    QString best;
    for (const TMount& mount : readMounts())
        if (isUnder(probe, mount.Point) && mount.Point.size() >= best.size())
            best = mount.Point;
    return best;
}

QStringList MountedDiskDrives() {
    const QList<TMount> mounts = readMounts();
    // A point mounted over again shows its last mount.
    QHash<QString, TMount> visible;
    for (const TMount& mount : mounts)
        visible.insert(mount.Point, mount);
    QStringList drives;
    QSet<QString> seen;
    for (const TMount& first : mounts) {
        if (seen.contains(first.Point))
            continue;
        seen.insert(first.Point);
        const TMount& mount = visible[first.Point];
        if (!isDiskType(mount.Type) || mount.Options.contains("ro"))
            continue;
        const QByteArray point = QFile::encodeName(mount.Point);
        struct statvfs fs;
        if (!QFileInfo(mount.Point).isDir() || statvfs(point.constData(), &fs) != 0 ||
            fs.f_blocks == 0 || (fs.f_flag & ST_RDONLY) || access(point.constData(), W_OK) != 0)
            continue;
        drives.append(mount.Point);
    }
    return drives;
}

bool FindFreeDrive(QString& drive) {
    for (const QString& candidate : MountedDiskDrives()) {
        int freeMB = 0;
        if (GetDiskFreeSpaceMB(candidate, freeMB) && freeMB > 150) {
            drive = candidate;
            return true;
        }
    }
    drive.clear();
    return false;
}
