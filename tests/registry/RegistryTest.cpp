// The registry calls as the code above them uses them: keys and names without regard to case,
// typed values, the default value, access rights, deletion, enumeration and error numbers.
#include "registry/Registry.h"
#include "base/Locations.h"
#include "testsupport/TestEnv.h"

#include <QFileInfo>

namespace {

class RegistryTest : public TIsolatedTest {
protected:
    // Fails the test unless the key can be created.
    TRegKey Create(HKEY parent, const QString& path, REGSAM access = KEY_ALL_ACCESS) {
        TRegKey key;
        EXPECT_EQ(RegCreateKeyExW(parent, path, access, key.out()), ERROR_SUCCESS)
            << path.toStdString();
        return key;
    }
    static LONG SetString(HKEY key, const QString& name, const QString& text) {
        return RegSetValueExW(key, name, REG_SZ, RegStringData(text));
    }
    // The string value, or "<error N>" when the query fails.
    static QString Read(HKEY key, const QString& name) {
        DWORD type = 0;
        QByteArray data;
        const LONG rc = RegQueryValueExW(key, name, &type, &data);
        return rc == ERROR_SUCCESS ? RegDataToString(data) : QStringLiteral("<error %1>").arg(rc);
    }
    static QStringList Subkeys(HKEY key) {
        QStringList names;
        EXPECT_EQ(RegEnumKeys(key, &names), ERROR_SUCCESS);
        return names;
    }
    static QStringList Values(HKEY key) {
        QStringList names;
        EXPECT_EQ(RegEnumValues(key, &names), ERROR_SUCCESS);
        return names;
    }
};

const QString NotFound = QStringLiteral("<error 2>");

TEST_F(RegistryTest, KeysAreTheSameWhateverTheCaseAndSeparators) {
    DWORD disposition = 0;
    TRegKey first;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, "SOFTWARE\\OneClick\\Demo", KEY_ALL_ACCESS,
                              first.out(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    ASSERT_EQ(SetString(first.get(), "source", "abc"), ERROR_SUCCESS);

    for (const char* spelling : {"software\\oneclick\\DEMO", "\\Software\\OneClick\\Demo\\",
                                 "Software\\\\oneClick\\demo"}) {
        SCOPED_TRACE(spelling);
        TRegKey other;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_CURRENT_USER, spelling, KEY_ALL_ACCESS, other.out(), &disposition),
            ERROR_SUCCESS);
        EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
        EXPECT_EQ(Read(other.get(), "SOURCE"), "abc");
    }
    // The names keep the spelling they were created with.
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER), QStringList{"SOFTWARE"});
    TRegKey software = Create(HKEY_CURRENT_USER, "software");
    EXPECT_EQ(Subkeys(software.get()), QStringList{"OneClick"});
    // Non-ASCII names fold too.
    TRegKey umlaut = Create(software.get(), "ÄPFEL");
    TRegKey again;
    EXPECT_EQ(RegOpenKeyExW(software.get(), "äpfel", KEY_READ, again.out()), ERROR_SUCCESS);
}

TEST_F(RegistryTest, OpenKeyFindsOnlyExistingKeys) {
    TRegKey key;
    HKEY raw = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, "Software\\Missing", KEY_READ, &raw),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(raw, nullptr);
    Create(HKEY_CURRENT_USER, "Software\\Present");
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, "Software\\Present", KEY_READ, key.out()),
              ERROR_SUCCESS);
    // The empty path opens the same key again.
    TRegKey parent = Create(HKEY_CURRENT_USER, "Software");
    TRegKey same;
    ASSERT_EQ(RegOpenKeyExW(parent.get(), "", KEY_ALL_ACCESS, same.out()), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(same.get()), QStringList{"Present"});
}

struct TTypedCase {
    const char* Name;
    DWORD Type;
    QByteArray Data;
};

