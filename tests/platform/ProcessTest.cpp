// Starting programs: the argument vectors and working directories each form gives, the result
// conventions of failed starts, the desktop opener, starting as the desktop user, and finding
// and killing processes by image name.
#include "platform/Process.h"
#include "platform/ProcessTestSupport.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Writes its working directory, user id, home and arguments, one a line, to $OC_PROBE_OUT.
const QByteArray ProbeScript =
    "#!/bin/sh\n"
    "{ pwd -P; id -u; printf '%s\\n' \"$HOME\"; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; "
    "done; } > \"$OC_PROBE_OUT.part\" && mv \"$OC_PROBE_OUT.part\" \"$OC_PROBE_OUT\"\n";

struct TProbeReport {
    QString Cwd;
    QString Uid;
    QString Home;
    QStringList Args;
};

class ProcessTest : public TIsolatedTest {
protected:
    void SetUp() override {
        FDir = FEnv.Root() + QStringLiteral("/prog dir");
        FWork = FEnv.Root() + QStringLiteral("/work");
        QDir().mkpath(FWork);
        FProbe = FDir + QStringLiteral("/run me.sh");
        FPlainProbe = FEnv.Root() + QStringLiteral("/bin/probe.sh");
        WriteScript(FPlainProbe, ProbeScript);
        WriteScript(FProbe, ProbeScript);
        FOut = FEnv.Root() + QStringLiteral("/probe-out");
        FEnv.Set("OC_PROBE_OUT", FOut);
        FEnv.Set("SUDO_UID", QString());
        FEnv.Set("PKEXEC_UID", QString());
    }

    void TearDown() override {
        for (qint64 pid : FStarted)
            kill(pid_t(pid), SIGKILL);
    }

    TProbeReport takeReport() {
        if (!WaitForFile(FOut))
            return {};
        QStringList lines = QString::fromUtf8(ReadTestFile(FOut)).split(u'\n');
        QFile::remove(FOut);
        lines.removeLast(); // after the final newline
        TProbeReport report;
        report.Cwd = lines.value(0);
        report.Uid = lines.value(1);
        report.Home = lines.value(2);
        for (const QString& line : lines.mid(3))
            report.Args << line.mid(1, line.size() - 2);
        return report;
    }

    // A copy of sleep under the given name, started for a long nap.
    qint64 startSleeper(const QString& path) {
        const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(QFile::copy(sleep, path));
        const qint64 pid = LaunchProgram(path, QStringLiteral("300"), {});
        EXPECT_GT(pid, 0);
        FStarted << pid;
        return pid;
    }

    QString FDir, FWork, FProbe, FPlainProbe, FOut;
    QList<qint64> FStarted;
};

QString canonical(const QString& dir) {
    return QFileInfo(dir).canonicalFilePath();
}

bool isGoneOrZombie(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close > 0 && text.mid(close + 2, 1) == "Z";
}

} // namespace

struct TStartCase {
    const char* Name;
    std::function<void(const QString& probe, const QString& plainProbe, const QString& work)> Start;
    QStringList Args;
    bool InWorkDir; // else in the probe's own directory
};

