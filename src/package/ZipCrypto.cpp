// Decryption of zip entries: traditional PKWARE and WinZip AES on OpenSSL's libcrypto.
// SHA-1 is driven through its block function (SHA1_Transform), which OpenSSL 3 keeps only as a
// deprecated interface; it is what makes the per-entry key derivation cheap.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "package/ZipCrypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstring>
#include <endian.h>
#include <vector>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#endif

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

void TTraditionalDecryptor::DecryptPair(TTraditionalDecryptor& A, uint8_t* DataA,
                                        TTraditionalDecryptor& B, uint8_t* DataB, size_t Size) {
    uint32_t a0 = A.FKey0, a1 = A.FKey1, a2 = A.FKey2;
    uint32_t b0 = B.FKey0, b1 = B.FKey1, b2 = B.FKey2;
    for (size_t i = 0; i < Size; ++i) {
        const uint32_t ta = (a2 | 2) & 0xFFFF, tb = (b2 | 2) & 0xFFFF;
        const uint8_t pa = DataA[i] ^ static_cast<uint8_t>((ta * (ta ^ 1)) >> 8);
        const uint8_t pb = DataB[i] ^ static_cast<uint8_t>((tb * (tb ^ 1)) >> 8);
        DataA[i] = pa;
        DataB[i] = pb;
        a0 = crcByte(a0, pa);
        b0 = crcByte(b0, pb);
        a1 = (a1 + (a0 & 0xFF)) * 134775813u + 1;
        b1 = (b1 + (b0 & 0xFF)) * 134775813u + 1;
        a2 = crcByte(a2, static_cast<uint8_t>(a1 >> 24));
        b2 = crcByte(b2, static_cast<uint8_t>(b1 >> 24));
    }
    A.FKey0 = a0, A.FKey1 = a1, A.FKey2 = a2;
    B.FKey0 = b0, B.FKey1 = b1, B.FKey2 = b2;
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

uint32_t loadBe32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return be32toh(v);
}

#if defined(__x86_64__) || defined(__i386__)
#define ONECLICK_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))
// The lanes only overlap when every loop over them is unrolled into straight code.
#define ONECLICK_SHA_INLINE __attribute__((target("sha,sse4.1,ssse3"), always_inline)) inline

bool hasShaExtensions() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSE4_1) || !(c & bit_SSSE3))
        return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
}

// A SHA-1 state in the SHA extensions' layout: A to D in one register (A highest), E in the
// highest word of another, whose lower words stay zero.
struct TShaState {
    __m128i Abcd;
    __m128i E;
};

template <int N> struct TShaLanes { __m128i Abcd[N], E[N], Saved[N], Msg[N][4]; };

// Rounds 4G to 4G+3 of every lane, with the message schedule for the groups ahead; the lanes
// are independent, so their SHA instructions overlap instead of waiting on one another.
template <int N, int G> ONECLICK_SHA_INLINE void shaGroup(TShaLanes<N>& s) {
#pragma GCC unroll 4
    for (int l = 0; l < N; ++l) {
        const __m128i x = G == 0 ? _mm_add_epi32(s.E[l], s.Msg[l][0])
                                 : _mm_sha1nexte_epu32(s.Saved[l], s.Msg[l][G % 4]);
        s.Saved[l] = s.Abcd[l];
        s.Abcd[l] = _mm_sha1rnds4_epu32(s.Abcd[l], x, G / 5);
        if constexpr (G >= 1 && G <= 16)
            s.Msg[l][(G + 3) % 4] = _mm_sha1msg1_epu32(s.Msg[l][(G + 3) % 4], s.Msg[l][G % 4]);
        if constexpr (G >= 2 && G <= 17)
            s.Msg[l][(G + 2) % 4] = _mm_xor_si128(s.Msg[l][(G + 2) % 4], s.Msg[l][G % 4]);
        if constexpr (G >= 3 && G <= 18)
            s.Msg[l][(G + 1) % 4] = _mm_sha1msg2_epu32(s.Msg[l][(G + 1) % 4], s.Msg[l][G % 4]);
    }
    if constexpr (G < 19)
        shaGroup<N, G + 1>(s);
}

