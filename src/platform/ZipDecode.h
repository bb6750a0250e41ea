// One entry of a package, from its raw bytes in the archive to checked plain data: decryption
// (traditional PKWARE or WinZip AES), inflate, and the size, CRC and tag checks. libzip only
// supplies the directory and each entry's raw bytes; the decoding happens here, in blocks.
#pragma once

#include "platform/ZipCrypto.h"
#include "platform/ZipOutput.h"

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

// One decoder per thread: it keeps its buffers and cipher and inflate states between entries.
class TZipEntryDecoder {
public:
    static constexpr size_t BlockSize = 64 * 1024;

    TZipEntryDecoder(std::string Password, TWinZipAesKeyCache& Keys);
    ~TZipEntryDecoder();
    TZipEntryDecoder(const TZipEntryDecoder&) = delete;
    TZipEntryDecoder& operator=(const TZipEntryDecoder&) = delete;

    // Decodes the entry and hands its data to Sink. Anything but Ok means the data handed
    // over so far must be thrown away. Cancel is polled between blocks.
    TZipDecodeResult Decode(zip_t* Archive, const TZipEntryInfo& Info, const TZipDataSink& Sink,
                            const std::atomic<bool>& Cancel);

private:
    struct TState;
    std::unique_ptr<TState> F;
};
