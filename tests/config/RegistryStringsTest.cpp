// The registry string operations: what they read back, what they leave in the store, and which
// failures they raise or swallow.
#include "config/RegistryStrings.h"
#include "config/RegProbe.h"
#include "testsupport/TestEnv.h"

class RegistryStringsTest : public TIsolatedTest {
protected:
    const QString FKey = QStringLiteral("SOFTWARE\\prod");
};

TEST_F(RegistryStringsTest, ReadOfMissingKeyIsEmptyAndCreatesTheKey) {
    ASSERT_FALSE(ProbeKeyExists(HKEY_CURRENT_USER, FKey));
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, FKey, "source"), "");
    EXPECT_TRUE(ProbeKeyExists(HKEY_CURRENT_USER, FKey));
    EXPECT_FALSE(ProbeValue(HKEY_CURRENT_USER, FKey, "source"));
}

TEST_F(RegistryStringsTest, QuietReadOfMissingKeyIsEmptyAndCreatesTheKey) {
    EXPECT_EQ(RegReadStringQuiet(HKEY_CURRENT_USER, FKey, "guid"), "");
    EXPECT_TRUE(ProbeKeyExists(HKEY_CURRENT_USER, FKey));
}

TEST_F(RegistryStringsTest, WriteStoresRegSzAndCreatesTheKey) {
    RegWriteString(HKEY_CURRENT_USER, FKey, "source", "abc");
    const auto value = ProbeValue(HKEY_CURRENT_USER, FKey, "source");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->Type, REG_SZ);
    EXPECT_EQ(RegDataToString(value->Data), "abc");

    RegWriteString(HKEY_CURRENT_USER, FKey, "source", "渠道");
    EXPECT_EQ(ProbeString(HKEY_CURRENT_USER, FKey, "source"), "渠道");
}

TEST_F(RegistryStringsTest, BothReadsReturnStringValues) {
    struct TCase {
        DWORD Type;
        QString Stored;
    };
    const TCase cases[] = {{REG_SZ, "abc"}, {REG_EXPAND_SZ, "%HOME%\\x"}, {REG_SZ, ""}};
    for (const TCase& c : cases) {
        PutValue(HKEY_CURRENT_USER, FKey, "v", c.Type, RegStringData(c.Stored));
        EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, FKey, "v"), c.Stored);
        EXPECT_EQ(RegReadStringQuiet(HKEY_CURRENT_USER, FKey, "v"), c.Stored);
    }
    PutValue(HKEY_LOCAL_MACHINE, FKey, "v", REG_SZ, RegStringData("machine"));
    EXPECT_EQ(RegReadStringQuiet(HKEY_LOCAL_MACHINE, FKey, "v"), "machine");
}

TEST_F(RegistryStringsTest, NonStringValueRaisesButQuietReadGivesEmpty) {
    PutValue(HKEY_CURRENT_USER, FKey, "source", REG_DWORD, RegDwordData(7));
    PutValue(HKEY_CURRENT_USER, FKey, "guid", REG_DWORD, RegDwordData(7));
    EXPECT_THROW(RegReadString(HKEY_CURRENT_USER, FKey, "source"), ERegistryException);
    EXPECT_EQ(RegReadStringQuiet(HKEY_CURRENT_USER, FKey, "guid"), "");
    PutValue(HKEY_CURRENT_USER, FKey, "bin", REG_BINARY, QByteArray("a\0b\0", 4));
    EXPECT_THROW(RegReadString(HKEY_CURRENT_USER, FKey, "bin"), ERegistryException);
    EXPECT_EQ(RegReadStringQuiet(HKEY_CURRENT_USER, FKey, "bin"), "");
}

TEST_F(RegistryStringsTest, UnreachableStoreRaisesOnWriteAndReadsEmpty) {
    // A regular file where the user's registry folder would be created.
    WriteTestFile(FEnv.Root() + "/blocked", "x");
    FEnv.Set("XDG_CONFIG_HOME", FEnv.Root() + "/blocked");
    EXPECT_THROW(RegWriteString(HKEY_CURRENT_USER, FKey, "source", "abc"), ERegistryException);
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, FKey, "source"), "");
    EXPECT_EQ(RegReadStringQuiet(HKEY_CURRENT_USER, FKey, "source"), "");
}
