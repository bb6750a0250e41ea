// The extraction's file-system side on POSIX: openat() walks from the target's descriptor with
// O_NOFOLLOW, files are created O_EXCL under random hidden names and renamed into place.
#include "package/ZipOutput.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr mode_t FolderMode = 0755;

int openDirAt(int parent, const char* name) {
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// mkdir's mode passes through the umask: a folder made here gets 0755 whatever the umask. A
// folder that was there already keeps its mode.
int makeDirAt(int parent, const char* name) {
    const bool made = ::mkdirat(parent, name, FolderMode) == 0;
    if (!made && errno != EEXIST)
        return -1;
    const int fd = openDirAt(parent, name);
    if (fd >= 0 && made)
        ::fchmod(fd, FolderMode);
    return fd;
}

// Walks from the folder start (a descriptor it takes over) down the components of path,
// creating missing ones when asked; the descriptor of the last folder, or -1.
int walkFolders(int start, const std::string& path, bool followLinks, bool create) {
    int fd = start;
    size_t begin = 0;
    while (fd >= 0 && begin < path.size()) {
        size_t end = path.find('/', begin);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(begin, end - begin);
        begin = end + 1;
        if (part.empty() || part == ".")
            continue;
        int next = followLinks ? ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                               : openDirAt(fd, part.c_str());
        if (next < 0 && errno == ENOENT && create)
            next = makeDirAt(fd, part.c_str());
        const int error = errno; // why the walk stops, for the caller
        ::close(fd);
        errno = error;
        fd = next;
    }
    return fd;
}

bool isDiskFull(int error) {
    return error == ENOSPC || error == EFBIG || error == EDQUOT;
}

// Whether the caller may write a file of this mode, judged by its bits alone: root may write
// anything, but a file marked read-only stays untouched.
bool writableByMode(const struct stat& st) {
    const uid_t uid = ::geteuid();
    if (uid == 0)
        return (st.st_mode & 0222) != 0;
    if (st.st_uid == uid)
        return (st.st_mode & S_IWUSR) != 0;
    if (st.st_gid == ::getegid())
        return (st.st_mode & S_IWGRP) != 0;
    return (st.st_mode & S_IWOTH) != 0;
}

// True when an entry may replace whatever is at name: nothing, a link, or a writable file.
bool replaceable(int folder, const char* name) {
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (S_ISLNK(st.st_mode))
        return true;
    return S_ISREG(st.st_mode) && writableByMode(st);
}

std::string randomTempName() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static const char digits[] = "0123456789abcdef";
    std::string name = ".oneclick-";
    uint64_t value = random();
    for (int i = 0; i < 16; ++i, value >>= 4)
        name += digits[value & 15];
    return name + ".part";
}

std::string parentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string leafOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

TZipTarget::~TZipTarget() {
    if (FRoot >= 0)
        ::close(FRoot);
}

