// The desktop entry writer: Exec quoting and value escapes by the Desktop Entry Specification,
// files that desktop-file-validate accepts, and the bounded runner of helper tools.
#include "platform/linux/DesktopEntry.h"
#include "testsupport/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

// The validator's verdict: empty when it accepts the file (hints are not errors).
QString validatorErrors(const QString& Path) {
    QProcess Validator;
    Validator.start(QStringLiteral("desktop-file-validate"), {Path});
    Validator.waitForFinished(30000);
    const QString Output =
        QString::fromUtf8(Validator.readAllStandardOutput() + Validator.readAllStandardError());
    return Validator.exitCode() == 0 ? QString() : Output;
}

void writeScript(const QString& Path, const QByteArray& Body) {
    WriteTestFile(Path, "#!/bin/sh\n" + Body);
    QFile::setPermissions(Path,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace

struct TQuoteCase {
    const char* Argument;
    const char* Quoted;
};

class QuoteExecArgumentTest : public ::testing::TestWithParam<TQuoteCase> {};

TEST_P(QuoteExecArgumentTest, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(QuoteExecArgument(QString::fromUtf8(GetParam().Argument)),
              QString::fromUtf8(GetParam().Quoted));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuoteExecArgumentTest,
    ::testing::Values(TQuoteCase{"/opt/app/run", "/opt/app/run"},
                      TQuoteCase{"/opt/My App/run", "\"/opt/My App/run\""}, TQuoteCase{"", "\"\""},
                      TQuoteCase{"say\"hi\"", "\"say\\\"hi\\\"\""},
                      TQuoteCase{"$HOME", "\"\\$HOME\""}, TQuoteCase{"a`b`", "\"a\\`b\\`\""},
                      TQuoteCase{"back\\slash", "\"back\\\\slash\""}, TQuoteCase{"100%", "100%%"},
                      TQuoteCase{"50% off", "\"50%% off\""}, TQuoteCase{"it's", "\"it's\""},
                      TQuoteCase{"a;b", "\"a;b\""},
                      TQuoteCase{"/opt/软件/运行", "/opt/软件/运行"}));

class DesktopEntryTest : public TIsolatedTest {};

TEST_F(DesktopEntryTest, TextQuotesExecThenEscapesTheValue) {
    TDesktopEntry Entry;
    Entry.Name = QStringLiteral(" Two\nlines");
    Entry.Command << QStringLiteral("/opt/My App/run") << QStringLiteral("a\\b");
    Entry.FieldCode = QStringLiteral("%f");
    Entry.Path = QStringLiteral("/opt/My App");
    Entry.Icon = QStringLiteral("/opt/My App/default.ico");
    Entry.MimeTypes << QStringLiteral("application/x-one")
                    << QStringLiteral("x-scheme-handler/two");
    Entry.NoDisplay = true;
    Entry.Extra << qMakePair(QStringLiteral("X-Key"), QStringLiteral("tab\there"));
    // A backslash inside a quoted argument takes four: one pair for Exec, one for the string.
    EXPECT_EQ(DesktopEntryText(Entry),
              QStringLiteral("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=\\sTwo\\nlines\n"
                             "Exec=\"/opt/My App/run\" \"a\\\\\\\\b\" %f\n"
                             "Path=/opt/My App\n"
                             "Icon=/opt/My App/default.ico\n"
                             "MimeType=application/x-one;x-scheme-handler/two;\n"
                             "NoDisplay=true\n"
                             "X-Key=tab\\there\n"));
}

TEST_F(DesktopEntryTest, WritesOnlyWhenTheTextChangesAndSetsTheMode) {
    const QString Path = FEnv.Root() + QStringLiteral("/new/folder/app.desktop");
    TDesktopEntry Entry;
    Entry.Name = QStringLiteral("App");
    Entry.Command << QStringLiteral("/opt/app");
    bool Changed = false;
    ASSERT_TRUE(WriteDesktopEntry(Path, Entry, true, &Changed));
    EXPECT_TRUE(Changed);
    EXPECT_EQ(QString::fromUtf8(ReadTestFile(Path)), DesktopEntryText(Entry));
    EXPECT_TRUE(QFileInfo(Path).permissions().testFlag(QFileDevice::ExeOther));
    EXPECT_TRUE(QFileInfo(Path).permissions().testFlag(QFileDevice::ReadOther));

    ASSERT_TRUE(WriteDesktopEntry(Path, Entry, false, &Changed));
    EXPECT_FALSE(Changed);
    EXPECT_FALSE(QFileInfo(Path).permissions().testFlag(QFileDevice::ExeOwner));

    Entry.Name = QStringLiteral("Other");
    ASSERT_TRUE(WriteDesktopEntry(Path, Entry, false, &Changed));
    EXPECT_TRUE(Changed);
    EXPECT_EQ(ReadDesktopEntryList(Path, QStringLiteral("Name")), QStringList{"Other"});
}

TEST_F(DesktopEntryTest, ValidatorAcceptsTheEntries) {
    if (QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    TDesktopEntry Entry;
    Entry.Name = QStringLiteral("卸载软件");
    Entry.Command << QStringLiteral("/opt/My App/a\"b$c`d\\e%f") << QStringLiteral("--x=100%");
    Entry.FieldCode = QStringLiteral("%u");
    Entry.Path = QStringLiteral("/opt/My App");
    Entry.Icon = QStringLiteral("/opt/My App/default.ico");
    Entry.MimeTypes << QStringLiteral("x-scheme-handler/ocq");
    Entry.NoDisplay = true;
    const QString Path = FEnv.Root() + QStringLiteral("/卸载软件.desktop");
    ASSERT_TRUE(WriteDesktopEntry(Path, Entry, false));
    EXPECT_EQ(validatorErrors(Path), QString());
}

TEST_F(DesktopEntryTest, PathsReadBackslashesAndStayInsideTheirFolder) {
    EXPECT_EQ(CleanNativePath(QStringLiteral("/opt/App\\\\common\\app.exe")),
              QStringLiteral("/opt/App/common/app.exe"));
    EXPECT_TRUE(IsInsideFolder(QStringLiteral("/home/u/Desktop/a.desktop"),
                               QStringLiteral("/home/u/Desktop")));
    EXPECT_FALSE(IsInsideFolder(QStringLiteral("/home/u/Desktop/../a.desktop"),
                                QStringLiteral("/home/u/Desktop")));
    EXPECT_FALSE(IsInsideFolder(QStringLiteral("/home/u/Desktop2/a.desktop"),
                                QStringLiteral("/home/u/Desktop")));
    EXPECT_EQ(DesktopFileStem(QStringLiteral("../My App/x")), QStringLiteral("_.._My_App_x"));
    EXPECT_EQ(DesktopFileStem(QStringLiteral(".hidden")), QStringLiteral("_.hidden"));
}

TEST_F(DesktopEntryTest, HelperToolsAreBoundedAndMayBeMissing) {
    const QString Bin = FEnv.Root() + QStringLiteral("/bin");
    writeScript(Bin + QStringLiteral("/say"), "echo \"$@\"\nexit \"$2\"\n");
    writeScript(Bin + QStringLiteral("/hang"), "exec sleep 60\n");
    FEnv.Set("PATH", Bin + u':' + qEnvironmentVariable("PATH"));

    QByteArray Output;
    int ExitCode = -2;
    EXPECT_TRUE(RunHelperTool(QStringLiteral("say"), {QStringLiteral("hi"), QStringLiteral("0")},
                              10000, &Output, &ExitCode));
    EXPECT_EQ(Output, "hi 0\n");
    EXPECT_EQ(ExitCode, 0);
    EXPECT_FALSE(RunHelperTool(QStringLiteral("say"), {QStringLiteral("hi"), QStringLiteral("3")},
                               10000, &Output, &ExitCode));
    EXPECT_EQ(ExitCode, 3);
    EXPECT_FALSE(RunHelperTool(QStringLiteral("missing-tool"), {}, 10000));
    // An overrun is killed and has no exit code of its own.
    EXPECT_FALSE(RunHelperTool(QStringLiteral("hang"), {}, 200, nullptr, &ExitCode));
    EXPECT_EQ(ExitCode, -1);
}
