// The configuration record built from the embedded document: member conversions, the channel
// step with its registry effects, folder markers, and documents it must refuse.
#include "config/ConfigFile.h"
#include "config/RegProbe.h"
#include "base/RunningExe.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The document as a product's build carries it.
const char* const kExampleDocument = R"({
    "AfterInstBat1": "",
    "AfterInstBat2": "",
    "AssociatedExts": "",
    "AutoStartInstall": "",
    "BigTitle": "Tavelin",
    "ConfigPathForUinstall": "%appdata%\\quintelzip_win",
    "Description": "",
    "DotNetCheck": false,
    "DotNetVerRequired": "",
    "FromSource": "",
    "MainProg": "common\\quintel_win.exe",
    "MainProgPath": "\\",
    "OpenWebsiteAfterInstall": "",
    "OpenWebsiteAfterUninstall": "",
    "ProductURL": "",
    "ProgramDirName": "Tavelin",
    "ProtocalRootKeyName": "",
    "Protocalname": "",
    "RegDllName": "",
    "RunAsAdmin": true,
    "RunAtStartup": "",
    "RunParamForSetting": "",
    "ServiceDisplayName": "",
    "ServiceExeFileName": "",
    "ServiceName": "",
    "ShortcutName": "Tavelin",
    "SoftId": "quintelzip_win",
    "StartupByService": "",
    "Title": "Tavelin",
    "Version": "2.0.2.6",
    "XPSupported": false
})";

} // namespace

class ConfigFileTest : public TIsolatedTest {
protected:
    void SetUp() override { runAs("setup_web.exe"); }
    void TearDown() override { SetRunningExePath({}); }

    void runAs(const QString& fileName) { SetRunningExePath(FEnv.Root() + "/" + fileName); }
    std::optional<QString> stored(const QString& softId, const QString& name) {
        return ProbeString(HKEY_CURRENT_USER, "SOFTWARE\\" + softId, name);
    }
};

TEST_F(ConfigFileTest, ExampleDocument) {
    runAs("Tavelin-k42_web(1).exe");
    const TConfigFile c(QString::fromUtf8(kExampleDocument), true);
    EXPECT_TRUE(c.FbInstallMode);
    EXPECT_EQ(c.SoftId, "quintelzip_win");
    EXPECT_EQ(c.Title, "Tavelin");
    EXPECT_EQ(c.BigTitle, "Tavelin");
    EXPECT_EQ(c.Version, "2.0.2.6");
    EXPECT_EQ(c.ProgramDirName, "Tavelin");
    EXPECT_EQ(c.ShortcutName, "Tavelin");
    EXPECT_EQ(c.MainProgPath, "\\");
    EXPECT_EQ(c.MainProg, "common\\quintel_win.exe");
    EXPECT_EQ(c.ConfigPathForUinstall, FEnv.ConfigHome() + "\\quintelzip_win");
    EXPECT_EQ(c.ConfigFileDeletedBeforeInstall, "");
    EXPECT_TRUE(c.RunAsAdmin);
    EXPECT_FALSE(c.RunAtStartup);
    EXPECT_FALSE(c.StartupByService);
    EXPECT_FALSE(c.XPSupported);
    EXPECT_FALSE(c.DotNetCheck);
    EXPECT_FALSE(c.AutoStartInstall);
    EXPECT_TRUE(c.AssociatedExts.isEmpty());
    EXPECT_EQ(c.FromSource, "web");
    EXPECT_EQ(c.FromKeywordID, "42");
    EXPECT_TRUE(c.isValidSourceFound());
    EXPECT_EQ(stored("quintelzip_win", "source"), "web");
    EXPECT_EQ(stored("quintelzip_win", "kid"), "42");
    EXPECT_TRUE(QFileInfo(FEnv.ConfigHome()).isDir());
}

