// The parts of the registry interface that do not depend on where the data lives: the raw data
// conversions, the error texts and the key holder.
#include "registry/Registry.h"

#include <QtEndian>

namespace {

template <typename T> QByteArray littleEndianBytes(T value) {
    QByteArray data(sizeof(T), '\0');
    qToLittleEndian(value, data.data());
    return data;
}

// Short data are read as if padded with zeros, so a damaged value never reads past its end.
template <typename T> T fromLittleEndianBytes(const QByteArray& data) {
    unsigned char bytes[sizeof(T)] = {};
    for (qsizetype i = 0; i < data.size() && i < qsizetype(sizeof(T)); ++i)
        bytes[i] = static_cast<unsigned char>(data[i]);
    return qFromLittleEndian<T>(bytes);
}

// The UTF-16 code units of Data; a trailing odd byte is not a whole unit and is dropped.
QString utf16Units(const QByteArray& data) {
    QString text(data.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(qFromLittleEndian<quint16>(data.constData() + 2 * i));
    return text;
}

QByteArray utf16Bytes(const QString& text) {
    QByteArray data(text.size() * 2, '\0');
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian<quint16>(text[i].unicode(), data.data() + 2 * i);
    return data;
}

} // namespace

QByteArray RegStringData(const QString& Text) {
    return utf16Bytes(Text) + QByteArray(2, '\0');
}

QString RegDataToString(const QByteArray& Data) {
    QString text = utf16Units(Data);
    // The text ends at its first NUL, whether or not the writer stored one.
    if (const qsizetype end = text.indexOf(QChar(0)); end >= 0)
        text.truncate(end);
    return text;
}

QByteArray RegDwordData(DWORD Value) {
    return littleEndianBytes<quint32>(Value);
}

DWORD RegDataToDword(const QByteArray& Data) {
    return fromLittleEndianBytes<quint32>(Data);
}

QByteArray RegQwordData(std::uint64_t Value) {
    return littleEndianBytes<quint64>(Value);
}

std::uint64_t RegDataToQword(const QByteArray& Data) {
    return fromLittleEndianBytes<quint64>(Data);
}

QByteArray RegMultiStringData(const QStringList& Texts) {
    QByteArray data;
    for (const QString& text : Texts)
        data += RegStringData(text);
    return data + QByteArray(2, '\0');
}

QStringList RegDataToMultiString(const QByteArray& Data) {
    QStringList texts = utf16Units(Data).split(QChar(0));
    // The list ends at the first empty string (the closing double NUL).
    if (const qsizetype end = texts.indexOf(QString()); end >= 0)
        texts.erase(texts.begin() + end, texts.end());
    return texts;
}

QString RegErrorMessage(LONG Code) {
    switch (Code) {
    case ERROR_SUCCESS:
        return QStringLiteral("The operation completed successfully.");
    case ERROR_FILE_NOT_FOUND:
        return QStringLiteral("The system cannot find the file specified.");
    case ERROR_ACCESS_DENIED:
        return QStringLiteral("Access is denied.");
    case ERROR_INVALID_HANDLE:
        return QStringLiteral("The handle is invalid.");
    case ERROR_INVALID_PARAMETER:
        return QStringLiteral("The parameter is incorrect.");
    case ERROR_MORE_DATA:
        return QStringLiteral("More data is available.");
    case ERROR_NO_MORE_ITEMS:
        return QStringLiteral("No more data is available.");
    case ERROR_BADDB:
        return QStringLiteral("The configuration registry database is corrupt.");
    case ERROR_CANTOPEN:
        return QStringLiteral("The configuration registry key could not be opened.");
    case ERROR_CANTREAD:
        return QStringLiteral("The configuration registry key could not be read.");
    case ERROR_CANTWRITE:
        return QStringLiteral("The configuration registry key could not be written.");
    case ERROR_KEY_DELETED:
        return QStringLiteral("Illegal operation attempted on a registry key that has been "
                              "marked for deletion.");
    default:
        return QStringLiteral("Registry error %1.").arg(Code);
    }
}

TRegKey& TRegKey::operator=(TRegKey&& other) noexcept {
    if (this != &other) {
        if (FKey)
            RegCloseKey(FKey);
        FKey = other.FKey;
        other.FKey = nullptr;
    }
    return *this;
}

TRegKey::~TRegKey() {
    if (FKey)
        RegCloseKey(FKey);
}

HKEY* TRegKey::out() {
    if (FKey)
        RegCloseKey(FKey);
    FKey = nullptr;
    return &FKey;
}
