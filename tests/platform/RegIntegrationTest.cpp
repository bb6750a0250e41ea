// The product's registry entries: every key, value and type in the registry store, the shell
// notices they send, and their desktop counterparts (handler entries, MIME types, defaults in
// mimeapps.list, the autostart entry) in the test's HOME.
#include "platform/RegIntegration.h"
#include "platform/Shortcuts.h"
#include "platform/linux/DesktopEntry.h"
#include "registry/Registry.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <optional>

namespace {

const QString Uninstall =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
const QString FileExts =
    QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\");
const QString RunKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");

bool haveTool(const char* Name) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(Name)).isEmpty();
}

bool keyExists(HKEY Root, const QString& Path) {
    TRegKey Key;
    return RegOpenKeyExW(Root, Path, KEY_READ, Key.out()) == ERROR_SUCCESS;
}

// The text of a REG_SZ value; nullopt when the value is missing or of another type.
std::optional<QString> text(HKEY Root, const QString& Path, const QString& Name = {}) {
    TRegKey Key;
    DWORD Type = REG_NONE;
    QByteArray Data;
    if (RegOpenKeyExW(Root, Path, KEY_READ, Key.out()) != ERROR_SUCCESS ||
        RegQueryValueExW(Key.get(), Name, &Type, &Data) != ERROR_SUCCESS || Type != REG_SZ)
        return std::nullopt;
    EXPECT_EQ(Data.size(), (RegDataToString(Data).size() + 1) * 2) << Name.toStdString();
    return RegDataToString(Data);
}

QStringList valueNames(HKEY Root, const QString& Path) {
    TRegKey Key;
    QStringList Names;
    if (RegOpenKeyExW(Root, Path, KEY_READ, Key.out()) == ERROR_SUCCESS)
        RegEnumValues(Key.get(), &Names);
    return Names;
}

void setText(HKEY Root, const QString& Path, const QString& Name, const QString& Value) {
    TRegKey Key;
    ASSERT_EQ(RegCreateKeyExW(Root, Path, KEY_ALL_ACCESS, Key.out()), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(Key.get(), Name, REG_SZ, RegStringData(Value)), ERROR_SUCCESS);
}

QString fileText(const QString& Path) {
    return QString::fromUtf8(ReadTestFile(Path));
}

} // namespace

class RegIntegrationTest : public TIsolatedTest {
protected:
    void SetUp() override {
        SetNotifyShellChangedHandler([this] { ++Notices; });
        Program = FEnv.Root() + QStringLiteral("/My App\\common\\app.exe");
        NativeProgram = FEnv.Root() + QStringLiteral("/My App/common/app.exe");
        Applications = FEnv.DataHome() + QStringLiteral("/applications");
        MimeApps = FEnv.ConfigHome() + QStringLiteral("/mimeapps.list");
    }
    void TearDown() override {
        SetNotifyShellChangedHandler({});
        SetShowErrorCodeHandler({});
    }

    QString handlerEntry(const QString& Name, const QString& Args, const QString& MimeTypes) const {
        return QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2%3\nPath=%4\n"
                              "MimeType=%5\nNoDisplay=true\n")
            .arg(Name, QuoteExecArgument(NativeProgram), Args,
                 FEnv.Root() + QStringLiteral("/My App/common"), MimeTypes);
    }

    int Notices = 0;
    QString Program, NativeProgram, Applications, MimeApps;
};

TEST_F(RegIntegrationTest, UninstallEntryHoldsItsValuesInOrder) {
    WriteUninstallEntry(QStringLiteral("demo_win"), QStringLiteral("演示"), Program,
                        QStringLiteral("C:\\Demo"), QStringLiteral("1.2.3"), QStringLiteral(" "));
    const QString Key = Uninstall + QStringLiteral("demo_win");
    EXPECT_EQ(valueNames(HKEY_LOCAL_MACHINE, Key),
              (QStringList{"DisplayName", "DisplayIcon", "UninstallString", "DisplayVersion",
                           "Publisher", "ExePath"}));
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Key, "DisplayName"), QStringLiteral("演示"));
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Key, "DisplayIcon"), u'"' + Program + u'"');
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Key, "UninstallString"),
              QStringLiteral("C:\\Demo\\unin.exe"));
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Key, "DisplayVersion"), QStringLiteral("1.2.3"));
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Key, "Publisher"), QStringLiteral(" "));
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Key, "ExePath"), u'"' + Program + u'"');
    EXPECT_EQ(GetInstalledIcon(QStringLiteral("demo_win")), Program);
    EXPECT_EQ(GetInstalledVersion(QStringLiteral("DEMO_WIN")), QStringLiteral("1.2.3"));
}

