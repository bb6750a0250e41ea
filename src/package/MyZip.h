// Extraction of the product package: a password-protected zip archive (traditional PKWARE or
// WinZip AES encryption, stored or deflated entries) unpacked into the target directory with
// progress reports. Plain function, no window toolkit; the caller's handler may pump events.
#pragma once

#include <QString>
#include <functional>

// The extraction's progress event: Percent (0 to 100) of the archive's total uncompressed size
// written so far. Always called on the thread that called UnzipWithPassword.
using TTotalPercentDone = std::function<void(int Percent)>;

// Extracts every entry of ZipFile below TargetDir (created when missing) with Password.
// Stored directories are recreated, permission bits kept, existing files replaced; existing
// read-only files are left alone and their entries skipped. Entries that fail the password
// check or their data check, and entries whose names or link targets lead outside TargetDir,
// are skipped. Returns true when at least one entry was extracted completely; false on any
// failure to open or read the archive, a full disk, or when nothing could be extracted.
// Synchronous: the entries are decoded on worker threads while OnProgress is called on the
// calling thread as blocks (64 KiB) are written: whenever the percent moves, for blocks written
// 20 ms or more after the last call, and at least every 50 ms while the work goes on.
bool UnzipWithPassword(const QString& ZipFile, const QString& TargetDir, const QString& Password,
                       const TTotalPercentDone& OnProgress);
