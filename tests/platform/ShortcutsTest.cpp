// Shortcuts as desktop entries on the desktop and in the Programs menu folder of the test's
// HOME, and the desktop refresh that NotifyShellChanged starts.
#include "platform/Shortcuts.h"
#include "platform/linux/DesktopEntry.h"
#include "testsupport/TestEnv.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace {

bool haveTool(const char* Name) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(Name)).isEmpty();
}

void writeScript(const QString& Path, const QByteArray& Body) {
    WriteTestFile(Path, "#!/bin/sh\n" + Body);
    QFile::setPermissions(Path,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// Detached tools finish in their own time; wait for what they leave behind.
QByteArray waitForFile(const QString& Path) {
    const QDeadlineTimer Deadline(20000);
    while (!QFileInfo::exists(Path) && !Deadline.hasExpired())
        QThread::msleep(20);
    return ReadTestFile(Path);
}

} // namespace

class ShortcutsTest : public TIsolatedTest {
protected:
    void SetUp() override {
        Dir = FEnv.Root() + QStringLiteral("/App/common");
        Target = Dir + QStringLiteral("/tool.exe");
        TargetAsConfigured = FEnv.Root() + QStringLiteral("/App\\common\\tool.exe");
        WriteTestFile(Target, "#!/bin/sh\n");
        Desktop = FEnv.Home() + QStringLiteral("/Desktop");
        Programs = FEnv.DataHome() + QStringLiteral("/applications");
    }

    QString expectedEntry(const QString& Name, const QString& Icon = {}) const {
        QString Text =
            QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\nPath=%3\n")
                .arg(Name, QuoteExecArgument(Target), Dir);
        if (!Icon.isEmpty())
            Text += QStringLiteral("Icon=") + Icon + u'\n';
        return Text;
    }

    QString Dir, Target, TargetAsConfigured, Desktop, Programs;
};

TEST_F(ShortcutsTest, DesktopShortcutIsAnExecutableEntryForTheTarget) {
    QString Link;
    ASSERT_TRUE(
        CreateDesktopShortcut(TargetAsConfigured, QString(), QStringLiteral("My App"), Link));
    EXPECT_EQ(Link, Desktop + QStringLiteral("/My App.desktop"));
    EXPECT_EQ(QString::fromUtf8(ReadTestFile(Link)), expectedEntry(QStringLiteral("My App")));
    EXPECT_TRUE(QFileInfo(Link).permissions().testFlag(QFileDevice::ExeOwner));
    if (haveTool("desktop-file-validate")) {
        EXPECT_EQ(QProcess::execute(QStringLiteral("desktop-file-validate"), {Link}), 0);
    }
}

TEST_F(ShortcutsTest, OnlyTheDesktopShortcutTakesDefaultIcoBesideTheTarget) {
    for (const bool HasIcon : {false, true}) {
        SCOPED_TRACE(HasIcon);
        if (HasIcon)
            WriteTestFile(Dir + QStringLiteral("/default.ico"), "ico");
        QString Link;
        ASSERT_TRUE(CreateDesktopShortcut(Target, QString(), QStringLiteral("App"), Link));
        ASSERT_TRUE(CreateProgramsShortcut(Target, QStringLiteral("Group"), QStringLiteral("App")));
        EXPECT_EQ(QString::fromUtf8(ReadTestFile(Link)),
                  expectedEntry(QStringLiteral("App"),
                                HasIcon ? Dir + QStringLiteral("/default.ico") : QString()));
        EXPECT_EQ(QString::fromUtf8(ReadTestFile(Programs + QStringLiteral("/Group/App.desktop"))),
                  expectedEntry(QStringLiteral("App")));
    }
}

TEST_F(ShortcutsTest, EmptyNameIsTheTargetsNameAndAGroupIsCreatedOrReplaced) {
    QString Link;
    ASSERT_TRUE(CreateDesktopShortcut(TargetAsConfigured, QString(), QString(), Link));
    EXPECT_EQ(Link, Desktop + QStringLiteral("/tool.desktop"));

    const QString Entry = Programs + QStringLiteral("/My Group/tool.desktop");
    ASSERT_TRUE(CreateProgramsShortcut(TargetAsConfigured, QStringLiteral("My Group"), QString()));
    EXPECT_EQ(QString::fromUtf8(ReadTestFile(Entry)), expectedEntry(QStringLiteral("tool")));
    EXPECT_FALSE(QFileInfo(Entry).permissions().testFlag(QFileDevice::ExeOwner));

    WriteTestFile(Entry, "stale");
    ASSERT_TRUE(CreateProgramsShortcut(Target, QStringLiteral("My Group"), QString()));
    EXPECT_EQ(QString::fromUtf8(ReadTestFile(Entry)), expectedEntry(QStringLiteral("tool")));
}

TEST_F(ShortcutsTest, ArgumentsFollowTheTargetInExec) {
    QString Link;
    ASSERT_TRUE(CreateDesktopShortcut(Target, QStringLiteral("--mode \"a b\" 100%"),
                                      QStringLiteral("App"), Link));
    EXPECT_EQ(ReadDesktopEntryList(Link, QStringLiteral("Exec")),
              QStringList{QuoteExecArgument(Target) + QStringLiteral(" --mode \"a b\" 100%%")});
}

TEST_F(ShortcutsTest, MissingTargetOrEscapingNameWritesNothing) {
    QString Link = QStringLiteral("unchanged");
    EXPECT_FALSE(CreateDesktopShortcut(Dir + QStringLiteral("/missing.exe"), QString(),
                                       QStringLiteral("App"), Link));
    EXPECT_FALSE(CreateDesktopShortcut(Dir, QString(), QStringLiteral("App"), Link));
    EXPECT_FALSE(CreateProgramsShortcut(Dir + QStringLiteral("/missing.exe"),
                                        QStringLiteral("Group"), QStringLiteral("App")));
    EXPECT_FALSE(CreateDesktopShortcut(Target, QString(), QStringLiteral("..\\..\\evil"), Link));
    EXPECT_FALSE(CreateProgramsShortcut(Target, QStringLiteral("../.."), QStringLiteral("evil")));
    EXPECT_EQ(Link, QStringLiteral("unchanged"));
    EXPECT_TRUE(QDir(Desktop).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Programs + QStringLiteral("/Group")));
    EXPECT_FALSE(QFileInfo::exists(FEnv.Root() + QStringLiteral("/evil.desktop")));
    EXPECT_FALSE(QFileInfo::exists(FEnv.Home() + QStringLiteral("/.local/evil.desktop")));
}