TEST_F(ConfigFileTest, EveryFieldComesFromItsOwnKey) {
    const char* const textKeys[] = {"Title",
                                    "SoftId",
                                    "Version",
                                    "BigTitle",
                                    "Description",
                                    "ProgramDirName",
                                    "MainProgPath",
                                    "MainProg",
                                    "ShortcutName",
                                    "OpenWebsiteAfterInstall",
                                    "OpenWebsiteAfterUninstall",
                                    "ConfigPathForUinstall",
                                    "AfterInstBat1",
                                    "AfterInstBat2",
                                    "RunParamForSetting",
                                    "ConfigFileDeletedBeforeInstall",
                                    "DotNetVerRequired",
                                    "ServiceExeFileName",
                                    "ServiceName",
                                    "ServiceDisplayName",
                                    "ProductURL",
                                    "RegDllName",
                                    "RegDllName2",
                                    "RegDllName3",
                                    "ProtocalRootKeyName",
                                    "Protocalname",
                                    "AssociatedExts"};
    const char* const truthKeys[] = {"XPSupported",      "DotNetCheck", "RunAtStartup",
                                     "StartupByService", "RunAsAdmin",  "AutoStartInstall"};
    QString doc = "{";
    for (const char* key : textKeys)
        doc += QString("\"%1\": \"v_%1\",").arg(key);
    for (const char* key : truthKeys)
        doc += QString("\"%1\": true,").arg(key);
    doc += "\"FromSource\": \"v_FromSource\"}";

    const TConfigFile c(doc, true);
    const std::pair<const char*, QString> texts[] = {
        {"Title", c.Title},
        {"SoftId", c.SoftId},
        {"Version", c.Version},
        {"FromSource", c.FromSource},
        {"BigTitle", c.BigTitle},
        {"Description", c.Description},
        {"ProgramDirName", c.ProgramDirName},
        {"MainProgPath", c.MainProgPath},
        {"MainProg", c.MainProg},
        {"ShortcutName", c.ShortcutName},
        {"OpenWebsiteAfterInstall", c.OpenWebsiteAfterInstall},
        {"OpenWebsiteAfterUninstall", c.OpenWebsiteAfterUninstall},
        {"ConfigPathForUinstall", c.ConfigPathForUinstall},
        {"AfterInstBat1", c.AfterInstBat1},
        {"AfterInstBat2", c.AfterInstBat2},
        {"RunParamForSetting", c.RunParamForSetting},
        {"ConfigFileDeletedBeforeInstall", c.ConfigFileDeletedBeforeInstall},
        {"DotNetVerRequired", c.DotNetVerRequired},
        {"ServiceExeFileName", c.ServiceExeFileName},
        {"ServiceName", c.ServiceName},
        {"ServiceDisplayName", c.ServiceDisplayName},
        {"ProductURL", c.ProductURL},
        {"RegDllName", c.RegDllName},
        {"RegDllName2", c.RegDllName2},
        {"RegDllName3", c.RegDllName3},
        {"ProtocalRootKeyName", c.ProtocalRootKeyName},
        {"Protocalname", c.Protocalname},
    };
    for (const auto& [key, value] : texts)
        EXPECT_EQ(value, QString("v_%1").arg(key)) << key;
    EXPECT_EQ(c.AssociatedExts, QStringList{"v_AssociatedExts"});
    for (bool value : {c.XPSupported, c.DotNetCheck, c.RunAtStartup, c.StartupByService,
                       c.RunAsAdmin, c.AutoStartInstall})
        EXPECT_TRUE(value);
    EXPECT_EQ(c.FromKeywordID, "");
}

TEST_F(ConfigFileTest, EmptyDocumentGivesEmptyFields) {
    const TConfigFile c("", true);
    EXPECT_EQ(c.SoftId, "");
    EXPECT_EQ(c.Title, "");
    EXPECT_EQ(c.MainProg, "");
    EXPECT_FALSE(c.XPSupported);
    EXPECT_FALSE(c.RunAsAdmin);
    EXPECT_TRUE(c.AssociatedExts.isEmpty());
    EXPECT_EQ(c.FromSource, "web");
}

TEST_F(ConfigFileTest, MemberConversions) {
    struct TCase {
        const char* Json; // nullptr: member absent
        QString Text;
        bool Truth;
    };
    const TCase cases[] = {
        {nullptr, "", false},
        {R"("")", "", false},
        {R"("false")", "false", true},
        {R"("0")", "0", true},
        {R"("汉字")", "汉字", true},
        {"0", "0", false},
        {"2", "2", true},
        {"-1", "-1", true},
        {"18446744073709551615", "18446744073709551615", true},
        {"0.0", "0.0", false},
        {"1.5", "1.5", true},
        {"true", "true", true},
        {"false", "false", false},
        {"null", "null", false},
        {"{}", "{}", true},
        {R"({ "a" : "b" })", R"({"a":"b"})", true},
        {"[1, 2]", "[1,2]", true},
        {"[]", "[]", true},
    };
    for (const TCase& c : cases) {
        const QString doc =
            c.Json ? QString(R"({"Version": %1, "RunAtStartup": %1})").arg(c.Json) : QString("{}");
        const TConfigFile config(doc, true);
        const std::string label = c.Json ? c.Json : "absent";
        EXPECT_EQ(config.Version, c.Text) << label;
        EXPECT_EQ(config.RunAtStartup, c.Truth) << label;
    }
}

