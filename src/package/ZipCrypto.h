// Decryption of zip entries: the traditional PKWARE stream cipher and WinZip AES (keys from
// PBKDF2-HMAC-SHA1, AES in WinZip's little-endian counter mode, an HMAC-SHA1 tag over the
// ciphertext). Both work in place on blocks, so an entry is decrypted as it streams.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

class TTraditionalDecryptor {
public:
    static constexpr size_t HeaderSize = 12;

    explicit TTraditionalDecryptor(std::string_view Password);

    // Decrypts the entry's 12-byte header; true when its last byte is one of the two check
    // values writers use (the CRC's high byte, or the DOS time's high byte when the sizes
    // follow the data).
    bool CheckHeader(const uint8_t* Header, uint8_t CrcCheck, uint8_t TimeCheck);
    void Decrypt(uint8_t* Data, size_t Size);
    // Decrypts Size bytes of two entries at once: each byte's key waits on the byte before,
    // so two independent chains keep the processor twice as busy as one.
    static void DecryptPair(TTraditionalDecryptor& A, uint8_t* DataA, TTraditionalDecryptor& B,
                            uint8_t* DataB, size_t Size);

private:
    uint32_t FKey0, FKey1, FKey2;
};

// PBKDF2 with HMAC-SHA1 (RFC 2898), on the compression function directly: WinZip AES derives
// a key for every entry, and the generic routine spends most of its time outside SHA-1.
void Pbkdf2HmacSha1(std::string_view Password, const uint8_t* Salt, size_t SaltSize,
                    unsigned Iterations, uint8_t* Out, size_t OutSize);

struct TWinZipAesKeys {
    int KeyBytes = 0; // 16, 24 or 32
    std::array<uint8_t, 32> EncryptionKey{};
    std::array<uint8_t, 32> MacKey{};
    std::array<uint8_t, 2> Verifier{};
};

constexpr size_t WinZipAesVerifierSize = 2;
constexpr size_t WinZipAesTagSize = 10;
// Salt size for a key of KeyBytes (half the key); 0 for an unknown strength.
size_t WinZipAesSaltSize(int KeyBytes);
TWinZipAesKeys DeriveWinZipAesKeys(std::string_view Password, const uint8_t* Salt, int KeyBytes);

class TWinZipAesDecryptor {
public:
    TWinZipAesDecryptor();
    ~TWinZipAesDecryptor();
    TWinZipAesDecryptor(const TWinZipAesDecryptor&) = delete;
    TWinZipAesDecryptor& operator=(const TWinZipAesDecryptor&) = delete;

    // Starts a new entry; false when the cipher cannot be set up.
    bool Start(const TWinZipAesKeys& Keys);
    // Authenticates and decrypts the next bytes of the entry's data.
    void Decrypt(uint8_t* Data, size_t Size);
    // True when the 10-byte tag that follows the data matches everything passed to Decrypt.
    bool CheckTag(const uint8_t* Tag);

private:
    struct TState;
    std::unique_ptr<TState> F;
};
