// The string cipher: constants and language resources are held as hexadecimal text of AES-128
// ECB blocks and deciphered at the moment of use. The installer only deciphers.
// Stored form: 4-byte little-endian plain length (read, not used), then the cipher blocks; the
// plain bytes are the text in the ANSI code page, zero-padded to a multiple of 16.
#pragma once

#include "base/Exception.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

// --- Block layer -------------------------------------------------------------------------------

class EAESError : public Exception {
public:
    using Exception::Exception;
};

// A short read or write on one of the streams the block layer works on.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

using TAESKey128 = std::array<std::uint8_t, 16>;
using TAESBuffer = std::array<std::uint8_t, 16>;

// The expanded decryption key (the round keys of the equivalent inverse cipher).
class TAESExpandedKey128 {
public:
    TAESExpandedKey128();
    ~TAESExpandedKey128();
    TAESExpandedKey128(TAESExpandedKey128&&) noexcept;
    TAESExpandedKey128& operator=(TAESExpandedKey128&&) noexcept;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
    friend TAESExpandedKey128 AesExpandDecryptKey128(const TAESKey128& Key);
    friend TAESBuffer AesDecryptBlock128(const TAESBuffer& InBuf, const TAESExpandedKey128& Key);
};

TAESExpandedKey128 AesExpandDecryptKey128(const TAESKey128& Key);
// Bytes in FIPS-197 order.
TAESBuffer AesDecryptBlock128(const TAESBuffer& InBuf, const TAESExpandedKey128& Key);
// Deciphers Count bytes of Source (all of it, from its start, when Count is 0) into Dest.
// Throws EAESError ("Invalid buffer size for decryption") or EStreamError.
void AesDecryptStreamEcb(QIODevice& Source, qint64 Count, const TAESKey128& Key, QIODevice& Dest);

// --- Text layer --------------------------------------------------------------------------------

// The in-memory byte stream that carries bytes through the decipher.
class TMyStringStream : public QBuffer {
public:
    using QBuffer::QBuffer;
    // The stream's bytes as two upper-case hexadecimal digits each.
    QString GetHexData() const;
};

// The general decipher. Never throws: any failure gives the empty text.
QString AesDecryptHexText(const QString& HexText, const QString& Key);

// Deciphers a stored constant with the constant key and trims codes up to 32 at both ends.
// Empty on any failure.
QString DecryptConstText(const QString& HexText);

// The constant key, for the maker's tool that makes the stored forms.
QString ConstKeyText();

// The key bytes of a key text: its ANSI bytes cut or zero-padded to 16.
TAESKey128 AesKeyFromText(const QString& Key);

// The ANSI code page stands in for the Windows one: GBK (code page 936), which holds the
// product's Chinese texts. Unmappable characters become '?'.
inline constexpr const char* cnAnsiCodePage = "GBK";
QByteArray AnsiEncode(const QString& Text);
QString AnsiDecode(const QByteArray& Bytes);