TEST_F(RegistryTest, ValuesKeepTheirTypeAndBytes) {
    const TTypedCase cases[] = {
        {"text", REG_SZ, RegStringData("C:\\Program Files\\demo.exe")},
        {"empty text", REG_SZ, RegStringData("")},
        {"expand", REG_EXPAND_SZ, RegStringData("%APPDATA%\\demo")},
        {"number", REG_DWORD, RegDwordData(0xDEADBEEF)},
        {"binary", REG_BINARY, QByteArray("\x00\x01\xff\x7f", 4)},
        {"no bytes", REG_BINARY, QByteArray()},
        {"list", REG_MULTI_SZ, RegMultiStringData({"one", "two"})},
        {"wide", REG_QWORD, RegQwordData(0x0102030405060708ULL)},
        {"untyped", REG_NONE, QByteArray("raw")},
        {"", REG_SZ, RegStringData("the default")},
    };
    TRegKey key = Create(HKEY_CURRENT_USER, "Software\\Types");
    for (const TTypedCase& c : cases)
        ASSERT_EQ(RegSetValueExW(key.get(), c.Name, c.Type, c.Data), ERROR_SUCCESS) << c.Name;
    for (const TTypedCase& c : cases) {
        SCOPED_TRACE(c.Name);
        DWORD type = 99;
        QByteArray data("stale");
        ASSERT_EQ(RegQueryValueExW(key.get(), QString(c.Name).toUpper(), &type, &data),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, c.Type);
        EXPECT_EQ(data, c.Data);
    }
    // Replacing a value changes its type; the type and data pointers are optional.
    ASSERT_EQ(RegSetValueExW(key.get(), "TEXT", REG_DWORD, RegDwordData(7)), ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExW(key.get(), "text", &type, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(RegQueryValueExW(key.get(), "text", nullptr, nullptr), ERROR_SUCCESS);
}

TEST_F(RegistryTest, DefaultValueIsTheEmptyName) {
    TRegKey key = Create(HKEY_CLASSES_ROOT, "demo");
    EXPECT_EQ(Read(key.get(), ""), NotFound);
    ASSERT_EQ(SetString(key.get(), "", "URL:Demo Protocol"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key.get(), "URL Protocol", "/opt/demo"), ERROR_SUCCESS);
    EXPECT_EQ(Read(key.get(), ""), "URL:Demo Protocol");
    EXPECT_EQ(Values(key.get()), (QStringList{"", "URL Protocol"}));
    ASSERT_EQ(RegDeleteValueW(key.get(), ""), ERROR_SUCCESS);
    EXPECT_EQ(Read(key.get(), ""), NotFound);
    EXPECT_EQ(Read(key.get(), "URL Protocol"), "/opt/demo");
}

TEST_F(RegistryTest, MissingThingsAnswerFileNotFound) {
    TRegKey key = Create(HKEY_CURRENT_USER, "Software\\Here");
    DWORD type = 7;
    QByteArray data("stale");
    EXPECT_EQ(RegQueryValueExW(key.get(), "absent", &type, &data), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(type, DWORD(REG_NONE));
    EXPECT_TRUE(data.isEmpty());
    EXPECT_EQ(RegDeleteValueW(key.get(), "absent"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, "Software\\Gone"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, "Software\\Gone\\Deeper"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, ValuesEnumerateInCreationOrder) {
    TRegKey key = Create(HKEY_CURRENT_USER, "Software\\Order");
    for (const char* name : {"zeta", "alpha", "Mid"})
        ASSERT_EQ(SetString(key.get(), name, name), ERROR_SUCCESS);
    for (const char* name : {"b", "a", "C"})
        Create(key.get(), name);
    // Overwriting keeps the place and the first spelling; deleting and writing again moves last.
    ASSERT_EQ(SetString(key.get(), "ZETA", "new"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(key.get(), "alpha"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key.get(), "Alpha", "back"), ERROR_SUCCESS);
    EXPECT_EQ(Values(key.get()), (QStringList{"zeta", "Mid", "Alpha"}));
    EXPECT_EQ(Read(key.get(), "zeta"), "new");
    EXPECT_EQ(Subkeys(key.get()), (QStringList{"b", "a", "C"}));
}

TEST_F(RegistryTest, ReadOnlyKeysRefuseEveryWrite) {
    TRegKey setup = Create(HKEY_CURRENT_USER, "Software\\Guarded\\Child");
    ASSERT_EQ(SetString(setup.get(), "v", "kept"), ERROR_SUCCESS);
    for (const REGSAM access : {KEY_READ, KEY_READ | KEY_WOW64_64KEY, KEY_READ | KEY_WOW64_32KEY}) {
        SCOPED_TRACE(access);
        TRegKey key = Create(HKEY_CURRENT_USER, "Software\\Guarded", access);
        EXPECT_EQ(SetString(key.get(), "v", "x"), ERROR_ACCESS_DENIED);
        EXPECT_EQ(RegDeleteValueW(key.get(), "v"), ERROR_ACCESS_DENIED);
        EXPECT_EQ(RegDeleteKeyW(key.get(), "Child"), ERROR_ACCESS_DENIED);
        EXPECT_EQ(RegDeleteTreeW(key.get(), "Child"), ERROR_ACCESS_DENIED);
        TRegKey refused;
        EXPECT_EQ(RegCreateKeyExW(key.get(), "New", KEY_ALL_ACCESS, refused.out()),
                  ERROR_ACCESS_DENIED);
        EXPECT_FALSE(refused);
        // Opening what exists needs no right on the parent, and reading is allowed.
        TRegKey child;
        EXPECT_EQ(RegCreateKeyExW(key.get(), "Child", KEY_ALL_ACCESS, child.out()), ERROR_SUCCESS);
        EXPECT_EQ(Read(child.get(), "v"), "kept");
        EXPECT_EQ(Subkeys(key.get()), QStringList{"Child"});
    }
    // A key opened to write only cannot be read.
    TRegKey writeOnly = Create(HKEY_CURRENT_USER, "Software\\Guarded", KEY_SET_VALUE);
    EXPECT_EQ(SetString(writeOnly.get(), "w", "1"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(writeOnly.get(), "w", nullptr, nullptr), ERROR_ACCESS_DENIED);
    QStringList names;
    EXPECT_EQ(RegEnumKeys(writeOnly.get(), &names), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegEnumValues(writeOnly.get(), &names), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Read(setup.get(), "v"), "kept");
}

TEST_F(RegistryTest, TheViewFlagsShareOneView) {
    TRegKey wide = Create(HKEY_LOCAL_MACHINE, "Software\\View", KEY_ALL_ACCESS | KEY_WOW64_64KEY);
    ASSERT_EQ(SetString(wide.get(), "x", "64"), ERROR_SUCCESS);
    TRegKey narrow = Create(HKEY_LOCAL_MACHINE, "Software\\View", KEY_READ | KEY_WOW64_32KEY);
    EXPECT_EQ(Read(narrow.get(), "x"), "64");
}

TEST_F(RegistryTest, DeleteKeyRefusesKeysWithSubkeys) {
    TRegKey leaf = Create(HKEY_CURRENT_USER, "Software\\Parent\\Leaf");
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, "Software\\Parent"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, "software\\parent\\LEAF"), ERROR_SUCCESS);
    // The empty name deletes the key of the handle itself.
    TRegKey parent = Create(HKEY_CURRENT_USER, "Software\\Parent");
    EXPECT_EQ(RegDeleteKeyW(parent.get(), ""), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(parent.get(), ""), ERROR_KEY_DELETED);
    TRegKey software = Create(HKEY_CURRENT_USER, "Software");
    EXPECT_TRUE(Subkeys(software.get()).isEmpty());
    // A root is not a key one can delete.
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, DeleteTreeRemovesEverythingBelow) {
    TRegKey deep = Create(HKEY_LOCAL_MACHINE, "Software\\Uninstall\\Demo\\Sub\\Deeper");
    ASSERT_EQ(SetString(deep.get(), "v", "1"), ERROR_SUCCESS);
    TRegKey demo = Create(HKEY_LOCAL_MACHINE, "Software\\Uninstall\\Demo");
    ASSERT_EQ(SetString(demo.get(), "DisplayName", "Demo"), ERROR_SUCCESS);
    TRegKey other = Create(HKEY_LOCAL_MACHINE, "Software\\Uninstall\\Other");
    ASSERT_EQ(SetString(other.get(), "DisplayName", "Other"), ERROR_SUCCESS);

    // Emptying a key keeps the key itself.
    ASSERT_EQ(RegDeleteTreeW(demo.get(), ""), ERROR_SUCCESS);
    EXPECT_TRUE(Subkeys(demo.get()).isEmpty());
    EXPECT_TRUE(Values(demo.get()).isEmpty());

    Create(demo.get(), "Again");
    TRegKey uninstall = Create(HKEY_LOCAL_MACHINE, "Software\\Uninstall");
    ASSERT_EQ(RegDeleteTreeW(uninstall.get(), "DEMO"), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(uninstall.get()), QStringList{"Other"});
    EXPECT_EQ(Read(other.get(), "DisplayName"), "Other");
    // The roots cannot be emptied in one call.
    EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Read(other.get(), "DisplayName"), "Other");
}

TEST_F(RegistryTest, HandlesOfDeletedKeysAnswerKeyDeleted) {
    TRegKey stale = Create(HKEY_CURRENT_USER, "Software\\Doomed\\Inner");
    TRegKey inner = Create(HKEY_CURRENT_USER, "Software\\Doomed");
    ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, "Software\\Doomed"), ERROR_SUCCESS);

    TRegKey recreated = Create(HKEY_CURRENT_USER, "Software\\Doomed\\Inner");
    for (HKEY key : {stale.get(), inner.get()}) {
        QStringList names;
        TRegKey child;
        EXPECT_EQ(RegQueryValueExW(key, "", nullptr, nullptr), ERROR_KEY_DELETED);
        EXPECT_EQ(SetString(key, "v", "x"), ERROR_KEY_DELETED);
        EXPECT_EQ(RegEnumValues(key, &names), ERROR_KEY_DELETED);
        EXPECT_EQ(RegCreateKeyExW(key, "Child", KEY_ALL_ACCESS, child.out()), ERROR_KEY_DELETED);
        EXPECT_EQ(RegOpenKeyExW(key, "", KEY_READ, child.out()), ERROR_KEY_DELETED);
    }
    // The key of the same name made afterwards is another key, and nothing leaked into it.
    EXPECT_TRUE(Values(recreated.get()).isEmpty());
    EXPECT_TRUE(Subkeys(recreated.get()).isEmpty());
}

TEST_F(RegistryTest, BadHandlesAndArgumentsAreRefused) {
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, "Software\\Args", KEY_ALL_ACCESS, &raw),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(raw), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(raw), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetString(raw, "v", "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetString(nullptr, "v", "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);

    TRegKey key = Create(HKEY_CURRENT_USER, "Software\\Args");
    EXPECT_EQ(RegCreateKeyExW(key.get(), "x", KEY_ALL_ACCESS, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeys(key.get(), nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key.get(), "n", REG_DWORD, QByteArray(3, '\1')),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key.get(), "n", REG_QWORD, RegDwordData(1)), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key.get(), "n", nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    // Key names are limited to 255 characters, as on Windows.
    TRegKey longest;
    EXPECT_EQ(RegCreateKeyExW(key.get(), QString(255, u'k'), KEY_ALL_ACCESS, longest.out()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExW(key.get(), QString(256, u'k'), KEY_ALL_ACCESS, longest.out()),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, KeyHolderClosesItsKey) {
    HKEY raw = nullptr;
    {
        TRegKey key = Create(HKEY_CURRENT_USER, "Software\\Held");
        raw = key.get();
        TRegKey moved = std::move(key);
        EXPECT_FALSE(key);
        EXPECT_EQ(moved.get(), raw);
    }
    EXPECT_EQ(RegCloseKey(raw), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, RootsLiveInTheirDatabasesAndFollowTheEnvironment) {
    const QString machine = IsRunningAsRoot() ? FEnv.SystemRoot() + "/var/lib/oneclick/registry.db"
                                              : FEnv.DataHome() + "/oneclick/machine-registry.db";
    EXPECT_EQ(RegDatabasePath(HKEY_CURRENT_USER), FEnv.ConfigHome() + "/oneclick/registry.db");
    EXPECT_EQ(RegDatabasePath(HKEY_LOCAL_MACHINE), machine);
    EXPECT_EQ(RegDatabasePath(HKEY_CLASSES_ROOT), machine);

    TRegKey user = Create(HKEY_CURRENT_USER, "Software\\Demo");
    ASSERT_EQ(SetString(user.get(), "where", "user"), ERROR_SUCCESS);
    TRegKey machineKey = Create(HKEY_LOCAL_MACHINE, "Software\\Demo");
    ASSERT_EQ(SetString(machineKey.get(), "where", "machine"), ERROR_SUCCESS);
    EXPECT_TRUE(QFileInfo::exists(FEnv.ConfigHome() + "/oneclick/registry.db"));
    EXPECT_TRUE(QFileInfo::exists(machine));
    // The classes root shares the machine file but is a root of its own.
    TRegKey classes;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, "Software\\Demo", KEY_READ, classes.out()),
              ERROR_FILE_NOT_FOUND);

    FEnv.Set("XDG_CONFIG_HOME", FEnv.Root() + "/elsewhere");
    TRegKey moved;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, "Software\\Demo", KEY_READ, moved.out()),
              ERROR_FILE_NOT_FOUND);
    // A key opened before stays with its database.
    EXPECT_EQ(Read(user.get(), "where"), "user");
    FEnv.Set("XDG_CONFIG_HOME", FEnv.ConfigHome());
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, "Software\\Demo", KEY_READ, moved.out()),
              ERROR_SUCCESS);
    EXPECT_EQ(Read(moved.get(), "where"), "user");
    EXPECT_EQ(Read(machineKey.get(), "where"), "machine");
}

