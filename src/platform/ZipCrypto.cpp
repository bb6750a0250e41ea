// Decryption of zip entries: traditional PKWARE and WinZip AES on OpenSSL's libcrypto.
// SHA-1 is driven through its block function (SHA1_Transform), which OpenSSL 3 keeps only as a
// deprecated interface; it is what makes the per-entry key derivation cheap.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "platform/ZipCrypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstring>
#include <endian.h>

namespace {
constexpr std::array<uint32_t, 256> makeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> CrcTable = makeCrcTable();

constexpr uint32_t crcByte(uint32_t crc, uint8_t byte) {
    return CrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}
} // namespace

TTraditionalDecryptor::TTraditionalDecryptor(std::string_view Password)
    : FKey0(0x12345678u), FKey1(0x23456789u), FKey2(0x34567890u) {
    for (char c : Password) {
        FKey0 = crcByte(FKey0, static_cast<uint8_t>(c));
        FKey1 = (FKey1 + (FKey0 & 0xFF)) * 134775813u + 1;
        FKey2 = crcByte(FKey2, static_cast<uint8_t>(FKey1 >> 24));
    }
}

bool TTraditionalDecryptor::CheckHeader(const uint8_t* Header, uint8_t CrcCheck,
                                        uint8_t TimeCheck) {
    uint8_t plain[HeaderSize];
    std::memcpy(plain, Header, HeaderSize);
    Decrypt(plain, HeaderSize);
    return plain[HeaderSize - 1] == CrcCheck || plain[HeaderSize - 1] == TimeCheck;
}

void TTraditionalDecryptor::Decrypt(uint8_t* Data, size_t Size) {
    // Each byte's key depends on the byte before it: a serial chain, kept in registers.
    uint32_t k0 = FKey0, k1 = FKey1, k2 = FKey2;
    for (size_t i = 0; i < Size; ++i) {
        const uint32_t t = (k2 | 2) & 0xFFFF;
        const uint8_t plain = Data[i] ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8);
        Data[i] = plain;
        k0 = crcByte(k0, plain);
        k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
        k2 = crcByte(k2, static_cast<uint8_t>(k1 >> 24));
    }
    FKey0 = k0;
    FKey1 = k1;
    FKey2 = k2;
}

namespace {
constexpr size_t Sha1Block = 64;
constexpr size_t Sha1Digest = 20;

// The HMAC key folded into the two SHA-1 states after the inner and outer pads.
struct THmacSha1 {
    SHA_CTX Inner;
    SHA_CTX Outer;

    void init(const uint8_t* key, size_t keySize) {
        uint8_t block[Sha1Block] = {};
        if (keySize > Sha1Block)
            SHA1(key, keySize, block);
        else
            std::memcpy(block, key, keySize);
        uint8_t pad[Sha1Block];
        for (size_t i = 0; i < Sha1Block; ++i)
            pad[i] = block[i] ^ 0x36;
        SHA1_Init(&Inner);
        SHA1_Update(&Inner, pad, Sha1Block);
        for (size_t i = 0; i < Sha1Block; ++i)
            pad[i] = block[i] ^ 0x5C;
        SHA1_Init(&Outer);
        SHA1_Update(&Outer, pad, Sha1Block);
        OPENSSL_cleanse(block, sizeof block);
        OPENSSL_cleanse(pad, sizeof pad);
    }

    // Finishes the running inner hash into the MAC.
    void final(SHA_CTX& inner, uint8_t* mac) const {
        uint8_t digest[Sha1Digest];
        SHA1_Final(digest, &inner);
        SHA_CTX outer = Outer;
        SHA1_Update(&outer, digest, Sha1Digest);
        SHA1_Final(mac, &outer);
    }
};

// The digest of a finished state: its words, big-endian.
void stateToBytes(const SHA_CTX& ctx, uint8_t* out) {
    const uint32_t h[5] = {htobe32(ctx.h0), htobe32(ctx.h1), htobe32(ctx.h2), htobe32(ctx.h3),
                           htobe32(ctx.h4)};
    std::memcpy(out, h, sizeof h);
}
} // namespace

void Pbkdf2HmacSha1(std::string_view Password, const uint8_t* Salt, size_t SaltSize,
                    unsigned Iterations, uint8_t* Out, size_t OutSize) {
    THmacSha1 hmac;
    hmac.init(reinterpret_cast<const uint8_t*>(Password.data()), Password.size());

    // Every iteration after the first hashes one 20-byte value behind a full key block: a
    // single padded block, so each HMAC is two block-function calls on copied states.
    uint8_t block[Sha1Block] = {};
    block[Sha1Digest] = 0x80;
    constexpr uint32_t bits = (Sha1Block + Sha1Digest) * 8;
    block[62] = static_cast<uint8_t>(bits >> 8);
    block[63] = static_cast<uint8_t>(bits);

    for (uint32_t index = 1; OutSize > 0; ++index) {
        uint8_t u[Sha1Digest], t[Sha1Digest];
        const uint8_t counter[4] = {static_cast<uint8_t>(index >> 24),
                                    static_cast<uint8_t>(index >> 16),
                                    static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index)};
        SHA_CTX inner = hmac.Inner;
        SHA1_Update(&inner, Salt, SaltSize);
        SHA1_Update(&inner, counter, sizeof counter);
        hmac.final(inner, u);
        std::memcpy(t, u, Sha1Digest);
        for (unsigned round = 1; round < Iterations; ++round) {
            std::memcpy(block, u, Sha1Digest);
            SHA_CTX ctx = hmac.Inner;
            SHA1_Transform(&ctx, block);
            stateToBytes(ctx, block);
            ctx = hmac.Outer;
            SHA1_Transform(&ctx, block);
            stateToBytes(ctx, u);
            for (size_t i = 0; i < Sha1Digest; ++i)
                t[i] ^= u[i];
        }
        const size_t n = OutSize < Sha1Digest ? OutSize : Sha1Digest;
        std::memcpy(Out, t, n);
        Out += n;
        OutSize -= n;
        OPENSSL_cleanse(u, sizeof u);
        OPENSSL_cleanse(t, sizeof t);
    }
    OPENSSL_cleanse(block, sizeof block);
    OPENSSL_cleanse(&hmac, sizeof hmac);
}