TEST_F(RegIntegrationTest, RewriteKeepsForeignValuesAndSkipsAnEmptyVersion) {
    const QString Key = Uninstall + QStringLiteral("demo");
    setText(HKEY_LOCAL_MACHINE, Key, QStringLiteral("InstallLocation"), QStringLiteral("kept"));
    setText(HKEY_LOCAL_MACHINE, Key, QStringLiteral("DisplayName"), QStringLiteral("old"));
    WriteUninstallEntry(QStringLiteral("demo"), QString(), Program, QStringLiteral("/opt/demo"),
                        QString(), QStringLiteral(" "));
    EXPECT_EQ(valueNames(HKEY_LOCAL_MACHINE, Key),
              (QStringList{"InstallLocation", "DisplayName", "DisplayIcon", "UninstallString",
                           "Publisher", "ExePath"}));
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Key, "DisplayName"), QString());
    EXPECT_EQ(text(HKEY_LOCAL_MACHINE, Key, "InstallLocation"), QStringLiteral("kept"));
    EXPECT_EQ(GetInstalledVersion(QStringLiteral("demo")), QString());
}

TEST_F(RegIntegrationTest, AskingAboutAMissingProductLeavesAnEmptyKey) {
    EXPECT_EQ(GetInstalledIcon(QStringLiteral("ghost")), QString());
    EXPECT_EQ(GetInstalledVersion(QStringLiteral("ghost")), QString());
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, Uninstall + QStringLiteral("ghost")));
    EXPECT_TRUE(valueNames(HKEY_LOCAL_MACHINE, Uninstall + QStringLiteral("ghost")).isEmpty());
}

TEST_F(RegIntegrationTest, DeleteTakesTheWholeEntryAndNothingElse) {
    WriteUninstallEntry(QStringLiteral("demo"), QStringLiteral("Demo"), Program,
                        QStringLiteral("/opt/demo"), QStringLiteral("1"), QStringLiteral(" "));
    setText(HKEY_LOCAL_MACHINE, Uninstall + QStringLiteral("demo\\sub"), {}, QStringLiteral("x"));
    WriteUninstallEntry(QStringLiteral("other"), QStringLiteral("Other"), Program,
                        QStringLiteral("/opt/other"), QStringLiteral("1"), QStringLiteral(" "));
    DeleteUninstallEntry(QStringLiteral("demo"));
    DeleteUninstallEntry(QString());
    DeleteUninstallEntry(QStringLiteral("never"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, Uninstall + QStringLiteral("demo")));
    EXPECT_EQ(GetInstalledVersion(QStringLiteral("other")), QStringLiteral("1"));
}

TEST_F(RegIntegrationTest, FailedUninstallWritesShowEachErrorCode) {
    // A folder where the machine database belongs: the store cannot open it.
    ASSERT_TRUE(QDir().mkpath(RegDatabasePath(HKEY_LOCAL_MACHINE)));
    QList<int> Codes;
    SetShowErrorCodeHandler([&](int Code) { Codes << Code; });
    WriteUninstallEntry(QStringLiteral("demo"), QStringLiteral("Demo"), Program,
                        QStringLiteral("/opt/demo"), QStringLiteral("1"), QStringLiteral(" "));
    // The key, then the six values.
    ASSERT_EQ(Codes.size(), 7);
    for (int Code : Codes)
        EXPECT_NE(Code, ERROR_SUCCESS);
}