TEST_F(ShortcutsTest, RemovalTakesTheEntriesAndAlwaysAnswersTrue) {
    EXPECT_TRUE(RemoveDesktopShortcut(Target, QStringLiteral("Never")));
    EXPECT_TRUE(RemoveProgramsShortcut(Target, QStringLiteral("Group"), QStringLiteral("Never")));

    QString Link;
    ASSERT_TRUE(CreateDesktopShortcut(Target, QString(), QStringLiteral("App"), Link));
    ASSERT_TRUE(CreateProgramsShortcut(Target, QStringLiteral("Group"), QStringLiteral("App")));
    ASSERT_TRUE(
        CreateProgramsShortcut(Target, QStringLiteral("Group"), QStringLiteral("卸载软件")));
    // The target need not exist any more.
    ASSERT_TRUE(QFile::remove(Target));
    EXPECT_TRUE(RemoveDesktopShortcut(TargetAsConfigured, QStringLiteral("App")));
    EXPECT_TRUE(
        RemoveProgramsShortcut(TargetAsConfigured, QStringLiteral("Group"), QStringLiteral("App")));
    EXPECT_FALSE(QFileInfo::exists(Link));
    EXPECT_FALSE(QFileInfo::exists(Programs + QStringLiteral("/Group/App.desktop")));
    EXPECT_TRUE(QFileInfo::exists(Programs + QStringLiteral("/Group/卸载软件.desktop")));
}

