// Decoding of one package entry. The raw bytes come from libzip unchanged (ZIP_FL_ENCRYPTED);
// the decryption, inflate and checks are done here so that both ciphers are fast and WinZip
// AES entries with an empty CRC field (the AE-2 form most writers use) are read correctly.
#include "package/ZipDecode.h"

#include "package/ZipPaths.h"

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

struct TZipEntryStream::TState {
    std::string Password;
    TWinZipAesKeyCache& KeyCache;
    std::vector<uint8_t> In;
    std::vector<uint8_t> Out;
    z_stream Inflate{};
    bool InflateReady = false;
    TWinZipAesDecryptor Aes;

    // The entry under way.
    const TZipEntryInfo* Info = nullptr;
    std::unique_ptr<zip_file_t, TZipFileCloser> File;
    zip_uint64_t Remaining = 0; // raw data bytes not read yet (tag excluded)
    size_t BlockFill = 0;
    std::optional<TTraditionalDecryptor> Traditional;
    int AesKey = 0;
    bool Deflated = false;
    bool StreamEnded = false;
    bool HasCrc = true;
    zip_uint64_t Produced = 0;
    uLong Crc = 0;
    size_t OutFill = 0;

    TState(std::string password, TWinZipAesKeyCache& keys)
        : Password(std::move(password)), KeyCache(keys), In(BlockSize), Out(BlockSize) {
        InflateReady = inflateInit2(&Inflate, -MAX_WBITS) == Z_OK;
    }
    ~TState() {
        if (InflateReady)
            inflateEnd(&Inflate);
    }

    TZipDecodeResult put(const uint8_t* data, size_t size, const TZipDataSink& sink) {
        if (size > Info->Size - Produced)
            return TZipDecodeResult::BadEntry; // more data than announced
        if (HasCrc)
            Crc = crc32_z(Crc, data, size);
        Produced += size;
        switch (sink(data, size)) {
        case TZipOutputError::None:
            return TZipDecodeResult::Ok;
        case TZipOutputError::DiskFull:
            return TZipDecodeResult::DiskFull;
        default:
            return TZipDecodeResult::BadEntry;
        }
    }

    // Inflates one block of input, handing on every full output block; returns once the input
    // is used up with room left in the output, or at the end of the stream.
    TZipDecodeResult inflateBlock(uint8_t* data, size_t size, const TZipDataSink& sink) {
        z_stream& z = Inflate;
        z.next_in = data;
        z.avail_in = static_cast<uInt>(size);
        for (;;) {
            z.next_out = Out.data() + OutFill;
            z.avail_out = static_cast<uInt>(Out.size() - OutFill);
            const int status = inflate(&z, Z_NO_FLUSH);
            OutFill = Out.size() - z.avail_out;
            if (status == Z_STREAM_END)
                StreamEnded = true;
            else if (status != Z_OK && status != Z_BUF_ERROR)
                return TZipDecodeResult::BadEntry;
            if (OutFill == Out.size() || (StreamEnded && OutFill > 0)) {
                const TZipDecodeResult r = put(Out.data(), OutFill, sink);
                OutFill = 0;
                if (r != TZipDecodeResult::Ok)
                    return r;
            }
            if (StreamEnded || (z.avail_in == 0 && z.avail_out > 0))
                return TZipDecodeResult::Ok;
            if (status == Z_BUF_ERROR && z.avail_out > 0)
                return TZipDecodeResult::BadEntry; // no progress with input and room: broken
        }
    }
};

TZipEntryStream::TZipEntryStream(std::string Password, TWinZipAesKeyCache& Keys)
    : F(std::make_unique<TState>(std::move(Password), Keys)) {}

TZipEntryStream::~TZipEntryStream() = default;