TEST_F(ProcessTest, CommandLineFormsAndWorkingDirectories) {
    const TStartCase cases[] = {
        {"LaunchProgram: quoted exe, one argument with a blank, nothing after",
         [](const QString& probe, const QString&, const QString&) {
             EXPECT_GT(LaunchProgram(probe, QStringLiteral("x y"), {}), 0);
         },
         {QStringLiteral("x y")},
         false},
        {"LaunchProgram: empty first argument, second split into words",
         [](const QString& probe, const QString&, const QString&) {
             EXPECT_GT(LaunchProgram(probe, {}, QStringLiteral("a \"b c\"  d")), 0);
         },
         {QString(), QStringLiteral("a"), QStringLiteral("b c"), QStringLiteral("d")},
         false},
        {"LaunchProgram: a path written with backslashes",
         [](const QString& probe, const QString&, const QString&) {
             QString windowsForm = probe;
             windowsForm.replace(u'/', u'\\');
             EXPECT_GT(LaunchProgram(windowsForm, QStringLiteral("p"), {}), 0);
         },
         {QStringLiteral("p")},
         false},
        {"LaunchProgram: shell syntax stays literal",
         [](const QString& probe, const QString&, const QString&) {
             EXPECT_GT(LaunchProgram(probe, QStringLiteral("$(touch pwned); `touch pwned`"),
                                     QStringLiteral("'x;touch pwned' >pwned")),
                       0);
         },
         {QStringLiteral("$(touch pwned); `touch pwned`"), QStringLiteral("'x;touch"),
          QStringLiteral("pwned'"), QStringLiteral(">pwned")},
         false},
        {"RunWithToken: quoted program, words, a working directory",
         [](const QString& probe, const QString&, const QString& work) {
             int error = -1;
             EXPECT_GT(RunWithToken(u'"' + probe + QStringLiteral("\" one \"two three\""), true,
                                    error, false, work, false),
                       0);
             EXPECT_EQ(error, 0);
         },
         {QStringLiteral("one"), QStringLiteral("two three")},
         true},
        {"RunWithToken: an unquoted path with a blank that names a file",
         [](const QString& probe, const QString&, const QString& work) {
             int error = -1;
             EXPECT_GT(RunWithToken(probe, false, error, true, work, false), 0);
             EXPECT_EQ(error, 0);
         },
         {},
         true},
        {"RunWithOwnToken: program and words",
         [](const QString&, const QString& plainProbe, const QString& work) {
             EXPECT_GT(RunWithOwnToken(plainProbe + QStringLiteral(" a b"), false, work, false), 0);
         },
         {QStringLiteral("a"), QStringLiteral("b")},
         true},
        {"ShellExecuteOpen: parameters split into words, its directory",
         [](const QString& probe, const QString&, const QString& work) {
             EXPECT_GT(ShellExecuteOpen(probe, QStringLiteral("p \"q r\""), work, SW_HIDE), 32);
         },
         {QStringLiteral("p"), QStringLiteral("q r")},
         true},
    };
    const QString startDir = QDir::currentPath();
    QDir::setCurrent(FDir); // where an inherited directory would show
    for (const TStartCase& c : cases) {
        SCOPED_TRACE(c.Name);
        c.Start(FProbe, FPlainProbe, FWork);
        const TProbeReport report = takeReport();
        EXPECT_EQ(report.Args, c.Args);
        EXPECT_EQ(report.Cwd, canonical(c.InWorkDir ? FWork : FDir));
    }
    QDir::setCurrent(startDir);
    EXPECT_FALSE(QFileInfo::exists(FDir + QStringLiteral("/pwned")));
    EXPECT_FALSE(QFileInfo::exists(FWork + QStringLiteral("/pwned")));
}

TEST_F(ProcessTest, ShellOpenRunsScriptsWithTheirInterpreter) {
    // Neither file is executable: one names its interpreter, the other is a plain .sh script.
    const QString withLine = FWork + QStringLiteral("/with-line");
    WriteScript(withLine, ProbeScript, QFile::ReadOwner | QFile::WriteOwner);
    const QString bare = FWork + QStringLiteral("/bare.sh");
    WriteScript(bare, ProbeScript.mid(ProbeScript.indexOf('\n') + 1),
                QFile::ReadOwner | QFile::WriteOwner);
    for (const QString& script : {withLine, bare}) {
        SCOPED_TRACE(script.toStdString());
        EXPECT_GT(ShellOpen(script, SW_HIDE), 32);
        EXPECT_EQ(takeReport().Args, QStringList());
    }
}

TEST_F(ProcessTest, RunWithTokenWaitsForTheExitCodeWhenAsked) {
    const QString script = FWork + QStringLiteral("/exit7.sh");
    WriteScript(script, "#!/bin/sh\nexit 7\n");
    int error = -1;
    EXPECT_EQ(RunWithToken(script, true, error, false, {}, true), 7);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(RunWithOwnToken(script, false, {}, true), 7);
}

