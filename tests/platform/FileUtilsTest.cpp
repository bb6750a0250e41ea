// File-system helpers: separators, free space, the private temporary directory, the
// installer's own location, deleting files and trees (dot-files kept, links never followed)
// and copying over a file.
#include "platform/FileUtils.h"
#include "base/Exception.h"
#include "base/RunningExe.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileUtilsTest : public TIsolatedTest {
protected:
    void TearDown() override { SetRunningExePath({}); }

    QString path(const QString& relative) const { return FEnv.Root() + u'/' + relative; }
    bool exists(const QString& relative) const {
        return QFileInfo(path(relative)).exists() || QFileInfo(path(relative)).isSymLink();
    }
};

mode_t modeOf(const QString& path) {
    struct stat st;
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

uid_t ownerOf(const QString& path) {
    struct stat st;
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_uid : uid_t(-1);
}

} // namespace

TEST(NativePathTest, ReadsBackslashesAsSeparators) {
    EXPECT_EQ(NativePath(QStringLiteral("common\\app.exe")), QStringLiteral("common/app.exe"));
    EXPECT_EQ(NativePath(QStringLiteral("/opt/App\\\\bin/x")), QStringLiteral("/opt/App//bin/x"));
    EXPECT_EQ(NativePath(QStringLiteral("/already/native")), QStringLiteral("/already/native"));
}

TEST(BytesToWholeMiBTest, RoundsDownAndCaps) {
    const std::uint64_t mib = 1024 * 1024;
    EXPECT_EQ(BytesToWholeMiB(200 * mib + mib * 9 / 10), 200);
    EXPECT_EQ(BytesToWholeMiB(200 * mib), 200);
    EXPECT_EQ(BytesToWholeMiB(200 * mib - 1), 199);
    EXPECT_EQ(BytesToWholeMiB(0), 0);
    EXPECT_EQ(BytesToWholeMiB(std::uint64_t(1) << 62), INT_MAX);
}

TEST_F(FileUtilsTest, FreeSpaceIsWhatTheCallerMayUse) {
    int freeMB = -1;
    ASSERT_TRUE(GetDiskFreeSpaceMB(FEnv.Tmp(), freeMB));
    const auto expected = std::filesystem::space(FEnv.Tmp().toStdString()).available >> 20;
    // Other programs write meanwhile; the figure only has to be the same measure.
    EXPECT_NEAR(double(freeMB), double(expected), 64.0);

    freeMB = 99;
    EXPECT_FALSE(GetDiskFreeSpaceMB(path(QStringLiteral("missing/dir")), freeMB));
    EXPECT_EQ(freeMB, 0);
}

TEST_F(FileUtilsTest, TempDirIsPrivateAndStable) {
    const QString dir = GetTempDir();
    ASSERT_TRUE(dir.endsWith(u'/'));
    EXPECT_TRUE(dir.startsWith(FEnv.Tmp() + u'/'));
    EXPECT_TRUE(QFileInfo(dir).isDir());
    EXPECT_EQ(modeOf(dir), mode_t(0700));
    EXPECT_EQ(ownerOf(dir), geteuid());
    EXPECT_EQ(GetTempDir(), dir);
}

