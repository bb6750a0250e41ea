// The uninstaller's guard against emptying a person's or the system's folders: which
// directories count as protected, and that a refused delete leaves every file in place.
#include "platform/SafeDelete.h"
#include "platform/Drives.h"
#include "base/Locations.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

class SafeDeleteTest : public TIsolatedTest {
protected:
    void SetUp() override {
        // A configured Downloads folder under a name of its own.
        WriteTestFile(FEnv.ConfigHome() + QStringLiteral("/user-dirs.dirs"),
                      "XDG_DOWNLOAD_DIR=\"$HOME/Telechargements\"\n"
                      "XDG_MUSIC_DIR=\"$HOME/Sound\"\n");
        QDir().mkpath(FEnv.Home() + QStringLiteral("/Telechargements"));
        QDir().mkpath(FEnv.Home() + QStringLiteral("/Documents"));
    }

    // "~" stands for the home folder, "@" for the test's root, "^" for the system prefix.
    QString expand(const char* Path) const {
        QString P = QString::fromUtf8(Path);
        if (P.startsWith(u'~'))
            return FEnv.Home() + P.mid(1);
        if (P.startsWith(u'@'))
            return FEnv.Root() + P.mid(1);
        if (P.startsWith(u'^'))
            return FEnv.SystemRoot() + P.mid(1);
        return P;
    }
};

struct TCase {
    const char* Path;
    bool Protected;
};

TEST_F(SafeDeleteTest, ProtectsPersonalAndSystemFoldersOnly) {
    const TCase Cases[] = {
        {"", true},
        {"relative/Product", true},
        {"/", true},
        {"~", true},
        {"~/", true},
        {"~/.", true},
        {"~/Documents", true},
        {"~/Desktop", true},
        {"~/Downloads", true},       // default name, not configured here
        {"~/Telechargements", true}, // configured name
        {"~/Sound", true},
        {"~/Templates/../Public", true},
        {"~/.config", true},
        {"~/.local", true},
        {"~/.local/share", true},
        {"~/.local/share/applications", true},
        {"~/.cache", true},
        {"~/..", true}, // holds the home folder
        {"@", true},
        {"^", true},
        {"^/usr", true},
        {"^/etc", true},
        {"^/opt", true},
        {"^/var/lib", true},
        {"/usr", true},
        {"/etc", true},
        {"/tmp", true},
        {"/var", true},
        {"/usr/share", true},
        {"/usr\\bin", true},
        {"~/.local/share/Product", false},
        {"~\\.local\\share\\Product", false},
        {"~/.config/Product", false},
        {"~/Documents/Product", false},
        {"~/Telechargements/Product", false},
        {"^/opt/Product", false},
        {"@/elsewhere/Product", false},
    };
    for (const TCase& C : Cases)
        EXPECT_EQ(IsProtectedDirectory(expand(C.Path)), C.Protected) << C.Path;
}

TEST_F(SafeDeleteTest, LinksAreJudgedByWhereTheyLead) {
    const QString LinkToHome = FEnv.Root() + QStringLiteral("/link-home");
    const QString LinkToProduct = FEnv.Root() + QStringLiteral("/link-product");
    const QString Product = FEnv.DataHome() + QStringLiteral("/Product");
    ASSERT_TRUE(QDir().mkpath(Product));
    ASSERT_TRUE(QFile::link(FEnv.Home(), LinkToHome));
    ASSERT_TRUE(QFile::link(Product, LinkToProduct));
    EXPECT_TRUE(IsProtectedDirectory(LinkToHome));
    EXPECT_TRUE(IsProtectedDirectory(LinkToHome + QStringLiteral("/Documents")));
    EXPECT_FALSE(IsProtectedDirectory(LinkToProduct));
}

TEST_F(SafeDeleteTest, MountPointsAreProtected) {
    const QString Drive = DriveOfPath(FEnv.Root());
    ASSERT_FALSE(Drive.isEmpty());
    EXPECT_TRUE(IsProtectedDirectory(Drive));
    const QString Shm = QStringLiteral("/dev/shm");
    if (DriveOfPath(Shm) == Shm) {
        EXPECT_TRUE(IsProtectedDirectory(Shm));
    }
}

TEST_F(SafeDeleteTest, RefusedDeleteLeavesEveryFile) {
    const QString Kept = FEnv.Home() + QStringLiteral("/Documents/letter.txt");
    const QString KeptTop = FEnv.Home() + QStringLiteral("/notes.txt");
    WriteTestFile(Kept, "dear");
    WriteTestFile(KeptTop, "todo");
    EXPECT_EQ(SafeDeleteDirContents(FEnv.Home(), true), TSafeDeleteResult::Refused);
    EXPECT_EQ(SafeDeleteDirContents(FEnv.Home() + QStringLiteral("/Documents"), false),
              TSafeDeleteResult::Refused);
    EXPECT_EQ(ReadTestFile(Kept), "dear");
    EXPECT_EQ(ReadTestFile(KeptTop), "todo");
}

TEST_F(SafeDeleteTest, ProductFolderIsEmptiedAndStays) {
    const QString Product = FEnv.DataHome() + QStringLiteral("/Product");
    WriteTestFile(Product + QStringLiteral("/app.exe"), "x");
    WriteTestFile(Product + QStringLiteral("/common/lib.so"), "y");
    EXPECT_EQ(SafeDeleteDirContents(Product, false), TSafeDeleteResult::Incomplete);
    EXPECT_FALSE(QFileInfo::exists(Product + QStringLiteral("/app.exe")));
    EXPECT_TRUE(QFileInfo::exists(Product + QStringLiteral("/common/lib.so")));
    EXPECT_EQ(SafeDeleteDirContents(Product + QStringLiteral("\\"), true),
              TSafeDeleteResult::Deleted);
    EXPECT_TRUE(QDir(Product).isEmpty());
    EXPECT_TRUE(QFileInfo(Product).isDir());
}

} // namespace
