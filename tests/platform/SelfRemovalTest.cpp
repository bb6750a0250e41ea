// The self-removal script: it deletes the file once no process runs it any more and then
// itself, it takes any path literally, and it is not written for a file that is not there.
#include "platform/SelfRemoval.h"
#include "platform/FileUtils.h"
#include "platform/Process.h"
#include "platform/ProcessTestSupport.h"
#include "base/RunningExe.h"

#include <QDir>
#include <QStandardPaths>
#include <csignal>

namespace {

class SelfRemovalTest : public TIsolatedTest {
protected:
    void TearDown() override { SetRunningExePath({}); }

    QStringList scripts() const {
        return QDir(GetTempDir()).entryList({QStringLiteral("*.sh")}, QDir::Files);
    }
};

} // namespace

TEST_F(SelfRemovalTest, NothingIsWrittenForAMissingFile) {
    const QStringList before = scripts();
    DeleteFileAfterExit(FEnv.Root() + QStringLiteral("/missing.exe"));
    EXPECT_EQ(scripts(), before);
}

TEST_F(SelfRemovalTest, WaitsForTheRunningProgramThenDeletesItAndItself) {
    const QString program = FEnv.Root() + QStringLiteral("/product/unin.exe");
    QDir().mkpath(FEnv.Root() + QStringLiteral("/product"));
    ASSERT_TRUE(QFile::copy(QStandardPaths::findExecutable(QStringLiteral("sleep")), program));
    const qint64 pid = LaunchProgram(program, QStringLiteral("300"), {});
    ASSERT_GT(pid, 0);

    SetRunningExePath(program);
    DeleteSelfAfterExit();
    ASSERT_EQ(scripts().size(), 1);
    // Give the script a few rounds: the file must stay while it runs.
    QThread::msleep(2500);
    EXPECT_TRUE(QFileInfo::exists(program));

    kill(pid_t(pid), SIGKILL);
    EXPECT_TRUE(WaitUntil([&] { return !QFileInfo::exists(program); }));
    EXPECT_TRUE(WaitUntil([&] { return scripts().isEmpty(); }));
}

TEST_F(SelfRemovalTest, AnyPathIsTakenLiterally) {
    const QString dir = FEnv.Root() + QStringLiteral("/dir 'q' \"dq\" $HOME");
    const QString target = dir + QStringLiteral("/it's \"x\" $(touch pwned) `id` \n end.exe");
    const QStringList bystanders = {QStringLiteral("it"),      QStringLiteral("s"),
                                    QStringLiteral("end.exe"), QStringLiteral("x"),
                                    QStringLiteral("$HOME"),   QStringLiteral(" end.exe")};
    WriteTestFile(target, "go");
    for (const QString& name : bystanders)
        WriteTestFile(dir + u'/' + name, "stay");
    WriteTestFile(FEnv.Home() + QStringLiteral("/stay"), "stay");

    DeleteFileAfterExit(target);
    EXPECT_TRUE(WaitUntil([&] { return !QFileInfo::exists(target); }));
    EXPECT_TRUE(WaitUntil([&] { return scripts().isEmpty(); }));
    for (const QString& name : bystanders)
        EXPECT_TRUE(QFileInfo::exists(dir + u'/' + name)) << name.toStdString();
    EXPECT_TRUE(QFileInfo::exists(FEnv.Home() + QStringLiteral("/stay")));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("pwned")));
    EXPECT_FALSE(QFileInfo::exists(dir + QStringLiteral("/pwned")));
}
