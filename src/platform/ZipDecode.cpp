// Decoding of one package entry. The raw bytes come from libzip unchanged (ZIP_FL_ENCRYPTED);
// the decryption, inflate and checks are done here so that both ciphers are fast and WinZip
// AES entries with an empty CRC field (the AE-2 form most writers use) are read correctly.
#include "platform/ZipDecode.h"

#include "platform/ZipPaths.h"

#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <zlib.h>

namespace {
constexpr zip_uint32_t DosReadOnly = 0x01;
constexpr zip_uint32_t DosDirectory = 0x10;
// Set by writers on other systems when the high half holds Unix mode bits.
constexpr zip_uint32_t UnixExtension = 0x8000;
constexpr zip_uint8_t OpsysDarwin = 19;

int aesKeyBytes(zip_uint16_t encryption) {
    switch (encryption) {
    case ZIP_EM_AES_128:
        return 16;
    case ZIP_EM_AES_192:
        return 24;
    case ZIP_EM_AES_256:
        return 32;
    default:
        return 0;
    }
}

zip_uint8_t dosTimeCheck(time_t time) {
    struct tm local;
    if (!localtime_r(&time, &local))
        return 0;
    const unsigned dosTime = (local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec >> 1);
    return static_cast<zip_uint8_t>(dosTime >> 8);
}

bool readFully(zip_file_t* file, uint8_t* data, size_t size) {
    while (size > 0) {
        const zip_int64_t n = zip_fread(file, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

struct TZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
} // namespace

bool ReadZipEntryInfo(zip_t* Archive, zip_uint64_t Index, TZipEntryInfo& Info) {
    zip_stat_t st;
    zip_stat_init(&st);
    constexpr zip_uint64_t needed = ZIP_STAT_NAME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE |
                                    ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
    if (zip_stat_index(Archive, Index, 0, &st) != 0 || (st.valid & needed) != needed)
        return false;
    const std::optional<TZipEntryPath> path = ZipEntryPath(st.name);
    if (!path)
        return false;

    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(Archive, Index, 0, &opsys, &attributes) != 0)
        attributes = 0;
    const zip_uint32_t unixMode = attributes >> 16;
    const bool hasUnixMode = unixMode != 0 && (opsys == ZIP_OPSYS_UNIX || opsys == OpsysDarwin ||
                                               (attributes & UnixExtension) != 0);

    Info = TZipEntryInfo{};
    Info.Index = Index;
    Info.Path = path->Path;
    if (hasUnixMode) {
        switch (unixMode & S_IFMT) {
        case S_IFDIR:
            Info.Kind = TZipEntryKind::Directory;
            break;
        case S_IFLNK:
            Info.Kind = TZipEntryKind::Link;
            break;
        default: // devices, pipes and sockets become plain files, as archivers do
            Info.Kind = TZipEntryKind::File;
            break;
        }
        Info.Mode = unixMode & 0777;
    } else {
        if (attributes & DosDirectory)
            Info.Kind = TZipEntryKind::Directory;
        Info.Mode = (attributes & DosReadOnly) ? 0444 : 0644;
    }
    if (path->IsDirectory)
        Info.Kind = TZipEntryKind::Directory;
    if (Info.Kind == TZipEntryKind::Directory) {
        Info.Mode = 0755;
        return true;
    }

    if (st.comp_method != ZIP_CM_STORE && st.comp_method != ZIP_CM_DEFLATE)
        return false;
    if (st.encryption_method != ZIP_EM_NONE && st.encryption_method != ZIP_EM_TRAD_PKWARE &&
        aesKeyBytes(st.encryption_method) == 0)
        return false;
    // Only WinZip AES entries may lack a CRC (libzip marks none for the AE-2 form).
    const bool aes = aesKeyBytes(st.encryption_method) != 0;
    if (!(st.valid & ZIP_STAT_CRC) && !aes)
        return false;
    Info.Method = st.comp_method;
    Info.Encryption = st.encryption_method;
    Info.CompressedSize = st.comp_size;
    Info.Size = st.size;
    Info.Crc = (st.valid & ZIP_STAT_CRC) ? st.crc : 0;
    if (st.valid & ZIP_STAT_MTIME) {
        Info.ModTime = st.mtime;
        Info.TimeCheck = dosTimeCheck(st.mtime);
    }
    return true;
}

TWinZipAesKeys TWinZipAesKeyCache::Keys(const uint8_t* Salt, int KeyBytes) {
    std::string id(1, static_cast<char>(KeyBytes));
    id.append(reinterpret_cast<const char*>(Salt), WinZipAesSaltSize(KeyBytes));
    {
        std::lock_guard lock(FLock);
        const auto found = FKeys.find(id);
        if (found != FKeys.end())
            return found->second;
    }
    // Derived outside the lock: the other threads go on with their own entries meanwhile.
    const TWinZipAesKeys keys = DeriveWinZipAesKeys(FPassword, Salt, KeyBytes);
    std::lock_guard lock(FLock);
    if (FKeys.size() >= 4096)
        FKeys.clear();
    FKeys.emplace(std::move(id), keys);
    return keys;
}

struct TZipEntryDecoder::TState {
    std::string Password;
    TWinZipAesKeyCache& KeyCache;
    std::vector<uint8_t> In;
    std::vector<uint8_t> Out;
    z_stream Inflate{};
    bool InflateReady = false;
    TWinZipAesDecryptor Aes;

    TState(std::string password, TWinZipAesKeyCache& keys)
        : Password(std::move(password)), KeyCache(keys), In(BlockSize), Out(BlockSize) {
        InflateReady = inflateInit2(&Inflate, -MAX_WBITS) == Z_OK;
    }
    ~TState() {
        if (InflateReady)
            inflateEnd(&Inflate);
    }
};

TZipEntryDecoder::TZipEntryDecoder(std::string Password, TWinZipAesKeyCache& Keys)
    : F(std::make_unique<TState>(std::move(Password), Keys)) {}

TZipEntryDecoder::~TZipEntryDecoder() = default;

TZipDecodeResult TZipEntryDecoder::Decode(zip_t* Archive, const TZipEntryInfo& Info,
                                          const TZipDataSink& Sink,
                                          const std::atomic<bool>& Cancel) {
    using R = TZipDecodeResult;
    std::unique_ptr<zip_file_t, TZipFileCloser> file(
        zip_fopen_index(Archive, Info.Index, ZIP_FL_ENCRYPTED));
    if (!file)
        return R::BadEntry;
    zip_uint64_t remaining = Info.CompressedSize;

    std::optional<TTraditionalDecryptor> traditional;
    const int aesKey = aesKeyBytes(Info.Encryption);
    if (Info.Encryption == ZIP_EM_TRAD_PKWARE) {
        uint8_t header[TTraditionalDecryptor::HeaderSize];
        if (remaining < sizeof header || !readFully(file.get(), header, sizeof header))
            return R::BadEntry;
        remaining -= sizeof header;
        traditional.emplace(F->Password);
        if (!traditional->CheckHeader(header, static_cast<uint8_t>(Info.Crc >> 24), Info.TimeCheck))
            return R::BadEntry;
    } else if (aesKey) {
        const size_t saltSize = WinZipAesSaltSize(aesKey);
        uint8_t header[16 + WinZipAesVerifierSize];
        const size_t headerSize = saltSize + WinZipAesVerifierSize;
        if (remaining < headerSize + WinZipAesTagSize || !readFully(file.get(), header, headerSize))
            return R::BadEntry;
        remaining -= headerSize + WinZipAesTagSize;
        const TWinZipAesKeys keys = F->KeyCache.Keys(header, aesKey);
        if (std::memcmp(keys.Verifier.data(), header + saltSize, WinZipAesVerifierSize) != 0 ||
            !F->Aes.Start(keys))
            return R::BadEntry;
    } else if (Info.Encryption != ZIP_EM_NONE) {
        return R::BadEntry;
    }

    const bool deflated = Info.Method == ZIP_CM_DEFLATE;
    if (deflated && (!F->InflateReady || inflateReset(&F->Inflate) != Z_OK))
        return R::BadEntry;

    // WinZip AES entries in the AE-2 form carry no CRC (the field is 0); the tag covers them.
    const bool hasCrc = !aesKey || Info.Crc != 0;
    zip_uint64_t produced = 0;
    uLong crc = crc32_z(0, nullptr, 0);
    auto emit = [&](const uint8_t* data, size_t size) {
        if (size > Info.Size - produced)
            return R::BadEntry; // more data than announced
        if (hasCrc)
            crc = crc32_z(crc, data, size);
        produced += size;
        switch (Sink(data, size)) {
        case TZipOutputError::None:
            return R::Ok;
        case TZipOutputError::DiskFull:
            return R::DiskFull;
        default:
            return R::BadEntry;
        }
    };

    bool streamEnded = !deflated;
    size_t outFill = 0;
    // Inflates one block of input, handing on every full output block; returns once the
    // input is used up with room left in the output, or at the end of the stream.
    auto inflateBlock = [&](uint8_t* data, size_t size) {
        z_stream& z = F->Inflate;
        z.next_in = data;
        z.avail_in = static_cast<uInt>(size);
        for (;;) {
            z.next_out = F->Out.data() + outFill;
            z.avail_out = static_cast<uInt>(F->Out.size() - outFill);
            const int status = inflate(&z, Z_NO_FLUSH);
            outFill = F->Out.size() - z.avail_out;
            if (status == Z_STREAM_END)
                streamEnded = true;
            else if (status != Z_OK && status != Z_BUF_ERROR)
                return R::BadEntry;
            if (outFill == F->Out.size() || (streamEnded && outFill > 0)) {
                const R r = emit(F->Out.data(), outFill);
                outFill = 0;
                if (r != R::Ok)
                    return r;
            }
            if (streamEnded || (z.avail_in == 0 && z.avail_out > 0))
                return R::Ok;
            if (status == Z_BUF_ERROR && z.avail_out > 0)
                return R::BadEntry; // no progress with input and room: a broken stream
        }
    };

    while (remaining > 0) {
        if (Cancel.load(std::memory_order_relaxed))
            return R::Cancelled;
        const size_t size =
            remaining < F->In.size() ? static_cast<size_t>(remaining) : F->In.size();
        uint8_t* data = F->In.data();
        if (!readFully(file.get(), data, size))
            return R::BadEntry;
        remaining -= size;
        if (traditional)
            traditional->Decrypt(data, size);
        else if (aesKey)
            F->Aes.Decrypt(data, size);
        // Bytes after the end of a deflate stream are read for the tag and otherwise ignored.
        const R r = !deflated ? emit(data, size) : streamEnded ? R::Ok : inflateBlock(data, size);
        if (r != R::Ok)
            return r;
    }
    if (deflated && !streamEnded) {
        // Input used up: what inflate still holds comes out now, or the stream is cut short.
        const R r = inflateBlock(nullptr, 0);
        if (r != R::Ok || !streamEnded)
            return r != R::Ok ? r : R::BadEntry;
    }
    if (produced != Info.Size)
        return R::BadEntry;
    if (aesKey) {
        uint8_t tag[WinZipAesTagSize];
        if (!readFully(file.get(), tag, sizeof tag) || !F->Aes.CheckTag(tag))
            return R::BadEntry;
    }
    if (hasCrc && crc != Info.Crc)
        return R::BadEntry;
    return R::Ok;
}