TEST(RegistryDataTest, StringsAreUtf16WithTheirNul) {
    EXPECT_EQ(RegStringData("ab"), QByteArray("a\0b\0\0\0", 6));
    EXPECT_EQ(RegStringData(""), QByteArray(2, '\0'));
    EXPECT_EQ(RegStringData(QString::fromUtf8("中")), QByteArray("\x2d\x4e\0\0", 4));
    const struct {
        QByteArray Data;
        QString Text;
    } reads[] = {
        {RegStringData("C:\\x"), "C:\\x"},
        {QByteArray("a\0b\0", 4), "ab"},        // written without its NUL
        {QByteArray("a\0\0\0b\0\0\0", 8), "a"}, // ends at the first NUL
        {QByteArray("a\0b", 3), "a"},           // a trailing odd byte is dropped
        {QByteArray(), ""},
    };
    for (const auto& r : reads)
        EXPECT_EQ(RegDataToString(r.Data), r.Text) << r.Data.toHex().toStdString();
}

TEST(RegistryDataTest, NumbersAreLittleEndian) {
    EXPECT_EQ(RegDwordData(0x12345678), QByteArray("\x78\x56\x34\x12", 4));
    EXPECT_EQ(RegDataToDword(QByteArray("\x78\x56\x34\x12", 4)), 0x12345678u);
    EXPECT_EQ(RegDataToDword(QByteArray("\x01\x02", 2)), 0x0201u);
    EXPECT_EQ(RegDataToDword(QByteArray("\x01\x00\x00\x00\xff", 5)), 1u);
    EXPECT_EQ(RegDataToDword(QByteArray()), 0u);
    EXPECT_EQ(RegDataToQword(RegQwordData(0x8877665544332211ULL)), 0x8877665544332211ULL);
    EXPECT_EQ(RegQwordData(1), QByteArray("\1\0\0\0\0\0\0\0", 8));
}

TEST(RegistryDataTest, MultiStringsEndAtTheDoubleNul) {
    EXPECT_EQ(RegMultiStringData({"a", "bc"}), QByteArray("a\0\0\0b\0c\0\0\0\0\0", 12));
    EXPECT_EQ(RegDataToMultiString(RegMultiStringData({"a", "bc"})), (QStringList{"a", "bc"}));
    EXPECT_EQ(RegDataToMultiString(QByteArray("a\0\0\0\0\0b\0\0\0", 10)), QStringList{"a"});
    EXPECT_EQ(RegDataToMultiString(QByteArray("x\0", 2)), QStringList{"x"});
    EXPECT_TRUE(RegDataToMultiString(RegMultiStringData({})).isEmpty());
}

} // namespace
