// Package extraction: reads the archive's directory, decodes the entries on worker threads (one
// per core, two entries at a time each) and meanwhile reports progress on the calling thread,
// whose handler may pump the event loop. Links come last, once every file is in place, and
// only when they stay inside the target.
#include "package/MyZip.h"

#include "package/ZipDecode.h"
#include "package/ZipOutput.h"
#include "package/ZipPaths.h"
#include "package/ZipSource.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>

namespace {
constexpr size_t MaxLinkTarget = 4096;
constexpr zip_uint64_t LargeEntry = 1u << 20;
constexpr auto KeepAliveInterval = std::chrono::milliseconds(50);
constexpr std::chrono::steady_clock::duration ReportInterval = std::chrono::milliseconds(20);

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
    struct TSlot;
    void worker();
    bool startNext(zip_t* archive, TSlot& slot, TZipFolderCache& folders);
    void step(TSlot* lanes, size_t count);
    void finish(TSlot& slot, TZipDecodeResult result);
    void addWritten(zip_uint64_t bytes);
    int percentOf(zip_uint64_t written) const;
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
    std::atomic<int64_t> FLastWake{0}; // steady clock ticks
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
        // Sizes come from the archive: a sum that would wrap around stops at the top.
        FTotal = entry.Size > UINT64_MAX - FTotal ? UINT64_MAX : FTotal + entry.Size;
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

// A file entry under way in a worker: its decoding and its temporary output file.
struct TZipExtraction::TSlot {
    explicit TSlot(TZipExtraction& owner)
        : Stream(owner.FPassword, owner.FKeys),
          Sink([this, &owner](const uint8_t* data, size_t size) {
              const TZipOutputError result = Out.Write(data, size);
              if (result == TZipOutputError::None)
                  owner.addWritten(size);
              return result;
          }) {}
    TZipEntryStream Stream;
    TZipOutputFile Out;
    TZipDataSink Sink;
    const TZipEntryInfo* Entry = nullptr; // null while the slot is free
};

void TZipExtraction::worker() {
    try {
        TArchivePtr archive(FFile.OpenArchive());
        if (!archive) {
            FFailed = FCancel = true;
        } else {
            // Two entries at a time: their traditional decryption runs side by side.
            TSlot lanes[2] = {TSlot(*this), TSlot(*this)};
            TZipFolderCache folders(FTarget);
            bool more = true;
            for (;;) {
                for (TSlot& slot : lanes)
                    while (more && !slot.Entry && !FCancel)
                        more = startNext(archive.get(), slot, folders);
                if (!lanes[0].Entry && !lanes[1].Entry)
                    break;
                step(lanes, 2);
            }
        }
    } catch (...) {
        FFailed = FCancel = true;
    }
    std::lock_guard lock(FLock);
    --FRunning;
    FWake.notify_one();
}

// Takes the next job into the free slot; false when no job is left. A link's target is
// decoded at once; a file is opened for its blocks to follow in step().
bool TZipExtraction::startNext(zip_t* archive, TSlot& slot, TZipFolderCache& folders) {
    const size_t job = FNextJob++;
    if (job >= FJobs.size())
        return false;
    const TZipEntryInfo& entry = FEntries[FJobs[job]];
    if (entry.Kind == TZipEntryKind::Link) {
        if (entry.Size > MaxLinkTarget)
            return true;
        std::string target;
        const auto keep = [&target](const uint8_t* data, size_t size) {
            target.append(reinterpret_cast<const char*>(data), size);
            return TZipOutputError::None;
        };
        if (DecodeZipEntry(slot.Stream, archive, entry, keep, FCancel) == TZipDecodeResult::Ok)
            FLinkTargets[job] = std::move(target);
        return true;
    }
    const size_t slash = entry.Path.rfind('/');
    const std::string name = slash == std::string::npos ? entry.Path : entry.Path.substr(slash + 1);
    const int folder = folders.FolderOf(entry.Path);
    const TZipOutputError created =
        folder < 0 ? folders.FolderError() : slot.Out.Create(folder, name);
    if (created == TZipOutputError::DiskFull)
        FFailed = FCancel = true;
    if (created != TZipOutputError::None)
        return true;
    slot.Entry = &entry;
    const TZipDecodeResult opened = slot.Stream.Open(archive, entry);
    if (opened != TZipDecodeResult::Ok)
        finish(slot, opened);
    return true;
}

// One block of every busy slot: read, decrypt (two traditional entries together), decode.
void TZipExtraction::step(TSlot* lanes, size_t count) {
    TTraditionalDecryptor* pair[2] = {};
    bool read[2] = {};
    for (size_t i = 0; i < count; ++i) {
        TSlot& slot = lanes[i];
        if (!slot.Entry || slot.Stream.AtEnd())
            continue;
        if (FCancel) {
            finish(slot, TZipDecodeResult::Cancelled);
            continue;
        }
        const TZipDecodeResult result = slot.Stream.Read();
        if (result != TZipDecodeResult::Ok) {
            finish(slot, result);
            continue;
        }
        read[i] = true;
        pair[i] = slot.Stream.Traditional();
    }
    const bool paired = count == 2 && pair[0] && pair[1];
    if (paired) {
        TZipEntryStream& a = lanes[0].Stream;
        TZipEntryStream& b = lanes[1].Stream;
        const size_t both = std::min(a.BlockFill(), b.BlockFill());
        TTraditionalDecryptor::DecryptPair(*pair[0], a.Block(), *pair[1], b.Block(), both);
        pair[0]->Decrypt(a.Block() + both, a.BlockFill() - both);
        pair[1]->Decrypt(b.Block() + both, b.BlockFill() - both);
    }
    for (size_t i = 0; i < count; ++i) {
        TSlot& slot = lanes[i];
        if (read[i]) {
            const TZipDecodeResult result = slot.Stream.Consume(slot.Sink, paired);
            if (result != TZipDecodeResult::Ok) {
                finish(slot, result);
                continue;
            }
        }
        // A complete entry is finished even after a cancel: its file is whole.
        if (slot.Entry && slot.Stream.AtEnd())
            finish(slot, slot.Stream.Finish(slot.Sink));
    }
}

// Ends the slot's entry: the file goes to its name when it decoded Ok, else it is removed.
void TZipExtraction::finish(TSlot& slot, TZipDecodeResult result) {
    if (result == TZipDecodeResult::Ok) {
        const TZipOutputError committed = slot.Out.Commit(slot.Entry->Mode, slot.Entry->ModTime);
        if (committed == TZipOutputError::DiskFull)
            FFailed = FCancel = true;
        if (committed == TZipOutputError::None)
            ++FExtracted;
    } else if (result == TZipDecodeResult::DiskFull) {
        FFailed = FCancel = true;
    }
    slot.Out.Discard();
    slot.Stream.Close();
    slot.Entry = nullptr;
}

// Wakes the calling thread when the percent moves, or when the last wake is ReportInterval
// old: with two workers on two cores, a wake for every block costs them a tenth of their time.
void TZipExtraction::addWritten(zip_uint64_t bytes) {
    const zip_uint64_t before = FWritten.fetch_add(bytes);
    const int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
    if (percentOf(before) == percentOf(before + bytes) &&
        now - FLastWake.load(std::memory_order_relaxed) < ReportInterval.count())
        return;
    FLastWake.store(now, std::memory_order_relaxed);
    std::lock_guard lock(FLock);
    FDirty = true;
    FWake.notify_one();
}

int TZipExtraction::percentOf(zip_uint64_t written) const {
    if (FTotal == 0)
        return 0;
    const unsigned __int128 scaled = static_cast<unsigned __int128>(written) * 100 / FTotal;
    return scaled > 100 ? 100 : static_cast<int>(scaled);
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
    const int percent = FTotal == 0 && finished ? 100 : percentOf(FWritten);
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
