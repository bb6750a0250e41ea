// The hand-made parts of the ciphers: the key derivation WinZip AES runs on SHA-1's block
// function (published vectors, and OpenSSL's own routine where they do not reach), and the
// traditional decryption of two entries side by side.
#include "package/ZipCrypto.h"

#include "testsupport/TestEnv.h"

#include <openssl/evp.h>

#include <string>
#include <vector>

namespace {
std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : bytes)
        text += {digits[b >> 4], digits[b & 15]};
    return text;
}

std::vector<uint8_t> Derive(std::string_view password, std::string_view salt, unsigned rounds,
                            size_t size) {
    std::vector<uint8_t> out(size);
    Pbkdf2HmacSha1(password, reinterpret_cast<const uint8_t*>(salt.data()), salt.size(), rounds,
                   out.data(), size);
    return out;
}
} // namespace

TEST(ZipCryptoTest, Pbkdf2MatchesPublishedVectors) {
    // RFC 6070.
    EXPECT_EQ(Hex(Derive("password", "salt", 1, 20)), "0c60c80f961f0e71f3a9b524af6012062fe037a6");
    EXPECT_EQ(Hex(Derive("password", "salt", 2, 20)), "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957");
    EXPECT_EQ(Hex(Derive("password", "salt", 4096, 20)),
              "4b007901b765489abead49d926f721d065a429c1");
    EXPECT_EQ(
        Hex(Derive("passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25)),
        "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
    EXPECT_EQ(
        Hex(Derive(std::string_view("pass\0word", 9), std::string_view("sa\0lt", 5), 4096, 16)),
        "56fa6aa75548099dcc37d7f03425e0c3");
}

TEST(ZipCryptoTest, Pbkdf2AgreesWithOpenSsl) {
    const std::string longPassword(100, 'p'); // longer than a SHA-1 block: hashed first
    const std::string salt = "0123456789abcdef";
    for (const std::string& password : {std::string("314159"), longPassword}) {
        for (size_t size : {34u, 50u, 66u}) { // AES-128, -192 and -256 key material
            std::vector<uint8_t> expected(size);
            ASSERT_EQ(PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()),
                                             reinterpret_cast<const uint8_t*>(salt.data()),
                                             static_cast<int>(salt.size()), 1000,
                                             static_cast<int>(size), expected.data()),
                      1);
            EXPECT_EQ(Hex(Derive(password, salt, 1000, size)), Hex(expected))
                << password.size() << " " << size;
        }
    }
}

TEST(ZipCryptoTest, PairedTraditionalDecryptionEqualsOneByOne) {
    std::vector<uint8_t> a(100000), b(70001);
    for (size_t i = 0; i < a.size(); ++i)
        a[i] = static_cast<uint8_t>(i * 131 + (i >> 7));
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(i * 71 + 5);
    std::vector<uint8_t> singleA = a, singleB = b;
    TTraditionalDecryptor alone1("314159"), alone2("271828");
    alone1.Decrypt(singleA.data(), singleA.size());
    alone2.Decrypt(singleB.data(), singleB.size());

    // Paired over the common length in two calls, the rest one by one: the keys carry over.
    TTraditionalDecryptor paired1("314159"), paired2("271828");
    TTraditionalDecryptor::DecryptPair(paired1, a.data(), paired2, b.data(), 12345);
    TTraditionalDecryptor::DecryptPair(paired1, a.data() + 12345, paired2, b.data() + 12345,
                                       b.size() - 12345);
    paired1.Decrypt(a.data() + b.size(), a.size() - b.size());
    EXPECT_EQ(a, singleA);
    EXPECT_EQ(b, singleB);
}
