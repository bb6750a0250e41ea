// The settings store on one registry key (the per-product key, as the session opens it). It never
// fails: a failed read gives the default, a failed write or delete does not happen.
#pragma once

#include "registry/Registry.h"
#include "support/AbstractInfo.h"

#include <optional>

class TRegSoftInfo : public TAbstractInfo {
public:
    // Opens KeyPath under Root with full access, creating it; a key that cannot be opened leaves
    // a store that reads every default and writes nothing.
    TRegSoftInfo(HKEY Root, const QString& KeyPath);

    using TAbstractInfo::ReadValue;
    using TAbstractInfo::WriteValue;

    bool DeleteValue(const QString& sValueName) override;
    // Truth and integer as REG_DWORD, text as REG_SZ (REG_EXPAND_SZ read unexpanded), double as
    // REG_BINARY of 8 little-endian bytes.
    bool ReadValue(const QString& sValueName, bool Default) override;
    QString ReadValue(const QString& sValueName, const QString& Default) override;
    int ReadValue(const QString& sValueName, int Default) override;
    double ReadValue(const QString& sValueName, double Default) override;
    void WriteValue(const QString& sValueName, bool Value) override;
    void WriteValue(const QString& sValueName, const QString& Value) override;
    void WriteValue(const QString& sValueName, int Value) override;
    void WriteValue(const QString& sValueName, double Value) override;

private:
    bool queryValue(const QString& sValueName, DWORD* Type, QByteArray* Data) const;
    std::optional<DWORD> readDword(const QString& sValueName) const;
    void setValue(const QString& sValueName, DWORD Type, const QByteArray& Data);

    TRegKey FReg;
};
