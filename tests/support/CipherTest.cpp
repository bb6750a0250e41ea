// The string cipher: the AES block layer against FIPS-197, the hex-text decipher with its
// quirks and failures, and the constants the program holds enciphered.
#include "support/Cipher.h"
#include "support/Constants.h"

#include "testsupport/TestEnv.h"

#include <QRegularExpression>
#include <openssl/evp.h>

namespace {
QByteArray fromHex(const char* hex) {
    return QByteArray::fromHex(hex);
}

TAESBuffer block(const char* hex) {
    TAESBuffer b{};
    const QByteArray bytes = fromHex(hex);
    std::copy_n(bytes.constData(), 16, b.begin());
    return b;
}

// The maker's side, written here independently of the program: ANSI bytes, zero padding,
// AES-128 ECB, length field in front, upper-case hex.
QString encipher(const QByteArray& plain, const QByteArray& keyText) {
    unsigned char key[16] = {};
    std::copy_n(keyText.constData(), std::min<qsizetype>(keyText.size(), 16), key);
    QByteArray padded = plain;
    padded.append(QByteArray((16 - plain.size() % 16) % 16, '\0'));
    QByteArray out(padded.size(), '\0');
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int len = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                      reinterpret_cast<const unsigned char*>(padded.constData()),
                      int(padded.size()));
    EVP_CIPHER_CTX_free(ctx);
    char length[4] = {char(plain.size()), 0, 0, 0};
    return QString::fromLatin1((QByteArray(length, 4) + out).toHex().toUpper());
}

QString zeros(int n) {
    return QString(n, QChar(0));
}
} // namespace

TEST(CipherTest, BlockDecryptionMatchesFips197) {
    const TAESKey128 key = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const TAESBuffer plain =
        AesDecryptBlock128(block("69C4E0D86A7B0430D8CDB78070B4C55A"), AesExpandDecryptKey128(key));
    EXPECT_EQ(plain, block("00112233445566778899AABBCCDDEEFF"));
}

TEST(CipherTest, StreamLayerRefusesPartialBlocksAndRewindsForZeroCount) {
    const TAESKey128 key{};
    TMyStringStream source;
    source.setData(QByteArray(32, 'c'));
    source.open(QIODevice::ReadOnly);
    source.seek(16);
    TMyStringStream dest;
    dest.open(QIODevice::WriteOnly);
    AesDecryptStreamEcb(source, 0, key, dest); // the whole stream, from its start
    EXPECT_EQ(dest.data().size(), 32);
    source.seek(0);
    try {
        AesDecryptStreamEcb(source, 20, key, dest);
        ADD_FAILURE() << "no error for 20 bytes";
    } catch (const EAESError& e) {
        EXPECT_EQ(e.Message(), "Invalid buffer size for decryption");
    }
}

TEST(CipherTest, HexDataIsUpperCaseTwoDigitsPerByte) {
    TMyStringStream s;
    s.setData(fromHex("00ab1f7e"));
    EXPECT_EQ(s.GetHexData(), "00AB1F7E");
}

TEST(CipherTest, DecipherRoundTripsAndKeepsPadding) {
    const QByteArray key = "k";
    EXPECT_EQ(AesDecryptHexText(encipher("0123456789abcdef", key), "k"), "0123456789abcdef");
    EXPECT_EQ(AesDecryptHexText(encipher("abcdefghijklm", key), "k"), "abcdefghijklm" + zeros(3));
    EXPECT_EQ(encipher("0123456789abcdef", key).size(), 40);
    const QString twoBlocks = "0123456789abcdef0123";
    EXPECT_EQ(AesDecryptHexText(encipher(twoBlocks.toLatin1(), key), "k").left(20), twoBlocks);
    // The plain bytes are GBK.
    const QString chinese = QString::fromUtf8("一键安装");
    EXPECT_EQ(AnsiEncode(chinese), fromHex("d2bbbcfcb0b2d7b0"));
    EXPECT_EQ(DecryptConstText(encipher(AnsiEncode(chinese), "Q")), chinese);
}

TEST(CipherTest, KeyIsCutOrPaddedTo16Bytes) {
    const QString stored = encipher("secret", "0123456789ABCDEF");
    EXPECT_EQ(AesDecryptHexText(stored, "0123456789ABCDEFtail ignored"), "secret" + zeros(10));
    const QString withEmptyKey = encipher("plain", QByteArray());
    EXPECT_EQ(AesDecryptHexText(withEmptyKey, ""), "plain" + zeros(11));
    EXPECT_EQ(AesKeyFromText(""), TAESKey128{});
    EXPECT_NE(AesDecryptHexText(withEmptyKey, "x").left(5), "plain");
}

TEST(CipherTest, MalformedInputGivesEmptyText) {
    const QString good = encipher("abc", "Q");
    const QString cases[] = {
        "",            // nothing
        "03000000",    // the length field alone
        good.left(36), // 8 cipher bytes: not a whole block
        good + "00",   // 17 cipher bytes
        "030",         // shorter than the length field
    };
    for (const QString& hex : cases)
        EXPECT_EQ(AesDecryptHexText(hex, "Q"), QString()) << hex.toStdString();
    EXPECT_EQ(DecryptConstText(good), "abc");
    // An odd length pairs the last digit with a missing one: still one whole block.
    EXPECT_FALSE(AesDecryptHexText(good.left(39), "Q").isEmpty());
    // Lower-case digits count as -1: still one block, but not the same plain text.
    const QString lower = good.toLower();
    EXPECT_NE(lower, good);
    EXPECT_NE(DecryptConstText(lower), "abc");
}

TEST(CipherTest, StoredConstantsDecipher) {
    const QString stored[] = {cnSoftIdA,         cnSoftIdB,        cnSoftIdC, cnKeywordK1,
                              cnKeywordK2,       cnSwitchS,        cnSoftIdP, cnProgNameN,
                              cnPackagePassword, cnLangResourceKey};
    for (const QString& hex : stored) {
        EXPECT_EQ(hex.size(), 40);
        EXPECT_FALSE(DecryptConstText(hex).isEmpty()) << hex.toStdString();
    }
    EXPECT_EQ(DecryptConstText(cnSoftIdA), "quintelzip_win");
    for (const QString& digits : {PackagePassword(), LangResourceKey()}) {
        EXPECT_EQ(digits.size(), 6);
        EXPECT_TRUE(QRegularExpression("^[0-9]{6}$").match(digits).hasMatch())
            << digits.toStdString();
    }
    EXPECT_NE(PackagePassword(), LangResourceKey());
}