TEST_F(ProcessTest, FailedStartsGiveTheSystemErrorNumbers) {
    const QString document = FWork + QStringLiteral("/notes.txt");
    WriteTestFile(document, "just text\n");
    const QString noExec = FWork + QStringLiteral("/noexec");
    QFile::copy(QStandardPaths::findExecutable(QStringLiteral("true")), noExec);
    QFile::setPermissions(noExec, QFile::ReadOwner | QFile::WriteOwner);
    struct {
        QString CommandLine;
        QString WorkingDir;
        int Error;
    } const cases[] = {
        {FWork + QStringLiteral("/missing"), {}, ERROR_FILE_NOT_FOUND},
        {FProbe, FWork + QStringLiteral("/no such dir"), ERROR_DIRECTORY},
        {document, {}, ERROR_BAD_EXE_FORMAT},
        {QStringLiteral("   "), {}, ERROR_FILE_NOT_FOUND},
        {noExec, {}, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.CommandLine.toStdString());
        int error = 0;
        EXPECT_EQ(RunWithToken(c.CommandLine, true, error, false, c.WorkingDir, false), 0);
        EXPECT_EQ(error, c.Error);
    }
    EXPECT_EQ(LaunchProgram(FWork + QStringLiteral("/missing"), {}, {}), 0);
    EXPECT_EQ(ShellOpen(FWork + QStringLiteral("/missing"), SW_SHOWNORMAL), SE_ERR_FNF);
    EXPECT_EQ(ShellOpen(FWork + QStringLiteral("/no dir/missing"), SW_SHOWNORMAL), SE_ERR_PNF);
    EXPECT_EQ(ShellOpen({}, SW_SHOWNORMAL), SE_ERR_FNF);
}

TEST_F(ProcessTest, StartedProcessesAreDetachedAndLeaveNoChild) {
    const qint64 pid = startSleeper(FWork + QStringLiteral("/napper"));
    ASSERT_GT(pid, 0);
    EXPECT_NE(getsid(pid_t(pid)), getsid(0));
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    ASSERT_TRUE(status.open(QIODevice::ReadOnly));
    const QByteArray text = status.readAll();
    EXPECT_FALSE(text.contains("\nPPid:\t" + QByteArray::number(getpid()) + '\n'));
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProcessTest, UrlsDocumentsAndFoldersGoToTheDesktopOpener) {
    TOpenerStandIn opener(FEnv);
    const QString document = FWork + QStringLiteral("/read me.txt");
    WriteTestFile(document, "text\n");
    const struct {
        QString Target;
        QString Opened;
    } cases[] = {
        {QStringLiteral("http://example.invalid/a?b=1&c=$HOME"),
         QStringLiteral("http://example.invalid/a?b=1&c=$HOME")},
        {document, document},
        {FWork, FWork},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Target.toStdString());
        EXPECT_GT(ShellOpen(c.Target, SW_SHOWNORMAL), 32);
        EXPECT_EQ(opener.TakeArguments(), QStringList{c.Opened});
    }
    OpenUrlMaximized(QStringLiteral("https://example.invalid/max"));
    EXPECT_EQ(opener.TakeArguments(), QStringList{QStringLiteral("https://example.invalid/max")});

    FEnv.Set("PATH", FEnv.Root() + QStringLiteral("/empty-bin"));
    EXPECT_EQ(ShellOpen(QStringLiteral("http://example.invalid/"), SW_SHOWNORMAL), SE_ERR_NOASSOC);
}