TEST_F(ShortcutsTest, DesktopFolderFollowsTheUserDirs) {
    const QString Bin = FEnv.Root() + QStringLiteral("/bin");
    const QString UserDirs = FEnv.ConfigHome() + QStringLiteral("/user-dirs.dirs");
    const QString SavedPath = qEnvironmentVariable("PATH");
    struct TCase {
        const char* Config;  // user-dirs.dirs, or nullptr for none
        const char* StandIn; // xdg-user-dir stand-in body, or nullptr for the real tool
        bool NoTools;
        QString Expected;
    };
    const TCase Cases[] = {
        {"XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n", nullptr, false, FEnv.Home() + "/Bureau"},
        {"XDG_DESKTOP_DIR=\"$HOME\"\n", nullptr, false, FEnv.Home()},
        {nullptr, "echo \"$HOME\"\n", false, FEnv.Home() + "/Desktop"},
        {nullptr, "exit 1\n", false, FEnv.Home() + "/Desktop"},
        {nullptr, nullptr, true, FEnv.Home() + "/Desktop"},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Expected.toStdString());
        QFile::remove(UserDirs);
        if (Case.Config)
            WriteTestFile(UserDirs, Case.Config);
        if (!Case.StandIn && !Case.NoTools && !haveTool("xdg-user-dir"))
            continue;
        QFile::remove(Bin + QStringLiteral("/xdg-user-dir"));
        if (Case.StandIn)
            writeScript(Bin + QStringLiteral("/xdg-user-dir"), Case.StandIn);
        FEnv.Set("PATH", Case.NoTools ? Bin : Bin + u':' + SavedPath);
        EXPECT_EQ(DesktopFolder(), Case.Expected);

        QString Link;
        ASSERT_TRUE(CreateDesktopShortcut(Target, QString(), QStringLiteral("App"), Link));
        EXPECT_EQ(Link, Case.Expected + QStringLiteral("/App.desktop"));
        ASSERT_TRUE(RemoveDesktopShortcut(Target, QStringLiteral("App")));
        EXPECT_FALSE(QFileInfo::exists(Link));
    }
}

TEST_F(ShortcutsTest, NotifyShellChangedStartsTheDesktopRefreshTools) {
    const QString Bin = FEnv.Root() + QStringLiteral("/bin");
    const QString Log = FEnv.Root() + QStringLiteral("/log-");
    writeScript(Bin + QStringLiteral("/update-desktop-database"),
                "echo \"$@\" > \"" + Log.toUtf8() + "udd.tmp\"; mv \"" + Log.toUtf8() +
                    "udd.tmp\" \"" + Log.toUtf8() + "udd\"\n");
    writeScript(Bin + QStringLiteral("/xdg-desktop-menu"),
                "echo \"$@\" > \"" + Log.toUtf8() + "menu.tmp\"; mv \"" + Log.toUtf8() +
                    "menu.tmp\" \"" + Log.toUtf8() + "menu\"\n");
    FEnv.Set("PATH", Bin + u':' + qEnvironmentVariable("PATH"));
    QDir().mkpath(Programs);

    NotifyShellChanged();
    EXPECT_EQ(waitForFile(Log + QStringLiteral("udd")), "-q " + Programs.toUtf8() + "\n");
    EXPECT_EQ(waitForFile(Log + QStringLiteral("menu")), "forceupdate\n");

    int Calls = 0;
    SetNotifyShellChangedHandler([&] { ++Calls; });
    NotifyShellChanged();
    SetNotifyShellChangedHandler({});
    EXPECT_EQ(Calls, 1);
}
