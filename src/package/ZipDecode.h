// One entry of a package, from its raw bytes in the archive to checked plain data: decryption
// (traditional PKWARE or WinZip AES), inflate, and the size, CRC and tag checks. libzip only
// supplies the directory and each entry's raw bytes; the decoding happens here, in blocks.
#pragma once

#include "package/ZipCrypto.h"
#include "package/ZipOutput.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include <zip.h>

enum class TZipEntryKind { File, Directory, Link };

// What the extraction knows of an entry from the archive's directory.
struct TZipEntryInfo {
    zip_uint64_t Index = 0;
    std::string Path; // checked relative path (see ZipPaths.h)
    TZipEntryKind Kind = TZipEntryKind::File;
    unsigned Mode = 0644; // permission bits only
    time_t ModTime = 0;
    zip_uint16_t Method = ZIP_CM_STORE;
    zip_uint16_t Encryption = ZIP_EM_NONE;
    zip_uint64_t CompressedSize = 0; // raw size in the archive, encryption overhead included
    zip_uint64_t Size = 0;
    zip_uint32_t Crc = 0;
    zip_uint8_t TimeCheck = 0; // high byte of the DOS time, the other header check value
};

// Reads an entry's description; false when the extraction cannot handle it (unknown
// compression or encryption, a special file) or its name leads outside the target.
bool ReadZipEntryInfo(zip_t* Archive, zip_uint64_t Index, TZipEntryInfo& Info);

// WinZip AES keys by salt, for one password: archives that repeat salts skip the derivation.
class TWinZipAesKeyCache {
public:
    explicit TWinZipAesKeyCache(std::string Password) : FPassword(std::move(Password)) {}
    TWinZipAesKeys Keys(const uint8_t* Salt, int KeyBytes);

private:
    std::string FPassword;
    std::mutex FLock;
    std::map<std::string, TWinZipAesKeys> FKeys;
};

enum class TZipDecodeResult { Ok, BadEntry, DiskFull, Cancelled };

// Receives the plain data in blocks, in order.
using TZipDataSink = std::function<TZipOutputError(const uint8_t* Data, size_t Size)>;

// One entry decoded block by block: Open, then Read and Consume until AtEnd, then Finish.
// A worker keeps its streams (buffers, cipher and inflate states) from entry to entry, and may
// run two at once to decrypt their blocks side by side (TTraditionalDecryptor::DecryptPair).
class TZipEntryStream {
public:
    static constexpr size_t BlockSize = 64 * 1024;

    TZipEntryStream(std::string Password, TWinZipAesKeyCache& Keys);
    ~TZipEntryStream();
    TZipEntryStream(const TZipEntryStream&) = delete;
    TZipEntryStream& operator=(const TZipEntryStream&) = delete;

    // Starts the entry (Info must outlive the stream's use of it): reads its encryption
    // header and checks the password.
    TZipDecodeResult Open(zip_t* Archive, const TZipEntryInfo& Info);
    // Every raw byte has been read.
    bool AtEnd() const;
    // Reads the next raw block, still encrypted, into Block().
    TZipDecodeResult Read();
    uint8_t* Block();
    size_t BlockFill() const;
    // The entry's traditional cipher, when it has one.
    TTraditionalDecryptor* Traditional();
    // Decrypts the block (unless the caller already did) and hands its data on to Sink.
    TZipDecodeResult Consume(const TZipDataSink& Sink, bool Decrypted);
    // The checks at the end: the stream's end, the size, the tag and the CRC.
    TZipDecodeResult Finish(const TZipDataSink& Sink);
    void Close();

private:
    struct TState;
    std::unique_ptr<TState> F;
};

// Decodes a whole entry with Stream, polling Cancel between blocks. Anything but Ok means the
// data handed to Sink must be thrown away.
TZipDecodeResult DecodeZipEntry(TZipEntryStream& Stream, zip_t* Archive, const TZipEntryInfo& Info,
                                const TZipDataSink& Sink, const std::atomic<bool>& Cancel);
