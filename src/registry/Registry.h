// The registry store: a hierarchical, typed key/value store that stands in for the Windows
// registry. The calls keep the Windows shapes (handles, access masks, error numbers) so the
// code above reads like its Windows counterpart; the data lives in SQLite databases, the
// current user's root in the user's database and the machine roots in the machine database.
// Key and value names compare without regard to case; a leading backslash means the root.
#pragma once

#include "base/ErrorCodes.h"
#include "base/Exception.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

using DWORD = std::uint32_t;
using REGSAM = std::uint32_t;

struct TRegKeyHandle;
using HKEY = TRegKeyHandle*;

// The predefined roots; never closed.
extern HKEY const HKEY_CLASSES_ROOT;
extern HKEY const HKEY_CURRENT_USER;
extern HKEY const HKEY_LOCAL_MACHINE;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// Access rights. The 64- and 32-bit view flags are accepted; there is one view.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM DELETE = 0x00010000;
constexpr REGSAM KEY_READ = 0x00020019;
constexpr REGSAM KEY_WRITE = 0x00020006;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Every call answers an error number and never throws. Beyond the usual ones: a call on a key
// deleted meanwhile answers ERROR_KEY_DELETED; a damaged database ERROR_BADDB; a database that
// another process keeps locked for more than about two seconds ERROR_CANTREAD or
// ERROR_CANTWRITE. Reading values needs KEY_QUERY_VALUE, listing subkeys KEY_ENUMERATE_SUB_KEYS,
// writing values KEY_SET_VALUE, creating a subkey KEY_CREATE_SUB_KEY, deleting keys below Key
// one of DELETE, KEY_SET_VALUE and KEY_CREATE_SUB_KEY; otherwise ERROR_ACCESS_DENIED. A key
// name part has at most 255 characters.

// Opens SubKey under Key, creating it and its missing parents.
LONG RegCreateKeyExW(HKEY Key, const QString& SubKey, REGSAM Desired, HKEY* Result,
                     DWORD* Disposition = nullptr);
// Opens an existing SubKey; ERROR_FILE_NOT_FOUND when it does not exist.
LONG RegOpenKeyExW(HKEY Key, const QString& SubKey, REGSAM Desired, HKEY* Result);
LONG RegCloseKey(HKEY Key);

// The empty ValueName is the key's default value. Data are the raw bytes as Windows keeps them:
// REG_SZ and REG_EXPAND_SZ as UTF-16LE with a terminating NUL, REG_DWORD as 4 little-endian
// bytes (see the helpers below).
LONG RegQueryValueExW(HKEY Key, const QString& ValueName, DWORD* Type, QByteArray* Data);
// REG_DWORD data must be 4 bytes and REG_QWORD data 8 (ERROR_INVALID_PARAMETER otherwise).
LONG RegSetValueExW(HKEY Key, const QString& ValueName, DWORD Type, const QByteArray& Data);
LONG RegDeleteValueW(HKEY Key, const QString& ValueName);

// Deletes SubKey, which must have no subkeys (ERROR_ACCESS_DENIED otherwise, as on Windows); an
// empty SubKey deletes Key itself.
LONG RegDeleteKeyW(HKEY Key, const QString& SubKey);
// Deletes SubKey with all its subkeys and values; an empty SubKey empties Key itself. A
// predefined root is never deleted nor emptied as a whole (ERROR_ACCESS_DENIED).
LONG RegDeleteTreeW(HKEY Key, const QString& SubKey);

// Names in the order they were created.
LONG RegEnumKeys(HKEY Key, QStringList* Names);
LONG RegEnumValues(HKEY Key, QStringList* Names);

// Conversions between values and the raw data form.
QByteArray RegStringData(const QString& Text);
QString RegDataToString(const QByteArray& Data);
QByteArray RegDwordData(DWORD Value);
DWORD RegDataToDword(const QByteArray& Data);
QByteArray RegQwordData(std::uint64_t Value);
std::uint64_t RegDataToQword(const QByteArray& Data);
QByteArray RegMultiStringData(const QStringList& Texts);
QStringList RegDataToMultiString(const QByteArray& Data);

// A short English text for an error number of the calls above ("The system cannot find the
// file specified."), for messages and exceptions.
QString RegErrorMessage(LONG Code);
// The database file that holds a predefined root as things stand now (the environment decides);
// empty for any other handle.
QString RegDatabasePath(HKEY Root);

// Closes the key when it goes out of scope.
class TRegKey {
public:
    TRegKey() = default;
    explicit TRegKey(HKEY key) : FKey(key) {}
    TRegKey(const TRegKey&) = delete;
    TRegKey& operator=(const TRegKey&) = delete;
    TRegKey(TRegKey&& other) noexcept : FKey(other.FKey) { other.FKey = nullptr; }
    TRegKey& operator=(TRegKey&& other) noexcept;
    ~TRegKey();

    HKEY get() const { return FKey; }
    HKEY* out(); // closes the held key; for the Result argument of the open calls
    explicit operator bool() const { return FKey != nullptr; }

private:
    HKEY FKey = nullptr;
};

// Makes every call this thread makes on Root's database, from here until Commit, one
// transaction: another process sees all of its changes or none, even when this one dies half-way,
// and a call that fails takes back only its own changes. It takes the database's write lock at
// once (waiting as a write does, so a database another process keeps locked answers
// ERROR_CANTWRITE); other threads' registry calls wait until it ends. When Error() is not
// ERROR_SUCCESS nothing was begun and the calls run each on its own. Ending without Commit takes
// everything back.
class TRegTransaction {
public:
    explicit TRegTransaction(HKEY Root);
    ~TRegTransaction();
    TRegTransaction(const TRegTransaction&) = delete;
    TRegTransaction& operator=(const TRegTransaction&) = delete;

    LONG Error() const { return FError; }
    // Makes the changes lasting; on failure they are all taken back. A second call, or one on a
    // transaction that never began, answers Error().
    LONG Commit();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
    LONG FError = ERROR_SUCCESS;
};

// The error that the registry string operations above this layer raise for a failed read or
// write; it carries the error number of the call that failed.
class ERegistryException : public EOSError {
public:
    using EOSError::EOSError;
};
