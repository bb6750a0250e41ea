// The channel and keyword id taken from the installer's file name, and how they are kept in the
// per-product key.
#include "config/Source.h"
#include "config/RegProbe.h"
#include "base/RunningExe.h"
#include "testsupport/TestEnv.h"

namespace {

struct TChannelCase {
    QString FileName;
    QString Source;
    QString KeywordID;
};

// The file-name grammar, one row per rule.
const TChannelCase kChannelCases[] = {
    {"setup_abc.exe", "abc", ""},
    {"setup-k778_abc.exe", "abc", "778"},
    {"setup-K778_abc.exe", "abc", ""},
    {"setup_abc(1).exe", "abc", ""},
    {"setup_abc[3].exe", "abc", ""},
    {"setup_abc(2)[1].EXE", "abc", ""},
    {"setup_abc(1)(1).exe", "abc", ""},
    {"setup_abc[5](5).Exe", "abc", ""},
    {"setup_ABC.Exe", "ABC", ""},
    {"setup_abc (1).exe", "none", ""},
    {"setup_abc(6).exe", "none", ""},
    {"setup_abcé.exe", "none", ""},
    {"setup_a,b.exe", "none", ""},
    {"setup_abc~\u0080.exe", "abc~\u0080", ""},
    {"setup.exe", "none", ""},
    {"setup-k778.exe", "none", ""},
    {"setup_.exe", "", ""},
    {"setup_abc.exe.exe", "abc.exe", ""},
    {"my_tool_v2_abc.exe", "abc", ""},
    {"setup-k778_abc", "abc", "778"},
    {"setup-k_abc.exe", "abc", ""},
    {"a_b-k12.exe", "b-k12", "12.exe"},
    {"setup-k77 8_abc.exe", "abc", "77 8"},
    {"setup-k778_abc(7).exe", "none", "778"},
    {"x-k1-k2_y_z.exe", "z", "1-k2"},
};

} // namespace

class SourceTest : public TIsolatedTest {
protected:
    void TearDown() override { SetRunningExePath({}); }
};

TEST_F(SourceTest, FileNameGrammar) {
    // The folder carries an underscore and "-k": only the file name may count.
    const QString folder = FEnv.Root() + "/in_dir-kX/";
    for (const TChannelCase& c : kChannelCases) {
        SetRunningExePath(folder + c.FileName);
        QString source = "stale";
        QString kid = "stale";
        GetSourceFromExeName(source, kid);
        EXPECT_EQ(source, c.Source) << c.FileName.toStdString();
        EXPECT_EQ(kid, c.KeywordID) << c.FileName.toStdString();
    }
}

TEST_F(SourceTest, ValidSourceTextRange) {
    struct TCase {
        QString Text;
        bool Valid;
    };
    const TCase cases[] = {
        {"", true},     {"abc-09.Z_~", true}, {"\u002D", true}, {"\u0080", true}, {"\u002C", false},
        {"a b", false}, {"\u0081", false},    {"ab(", false},   {"渠道", false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(IsValidSourceText(c.Text), c.Valid) << c.Text.toStdString();
}

TEST_F(SourceTest, SaveWritesKidOnlyWhenPresentAndKeepsAnOlderOne) {
    const QString key = "SOFTWARE\\prod";
    SaveSourceToRegistry("prod", "abc", "");
    EXPECT_EQ(ProbeString(HKEY_CURRENT_USER, key, "source"), "abc");
    EXPECT_FALSE(ProbeValue(HKEY_CURRENT_USER, key, "kid"));

    SaveSourceToRegistry("prod", "web", "778");
    EXPECT_EQ(ProbeString(HKEY_CURRENT_USER, key, "source"), "web");
    EXPECT_EQ(ProbeString(HKEY_CURRENT_USER, key, "kid"), "778");

    SaveSourceToRegistry("prod", "", "");
    EXPECT_EQ(ProbeString(HKEY_CURRENT_USER, key, "source"), "");
    EXPECT_EQ(ProbeString(HKEY_CURRENT_USER, key, "kid"), "778");
    EXPECT_EQ(LoadSourceFromRegistry("prod"), "");
}

TEST_F(SourceTest, LoadReadsTheStoredSource) {
    EXPECT_EQ(LoadSourceFromRegistry("prod"), "");
    EXPECT_TRUE(ProbeKeyExists(HKEY_CURRENT_USER, "SOFTWARE\\prod"));
    PutValue(HKEY_CURRENT_USER, "SOFTWARE\\prod", "source", REG_SZ, RegStringData("abc"));
    EXPECT_EQ(LoadSourceFromRegistry("prod"), "abc");
    EXPECT_EQ(LoadSourceFromRegistry("other"), "");
    PutValue(HKEY_CURRENT_USER, "SOFTWARE\\prod", "source", REG_DWORD, RegDwordData(1));
    EXPECT_THROW(LoadSourceFromRegistry("prod"), ERegistryException);
}