TZipDecodeResult TZipEntryStream::Open(zip_t* Archive, const TZipEntryInfo& Info) {
    using R = TZipDecodeResult;
    Close();
    F->File.reset(zip_fopen_index(Archive, Info.Index, ZIP_FL_ENCRYPTED));
    if (!F->File)
        return R::BadEntry;
    F->Info = &Info;
    F->Remaining = Info.CompressedSize;
    F->AesKey = aesKeyBytes(Info.Encryption);
    zip_file_t* file = F->File.get();
    if (Info.Encryption == ZIP_EM_TRAD_PKWARE) {
        uint8_t header[TTraditionalDecryptor::HeaderSize];
        if (F->Remaining < sizeof header || !readFully(file, header, sizeof header))
            return R::BadEntry;
        F->Remaining -= sizeof header;
        F->Traditional.emplace(F->Password);
        if (!F->Traditional->CheckHeader(header, static_cast<uint8_t>(Info.Crc >> 24),
                                         Info.TimeCheck))
            return R::BadEntry;
    } else if (F->AesKey) {
        const size_t saltSize = WinZipAesSaltSize(F->AesKey);
        uint8_t header[16 + WinZipAesVerifierSize];
        const size_t headerSize = saltSize + WinZipAesVerifierSize;
        if (F->Remaining < headerSize + WinZipAesTagSize || !readFully(file, header, headerSize))
            return R::BadEntry;
        F->Remaining -= headerSize + WinZipAesTagSize;
        const TWinZipAesKeys keys = F->KeyCache.Keys(header, F->AesKey);
        if (std::memcmp(keys.Verifier.data(), header + saltSize, WinZipAesVerifierSize) != 0 ||
            !F->Aes.Start(keys))
            return R::BadEntry;
    } else if (Info.Encryption != ZIP_EM_NONE) {
        return R::BadEntry;
    }
    F->Deflated = Info.Method == ZIP_CM_DEFLATE;
    if (F->Deflated && (!F->InflateReady || inflateReset(&F->Inflate) != Z_OK))
        return R::BadEntry;
    F->StreamEnded = !F->Deflated;
    // WinZip AES entries in the AE-2 form carry no CRC (the field is 0); the tag covers them.
    F->HasCrc = !F->AesKey || Info.Crc != 0;
    return R::Ok;
}

bool TZipEntryStream::AtEnd() const {
    return F->Remaining == 0;
}

TZipDecodeResult TZipEntryStream::Read() {
    const size_t size =
        F->Remaining < F->In.size() ? static_cast<size_t>(F->Remaining) : F->In.size();
    F->BlockFill = 0;
    if (!F->File || !readFully(F->File.get(), F->In.data(), size))
        return TZipDecodeResult::BadEntry;
    F->Remaining -= size;
    F->BlockFill = size;
    return TZipDecodeResult::Ok;
}

uint8_t* TZipEntryStream::Block() {
    return F->In.data();
}
size_t TZipEntryStream::BlockFill() const {
    return F->BlockFill;
}

TTraditionalDecryptor* TZipEntryStream::Traditional() {
    return F->Traditional ? &*F->Traditional : nullptr;
}

TZipDecodeResult TZipEntryStream::Consume(const TZipDataSink& Sink, bool Decrypted) {
    uint8_t* data = F->In.data();
    const size_t size = F->BlockFill;
    if (!Decrypted && F->Traditional)
        F->Traditional->Decrypt(data, size);
    else if (!Decrypted && F->AesKey)
        F->Aes.Decrypt(data, size);
    // Bytes after the end of a deflate stream are read for the tag and otherwise ignored.
    return !F->Deflated     ? F->put(data, size, Sink)
           : F->StreamEnded ? TZipDecodeResult::Ok
                            : F->inflateBlock(data, size, Sink);
}

TZipDecodeResult TZipEntryStream::Finish(const TZipDataSink& Sink) {
    using R = TZipDecodeResult;
    if (!F->Info || F->Remaining != 0)
        return R::BadEntry;
    if (F->Deflated && !F->StreamEnded) {
        // Input used up: what inflate still holds comes out now, or the stream is cut short.
        const R r = F->inflateBlock(nullptr, 0, Sink);
        if (r != R::Ok || !F->StreamEnded)
            return r != R::Ok ? r : R::BadEntry;
    }
    if (F->Produced != F->Info->Size)
        return R::BadEntry;
    if (F->AesKey) {
        uint8_t tag[WinZipAesTagSize];
        if (!readFully(F->File.get(), tag, sizeof tag) || !F->Aes.CheckTag(tag))
            return R::BadEntry;
    }
    if (F->HasCrc && F->Crc != F->Info->Crc)
        return R::BadEntry;
    return R::Ok;
}

void TZipEntryStream::Close() {
    F->File.reset();
    F->Info = nullptr;
    F->Remaining = 0;
    F->BlockFill = 0;
    F->Traditional.reset();
    F->AesKey = 0;
    F->Deflated = F->StreamEnded = false;
    F->HasCrc = true;
    F->Produced = 0;
    F->Crc = crc32_z(0, nullptr, 0);
    F->OutFill = 0;
}

TZipDecodeResult DecodeZipEntry(TZipEntryStream& Stream, zip_t* Archive, const TZipEntryInfo& Info,
                                const TZipDataSink& Sink, const std::atomic<bool>& Cancel) {
    TZipDecodeResult r = Stream.Open(Archive, Info);
    while (r == TZipDecodeResult::Ok && !Stream.AtEnd()) {
        if (Cancel.load(std::memory_order_relaxed))
            r = TZipDecodeResult::Cancelled;
        else if ((r = Stream.Read()) == TZipDecodeResult::Ok)
            r = Stream.Consume(Sink, false);
    }
    if (r == TZipDecodeResult::Ok)
        r = Stream.Finish(Sink);
    Stream.Close();
    return r;
}
