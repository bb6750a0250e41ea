// oneclick-reg run as its own process against the store this process writes through the
// library: each side reads what the other wrote, and the exit status tells what went wrong.
#include "registry/Registry.h"
#include "testsupport/TestEnv.h"

#include <QFileInfo>

namespace {

class RegToolTest : public TIsolatedTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFileInfo(Program()).isExecutable())
            << "build the oneclick-reg target first: " << Program().toStdString();
    }
    static QString Program() { return BuiltProgram("tools/oneclick-reg/oneclick-reg"); }

    static TProgramRun Run(const QStringList& args) { return RunProgram(Program(), args); }

    static TRegKey Create(HKEY root, const QString& path) {
        TRegKey key;
        EXPECT_EQ(RegCreateKeyExW(root, path, KEY_ALL_ACCESS, key.out()), ERROR_SUCCESS);
        return key;
    }
};

struct TValueCase {
    const char* Name;
    DWORD Type;
    QByteArray Data;
    const char* TypeArg; // as given to "set"
    QString DataArg;
    QString Printed; // what "query KEY VALUE" prints, without the line end
};

const TValueCase ValueCases[] = {
    {"path", REG_SZ, RegStringData("C:\\Demo\\demo.exe"), "REG_SZ", "C:\\Demo\\demo.exe",
     "C:\\Demo\\demo.exe"},
    {"", REG_SZ, RegStringData("默认"), "REG_SZ", "默认", "默认"},
    {"blank", REG_SZ, RegStringData(" "), "REG_SZ", " ", " "},
    {"expand", REG_EXPAND_SZ, RegStringData("%HOME%/x"), "REG_EXPAND_SZ", "%HOME%/x", "%HOME%/x"},
    {"count", REG_DWORD, RegDwordData(4294967295u), "REG_DWORD", "4294967295", "4294967295"},
    {"flags", REG_DWORD, RegDwordData(0x1F), "REG_DWORD", "0x1F", "31"},
    {"bytes", REG_BINARY, QByteArray("\x00\xab\x10", 3), "REG_BINARY", "00AB10", "00ab10"},
    {"nothing", REG_BINARY, QByteArray(), "REG_BINARY", "", ""},
};

TEST_F(RegToolTest, ToolReadsWhatTheLibraryWrote) {
    TRegKey key = Create(HKEY_CURRENT_USER, "Software\\Demo");
    for (const TValueCase& c : ValueCases)
        ASSERT_EQ(RegSetValueExW(key.get(), c.Name, c.Type, c.Data), ERROR_SUCCESS);
    for (const TValueCase& c : ValueCases) {
        SCOPED_TRACE(c.Name);
        const TProgramRun run = Run({"query", "HKCU\\software\\DEMO", QString(c.Name).toUpper()});
        EXPECT_EQ(run.Code, 0) << run.Err.toStdString();
        EXPECT_EQ(run.Out, c.Printed + "\n");
        EXPECT_TRUE(run.Err.isEmpty());
    }
}

TEST_F(RegToolTest, LibraryReadsWhatTheToolWrote) {
    for (const TValueCase& c : ValueCases) {
        SCOPED_TRACE(c.Name);
        const TProgramRun run =
            Run({"set", "HKEY_LOCAL_MACHINE\\Software\\Demo\\Sub", c.Name, c.TypeArg, c.DataArg});
        ASSERT_EQ(run.Code, 0) << run.Err.toStdString();
        TRegKey key;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, "Software\\Demo\\Sub", KEY_READ, key.out()),
                  ERROR_SUCCESS);
        DWORD type = 0;
        QByteArray data;
        ASSERT_EQ(RegQueryValueExW(key.get(), c.Name, &type, &data), ERROR_SUCCESS);
        EXPECT_EQ(type, c.Type);
        EXPECT_EQ(data, c.Data);
    }
    // The user's root is another database: nothing of that landed there.
    TRegKey user;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, "Software\\Demo", KEY_READ, user.out()),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegToolTest, QueryListsValuesThenSubkeys) {
    TRegKey key = Create(HKEY_CLASSES_ROOT, "demo");
    ASSERT_EQ(RegSetValueExW(key.get(), "", REG_SZ, RegStringData("URL:Demo")), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), "Level", REG_DWORD, RegDwordData(3)), ERROR_SUCCESS);
    Create(key.get(), "shell");
    Create(key.get(), "DefaultIcon");
    const TProgramRun run = Run({"query", "HKCR\\demo"});
    ASSERT_EQ(run.Code, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, "HKEY_CLASSES_ROOT\\demo\n"
                       "    (Default)    REG_SZ    URL:Demo\n"
                       "    Level    REG_DWORD    3\n"
                       "\n"
                       "HKEY_CLASSES_ROOT\\demo\\shell\n"
                       "HKEY_CLASSES_ROOT\\demo\\DefaultIcon\n");
}

TEST_F(RegToolTest, DeleteRemovesValuesAndWholeKeys) {
    TRegKey deep = Create(HKEY_CURRENT_USER, "Software\\Demo\\A\\B");
    TRegKey demo = Create(HKEY_CURRENT_USER, "Software\\Demo");
    ASSERT_EQ(RegSetValueExW(demo.get(), "source", REG_SZ, RegStringData("abc")), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(demo.get(), "kid", REG_SZ, RegStringData("7")), ERROR_SUCCESS);

    EXPECT_EQ(Run({"delete", "HKCU\\Software\\Demo", "KID"}).Code, 0);
    QStringList names;
    ASSERT_EQ(RegEnumValues(demo.get(), &names), ERROR_SUCCESS);
    EXPECT_EQ(names, QStringList{"source"});

    EXPECT_EQ(Run({"delete", "HKCU\\Software\\Demo\\A"}).Code, 0);
    EXPECT_EQ(RegQueryValueExW(deep.get(), "", nullptr, nullptr), ERROR_KEY_DELETED);
    ASSERT_EQ(RegEnumKeys(demo.get(), &names), ERROR_SUCCESS);
    EXPECT_TRUE(names.isEmpty());
}

