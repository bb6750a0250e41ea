// The settings store on the per-product key: value types as they land in the registry, reads
// that fall back to the default, and the abstract base that refuses every call.
#include "support/RegSoftInfo.h"
#include "config/RegProbe.h"
#include "testsupport/TestEnv.h"

#include <QtEndian>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

class RegSoftInfoTest : public TIsolatedTest {
protected:
    const QString FKey = QStringLiteral("SOFTWARE\\prod");
    std::optional<TRegValue> stored(const QString& name) {
        return ProbeValue(HKEY_CURRENT_USER, FKey, name);
    }
};

TEST_F(RegSoftInfoTest, CreatingTheStoreCreatesTheKey) {
    ASSERT_FALSE(ProbeKeyExists(HKEY_CURRENT_USER, FKey));
    TRegSoftInfo info(HKEY_CURRENT_USER, FKey);
    EXPECT_TRUE(ProbeKeyExists(HKEY_CURRENT_USER, FKey));
}

TEST_F(RegSoftInfoTest, IntegerWriteReadDelete) {
    TRegSoftInfo info(HKEY_CURRENT_USER, FKey);
    EXPECT_EQ(info.ReadValue("x", 7), 7);
    info.WriteValue("x", 9);
    EXPECT_EQ(info.ReadValue("x", 7), 9);
    EXPECT_TRUE(info.DeleteValue("x"));
    EXPECT_FALSE(stored("x"));
    EXPECT_EQ(info.ReadValue("x", 7), 7);
    EXPECT_FALSE(info.DeleteValue("x"));
}

TEST_F(RegSoftInfoTest, ValuesLandWithTheirRegistryTypes) {
    TRegSoftInfo info(HKEY_CURRENT_USER, FKey);
    struct TCase {
        const char* Name;
        std::function<void()> Write;
        DWORD Type;
        QByteArray Data;
    };
    const TCase cases[] = {
        {"t", [&] { info.WriteValue("t", true); }, REG_DWORD, RegDwordData(1)},
        {"f", [&] { info.WriteValue("f", false); }, REG_DWORD, RegDwordData(0)},
        {"s", [&] { info.WriteValue("s", QString("渠道")); }, REG_SZ, RegStringData("渠道")},
        {"lit", [&] { info.WriteValue("lit", "text"); }, REG_SZ, RegStringData("text")},
        {"i", [&] { info.WriteValue("i", -5); }, REG_DWORD, RegDwordData(0xFFFFFFFBu)},
        {"d", [&] { info.WriteValue("d", 1.0); }, REG_BINARY,
         QByteArray("\x00\x00\x00\x00\x00\x00\xF0\x3F", 8)},
    };
    for (const TCase& c : cases) {
        c.Write();
        const auto value = stored(c.Name);
        ASSERT_TRUE(value) << c.Name;
        EXPECT_EQ(value->Type, c.Type) << c.Name;
        EXPECT_EQ(value->Data, c.Data) << c.Name;
    }
    EXPECT_TRUE(info.ReadValue("t", false));
    EXPECT_FALSE(info.ReadValue("f", true));
    EXPECT_EQ(info.ReadValue("s", QString("d")), "渠道");
    EXPECT_EQ(info.ReadValue("lit", "d"), "text");
    EXPECT_EQ(info.ReadValue("i", 0), -5);
    EXPECT_EQ(info.ReadValue("d", 0.0), 1.0);
}

TEST_F(RegSoftInfoTest, WriteReplacesAValueOfAnotherType) {
    TRegSoftInfo info(HKEY_CURRENT_USER, FKey);
    info.WriteValue("x", QString("text"));
    info.WriteValue("x", 3);
    EXPECT_EQ(stored("x")->Type, REG_DWORD);
    EXPECT_EQ(info.ReadValue("x", QString("d")), "d");
    info.WriteValue("x", 2.5);
    EXPECT_EQ(stored("x")->Type, REG_BINARY);
    EXPECT_EQ(info.ReadValue("x", 0), 0);
}

TEST_F(RegSoftInfoTest, ReadsOfOtherTypesGiveTheDefault) {
    PutValue(HKEY_CURRENT_USER, FKey, "num", REG_DWORD, RegDwordData(5));
    PutValue(HKEY_CURRENT_USER, FKey, "str", REG_SZ, RegStringData("12"));
    PutValue(HKEY_CURRENT_USER, FKey, "exp", REG_EXPAND_SZ, RegStringData("%HOME%\\a"));
    PutValue(HKEY_CURRENT_USER, FKey, "bin4", REG_BINARY, QByteArray(4, '\1'));
    TRegSoftInfo info(HKEY_CURRENT_USER, FKey);

    EXPECT_EQ(info.ReadValue("num", "d"), "d");
    EXPECT_TRUE(info.ReadValue("num", false)); // any non-zero number
    EXPECT_EQ(info.ReadValue("num", 0.5), 0.5);
    EXPECT_EQ(info.ReadValue("str", 3), 3);
    EXPECT_TRUE(info.ReadValue("str", true));
    EXPECT_FALSE(info.ReadValue("str", false));
    EXPECT_EQ(info.ReadValue("exp", "d"), "%HOME%\\a");
    EXPECT_EQ(info.ReadValue("bin4", 0.5), 0.5);
    EXPECT_EQ(info.ReadValue("bin4", 3), 3);
    EXPECT_EQ(info.ReadValue("missing", "d"), "d");
}

TEST_F(RegSoftInfoTest, DoublesReadBackBitForBit) {
    TRegSoftInfo info(HKEY_CURRENT_USER, FKey);
    const double values[] = {3.141592653589793,
                             -0.0,
                             4.9e-324,
                             -1e308,
                             std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    for (const double value : values) {
        info.WriteValue("d", value);
        const double back = info.ReadValue("d", 0.0);
        EXPECT_EQ(std::memcmp(&back, &value, sizeof value), 0) << value;
        quint64 bits;
        std::memcpy(&bits, &value, sizeof bits);
        EXPECT_EQ(qFromLittleEndian<quint64>(stored("d")->Data.constData()), bits) << value;
    }
}

TEST_F(RegSoftInfoTest, UnopenableKeyReadsDefaultsAndWritesNothing) {
    WriteTestFile(FEnv.Root() + "/blocked", "x");
    FEnv.Set("XDG_CONFIG_HOME", FEnv.Root() + "/blocked");
    TRegSoftInfo info(HKEY_CURRENT_USER, FKey);
    info.WriteValue("x", 9);
    info.WriteValue("s", "text");
    EXPECT_EQ(info.ReadValue("x", 7), 7);
    EXPECT_EQ(info.ReadValue("s", "d"), "d");
    EXPECT_FALSE(info.DeleteValue("x"));
}

TEST(AbstractInfoTest, EveryOperationOfTheBaseRaises) {
    TAbstractInfo info;
    const std::function<void()> calls[] = {
        [&] { info.DeleteValue("x"); },           [&] { info.ReadValue("x", true); },
        [&] { info.ReadValue("x", QString()); },  [&] { info.ReadValue("x", 1); },
        [&] { info.ReadValue("x", 1.0); },        [&] { info.WriteValue("x", true); },
        [&] { info.WriteValue("x", QString()); }, [&] { info.WriteValue("x", 1); },
        [&] { info.WriteValue("x", 1.0); },
    };
    for (const auto& call : calls)
        EXPECT_THROW(call(), EAbstractError);
}
