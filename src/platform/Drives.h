// "Drives" on this platform: a drive is a mount point, the drive of a path is the mount point
// that holds it, and the free-drive search walks the mounted disk file systems in mount-table
// order.
#pragma once

#include <QString>
#include <QStringList>

// The mount point that holds path (which need not exist yet); empty when none is known.
QString DriveOfPath(const QString& path);

// Mount points of writable disk file systems, in mount-table order, each once.
QStringList MountedDiskDrives();

// The first of MountedDiskDrives with more than 150 MiB free for the caller. drive is set to
// it, or to the empty text when none qualifies; the answer says whether one was found.
bool FindFreeDrive(QString& drive);