TEST_F(RegToolTest, ExportPrintsTheTreeAsRegText) {
    TRegKey demo = Create(HKEY_CURRENT_USER, "Software\\Demo");
    ASSERT_EQ(RegSetValueExW(demo.get(), "", REG_SZ, RegStringData("say \"hi\"")), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(demo.get(), "Path", REG_SZ, RegStringData("C:\\x")), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(demo.get(), "n", REG_DWORD, RegDwordData(26)), ERROR_SUCCESS);
    TRegKey sub = Create(demo.get(), "Sub");
    ASSERT_EQ(RegSetValueExW(sub.get(), "raw", REG_BINARY, QByteArray("\x01\xff", 2)),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(sub.get(), "e", REG_EXPAND_SZ, RegStringData("%A%")), ERROR_SUCCESS);
    Create(demo.get(), "Empty");

    const TProgramRun run = Run({"export", "HKCU\\Software\\Demo"});
    ASSERT_EQ(run.Code, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, "Windows Registry Editor Version 5.00\n\n"
                       "[HKEY_CURRENT_USER\\Software\\Demo]\n"
                       "@=\"say \\\"hi\\\"\"\n"
                       "\"Path\"=\"C:\\\\x\"\n"
                       "\"n\"=dword:0000001a\n\n"
                       "[HKEY_CURRENT_USER\\Software\\Demo\\Sub]\n"
                       "\"raw\"=hex:01,ff\n"
                       "\"e\"=hex(2):25,00,41,00,25,00,00,00\n\n"
                       "[HKEY_CURRENT_USER\\Software\\Demo\\Empty]\n\n");

    // Without a key, every root is dumped.
    const TProgramRun all = Run({"export"});
    ASSERT_EQ(all.Code, 0);
    for (const char* section :
         {"[HKEY_CLASSES_ROOT]\n", "[HKEY_CURRENT_USER]\n",
          "[HKEY_CURRENT_USER\\Software\\Demo\\Sub]\n", "[HKEY_LOCAL_MACHINE]\n"})
        EXPECT_TRUE(all.Out.contains(section)) << section;
}

TEST_F(RegToolTest, ExitStatusTellsMissingFromMisuse) {
    TRegKey demo = Create(HKEY_CURRENT_USER, "Software\\Demo");
    ASSERT_EQ(RegSetValueExW(demo.get(), "v", REG_SZ, RegStringData("x")), ERROR_SUCCESS);
    const struct {
        QStringList Args;
        int Code;
    } cases[] = {
        {{"query", "HKCU\\Software\\Demo", "v"}, 0},
        {{"query", "HKCU\\Software\\Missing"}, 1},
        {{"query", "HKCU\\Software\\Demo", "absent"}, 1},
        {{"delete", "HKCU\\Software\\Demo", "absent"}, 1},
        {{"delete", "HKCU\\Software\\Missing"}, 1},
        {{"export", "HKLM\\Software\\Missing"}, 1},
        {{}, 2},
        {{"frob"}, 2},
        {{"query"}, 2},
        {{"query", "HKEY_USERS\\x"}, 2},
        {{"query", "HKCU\\Software\\Demo", "v", "extra"}, 2},
        {{"set", "HKCU\\Software\\Demo", "v", "REG_SZ"}, 2},
        {{"set", "HKCU\\Software\\Demo", "v", "REG_TEXT", "x"}, 2},
        {{"set", "HKCU\\Software\\Demo", "v", "REG_DWORD", "12x"}, 2},
        {{"set", "HKCU\\Software\\Demo", "v", "REG_DWORD", "-1"}, 2},
        {{"set", "HKCU\\Software\\Demo", "v", "REG_DWORD", "4294967296"}, 2},
        {{"set", "HKCU\\Software\\Demo", "v", "REG_BINARY", "abc"}, 2},
        {{"set", "HKCU\\Software\\Demo", "v", "REG_BINARY", "zz"}, 2},
        {{"delete", "HKCU"}, 2},
        {{"export", "HKCU", "HKLM"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args.join(' ').toStdString());
        const TProgramRun run = Run(c.Args);
        EXPECT_EQ(run.Code, c.Code);
        EXPECT_EQ(run.Err.isEmpty(), c.Code == 0) << run.Err.toStdString();
    }
    // None of the refused calls changed the value.
    QByteArray data;
    ASSERT_EQ(RegQueryValueExW(demo.get(), "v", nullptr, &data), ERROR_SUCCESS);
    EXPECT_EQ(RegDataToString(data), "x");
}

TEST_F(RegToolTest, DamagedStoreIsReportedNotCrashedOn) {
    const QString path = RegDatabasePath(HKEY_CURRENT_USER);
    WriteTestFile(path, QByteArray("no database here\n").repeated(100));
    for (const QStringList& args : {QStringList{"query", "HKCU\\Software"},
                                    QStringList{"set", "HKCU\\Software", "v", "REG_SZ", "x"},
                                    QStringList{"export", "HKCU"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const TProgramRun run = Run(args);
        EXPECT_EQ(run.Code, 3);
        EXPECT_TRUE(run.Err.contains("1009")) << run.Err.toStdString();
    }
    EXPECT_EQ(ReadTestFile(path), QByteArray("no database here\n").repeated(100));
}

} // namespace
