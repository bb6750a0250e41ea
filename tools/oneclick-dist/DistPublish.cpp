// Copies a package into the packages folder (write, sync, rename: a half-written file is never
// served), computing its SHA-256 on the way, and records the release.
#include "DistPublish.h"

#include "DistText.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

const char* const PackagesSetting = "packages_dir";
constexpr std::size_t MaxNameLength = 256;

[[noreturn]] void FailErrno(const std::string& what) {
    throw EDistError(what + ": " + std::strerror(errno));
}

struct TFd {
    int Fd = -1;
    explicit TFd(int fd) : Fd(fd) {}
    ~TFd() {
        if (Fd >= 0)
            close(Fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
};

// The part of a file name that comes from a product id or version: letters, digits, "._-".
std::string FileNamePart(const std::string& text) {
    std::string part;
    for (const char c : text.substr(0, 64)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        part += plain ? c : '_';
    }
    if (part.empty() || part[0] == '.')
        part.insert(part.begin(), '_');
    return part;
}

void CheckName(const std::string& what, const std::string& value, bool mayBeEmpty) {
    if ((!mayBeEmpty && value.empty()) || value.size() > MaxNameLength || !IsCleanText(value))
        throw EDistError(what + " must be " + (mayBeEmpty ? "" : "non-empty ") +
                         "UTF-8 text without control characters, at most 256 bytes");
}

std::string Hex(const unsigned char* bytes, unsigned length) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < length; ++i) {
        hex += Digits[bytes[i] >> 4];
        hex += Digits[bytes[i] & 0x0F];
    }
    return hex;
}

void WriteAll(int fd, const char* data, std::size_t size, const std::string& path) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            FailErrno("cannot write " + path);
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

// Copies source into target; returns the SHA-256 and the size.
std::pair<std::string, std::int64_t> CopyAndHash(int source, int target, const std::string& path) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> digest(EVP_MD_CTX_new(),
                                                                   EVP_MD_CTX_free);
    if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1)
        throw EDistError("cannot start SHA-256");
    std::array<char, 1 << 16> buffer;
    std::int64_t size = 0;
    bool first = true;
    for (;;) {
        const ssize_t got = read(source, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            FailErrno("cannot read the package");
        if (got == 0)
            break;
        // A package the installer cannot open would fail every install: insist on a zip.
        if (first && (got < 4 || (std::memcmp(buffer.data(), "PK\x03\x04", 4) != 0 &&
                                  std::memcmp(buffer.data(), "PK\x05\x06", 4) != 0)))
            throw EDistError("the package is not a zip archive");
        first = false;
        EVP_DigestUpdate(digest.get(), buffer.data(), static_cast<std::size_t>(got));
        WriteAll(target, buffer.data(), static_cast<std::size_t>(got), path);
        size += got;
    }
    if (first)
        throw EDistError("the package is empty");
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_DigestFinal_ex(digest.get(), hash, &length);
    return {Hex(hash, length), size};
}

} // namespace

std::string ResolvePackagesDir(TDistStore& Store, const std::string& Given) {
    if (Given.empty()) {
        const std::string recorded = Store.Setting(PackagesSetting);
        if (recorded.empty())
            throw EDistError("no packages folder recorded in the database: give --packages DIR");
        return recorded;
    }
    if (mkdir(Given.c_str(), 0755) != 0 && errno != EEXIST)
        FailErrno("cannot create " + Given);
    char resolved[PATH_MAX];
    if (!realpath(Given.c_str(), resolved))
        FailErrno("cannot resolve " + Given);
    struct stat info {};
    if (stat(resolved, &info) != 0 || !S_ISDIR(info.st_mode))
        throw EDistError(Given + " is not a folder");
    Store.SetSetting(PackagesSetting, resolved);
    return resolved;
}

TRelease Publish(TDistStore& Store, const TPublishOptions& Options) {
    CheckName("--soft-id", Options.SoftId, false);
    CheckName("--version", Options.Version, false);
    CheckName("--channel", Options.Channel, true);
    const std::string dir = ResolvePackagesDir(Store, Options.PackagesDir);

    TFd source(open(Options.PackagePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (source.Fd < 0)
        FailErrno("cannot open " + Options.PackagePath);
    std::string temporary = dir + "/.publish-XXXXXX";
    TFd target(mkostemp(temporary.data(), O_CLOEXEC));
    if (target.Fd < 0)
        FailErrno("cannot create a file in " + dir);
    TRelease release;
    try {
        std::tie(release.Sha256, release.Size) = CopyAndHash(source.Fd, target.Fd, temporary);
        if (fchmod(target.Fd, 0644) != 0 || fsync(target.Fd) != 0)
            FailErrno("cannot write " + temporary);
        // Named after its content, so a republished version never changes a file in use.
        release.File = FileNamePart(Options.SoftId) + '-' + FileNamePart(Options.Version) + '-' +
                       release.Sha256.substr(0, 16) + ".zip";
        if (rename(temporary.c_str(), (dir + '/' + release.File).c_str()) != 0)
            FailErrno("cannot move the package into " + dir);
    } catch (...) {
        unlink(temporary.c_str());
        throw;
    }
    TFd folder(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Fd >= 0)
        fsync(folder.Fd);

    release.SoftId = Options.SoftId;
    release.Channel = Options.Channel;
    release.Version = Options.Version;
    release.PublishedAt = UtcNow();
    Store.AddRelease(release);
    return release;
}
