// Where extracted entries land: folders are walked one component at a time without following
// links, and every file is written under a temporary name in its folder and renamed into place
// only once it is complete, so nothing is written outside the target or left half-written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

// Why an output step failed: the entry alone, or the whole extraction (no space left).
enum class TZipOutputError { None, Entry, DiskFull };

// The target directory, opened once; safe to use from several threads.
class TZipTarget {
public:
    TZipTarget() = default;
    ~TZipTarget();
    TZipTarget(const TZipTarget&) = delete;
    TZipTarget& operator=(const TZipTarget&) = delete;

    // Creates the directory with its parents when missing (mode 0755) and opens it.
    bool Open(const std::string& Dir);
    // Creates the folder Path (relative, components already checked) and its parents.
    bool MakeDirectory(const std::string& Path) const;
    // True when Path exists below the target as a link (not followed).
    bool IsLink(const std::string& Path) const;
    // Replaces whatever is at Path with a link to Target, unless a read-only file is there.
    bool MakeLink(const std::string& Path, const std::string& Target) const;

private:
    friend class TZipOutputFile;
    friend class TZipFolderCache;
    // A handle on the folder Path, creating it when Create is set; -1 on failure.
    int openFolder(const std::string& Path, bool Create) const;
    int FRoot = -1;
};

// One worker's handle on the folder it wrote to last: packages list files folder by folder.
class TZipFolderCache {
public:
    explicit TZipFolderCache(const TZipTarget& Target) : FTarget(Target) {}
    ~TZipFolderCache();
    TZipFolderCache(const TZipFolderCache&) = delete;
    TZipFolderCache& operator=(const TZipFolderCache&) = delete;

    // The folder holding the entry at Path (created when missing), or -1.
    int FolderOf(const std::string& Path);
    // Why the last FolderOf gave -1: a folder that cannot be made for lack of space ends the
    // whole extraction, like a file that cannot be written.
    TZipOutputError FolderError() const {
        return FDiskFull ? TZipOutputError::DiskFull : TZipOutputError::Entry;
    }

private:
    const TZipTarget& FTarget;
    std::string FPath;
    int FFd = -1;
    bool FDiskFull = false;
};

// A file being extracted: a temporary file beside its final name until Commit.
class TZipOutputFile {
public:
    TZipOutputFile() = default;
    ~TZipOutputFile() { Discard(); }
    TZipOutputFile(const TZipOutputFile&) = delete;
    TZipOutputFile& operator=(const TZipOutputFile&) = delete;

    // Starts the file Name in the folder FolderFd (which may be closed afterwards). Fails for
    // the entry when a read-only file or a folder is in the way or the folder cannot be written.
    TZipOutputError Create(int FolderFd, const std::string& Name);
    TZipOutputError Write(const uint8_t* Data, size_t Size);
    // Sets the permission bits and time, then moves the file to its final name.
    TZipOutputError Commit(unsigned Mode, time_t ModTime);
    // Removes the temporary file, if any.
    void Discard();

private:
    int FFolder = -1;
    int FFd = -1;
    std::string FName;
    std::string FTempName;
};
