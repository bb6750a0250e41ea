// Registry-backed settings store.
#include "support/RegSoftInfo.h"

#include <QtEndian>
#include <cstring>

namespace {

constexpr qsizetype kDwordSize = 4;
constexpr qsizetype kDoubleSize = 8;

} // namespace

TRegSoftInfo::TRegSoftInfo(HKEY Root, const QString& KeyPath) {
    if (RegCreateKeyExW(Root, KeyPath, KEY_ALL_ACCESS, FReg.out()) != ERROR_SUCCESS)
        FReg = TRegKey();
}

bool TRegSoftInfo::queryValue(const QString& sValueName, DWORD* Type, QByteArray* Data) const {
    return FReg && RegQueryValueExW(FReg.get(), sValueName, Type, Data) == ERROR_SUCCESS;
}

void TRegSoftInfo::setValue(const QString& sValueName, DWORD Type, const QByteArray& Data) {
    if (FReg)
        RegSetValueExW(FReg.get(), sValueName, Type, Data);
}

bool TRegSoftInfo::DeleteValue(const QString& sValueName) {
    return FReg && RegDeleteValueW(FReg.get(), sValueName) == ERROR_SUCCESS;
}

std::optional<DWORD> TRegSoftInfo::readDword(const QString& sValueName) const {
    DWORD type = REG_NONE;
    QByteArray data;
    if (!queryValue(sValueName, &type, &data) || type != REG_DWORD || data.size() != kDwordSize)
        return std::nullopt;
    return RegDataToDword(data);
}

bool TRegSoftInfo::ReadValue(const QString& sValueName, bool Default) {
    const std::optional<DWORD> value = readDword(sValueName);
    return value ? *value != 0 : Default;
}

QString TRegSoftInfo::ReadValue(const QString& sValueName, const QString& Default) {
    DWORD type = REG_NONE;
    QByteArray data;
    if (!queryValue(sValueName, &type, &data) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return Default;
    return RegDataToString(data);
}

int TRegSoftInfo::ReadValue(const QString& sValueName, int Default) {
    const std::optional<DWORD> value = readDword(sValueName);
    return value ? static_cast<int>(*value) : Default;
}

double TRegSoftInfo::ReadValue(const QString& sValueName, double Default) {
    DWORD type = REG_NONE;
    QByteArray data;
    if (!queryValue(sValueName, &type, &data) || type != REG_BINARY || data.size() != kDoubleSize)
        return Default;
    const quint64 bits = qFromLittleEndian<quint64>(data.constData());
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void TRegSoftInfo::WriteValue(const QString& sValueName, bool Value) {
    setValue(sValueName, REG_DWORD, RegDwordData(Value ? 1 : 0));
}

void TRegSoftInfo::WriteValue(const QString& sValueName, const QString& Value) {
    setValue(sValueName, REG_SZ, RegStringData(Value));
}

void TRegSoftInfo::WriteValue(const QString& sValueName, int Value) {
    setValue(sValueName, REG_DWORD, RegDwordData(static_cast<DWORD>(Value)));
}

void TRegSoftInfo::WriteValue(const QString& sValueName, double Value) {
    quint64 bits;
    std::memcpy(&bits, &Value, sizeof bits);
    QByteArray data(kDoubleSize, Qt::Uninitialized);
    qToLittleEndian(bits, data.data());
    setValue(sValueName, REG_BINARY, data);
}