TEST_F(RegIntegrationTest, UrlProtocolNotifiesOnlyWhenItsCommandChanges) {
    RegisterUrlProtocol(QStringLiteral("ocq"), QStringLiteral("Ocq Link"), Program);
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, "ocq"), QStringLiteral("Ocq Link"));
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, "ocq", "URL Protocol"), Program);
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, "ocq\\shell\\open\\command"),
              u'"' + Program + QStringLiteral("\" \"%1\""));
    EXPECT_EQ(Notices, 1);

    setText(HKEY_CLASSES_ROOT, "ocq", "URL Protocol", "stale");
    RegisterUrlProtocol(QStringLiteral("ocq"), QStringLiteral("Ocq Link"), Program);
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, "ocq", "URL Protocol"), Program);
    EXPECT_EQ(Notices, 1);

    const QString Entry = Applications + QStringLiteral("/oneclick-url-ocq.desktop");
    EXPECT_EQ(fileText(Entry), handlerEntry("Ocq Link", " %u", "x-scheme-handler/ocq;"));
    EXPECT_EQ(fileText(MimeApps),
              QStringLiteral("[Added Associations]\n"
                             "x-scheme-handler/ocq=oneclick-url-ocq.desktop;\n"
                             "\n"
                             "[Default Applications]\n"
                             "x-scheme-handler/ocq=oneclick-url-ocq.desktop\n"));
    if (haveTool("desktop-file-validate")) {
        EXPECT_EQ(QProcess::execute(QStringLiteral("desktop-file-validate"), {Entry}), 0);
    }
}

TEST_F(RegIntegrationTest, AssociationWritesTheClassesTheChoiceAndTheOpenCommand) {
    struct TCase {
        QString Parameters, Command, ExecArgs;
    };
    const TCase Cases[] = {
        {{}, QStringLiteral("\" \"%1\""), QStringLiteral(" %f")},
        {QStringLiteral("-open"), QStringLiteral("\" -open \"%1\""), QStringLiteral(" -open %f")}};
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Parameters.toStdString());
        Notices = 0;
        setText(HKEY_CURRENT_USER, FileExts + ".ocq\\UserChoice", "Progid", "SomeoneElse");
        AssociateFileExt(QStringLiteral(".ocq"), QStringLiteral("ocqFile"),
                         QStringLiteral("ocqFile"), Program, Case.Parameters);
        EXPECT_EQ(text(HKEY_CLASSES_ROOT, ".ocq"), QStringLiteral("ocqFile"));
        EXPECT_EQ(text(HKEY_CLASSES_ROOT, "ocqFile"), QStringLiteral("ocqFile"));
        EXPECT_EQ(text(HKEY_CURRENT_USER, "SOFTWARE\\Classes\\.ocq"), QStringLiteral("ocqFile"));
        EXPECT_EQ(text(HKEY_CLASSES_ROOT, "ocqFile\\shell\\open\\command"),
                  u'"' + Program + Case.Command);
        EXPECT_EQ(text(HKEY_CURRENT_USER, FileExts + ".ocq\\UserChoice", "Progid"),
                  QStringLiteral("ocqFile"));
        EXPECT_EQ(Notices, 1);
        EXPECT_EQ(fileText(Applications + QStringLiteral("/oneclick-ocqFile.desktop")),
                  handlerEntry("ocqFile", Case.ExecArgs, "application/x-oneclick-ocqfile;"));

        // The choice already names the id: nothing to tell the shell.
        AssociateFileExt(QStringLiteral(".ocq"), QStringLiteral("ocqFile"),
                         QStringLiteral("ocqFile"), Program, Case.Parameters);
        EXPECT_EQ(Notices, 1);
    }
}

