// File-system helpers of the installer and uninstaller: free space, the private temporary
// directory, the installer's own location, deleting files and trees, copying a file.
// Paths may be written with "\" as well as "/"; every helper reads both as a separator.
#pragma once

#include <QString>
#include <cstdint>

// The path with every "\" read as the native separator "/".
QString NativePath(const QString& path);

// Bytes as whole mebibytes, rounded down, capped at the largest signed 32-bit count.
int BytesToWholeMiB(std::uint64_t bytes);

// Free space available to the caller on the file system holding path (normally a drive from
// DriveOfPath). False, with freeMB 0, when it cannot be read.
bool GetDiskFreeSpaceMB(const QString& path, int& freeMB);

// A private per-user directory (mode 0700, owned by the user) under $TMPDIR or /tmp, with a
// trailing "/". A directory of the expected name that is not private is never used: a fresh
// one is made instead. Raises EInOutError when no private directory can be made.
QString GetTempDir();

// The running executable's directory (with a trailing "/") and its file name.
QString GetExeDir();
QString GetExeFileName();

// Deletes a file or a symbolic link (never a directory), whatever its permission bits.
bool ForceDeleteFile(const QString& path);

// Copies source over target, replacing it; the copy keeps the source's permission bits.
bool CopyFileOver(const QString& source, const QString& target);

// Deletes directory with everything in it. False when it does not exist (or is a symbolic
// link, which is left alone); symbolic links inside are removed as links, never followed.
// Raises EInOutError when a directory of the tree cannot be opened.
bool DeleteDirTree(const QString& directory);

// Deletes the entries of directory except those whose names begin with "."; with recurse,
// subdirectories go with their contents, without, each counts as a failure and stays.
// True when every entry it tried went (also when the directory cannot be listed). The
// directory itself stays.
bool DeleteDirContents(const QString& directory, bool recurse);