TEST_F(ProcessTest, StartsAsTheDesktopUserOnlyWhenAskedAndKnown) {
    if (geteuid() != 0)
        GTEST_SKIP() << "changing users needs root";
    const passwd* nobody = getpwuid(65534);
    ASSERT_NE(nobody, nullptr);
    // The other user needs a way in: the private test folders are closed to it, so the probe
    // and its report live in a world-writable folder of their own.
    QTemporaryDir shared(QStringLiteral("/tmp/oneclick-desktop-user-XXXXXX"));
    ASSERT_TRUE(shared.isValid());
    QFile::setPermissions(shared.path(), QFile::Permissions(0x7755));
    const QString open = shared.path() + QStringLiteral("/open");
    QDir().mkpath(open);
    QFile::setPermissions(open, QFile::Permissions(0x7777));
    const QString probe = open + QStringLiteral("/probe.sh");
    WriteScript(probe, ProbeScript, QFile::Permissions(0x7755));
    FOut = open + QStringLiteral("/report");
    FEnv.Set("OC_PROBE_OUT", FOut);
    const QString sessions = FEnv.SystemRoot() + QStringLiteral("/run/systemd/sessions");

    const struct {
        const char* Name;
        QString SudoUid;
        QByteArray Session;
        bool OwnToken;
        uid_t Uid;
    } cases[] = {
        {"sudo user", QStringLiteral("65534"), {}, false, 65534},
        {"own token despite a sudo user", QStringLiteral("65534"), {}, true, 0},
        {"no desktop user known", {}, {}, false, 0},
        {"owner of the graphical session", {}, "UID=65534\nTYPE=x11\nACTIVE=1\n", false, 65534},
        {"a text console is no desktop", {}, "UID=65534\nTYPE=tty\nACTIVE=1\n", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        FEnv.Set("SUDO_UID", c.SudoUid);
        QDir(sessions).removeRecursively();
        if (!c.Session.isEmpty())
            WriteTestFile(sessions + QStringLiteral("/c1"), c.Session);
        int error = -1;
        EXPECT_GT(RunWithToken(probe, c.OwnToken, error, true, open, false), 0);
        EXPECT_EQ(error, 0);
        const TProbeReport report = takeReport();
        EXPECT_EQ(report.Uid, QString::number(c.Uid));
        if (c.Uid == 65534) {
            EXPECT_EQ(report.Home, QString::fromLocal8Bit(nobody->pw_dir));
        }
    }
}

TEST_F(ProcessTest, FindAndKillByImageName) {
    const QString tag = QString::number(getpid());
    const QString upper = QStringLiteral("OCPROBE%1.exe").arg(tag);
    const QString blank = QStringLiteral(" ocprobe%1.exe").arg(tag);
    const qint64 first = startSleeper(FWork + u'/' + upper);
    const qint64 second = startSleeper(FWork + QStringLiteral("/other/") + blank);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);

    EXPECT_EQ(FindProcessByName(QStringLiteral("ocprobe%1.EXE").arg(tag)), first);
    EXPECT_EQ(FindProcessByName(blank), second);
    EXPECT_EQ(FindProcessByName(QStringLiteral("ocprobe%1").arg(tag)), 0);

    // A name with a directory part matches nothing.
    EXPECT_TRUE(KillProcessesByName(QStringLiteral("common\\ocprobe%1.exe").arg(tag)));
    EXPECT_FALSE(isGoneOrZombie(first));
    EXPECT_FALSE(isGoneOrZombie(second));

    EXPECT_TRUE(KillProcessesByName(QStringLiteral("ocprobe%1.EXE").arg(tag)));
    EXPECT_TRUE(WaitUntil([&] { return isGoneOrZombie(first) && isGoneOrZombie(second); }));
    EXPECT_EQ(FindProcessByName(upper), 0);
    EXPECT_EQ(FindProcessByName(blank), 0);
}

TEST_F(ProcessTest, KillingByTheInstallersOwnNameSparesTheInstaller) {
    const QString own = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (qEnvironmentVariableIsSet("OC_OWN_NAME_CHILD")) {
        EXPECT_EQ(FindProcessByName(QFileInfo(own).fileName()), getpid());
        EXPECT_TRUE(KillProcessesByName(QFileInfo(own).fileName()));
        EXPECT_TRUE(KillProcessesByName(QStringLiteral("no-such-program-%1").arg(getpid())));
        return;
    }
    // Other cases of this program run beside this one under the same name, so the check runs
    // in a copy of it whose name nothing else has.
    const QString copy = FWork + QStringLiteral("/ocself%1").arg(getpid());
    ASSERT_TRUE(QFile::copy(own, copy));
    FEnv.Set("OC_OWN_NAME_CHILD", QStringLiteral("1"));
    const TProgramRun run = RunProgram(
        copy, {QStringLiteral("--gtest_filter=ProcessTest.KillingByTheInstallersOwnNameSparesTheInstaller")});
    EXPECT_EQ(run.Code, 0) << run.Out.toStdString();
    EXPECT_TRUE(run.Out.contains(QStringLiteral("[  PASSED  ] 1 test"))) << run.Out.toStdString();
}

TEST_F(ProcessTest, EnablePrivilegeNeedsAProcessAndAName) {
    EXPECT_TRUE(EnablePrivilege(CurrentProcessHandle(), QStringLiteral("SeDebugPrivilege")));
    EXPECT_FALSE(EnablePrivilege(0, QStringLiteral("SeDebugPrivilege")));
    EXPECT_FALSE(EnablePrivilege(CurrentProcessHandle(), {}));
}
