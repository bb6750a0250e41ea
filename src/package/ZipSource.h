// The package file opened once and shared by the extraction's threads: each thread gets its
// own libzip archive over the same descriptor, read with positioned reads, so the threads never
// share a file position and all of them see the same file.
#pragma once

#include <string>
#include <zip.h>

class TZipArchiveFile {
public:
    TZipArchiveFile() = default;
    ~TZipArchiveFile();
    TZipArchiveFile(const TZipArchiveFile&) = delete;
    TZipArchiveFile& operator=(const TZipArchiveFile&) = delete;

    // Opens a regular file; false when it is missing, not a regular file or unreadable.
    bool Open(const std::string& Path);
    // A new archive handle on the file (close it with zip_discard), or null when the file is
    // not a readable zip archive.
    zip_t* OpenArchive() const;

private:
    int FFd = -1;
    long long FSize = 0;
};

// The cores this process may run on (its CPU affinity), at least 1: one decoding thread each.
unsigned UsableCores();