TEST_F(ConfigFileTest, FolderMarkersExpandIgnoringCase) {
    const TConfigFile c(R"({"ConfigPathForUinstall": "%APPDATA%\\x\\%LocalAppData%\\y",
                            "ConfigFileDeletedBeforeInstall": "%temp%\\x%appdata%%AppData%"})",
                        true);
    EXPECT_EQ(c.ConfigPathForUinstall, FEnv.ConfigHome() + "\\x\\" + FEnv.DataHome() + "\\y");
    EXPECT_EQ(c.ConfigFileDeletedBeforeInstall,
              "%temp%\\x" + FEnv.ConfigHome() + FEnv.ConfigHome());
    EXPECT_TRUE(QFileInfo(FEnv.ConfigHome()).isDir());
    EXPECT_TRUE(QFileInfo(FEnv.DataHome()).isDir());
}

TEST_F(ConfigFileTest, FolderLookUpsFollowXdgAndCreateTheFolders) {
    FEnv.Set("XDG_CONFIG_HOME", FEnv.Root() + "/roam/ing");
    FEnv.Set("XDG_DATA_HOME", FEnv.Root() + "/lo/cal");
    EXPECT_EQ(getSysAppDataDir(), FEnv.Root() + "/roam/ing");
    EXPECT_EQ(getSysLocalAppDataDir(), FEnv.Root() + "/lo/cal");
    EXPECT_TRUE(QFileInfo(FEnv.Root() + "/roam/ing").isDir());
    EXPECT_TRUE(QFileInfo(FEnv.Root() + "/lo/cal").isDir());
}

TEST_F(ConfigFileTest, FolderThatCannotBeCreatedRaises) {
    WriteTestFile(FEnv.Root() + "/file", "x");
    FEnv.Set("XDG_DATA_HOME", FEnv.Root() + "/file/sub");
    try {
        getSysLocalAppDataDir();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Error get getSysAppDataDir");
    }
    // Without a marker-carrying value nothing needs the folder.
    EXPECT_NO_THROW(TConfigFile("{}", true));
    EXPECT_THROW(TConfigFile(R"({"ConfigPathForUinstall": "%appdata%\\x"})", true), Exception);
}

TEST_F(ConfigFileTest, AssociatedExtsSplitAtBars) {
    struct TCase {
        const char* Json;
        QStringList Items;
    };
    const TCase cases[] = {
        {R"("*.pdf|*.doc")", {".pdf", ".doc"}},
        {R"(".pdf|.doc")", {".pdf", ".doc"}},
        {R"("*.pdf|")", {".pdf", ""}},
        {R"(".a| .b |.a")", {".a", " .b ", ".a"}},
        {R"("")", {}},
        {"null", {"null"}},
    };
    for (const TCase& c : cases) {
        const TConfigFile config(QString(R"({"AssociatedExts": %1})").arg(c.Json), true);
        EXPECT_EQ(config.AssociatedExts, c.Items) << c.Json;
    }
    EXPECT_TRUE(TConfigFile("{}", true).AssociatedExts.isEmpty());
}

TEST_F(ConfigFileTest, InstallModeWithFixedSourceIgnoresTheFileName) {
    runAs("setup-k9_web.exe");
    const TConfigFile c(R"({"SoftId": "p", "FromSource": "abc"})", true);
    EXPECT_EQ(c.FromSource, "abc");
    EXPECT_EQ(c.FromKeywordID, "");
    EXPECT_EQ(stored("p", "source"), "abc");
    EXPECT_FALSE(ProbeValue(HKEY_CURRENT_USER, "SOFTWARE\\p", "kid"));
}

TEST_F(ConfigFileTest, InstallModeOverwritesSourceButKeepsAnOlderKid) {
    PutValue(HKEY_CURRENT_USER, "SOFTWARE\\p", "source", REG_SZ, RegStringData("old"));
    PutValue(HKEY_CURRENT_USER, "SOFTWARE\\p", "kid", REG_SZ, RegStringData("5"));
    runAs("setup.exe");
    const TConfigFile c(R"({"SoftId": "p"})", true);
    EXPECT_EQ(c.FromSource, "none");
    EXPECT_FALSE(c.isValidSourceFound());
    EXPECT_EQ(stored("p", "source"), "none");
    EXPECT_EQ(stored("p", "kid"), "5");
}

