// Registry string operations on top of the registry calls.
#include "config/RegistryStrings.h"

namespace {

// Windows' number for a value whose type is not the one asked for.
constexpr LONG kDataTypeMismatch = 1629;

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

QString keyName(const QString& KeyPath, const QString& ValueName) {
    return KeyPath + u'\\' + ValueName;
}

} // namespace

QString RegReadString(HKEY Root, const QString& KeyPath, const QString& ValueName) {
    TRegKey key;
    if (RegCreateKeyExW(Root, KeyPath, KEY_ALL_ACCESS, key.out()) != ERROR_SUCCESS)
        return {};
    DWORD type = REG_NONE;
    QByteArray data;
    const LONG rc = RegQueryValueExW(key.get(), ValueName, &type, &data);
    if (rc == ERROR_FILE_NOT_FOUND)
        return {};
    if (rc != ERROR_SUCCESS)
        throw ERegistryException(
            QStringLiteral("Failed to get data for '%1'").arg(keyName(KeyPath, ValueName)), rc);
    if (!isStringType(type))
        throw ERegistryException(
            QStringLiteral("Invalid data type for '%1'").arg(keyName(KeyPath, ValueName)),
            kDataTypeMismatch);
    return RegDataToString(data);
}

void RegWriteString(HKEY Root, const QString& KeyPath, const QString& ValueName,
                    const QString& Value) {
    TRegKey key;
    LONG rc = RegCreateKeyExW(Root, KeyPath, KEY_ALL_ACCESS, key.out());
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExW(key.get(), ValueName, REG_SZ, RegStringData(Value));
    if (rc != ERROR_SUCCESS)
        throw ERegistryException(
            QStringLiteral("Failed to set data for '%1'").arg(keyName(KeyPath, ValueName)), rc);
}

QString RegReadStringQuiet(HKEY Root, const QString& KeyPath, const QString& ValueName) {
    TRegKey key;
    if (RegCreateKeyExW(Root, KeyPath, KEY_READ | KEY_WOW64_64KEY, key.out()) != ERROR_SUCCESS)
        return {};
    DWORD type = REG_NONE;
    QByteArray data;
    if (RegQueryValueExW(key.get(), ValueName, &type, &data) != ERROR_SUCCESS ||
        !isStringType(type))
        return {};
    return RegDataToString(data);
}