bool TZipTarget::Open(const std::string& Dir) {
    if (Dir.empty())
        return false;
    // The target's own path is the caller's choice and may pass through links.
    const int start = ::open(Dir.front() == '/' ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int fd = walkFolders(start, Dir, true, true);
    if (fd < 0)
        return false;
    if (FRoot >= 0)
        ::close(FRoot);
    FRoot = fd;
    return true;
}

int TZipTarget::openFolder(const std::string& Path, bool Create) const {
    return walkFolders(::fcntl(FRoot, F_DUPFD_CLOEXEC, 0), Path, false, Create);
}

bool TZipTarget::MakeDirectory(const std::string& Path) const {
    const int fd = openFolder(Path, true);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool TZipTarget::IsLink(const std::string& Path) const {
    const int folder = openFolder(parentOf(Path), false);
    if (folder < 0)
        return false;
    struct stat st;
    const bool link = ::fstatat(folder, leafOf(Path).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISLNK(st.st_mode);
    ::close(folder);
    return link;
}

bool TZipTarget::MakeLink(const std::string& Path, const std::string& Target) const {
    const int folder = openFolder(parentOf(Path), true);
    if (folder < 0)
        return false;
    const std::string name = leafOf(Path);
    bool made = false;
    if (replaceable(folder, name.c_str())) {
        for (int attempt = 0; attempt < 8 && !made; ++attempt) {
            const std::string temp = randomTempName();
            if (::symlinkat(Target.c_str(), folder, temp.c_str()) != 0) {
                if (errno == EEXIST)
                    continue;
                break;
            }
            made = ::renameat(folder, temp.c_str(), folder, name.c_str()) == 0;
            if (!made)
                ::unlinkat(folder, temp.c_str(), 0);
            break;
        }
    }
    ::close(folder);
    return made;
}

TZipFolderCache::~TZipFolderCache() {
    if (FFd >= 0)
        ::close(FFd);
}

int TZipFolderCache::FolderOf(const std::string& Path) {
    const std::string folder = parentOf(Path);
    if (FFd >= 0 && folder == FPath)
        return FFd;
    if (FFd >= 0)
        ::close(FFd);
    FFd = FTarget.openFolder(folder, true);
    FPath = FFd >= 0 ? folder : std::string();
    FDiskFull = FFd < 0 && isDiskFull(errno);
    return FFd;
}

TZipOutputError TZipOutputFile::Create(int FolderFd, const std::string& Name) {
    Discard();
    if (FolderFd < 0 || !replaceable(FolderFd, Name.c_str()))
        return TZipOutputError::Entry;
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string temp = randomTempName();
        const int fd = ::openat(FolderFd, temp.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            // Its own handle on the folder: the caller's may be closed before this file is done.
            FFolder = ::fcntl(FolderFd, F_DUPFD_CLOEXEC, 0);
            if (FFolder < 0) {
                ::unlinkat(FolderFd, temp.c_str(), 0);
                ::close(fd);
                return TZipOutputError::Entry;
            }
            FFd = fd;
            FName = Name;
            FTempName = std::move(temp);
            return TZipOutputError::None;
        }
        if (errno != EEXIST)
            return isDiskFull(errno) ? TZipOutputError::DiskFull : TZipOutputError::Entry;
    }
    return TZipOutputError::Entry;
}

TZipOutputError TZipOutputFile::Write(const uint8_t* Data, size_t Size) {
    while (Size > 0) {
        const ssize_t n = ::write(FFd, Data, Size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return isDiskFull(errno) ? TZipOutputError::DiskFull : TZipOutputError::Entry;
        }
        Data += n;
        Size -= static_cast<size_t>(n);
    }
    return TZipOutputError::None;
}

TZipOutputError TZipOutputFile::Commit(unsigned Mode, time_t ModTime) {
    if (FFd < 0)
        return TZipOutputError::Entry;
    const struct timespec times[2] = {{0, UTIME_NOW}, {ModTime, 0}};
    ::futimens(FFd, times);
    const bool moded = ::fchmod(FFd, static_cast<mode_t>(Mode & 0777)) == 0;
    const int closed = ::close(FFd);
    const int closeError = errno;
    FFd = -1;
    if (closed != 0) {
        // Delayed allocation can report a full disk only here.
        Discard();
        return isDiskFull(closeError) ? TZipOutputError::DiskFull : TZipOutputError::Entry;
    }
    if (!moded || ::renameat(FFolder, FTempName.c_str(), FFolder, FName.c_str()) != 0) {
        Discard();
        return TZipOutputError::Entry;
    }
    FTempName.clear();
    ::close(FFolder);
    FFolder = -1;
    return TZipOutputError::None;
}

void TZipOutputFile::Discard() {
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
    if (!FTempName.empty() && FFolder >= 0)
        ::unlinkat(FFolder, FTempName.c_str(), 0);
    FTempName.clear();
    if (FFolder >= 0)
        ::close(FFolder);
    FFolder = -1;
}
