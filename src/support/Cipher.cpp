// The string cipher: AES-128 ECB decryption from OpenSSL under the block layer, hex text and
// ANSI code-page conversion above it.
#include "support/Cipher.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <openssl/evp.h>

// --- Block layer -------------------------------------------------------------------------------

struct TAESExpandedKey128::TImpl {
    // OpenSSL keeps the decryption round keys (InvMixColumns applied) inside the context.
    EVP_CIPHER_CTX* Ctx = EVP_CIPHER_CTX_new();
    ~TImpl() { EVP_CIPHER_CTX_free(Ctx); }
};

TAESExpandedKey128::TAESExpandedKey128() : FImpl(std::make_unique<TImpl>()) {}
TAESExpandedKey128::~TAESExpandedKey128() = default;
TAESExpandedKey128::TAESExpandedKey128(TAESExpandedKey128&&) noexcept = default;
TAESExpandedKey128& TAESExpandedKey128::operator=(TAESExpandedKey128&&) noexcept = default;

TAESExpandedKey128 AesExpandDecryptKey128(const TAESKey128& Key) {
    TAESExpandedKey128 expanded;
    if (!expanded.FImpl->Ctx ||
        EVP_DecryptInit_ex(expanded.FImpl->Ctx, EVP_aes_128_ecb(), nullptr, Key.data(), nullptr) !=
            1 ||
        EVP_CIPHER_CTX_set_padding(expanded.FImpl->Ctx, 0) != 1)
        throw EAESError(QStringLiteral("AES key expansion failed"));
    return expanded;
}

TAESBuffer AesDecryptBlock128(const TAESBuffer& InBuf, const TAESExpandedKey128& Key) {
    TAESBuffer out{};
    int written = 0;
    if (!Key.FImpl ||
        EVP_DecryptUpdate(Key.FImpl->Ctx, out.data(), &written, InBuf.data(), 16) != 1 ||
        written != 16)
        throw EAESError(QStringLiteral("AES block decryption failed"));
    return out;
}

void AesDecryptStreamEcb(QIODevice& Source, qint64 Count, const TAESKey128& Key, QIODevice& Dest) {
    const TAESExpandedKey128 expanded = AesExpandDecryptKey128(Key);
    if (Count != 0) {
        Count = std::min(Count, Source.size() - Source.pos());
    } else {
        Source.seek(0);
        Count = Source.size();
    }
    if (Count <= 0)
        return;
    if (Count % 16 != 0)
        throw EAESError(QStringLiteral("Invalid buffer size for decryption"));
    while (Count >= 16) {
        TAESBuffer block{};
        if (Source.read(reinterpret_cast<char*>(block.data()), 16) != 16)
            throw EStreamError(QStringLiteral("Stream read error"));
        const TAESBuffer plain = AesDecryptBlock128(block, expanded);
        if (Dest.write(reinterpret_cast<const char*>(plain.data()), 16) != 16)
            throw EStreamError(QStringLiteral("Stream write error"));
        Count -= 16;
    }
}

// --- Text layer --------------------------------------------------------------------------------

namespace {
// The one-character constant key. Kept as a character so no key text sits in the strings.
constexpr char16_t cnConstKeyChar = u'Q';

int hexDigitValue(QChar c) {
    static const QString digits = QStringLiteral("0123456789ABCDEF");
    return int(digits.indexOf(c)); // -1 for lower case and anything else, as stored texts expect
}

// Two characters per byte, the low 8 bits of 16 * high + low, with -1 for anything that is
// not an upper-case hex digit and for a missing last character.
QByteArray hexToBytes(const QString& hex) {
    QByteArray bytes;
    bytes.reserve(hex.size() / 2 + 1);
    for (qsizetype i = 0; i < hex.size(); i += 2) {
        const int high = hexDigitValue(hex[i]);
        const int low = i + 1 < hex.size() ? hexDigitValue(hex[i + 1]) : -1;
        bytes.append(char((16 * high + low) & 0xFF));
    }
    return bytes;
}

bool isTrimmed(QChar c) {
    return c.unicode() <= 32;
}
} // namespace

QString ConstKeyText() {
    return QString(QChar(cnConstKeyChar));
}

QString TMyStringStream::GetHexData() const {
    return QString::fromLatin1(data().toHex().toUpper());
}

TAESKey128 AesKeyFromText(const QString& Key) {
    TAESKey128 key{};
    const QByteArray bytes = AnsiEncode(Key);
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), 16), key.begin());
    return key;
}

QString AesDecryptHexText(const QString& HexText, const QString& Key) {
    try {
        TMyStringStream source;
        source.setData(hexToBytes(HexText));
        source.open(QIODevice::ReadOnly);
        if (source.size() < 4 || source.read(4).size() != 4)
            return QString();
        TMyStringStream plain;
        plain.open(QIODevice::WriteOnly);
        AesDecryptStreamEcb(source, source.size() - source.pos(), AesKeyFromText(Key), plain);
        return AnsiDecode(plain.data());
    } catch (...) {
        return QString();
    }
}

QString DecryptConstText(const QString& HexText) {
    const QString plain = AesDecryptHexText(HexText, ConstKeyText());
    qsizetype begin = 0;
    qsizetype end = plain.size();
    while (begin < end && isTrimmed(plain[begin]))
        ++begin;
    while (end > begin && isTrimmed(plain[end - 1]))
        --end;
    return plain.mid(begin, end - begin);
}

QByteArray AnsiEncode(const QString& Text) {
    QStringEncoder encoder(cnAnsiCodePage, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return Text.toLatin1();
    return encoder.encode(Text);
}

QString AnsiDecode(const QByteArray& Bytes) {
    QStringDecoder decoder(cnAnsiCodePage, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return QString::fromLatin1(Bytes);
    return decoder.decode(Bytes);
}
