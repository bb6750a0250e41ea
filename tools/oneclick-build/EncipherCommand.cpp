// oneclick-build encipher: the stored form of a constant under the constant key. The
// enciphering lives here only; the installer itself can merely decipher.
#include "Command.h"

#include "support/Cipher.h"

#include <QTextStream>
#include <openssl/evp.h>

namespace {
const QString cnName = QStringLiteral("encipher");

// ANSI bytes, zero bytes up to a multiple of 16, AES-128 ECB, the 4-byte little-endian plain
// length in front, upper-case hex.
QString encipherText(const QString& text, const QString& keyText) {
    const TAESKey128 key = AesKeyFromText(keyText);
    QByteArray plain = AnsiEncode(text);
    const auto length = static_cast<quint32>(plain.size());
    plain.append(QByteArray((16 - plain.size() % 16) % 16, '\0'));
    QByteArray cipher(plain.size(), '\0');
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int written = 0;
    const bool ok =
        ctx && EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key.data(), nullptr) == 1 &&
        EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
        EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(cipher.data()), &written,
                          reinterpret_cast<const unsigned char*>(plain.constData()),
                          int(plain.size())) == 1 &&
        written == plain.size();
    EVP_CIPHER_CTX_free(ctx);
    if (!ok)
        return QString();
    TMyStringStream stored;
    stored.open(QIODevice::WriteOnly);
    const char lengthField[4] = {char(length & 0xFF), char((length >> 8) & 0xFF),
                                 char((length >> 16) & 0xFF), char(length >> 24)};
    stored.write(lengthField, 4);
    stored.write(cipher);
    return stored.GetHexData();
}

int runEncipher(const QStringList& args) {
    if (args.size() != 1)
        return UsageError(cnName, QStringLiteral("wants exactly one TEXT"));
    const QString stored = encipherText(args[0], ConstKeyText());
    if (stored.isEmpty() || DecryptConstText(stored) != args[0]) {
        QTextStream(stderr) << "oneclick-build " << cnName
                            << ": this text does not come back whole from its stored form "
                               "(surrounding blanks, or characters outside the ANSI code page)\n";
        return ExitFailure;
    }
    QTextStream(stdout) << stored << '\n';
    return ExitOk;
}

const TCommandRegistrar cnRegistrar({cnName, QStringLiteral("TEXT"), runEncipher});
} // namespace
