// Package extraction: reads the archive's directory, decodes the entries on worker threads (one
// per core) and, meanwhile, reports progress on the calling thread, whose handler may pump the
// event loop. Links are made last, once every file is in place, and only when they stay inside.
#include "platform/MyZip.h"

#include "platform/ZipDecode.h"
#include "platform/ZipOutput.h"
#include "platform/ZipPaths.h"
#include "platform/ZipSource.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>

namespace {
constexpr size_t MaxLinkTarget = 4096;
constexpr zip_uint64_t LargeEntry = 1u << 20;
constexpr auto KeepAliveInterval = std::chrono::milliseconds(100);

struct TZipArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using TArchivePtr = std::unique_ptr<zip_t, TZipArchiveCloser>;

std::string localPath(const QString& path) {
    QString native = path;
    native.replace(u'\\', u'/');
    return QFile::encodeName(native).toStdString();
}

class TZipExtraction {
public:
    TZipExtraction(const QString& password, const TTotalPercentDone& onProgress)
        : FPassword(password.toLocal8Bit().toStdString()), FKeys(FPassword),
          FOnProgress(onProgress) {}

    bool Run(const QString& zipFile, const QString& targetDir);

private:
    bool readDirectory(zip_t* archive);
    void worker();
    void extractOne(zip_t* archive, TZipEntryDecoder& decoder, TZipFolderCache& folders,
                    size_t job);
    void addWritten(zip_uint64_t bytes);
    void makeLinks();
    void report(bool finished);

    std::string FPassword;
    TWinZipAesKeyCache FKeys;
    const TTotalPercentDone& FOnProgress;
    TZipArchiveFile FFile;
    TZipTarget FTarget;

    std::vector<TZipEntryInfo> FEntries;
    std::vector<size_t> FJobs;                            // files and links, in working order
    std::vector<std::optional<std::string>> FLinkTargets; // by job, filled by the workers
    std::set<std::string> FLinkPaths;
    zip_uint64_t FTotal = 0;

    std::atomic<size_t> FNextJob{0};
    std::atomic<size_t> FExtracted{0};
    std::atomic<zip_uint64_t> FWritten{0};
    std::atomic<bool> FCancel{false};
    std::atomic<bool> FFailed{false};

    std::mutex FLock;
    std::condition_variable FWake;
    bool FDirty = false;
    size_t FRunning = 0;
};

bool TZipExtraction::Run(const QString& zipFile, const QString& targetDir) {
    if (zipFile.isEmpty() || targetDir.isEmpty() || !FFile.Open(localPath(zipFile)))
        return false;
    TArchivePtr archive(FFile.OpenArchive());
    if (!archive || !readDirectory(archive.get()) || !FTarget.Open(localPath(targetDir)))
        return false;
    for (const TZipEntryInfo& entry : FEntries)
        if (entry.Kind == TZipEntryKind::Directory)
            FTarget.MakeDirectory(entry.Path);

    const size_t cores = UsableCores();
    const size_t count = std::clamp<size_t>(FJobs.size(), 1, std::min<size_t>(cores, 8));
    std::vector<std::thread> threads;
    FRunning = count;
    for (size_t i = 0; i < count; ++i) {
        try {
            threads.emplace_back([this] { worker(); });
        } catch (const std::system_error&) {
            // Fewer threads than cores still extract everything.
            std::lock_guard lock(FLock);
            FRunning -= count - i;
            break;
        }
    }
    if (threads.empty()) {
        FRunning = 1;
        worker();
    }

    for (;;) {
        bool finished;
        {
            std::unique_lock lock(FLock);
            FWake.wait_for(lock, KeepAliveInterval, [this] { return FDirty || FRunning == 0; });
            FDirty = false;
            finished = FRunning == 0;
        }
        if (finished)
            break;
        if (!FFailed)
            report(false);
    }
    for (std::thread& thread : threads)
        thread.join();

    if (!FFailed) {
        makeLinks();
        report(true);
    }
    return !FFailed && FExtracted > 0;
}

bool TZipExtraction::readDirectory(zip_t* archive) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0)
        return false;
    // A later entry of the same name replaces an earlier one, as it would in sequence.
    std::unordered_map<std::string, size_t> byPath;
    for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
        TZipEntryInfo info;
        if (!ReadZipEntryInfo(archive, index, info))
            continue;
        const auto [found, added] = byPath.emplace(info.Path, FEntries.size());
        if (added)
            FEntries.push_back(std::move(info));
        else
            FEntries[found->second] = std::move(info);
    }
    for (size_t i = 0; i < FEntries.size(); ++i) {
        const TZipEntryInfo& entry = FEntries[i];
        if (entry.Kind == TZipEntryKind::Directory)
            continue;
        FJobs.push_back(i);
        FTotal += entry.Size;
        if (entry.Kind == TZipEntryKind::Link)
            FLinkPaths.insert(entry.Path);
    }
    // Large entries first, so that no thread is left with a big one at the end.
    std::stable_sort(FJobs.begin(), FJobs.end(), [this](size_t a, size_t b) {
        const zip_uint64_t sa = FEntries[a].CompressedSize, sb = FEntries[b].CompressedSize;
        const bool largeA = sa >= LargeEntry, largeB = sb >= LargeEntry;
        return largeA != largeB ? largeA : largeA && sa > sb;
    });
    FLinkTargets.resize(FJobs.size());
    return true;
}

