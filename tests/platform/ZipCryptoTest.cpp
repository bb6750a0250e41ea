// The key derivation the WinZip AES reader runs on SHA-1's block function: published vectors,
// and agreement with OpenSSL's own routine where the vectors do not reach (long passwords,
// the lengths WinZip asks for).
#include "platform/ZipCrypto.h"

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