// For each lane: the state from start after one block holding a 20-byte value (in[l]) behind
// a full key block, as every PBKDF2 iteration hashes.
template <int N>
ONECLICK_SHA_INLINE void shaDigestBlock(const TShaState& start, const TShaState* in,
                                        TShaState* out) {
    TShaLanes<N> s;
    const __m128i pad = _mm_set_epi32(0, static_cast<int>(0x80000000u), 0, 0);
    const __m128i length = _mm_set_epi32(0, 0, 0, (Sha1Block + Sha1Digest) * 8);
#pragma GCC unroll 4
    for (int l = 0; l < N; ++l) {
        s.Abcd[l] = start.Abcd;
        s.E[l] = start.E;
        s.Msg[l][0] = in[l].Abcd;
        s.Msg[l][1] = _mm_or_si128(in[l].E, pad);
        s.Msg[l][2] = _mm_setzero_si128();
        s.Msg[l][3] = length;
    }
    shaGroup<N, 0>(s);
#pragma GCC unroll 4
    for (int l = 0; l < N; ++l) {
        out[l].Abcd = _mm_add_epi32(s.Abcd[l], start.Abcd);
        out[l].E = _mm_sha1nexte_epu32(s.Saved[l], start.E);
    }
}

ONECLICK_SHA_TARGET TShaState toShaState(const uint32_t h[5]) {
    return {_mm_set_epi32(static_cast<int>(h[0]), static_cast<int>(h[1]), static_cast<int>(h[2]),
                          static_cast<int>(h[3])),
            _mm_set_epi32(static_cast<int>(h[4]), 0, 0, 0)};
}

ONECLICK_SHA_TARGET void fromShaState(const TShaState& state, uint32_t h[5]) {
    h[0] = static_cast<uint32_t>(_mm_extract_epi32(state.Abcd, 3));
    h[1] = static_cast<uint32_t>(_mm_extract_epi32(state.Abcd, 2));
    h[2] = static_cast<uint32_t>(_mm_extract_epi32(state.Abcd, 1));
    h[3] = static_cast<uint32_t>(_mm_extract_epi32(state.Abcd, 0));
    h[4] = static_cast<uint32_t>(_mm_extract_epi32(state.E, 3));
}

// Iterations 2..n of up to four PBKDF2 blocks at once; t and u hold the words of each block.
template <int N>
ONECLICK_SHA_TARGET void iterateShaLanes(const SHA_CTX& inner, const SHA_CTX& outer,
                                         uint32_t (*t)[5], uint32_t (*u)[5], unsigned rounds) {
    const uint32_t innerWords[5] = {inner.h0, inner.h1, inner.h2, inner.h3, inner.h4};
    const uint32_t outerWords[5] = {outer.h0, outer.h1, outer.h2, outer.h3, outer.h4};
    const TShaState innerState = toShaState(innerWords), outerState = toShaState(outerWords);
    TShaState sum[N], value[N], digest[N];
#pragma GCC unroll 4
    for (int l = 0; l < N; ++l) {
        sum[l] = toShaState(t[l]);
        value[l] = toShaState(u[l]);
    }
    for (unsigned round = 0; round < rounds; ++round) {
        shaDigestBlock<N>(innerState, value, digest);
        shaDigestBlock<N>(outerState, digest, value);
#pragma GCC unroll 4
        for (int l = 0; l < N; ++l) {
            sum[l].Abcd = _mm_xor_si128(sum[l].Abcd, value[l].Abcd);
            sum[l].E = _mm_xor_si128(sum[l].E, value[l].E);
        }
    }
#pragma GCC unroll 4
    for (int l = 0; l < N; ++l)
        fromShaState(sum[l], t[l]);
}

void iterateShaExtensions(const SHA_CTX& inner, const SHA_CTX& outer, uint32_t (*t)[5],
                          uint32_t (*u)[5], size_t blocks, unsigned rounds) {
    for (; blocks >= 4; blocks -= 4, t += 4, u += 4)
        iterateShaLanes<4>(inner, outer, t, u, rounds);
    if (blocks == 3)
        iterateShaLanes<3>(inner, outer, t, u, rounds);
    else if (blocks == 2)
        iterateShaLanes<2>(inner, outer, t, u, rounds);
    else if (blocks == 1)
        iterateShaLanes<1>(inner, outer, t, u, rounds);
}

