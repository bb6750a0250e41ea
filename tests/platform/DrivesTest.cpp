// Drives on the machine's real mount table, read only: the drive of a path, the disk file
// systems in table order, and the free-drive search.
#include "platform/Drives.h"
#include "platform/FileUtils.h"
#include "testsupport/TestEnv.h"

#include <QFile>
#include <filesystem>

namespace {

class DrivesTest : public TIsolatedTest {};

// Mount points in table order (first appearance), read independently of the code under test.
QStringList mountPointsInTableOrder() {
    QFile table(QStringLiteral("/proc/self/mounts"));
    EXPECT_TRUE(table.open(QIODevice::ReadOnly));
    QStringList points;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 2 && !points.contains(QString::fromUtf8(fields[1])))
            points << QString::fromUtf8(fields[1]);
    }
    return points;
}

std::uintmax_t freeMiB(const QString& path) {
    return std::filesystem::space(path.toStdString()).available >> 20;
}

} // namespace

TEST_F(DrivesTest, DriveOfAPathIsTheMountPointHoldingIt) {
    const QStringList points = mountPointsInTableOrder();
    const QString tmpDrive = DriveOfPath(FEnv.Tmp());
    EXPECT_TRUE(points.contains(tmpDrive));
    EXPECT_TRUE(tmpDrive == QLatin1String("/") || FEnv.Tmp().startsWith(tmpDrive + u'/'));

    EXPECT_EQ(DriveOfPath(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(DriveOfPath(QStringLiteral("/proc/self/status")), QStringLiteral("/proc"));
    // A target that does not exist yet lies on the drive of its nearest existing folder.
    EXPECT_EQ(DriveOfPath(FEnv.Tmp() + QStringLiteral("/not/yet/there")), tmpDrive);
    QString windowsForm = FEnv.Tmp() + QStringLiteral("/new");
    windowsForm.replace(u'/', u'\\');
    EXPECT_EQ(DriveOfPath(windowsForm), tmpDrive);
}

TEST_F(DrivesTest, DiskDrivesFollowTheMountTableAndLeaveOutKernelFileSystems) {
    const QStringList points = mountPointsInTableOrder();
    const QStringList drives = MountedDiskDrives();
    qsizetype last = -1;
    for (const QString& drive : drives) {
        SCOPED_TRACE(drive.toStdString());
        const qsizetype at = points.indexOf(drive);
        EXPECT_GT(at, last);
        last = at;
        int freeMB = 0;
        EXPECT_TRUE(GetDiskFreeSpaceMB(drive, freeMB));
    }
    for (const char* kernel : {"/proc", "/sys", "/dev", "/dev/pts", "/dev/shm"})
        EXPECT_FALSE(drives.contains(QLatin1String(kernel))) << kernel;
}

TEST_F(DrivesTest, FreeDriveIsTheFirstDiskWithMoreThan150MiB) {
    const QStringList drives = MountedDiskDrives();
    QString drive = QStringLiteral("stale");
    const bool found = FindFreeDrive(drive);
    EXPECT_EQ(found, !drive.isEmpty());
    if (!found) {
        for (const QString& d : drives)
            EXPECT_LE(freeMiB(d), 150u) << d.toStdString();
        return;
    }
    const qsizetype at = drives.indexOf(drive);
    ASSERT_GE(at, 0);
    EXPECT_GT(freeMiB(drive), 150u);
    for (const QString& earlier : drives.mid(0, at))
        EXPECT_LE(freeMiB(earlier), 150u) << earlier.toStdString();
}
