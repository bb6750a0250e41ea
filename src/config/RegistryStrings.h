// The registry string operations that read and write the per-product key and the other string
// values the installer keeps: two that pass errors on, one that never fails.
#pragma once

#include "registry/Registry.h"

#include <QString>

// Opens KeyPath with full access, creating it; the string value, empty when the value is missing
// or the key cannot be opened. A value of a non-string type raises ERegistryException.
QString RegReadString(HKEY Root, const QString& KeyPath, const QString& ValueName);
// Opens KeyPath with full access, creating it, and writes Value as REG_SZ; any failure raises
// ERegistryException.
void RegWriteString(HKEY Root, const QString& KeyPath, const QString& ValueName,
                    const QString& Value);
// As RegReadString, but opened for reading only (still creating the key) and every failure,
// a wrong type included, gives the empty text.
QString RegReadStringQuiet(HKEY Root, const QString& KeyPath, const QString& ValueName);