TEST_F(ConfigFileTest, UninstallModeReadsTheStoredSourceAndWritesNothing) {
    runAs("unin.exe");
    const QString doc = R"({"SoftId": "p", "FromSource": "abc"})";
    const TConfigFile fresh(doc, false);
    EXPECT_FALSE(fresh.FbInstallMode);
    EXPECT_EQ(fresh.FromSource, "");
    EXPECT_TRUE(fresh.isValidSourceFound());
    EXPECT_FALSE(ProbeValue(HKEY_CURRENT_USER, "SOFTWARE\\p", "source"));

    PutValue(HKEY_CURRENT_USER, "SOFTWARE\\p", "source", REG_SZ, RegStringData("web"));
    PutValue(HKEY_CURRENT_USER, "SOFTWARE\\p", "kid", REG_SZ, RegStringData("5"));
    const TConfigFile installed(doc, false);
    EXPECT_EQ(installed.FromSource, "web");
    EXPECT_EQ(installed.FromKeywordID, "");

    PutValue(HKEY_CURRENT_USER, "SOFTWARE\\p", "source", REG_DWORD, RegDwordData(3));
    EXPECT_THROW(TConfigFile(doc, false), ERegistryException);
}

TEST_F(ConfigFileTest, RegistryWriteFailureEndsConstruction) {
    WriteTestFile(FEnv.Root() + "/blocked", "x");
    FEnv.Set("XDG_CONFIG_HOME", FEnv.Root() + "/blocked");
    EXPECT_THROW(TConfigFile(R"({"SoftId": "p"})", true), ERegistryException);
}

TEST_F(ConfigFileTest, DocumentsThatAreNotObjectsAreRefusedBeforeAnyWrite) {
    const QString deep =
        R"({"SoftId": "p", "Title": )" + QString(100000, u'[') + QString(100000, u']') + "}";
    const QString cases[] = {
        "not json",
        R"({"SoftId": "p",)",
        R"([{"SoftId": "p"}])",
        R"("SoftId")",
        "42",
        "null",
        "   ",
        R"({"SoftId": "p"} trailing)",
        R"({"SoftId": "p", "Title": "unterminated})",
        deep,
    };
    for (const QString& doc : cases) {
        EXPECT_THROW(TConfigFile(doc, true), EConfigError) << doc.left(40).toStdString();
        EXPECT_FALSE(ProbeKeyExists(HKEY_CURRENT_USER, "SOFTWARE\\p"))
            << doc.left(40).toStdString();
    }
}

TEST_F(ConfigFileTest, ModeratelyNestedValuesReadAsText) {
    const TConfigFile c(R"({"Title": [[[1, {"a": [true]}]]], "BigTitle": "\u00e9\n"})", true);
    EXPECT_EQ(c.Title, R"([[[1,{"a":[true]}]]])");
    EXPECT_EQ(c.BigTitle, "é\n");
}

TEST_F(ConfigFileTest, DisplayNameFromTheFileName) {
    struct TCase {
        QString FileName;
        QString Keyword;
        QString Name;
    };
    const TCase cases[] = {
        {"Tavelin_Tkw_abc.exe", "kw", "Tavelin"},
        {"A_TB_Tkw.exe", "kw", "A"},
        {"_Tkw_abc.exe", "kw", ""},
        {"Tavelin_kw.exe", "kw", ""},
        {"Tavelin_Tkw_abc.exe", "KW", ""},
        {"Tavelin_tkw.exe", "kw", ""},
        {"Tavelin_Tx_abc.exe", "kw", ""},
        {"Tavelin_Tkw_abc.exe", "", ""},
    };
    const TConfigFile c("{}", true);
    for (const TCase& t : cases) {
        runAs(t.FileName);
        EXPECT_EQ(c.getDynamicNameFromAPPName(t.Keyword), t.Name) << t.FileName.toStdString();
    }
}

TEST_F(ConfigFileTest, OnlyExactNoneCountsAsNoSource) {
    TConfigFile c("{}", true);
    const std::pair<QString, bool> cases[] = {
        {"none", false}, {"None", true}, {"", true}, {"none ", true}, {"abc", true}};
    for (const auto& [source, found] : cases) {
        c.FromSource = source;
        EXPECT_EQ(c.isValidSourceFound(), found) << source.toStdString();
    }
}
