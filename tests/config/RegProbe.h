// Test-side look at the registry store through the plain registry calls, so tests check what
// actually landed in the store rather than what the code under test reports.
#pragma once

#include "registry/Registry.h"

#include <gtest/gtest.h>
#include <optional>

struct TRegValue {
    DWORD Type = REG_NONE;
    QByteArray Data;
};

inline bool ProbeKeyExists(HKEY Root, const QString& KeyPath) {
    TRegKey key;
    return RegOpenKeyExW(Root, KeyPath, KEY_READ, key.out()) == ERROR_SUCCESS;
}

inline std::optional<TRegValue> ProbeValue(HKEY Root, const QString& KeyPath,
                                           const QString& ValueName) {
    TRegKey key;
    if (RegOpenKeyExW(Root, KeyPath, KEY_READ, key.out()) != ERROR_SUCCESS)
        return std::nullopt;
    TRegValue value;
    if (RegQueryValueExW(key.get(), ValueName, &value.Type, &value.Data) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

// The string a value holds, or nullopt when it is missing or not a REG_SZ.
inline std::optional<QString> ProbeString(HKEY Root, const QString& KeyPath,
                                          const QString& ValueName) {
    const auto value = ProbeValue(Root, KeyPath, ValueName);
    if (!value || value->Type != REG_SZ)
        return std::nullopt;
    return RegDataToString(value->Data);
}

inline void PutValue(HKEY Root, const QString& KeyPath, const QString& ValueName, DWORD Type,
                     const QByteArray& Data) {
    TRegKey key;
    ASSERT_EQ(RegCreateKeyExW(Root, KeyPath, KEY_ALL_ACCESS, key.out()), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), ValueName, Type, Data), ERROR_SUCCESS);
}