void TZipExtraction::worker() {
    try {
        TArchivePtr archive(FFile.OpenArchive());
        if (!archive) {
            FFailed = FCancel = true;
        } else {
            TZipEntryDecoder decoder(FPassword, FKeys);
            TZipFolderCache folders(FTarget);
            for (size_t job; !FCancel && (job = FNextJob++) < FJobs.size();)
                extractOne(archive.get(), decoder, folders, job);
        }
    } catch (...) {
        FFailed = FCancel = true;
    }
    std::lock_guard lock(FLock);
    --FRunning;
    FWake.notify_one();
}

void TZipExtraction::extractOne(zip_t* archive, TZipEntryDecoder& decoder, TZipFolderCache& folders,
                                size_t job) {
    const TZipEntryInfo& entry = FEntries[FJobs[job]];
    if (entry.Kind == TZipEntryKind::Link) {
        if (entry.Size > MaxLinkTarget)
            return;
        std::string target;
        const auto keep = [&target](const uint8_t* data, size_t size) {
            target.append(reinterpret_cast<const char*>(data), size);
            return TZipOutputError::None;
        };
        if (decoder.Decode(archive, entry, keep, FCancel) == TZipDecodeResult::Ok)
            FLinkTargets[job] = std::move(target);
        return;
    }

    TZipOutputFile out;
    const size_t slash = entry.Path.rfind('/');
    const std::string name = slash == std::string::npos ? entry.Path : entry.Path.substr(slash + 1);
    const TZipOutputError created = out.Create(folders.FolderOf(entry.Path), name);
    if (created == TZipOutputError::DiskFull)
        FFailed = FCancel = true;
    if (created != TZipOutputError::None)
        return;
    const auto write = [this, &out](const uint8_t* data, size_t size) {
        const TZipOutputError result = out.Write(data, size);
        if (result == TZipOutputError::None)
            addWritten(size);
        return result;
    };
    const TZipDecodeResult result = decoder.Decode(archive, entry, write, FCancel);
    if (result == TZipDecodeResult::DiskFull)
        FFailed = FCancel = true;
    if (result != TZipDecodeResult::Ok)
        return; // the temporary file goes with out
    const TZipOutputError committed = out.Commit(entry.Mode, entry.ModTime);
    if (committed == TZipOutputError::DiskFull)
        FFailed = FCancel = true;
    if (committed == TZipOutputError::None)
        ++FExtracted;
}

void TZipExtraction::addWritten(zip_uint64_t bytes) {
    FWritten += bytes;
    std::lock_guard lock(FLock);
    FDirty = true;
    FWake.notify_one();
}

void TZipExtraction::makeLinks() {
    const auto isLink = [this](const std::string& path) {
        return FLinkPaths.count(path) > 0 || FTarget.IsLink(path);
    };
    // In archive order, so that the outcome does not depend on the threads' timing.
    std::vector<size_t> jobs(FJobs.size());
    for (size_t i = 0; i < jobs.size(); ++i)
        jobs[i] = i;
    std::sort(jobs.begin(), jobs.end(), [this](size_t a, size_t b) { return FJobs[a] < FJobs[b]; });
    for (size_t job : jobs) {
        const std::optional<std::string>& target = FLinkTargets[job];
        if (!target)
            continue;
        const std::string& path = FEntries[FJobs[job]].Path;
        if (ZipLinkStaysInside(path, *target, isLink) && FTarget.MakeLink(path, *target)) {
            ++FExtracted;
            FWritten += target->size();
        }
    }
}

void TZipExtraction::report(bool finished) {
    if (!FOnProgress)
        return;
    const zip_uint64_t written = FWritten;
    const int percent =
        FTotal == 0 ? (finished ? 100 : 0)
                    : static_cast<int>(std::min<long double>(100, written * 100.0L / FTotal));
    try {
        FOnProgress(percent);
    } catch (...) {
        FFailed = FCancel = true;
    }
}
} // namespace

bool UnzipWithPassword(const QString& ZipFile, const QString& TargetDir, const QString& Password,
                       const TTotalPercentDone& OnProgress) {
    try {
        TZipExtraction extraction(Password, OnProgress);
        return extraction.Run(ZipFile, TargetDir);
    } catch (...) {
        return false;
    }
}