size_t WinZipAesSaltSize(int KeyBytes) {
    return KeyBytes == 16 || KeyBytes == 24 || KeyBytes == 32 ? static_cast<size_t>(KeyBytes) / 2
                                                              : 0;
}

TWinZipAesKeys DeriveWinZipAesKeys(std::string_view Password, const uint8_t* Salt, int KeyBytes) {
    TWinZipAesKeys keys;
    const size_t saltSize = WinZipAesSaltSize(KeyBytes);
    if (saltSize == 0)
        return keys;
    keys.KeyBytes = KeyBytes;
    uint8_t material[2 * 32 + WinZipAesVerifierSize];
    const size_t size = 2 * static_cast<size_t>(KeyBytes) + WinZipAesVerifierSize;
    Pbkdf2HmacSha1(Password, Salt, saltSize, 1000, material, size);
    std::memcpy(keys.EncryptionKey.data(), material, KeyBytes);
    std::memcpy(keys.MacKey.data(), material + KeyBytes, KeyBytes);
    std::memcpy(keys.Verifier.data(), material + 2 * KeyBytes, WinZipAesVerifierSize);
    OPENSSL_cleanse(material, sizeof material);
    return keys;
}

struct TWinZipAesDecryptor::TState {
    static constexpr size_t StreamBlocks = 256;

    EVP_CIPHER_CTX* Cipher = nullptr;
    THmacSha1 Hmac;
    SHA_CTX Running;
    uint64_t Counter = 0;
    uint8_t Blocks[StreamBlocks * 16];
    uint8_t Stream[StreamBlocks * 16];
    size_t StreamPos = 0;
    size_t StreamEnd = 0;
    bool Failed = false;

    // The counter is the block number, 1 first, little-endian in the block's first 8 bytes.
    bool refill(size_t wanted) {
        size_t blocks = (wanted + 15) / 16;
        if (blocks > StreamBlocks)
            blocks = StreamBlocks;
        for (size_t b = 0; b < blocks; ++b) {
            const uint64_t n = ++Counter;
            uint8_t* block = Blocks + 16 * b;
            for (int i = 0; i < 8; ++i)
                block[i] = static_cast<uint8_t>(n >> (8 * i));
            std::memset(block + 8, 0, 8);
        }
        int written = 0;
        if (EVP_EncryptUpdate(Cipher, Stream, &written, Blocks, static_cast<int>(blocks * 16)) != 1)
            return false;
        StreamPos = 0;
        StreamEnd = static_cast<size_t>(written);
        return StreamEnd == blocks * 16;
    }
};

TWinZipAesDecryptor::TWinZipAesDecryptor() : F(std::make_unique<TState>()) {
    F->Cipher = EVP_CIPHER_CTX_new();
}

TWinZipAesDecryptor::~TWinZipAesDecryptor() {
    EVP_CIPHER_CTX_free(F->Cipher);
    OPENSSL_cleanse(F.get(), sizeof(TState));
}

bool TWinZipAesDecryptor::Start(const TWinZipAesKeys& Keys) {
    const EVP_CIPHER* cipher = Keys.KeyBytes == 16   ? EVP_aes_128_ecb()
                               : Keys.KeyBytes == 24 ? EVP_aes_192_ecb()
                               : Keys.KeyBytes == 32 ? EVP_aes_256_ecb()
                                                     : nullptr;
    if (!cipher || !F->Cipher)
        return false;
    if (EVP_EncryptInit_ex(F->Cipher, cipher, nullptr, Keys.EncryptionKey.data(), nullptr) != 1)
        return false;
    EVP_CIPHER_CTX_set_padding(F->Cipher, 0);
    F->Hmac.init(Keys.MacKey.data(), static_cast<size_t>(Keys.KeyBytes));
    F->Running = F->Hmac.Inner;
    F->Counter = 0;
    F->StreamPos = F->StreamEnd = 0;
    F->Failed = false;
    return true;
}

void TWinZipAesDecryptor::Decrypt(uint8_t* Data, size_t Size) {
    SHA1_Update(&F->Running, Data, Size);
    while (Size > 0) {
        if (F->StreamPos == F->StreamEnd && !F->refill(Size)) {
            F->Failed = true;
            return;
        }
        size_t n = F->StreamEnd - F->StreamPos;
        if (n > Size)
            n = Size;
        const uint8_t* stream = F->Stream + F->StreamPos;
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t word, key;
            std::memcpy(&word, Data + i, 8);
            std::memcpy(&key, stream + i, 8);
            word ^= key;
            std::memcpy(Data + i, &word, 8);
        }
        for (; i < n; ++i)
            Data[i] ^= stream[i];
        Data += n;
        Size -= n;
        F->StreamPos += n;
    }
}

bool TWinZipAesDecryptor::CheckTag(const uint8_t* Tag) {
    uint8_t mac[Sha1Digest];
    F->Hmac.final(F->Running, mac);
    return !F->Failed && CRYPTO_memcmp(mac, Tag, WinZipAesTagSize) == 0;
}