const bool cnShaExtensions = hasShaExtensions();
#else
constexpr bool cnShaExtensions = false;
void iterateShaExtensions(const SHA_CTX&, const SHA_CTX&, uint32_t (*)[5], uint32_t (*)[5], size_t,
                          unsigned) {}
#endif

// Iterations 2..n of one block through OpenSSL's block function.
void iterateGeneric(const THmacSha1& hmac, uint32_t t[5], uint32_t u[5], unsigned rounds) {
    uint8_t block[Sha1Block] = {};
    block[Sha1Digest] = 0x80;
    constexpr uint32_t bits = (Sha1Block + Sha1Digest) * 8;
    block[62] = static_cast<uint8_t>(bits >> 8);
    block[63] = static_cast<uint8_t>(bits);
    const auto put = [&block](const uint32_t* words) {
        for (int i = 0; i < 5; ++i) {
            const uint32_t be = htobe32(words[i]);
            std::memcpy(block + 4 * i, &be, 4);
        }
    };
    for (unsigned round = 0; round < rounds; ++round) {
        put(u);
        SHA_CTX ctx = hmac.Inner;
        SHA1_Transform(&ctx, block);
        const uint32_t inner[5] = {ctx.h0, ctx.h1, ctx.h2, ctx.h3, ctx.h4};
        put(inner);
        ctx = hmac.Outer;
        SHA1_Transform(&ctx, block);
        u[0] = ctx.h0, u[1] = ctx.h1, u[2] = ctx.h2, u[3] = ctx.h3, u[4] = ctx.h4;
        for (int i = 0; i < 5; ++i)
            t[i] ^= u[i];
    }
    OPENSSL_cleanse(block, sizeof block);
}
} // namespace

void Pbkdf2HmacSha1(std::string_view Password, const uint8_t* Salt, size_t SaltSize,
                    unsigned Iterations, uint8_t* Out, size_t OutSize) {
    THmacSha1 hmac;
    hmac.init(reinterpret_cast<const uint8_t*>(Password.data()), Password.size());
    const size_t blocks = (OutSize + Sha1Digest - 1) / Sha1Digest;
    std::vector<std::array<uint32_t, 5>> t(blocks), u(blocks);

    // The first iteration hashes the salt and the block number; every later one hashes one
    // 20-byte value behind the key block, a single padded block for SHA-1.
    for (size_t b = 0; b < blocks; ++b) {
        const uint32_t index = static_cast<uint32_t>(b + 1);
        const uint8_t counter[4] = {static_cast<uint8_t>(index >> 24),
                                    static_cast<uint8_t>(index >> 16),
                                    static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index)};
        SHA_CTX inner = hmac.Inner;
        SHA1_Update(&inner, Salt, SaltSize);
        SHA1_Update(&inner, counter, sizeof counter);
        uint8_t first[Sha1Digest];
        hmac.final(inner, first);
        for (int i = 0; i < 5; ++i)
            t[b][i] = u[b][i] = loadBe32(first + 4 * i);
        OPENSSL_cleanse(first, sizeof first);
    }
    const unsigned rounds = Iterations > 1 ? Iterations - 1 : 0;
    if (cnShaExtensions) {
        iterateShaExtensions(hmac.Inner, hmac.Outer, reinterpret_cast<uint32_t(*)[5]>(t.data()),
                             reinterpret_cast<uint32_t(*)[5]>(u.data()), blocks, rounds);
    } else {
        for (size_t b = 0; b < blocks; ++b)
            iterateGeneric(hmac, t[b].data(), u[b].data(), rounds);
    }

    for (size_t b = 0; b < blocks && OutSize > 0; ++b) {
        uint8_t bytes[Sha1Digest];
        for (int i = 0; i < 5; ++i) {
            const uint32_t be = htobe32(t[b][i]);
            std::memcpy(bytes + 4 * i, &be, 4);
        }
        const size_t n = OutSize < Sha1Digest ? OutSize : Sha1Digest;
        std::memcpy(Out, bytes, n);
        Out += n;
        OutSize -= n;
        OPENSSL_cleanse(bytes, sizeof bytes);
    }
    OPENSSL_cleanse(t.data(), t.size() * sizeof t[0]);
    OPENSSL_cleanse(u.data(), u.size() * sizeof u[0]);
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