TEST_F(FileUtilsTest, TempDirRefusesADirectoryThatIsNotPrivate) {
    const QString fixed = GetTempDir();
    const QString fixedPath = fixed.chopped(1);
    const QString elsewhere = path(QStringLiteral("elsewhere"));
    QDir().mkpath(elsewhere);
    chmod(QFile::encodeName(elsewhere).constData(), 0700);

    struct {
        const char* Name;
        std::function<bool()> Spoil; // false: not possible here
    } const cases[] = {
        {"open to everyone", [&] { return chmod(QFile::encodeName(fixedPath), 0777) == 0; }},
        {"readable by the group", [&] { return chmod(QFile::encodeName(fixedPath), 0750) == 0; }},
        {"a link to a private folder",
         [&] {
             return rmdir(QFile::encodeName(fixedPath)) == 0 &&
                    symlink(QFile::encodeName(elsewhere), QFile::encodeName(fixedPath)) == 0;
         }},
        {"owned by another user",
         [&] { return geteuid() == 0 && chown(QFile::encodeName(fixedPath), 65534, 65534) == 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        // Start each case from a clean, correct directory of the expected name.
        unlink(QFile::encodeName(fixedPath));
        QDir(fixedPath).removeRecursively();
        ASSERT_EQ(GetTempDir(), fixed);
        if (!c.Spoil())
            continue;
        const mode_t spoiledMode = modeOf(fixedPath);
        const QString fresh = GetTempDir();
        EXPECT_NE(fresh, fixed);
        EXPECT_TRUE(fresh.startsWith(FEnv.Tmp() + u'/'));
        EXPECT_EQ(modeOf(fresh), mode_t(0700));
        EXPECT_EQ(ownerOf(fresh), geteuid());
        EXPECT_EQ(GetTempDir(), fresh);
        // The refused directory is left as it was.
        EXPECT_EQ(modeOf(fixedPath), spoiledMode);
        EXPECT_TRUE(QDir(elsewhere).isEmpty());
    }
}

TEST_F(FileUtilsTest, ExeDirAndFileNameComeFromTheRunningExecutable) {
    SetRunningExePath(QStringLiteral("/opt/My App/setup_abc.exe"));
    EXPECT_EQ(GetExeDir(), QStringLiteral("/opt/My App/"));
    EXPECT_EQ(GetExeFileName(), QStringLiteral("setup_abc.exe"));
    SetRunningExePath(QStringLiteral("C:\\P\\unin.exe"));
    EXPECT_EQ(GetExeDir(), QStringLiteral("C:/P/"));
    EXPECT_EQ(GetExeFileName(), QStringLiteral("unin.exe"));
}

TEST_F(FileUtilsTest, ForceDeleteFileDeletesFilesAndLinksOnly) {
    WriteTestFile(path(QStringLiteral("ro.txt")), "x");
    chmod(QFile::encodeName(path(QStringLiteral("ro.txt"))), 0444);
    EXPECT_TRUE(ForceDeleteFile(path(QStringLiteral("ro.txt"))));
    EXPECT_FALSE(exists(QStringLiteral("ro.txt")));

    WriteTestFile(path(QStringLiteral("d/kept.txt")), "x");
    QFile::link(path(QStringLiteral("d")), path(QStringLiteral("link")));
    EXPECT_TRUE(ForceDeleteFile(path(QStringLiteral("link"))));
    EXPECT_FALSE(exists(QStringLiteral("link")));
    EXPECT_TRUE(exists(QStringLiteral("d/kept.txt")));

    EXPECT_FALSE(ForceDeleteFile(path(QStringLiteral("d"))));
    EXPECT_TRUE(exists(QStringLiteral("d")));
    EXPECT_FALSE(ForceDeleteFile(path(QStringLiteral("missing"))));

    WriteTestFile(path(QStringLiteral("d/win.txt")), "x");
    EXPECT_TRUE(ForceDeleteFile(FEnv.Root() + QStringLiteral("\\d\\win.txt")));
    EXPECT_FALSE(exists(QStringLiteral("d/win.txt")));
}

TEST_F(FileUtilsTest, CopyFileOverReplacesTheTargetAndKeepsTheModes) {
    WriteTestFile(path(QStringLiteral("src/setup.exe")), "new program");
    chmod(QFile::encodeName(path(QStringLiteral("src/setup.exe"))), 0755);
    WriteTestFile(path(QStringLiteral("dst/unin.exe")), "an old and longer program");
    EXPECT_TRUE(CopyFileOver(path(QStringLiteral("src/setup.exe")),
                             FEnv.Root() + QStringLiteral("\\dst\\unin.exe")));
    EXPECT_EQ(ReadTestFile(path(QStringLiteral("dst/unin.exe"))), "new program");
    EXPECT_EQ(modeOf(path(QStringLiteral("dst/unin.exe"))), mode_t(0755));
    EXPECT_EQ(QDir(path(QStringLiteral("dst")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("unin.exe")});

    // A link at the target is replaced, not written through.
    WriteTestFile(path(QStringLiteral("victim.txt")), "keep");
    QFile::link(path(QStringLiteral("victim.txt")), path(QStringLiteral("dst/linked.exe")));
    EXPECT_TRUE(CopyFileOver(path(QStringLiteral("src/setup.exe")),
                             path(QStringLiteral("dst/linked.exe"))));
    EXPECT_EQ(ReadTestFile(path(QStringLiteral("victim.txt"))), "keep");
    EXPECT_EQ(ReadTestFile(path(QStringLiteral("dst/linked.exe"))), "new program");

    EXPECT_FALSE(
        CopyFileOver(path(QStringLiteral("src/missing")), path(QStringLiteral("dst/unin.exe"))));
    EXPECT_EQ(ReadTestFile(path(QStringLiteral("dst/unin.exe"))), "new program");
    EXPECT_FALSE(
        CopyFileOver(path(QStringLiteral("src/setup.exe")), path(QStringLiteral("no/such/dir/x"))));
}

TEST_F(FileUtilsTest, DeleteDirContentsKeepsDotNames) {
    struct {
        bool Recurse;
        bool Result;
        bool SubStays;
    } const cases[] = {{true, true, false}, {false, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Recurse);
        const QString dir = path(QStringLiteral("product"));
        QDir(dir).removeRecursively();
        WriteTestFile(dir + QStringLiteral("/.config"), "keep");
        WriteTestFile(dir + QStringLiteral("/.cache/x"), "keep");
        WriteTestFile(dir + QStringLiteral("/a.txt"), "go");
        WriteTestFile(dir + QStringLiteral("/sub/b.txt"), "go");
        WriteTestFile(dir + QStringLiteral("/sub/.hidden/c"), "goes with sub");
        chmod(QFile::encodeName(dir + QStringLiteral("/sub/b.txt")), 0400);

        EXPECT_EQ(DeleteDirContents(dir, c.Recurse), c.Result);
        EXPECT_TRUE(exists(QStringLiteral("product/.config")));
        EXPECT_TRUE(exists(QStringLiteral("product/.cache/x")));
        EXPECT_FALSE(exists(QStringLiteral("product/a.txt")));
        EXPECT_EQ(exists(QStringLiteral("product/sub/b.txt")), c.SubStays);
        EXPECT_EQ(exists(QStringLiteral("product/sub/.hidden/c")), c.SubStays);
        EXPECT_TRUE(exists(QStringLiteral("product")));
    }
    EXPECT_TRUE(DeleteDirContents(path(QStringLiteral("missing")), true));
}

TEST_F(FileUtilsTest, DeleteDirTreeRemovesEverythingWithoutMovingTheCurrentDirectory) {
    const QString tree = path(QStringLiteral("tree"));
    WriteTestFile(tree + QStringLiteral("/a"), "1");
    WriteTestFile(tree + QStringLiteral("/.dot"), "2");
    WriteTestFile(tree + QStringLiteral("/x/y/z/deep"), "3");
    QDir().mkpath(tree + QStringLiteral("/empty"));
    const QString cwd = QDir::currentPath();

    EXPECT_TRUE(DeleteDirTree(FEnv.Root() + QStringLiteral("\\tree")));
    EXPECT_FALSE(exists(QStringLiteral("tree")));
    EXPECT_EQ(QDir::currentPath(), cwd);

    EXPECT_FALSE(DeleteDirTree(path(QStringLiteral("missing"))));
    WriteTestFile(path(QStringLiteral("file")), "x");
    EXPECT_FALSE(DeleteDirTree(path(QStringLiteral("file"))));
    EXPECT_TRUE(exists(QStringLiteral("file")));
}

TEST_F(FileUtilsTest, DeletionNeverFollowsLinksOutOfTheTree) {
    const QString outside = path(QStringLiteral("outside"));
    WriteTestFile(outside + QStringLiteral("/precious"), "keep");
    WriteTestFile(outside + QStringLiteral("/sub/precious"), "keep");
    const auto makeTree = [&](const QString& tree) {
        WriteTestFile(tree + QStringLiteral("/own"), "go");
        WriteTestFile(tree + QStringLiteral("/nested/own"), "go");
        QFile::link(outside, tree + QStringLiteral("/dirlink"));
        QFile::link(outside + QStringLiteral("/precious"), tree + QStringLiteral("/filelink"));
        QFile::link(outside, tree + QStringLiteral("/nested/dirlink"));
    };
    const auto outsideIntact = [&] {
        return ReadTestFile(outside + QStringLiteral("/precious")) == "keep" &&
               ReadTestFile(outside + QStringLiteral("/sub/precious")) == "keep";
    };

    makeTree(path(QStringLiteral("tree")));
    EXPECT_TRUE(DeleteDirTree(path(QStringLiteral("tree"))));
    EXPECT_FALSE(exists(QStringLiteral("tree")));
    EXPECT_TRUE(outsideIntact());

    makeTree(path(QStringLiteral("contents")));
    EXPECT_TRUE(DeleteDirContents(path(QStringLiteral("contents")), true));
    EXPECT_TRUE(
        QDir(path(QStringLiteral("contents")))
            .isEmpty(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_TRUE(outsideIntact());

    // A link given as the tree itself is not walked.
    QFile::link(outside, path(QStringLiteral("toplink")));
    EXPECT_FALSE(DeleteDirTree(path(QStringLiteral("toplink"))));
    EXPECT_TRUE(exists(QStringLiteral("toplink")));
    EXPECT_TRUE(outsideIntact());
}

TEST_F(FileUtilsTest, DeleteDirTreeRaisesWhenASubdirectoryCannotBeOpened) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root opens every directory";
    const QString tree = path(QStringLiteral("tree"));
    WriteTestFile(tree + QStringLiteral("/locked/x"), "x");
    chmod(QFile::encodeName(tree + QStringLiteral("/locked")), 0);
    EXPECT_THROW(DeleteDirTree(tree), EInOutError);
    chmod(QFile::encodeName(tree + QStringLiteral("/locked")), 0700);
}