TEST_F(RegIntegrationTest, AssociationRegistersAMimeTypeAndKeepsTheUsersDefaults) {
    WriteTestFile(MimeApps, "# mine\n[Default Applications]\ntext/html=firefox.desktop\n\n"
                            "[Added Associations]\ntext/html=firefox.desktop;\n");
    AssociateFileExt(QStringLiteral(".oca"), QStringLiteral("ocFile"), QStringLiteral("OC <doc>"),
                     Program, QString());
    AssociateFileExt(QStringLiteral(".OCB"), QStringLiteral("ocFile"), QStringLiteral("OC <doc>"),
                     Program, QString());
    const QString Type = QStringLiteral("application/x-oneclick-ocfile");
    EXPECT_EQ(fileText(MimeApps),
              QStringLiteral("# mine\n[Default Applications]\ntext/html=firefox.desktop\n") + Type +
                  QStringLiteral("=oneclick-ocFile.desktop\n\n[Added Associations]\n"
                                 "text/html=firefox.desktop;\n") +
                  Type + QStringLiteral("=oneclick-ocFile.desktop;\n"));
    EXPECT_EQ(ReadDesktopEntryList(Applications + QStringLiteral("/oneclick-ocFile.desktop"),
                                   QStringLiteral("MimeType")),
              QStringList{Type});
    const QString Packages = FEnv.DataHome() + QStringLiteral("/mime/packages/");
    EXPECT_EQ(fileText(Packages + QStringLiteral("oneclick-ext-oca.xml")),
              QStringLiteral(
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                  "  <mime-type type=\"application/x-oneclick-ocfile\">\n"
                  "    <comment>OC &lt;doc&gt;</comment>\n"
                  "    <glob pattern=\"*.oca\" weight=\"80\"/>\n"
                  "  </mime-type>\n</mime-info>\n"));
    EXPECT_TRUE(fileText(Packages + QStringLiteral("oneclick-ext-ocb.xml")).contains("*.ocb"));
    if (haveTool("update-mime-database")) {
        const QString Globs = fileText(FEnv.DataHome() + QStringLiteral("/mime/globs2"));
        EXPECT_TRUE(Globs.contains(Type + QStringLiteral(":*.oca"))) << Globs.toStdString();
        EXPECT_TRUE(Globs.contains(Type + QStringLiteral(":*.ocb"))) << Globs.toStdString();
    }
}

TEST_F(RegIntegrationTest, AssociationWithoutADotStaysInTheRegistryOnly) {
    AssociateFileExt(QStringLiteral("ocq"), QStringLiteral("cqFile"), QStringLiteral("cqFile"),
                     Program, QString());
    EXPECT_EQ(text(HKEY_CLASSES_ROOT, "ocq"), QStringLiteral("cqFile"));
    EXPECT_FALSE(QFileInfo::exists(FEnv.DataHome() + QStringLiteral("/mime/packages")));
    EXPECT_FALSE(QFileInfo::exists(Applications + QStringLiteral("/oneclick-cqFile.desktop")));
}

TEST_F(RegIntegrationTest, RunAtStartupIsAValueAndAnAutostartEntry) {
    const QString Autostart = FEnv.ConfigHome() + QStringLiteral("/autostart/demo_win.desktop");
    SetRunAtStartup(QStringLiteral("demo_win"), false, Program);
    EXPECT_TRUE(valueNames(HKEY_CURRENT_USER, RunKey).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Autostart));

    SetRunAtStartup(QStringLiteral("demo_win"), true, Program);
    SetRunAtStartup(QStringLiteral("demo_win"), true, Program);
    EXPECT_EQ(valueNames(HKEY_CURRENT_USER, RunKey), QStringList{"demo_win"});
    EXPECT_EQ(text(HKEY_CURRENT_USER, RunKey, "demo_win"), u'"' + Program + u'"');
    EXPECT_EQ(
        fileText(Autostart),
        QStringLiteral("[Desktop Entry]\nType=Application\nName=demo_win\nExec=%1\nPath=%2\n"
                       "X-GNOME-Autostart-enabled=true\n")
            .arg(QuoteExecArgument(NativeProgram), FEnv.Root() + QStringLiteral("/My App/common")));

    SetRunAtStartup(QStringLiteral("demo_win"), false, Program);
    EXPECT_TRUE(valueNames(HKEY_CURRENT_USER, RunKey).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Autostart));
}
