// oneclick-build package as a maker uses it: the package it writes holds the folder's tree with
// its modes, folders and links, every file encrypted by the chosen method, and extracts the
// same with the installer's own extraction and with 7z; bad invocations write nothing.
#include "package/MyZip.h"

#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace fs = std::filesystem;

namespace {
const QString Password = "161803";

// Every path below dir: a file's permission bits and contents, a link's target, or a folder.
std::map<std::string, std::string> Tree(const QString& dir) {
    std::map<std::string, std::string> tree;
    const fs::path root = dir.toStdString();
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        struct stat st;
        lstat(entry.path().c_str(), &st);
        std::string node;
        if (S_ISLNK(st.st_mode))
            node = "link " + fs::read_symlink(entry.path()).string();
        else if (S_ISDIR(st.st_mode))
            node = "dir"; // extracted folders are 0755 whatever the source's umask
        else
            node = std::to_string(st.st_mode & 0777) + " " +
                   ReadTestFile(QString::fromStdString(entry.path().string())).toStdString();
        tree[entry.path().lexically_relative(root).string()] = node;
    }
    return tree;
}

// The encryption method of every entry of an archive, by name.
std::map<std::string, int> Encryption(const QString& zip) {
    std::map<std::string, int> methods;
    zip_t* archive = zip_open(QFile::encodeName(zip).constData(), ZIP_RDONLY, nullptr);
    if (!archive)
        return methods;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, i, 0, &st) == 0)
            methods[st.name] = st.encryption_method;
    }
    zip_discard(archive);
    return methods;
}

class BuildPackageTest : public TIsolatedTest {
protected:
    QString FDir = FEnv.Root() + "/product";
    QString FZip = FEnv.Root() + "/out/package.zip";
    QString FTarget = FEnv.Root() + "/target";

    void SetUp() override {
        const struct {
            const char* Path;
            QByteArray Data;
            unsigned Mode;
        } files[] = {
            {"bin/app", "#!/bin/sh\necho app\n", 0755},
            {"lib/data.bin", QByteArray(200 * 1024, 'd') + "end", 0644},
            {"etc/private.conf", "secret=1\n", 0600},
            {"readme.txt", "read me\n", 0444},
        };
        for (const auto& file : files) {
            const QString path = FDir + "/" + file.Path;
            WriteTestFile(path, file.Data);
            chmod(QFile::encodeName(path).constData(), file.Mode);
        }
        QDir().mkpath(FDir + "/empty/folder");
        symlink("bin/app", QFile::encodeName(FDir + "/app-link").constData());
        QDir().mkpath(FEnv.Root() + "/out");
    }

    int build(const QStringList& args, QString* err = nullptr) {
        QProcess process;
        process.start(BuiltProgram("tools/oneclick-build/oneclick-build"), QStringList{"package"} + args);
        if (!process.waitForFinished(120000))
            return -1;
        if (err)
            *err = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};
} // namespace

TEST_F(BuildPackageTest, PackageExtractsToTheSameTreeByEitherMethod) {
    const struct {
        QStringList Method;
        int Encryption;
    } cases[] = {
        {{}, ZIP_EM_AES_256},
        {{"--method", "aes256"}, ZIP_EM_AES_256},
        {{"--method", "zipcrypto"}, ZIP_EM_TRAD_PKWARE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Method.join(' ').toStdString());
        QDir(FTarget).removeRecursively();
        ASSERT_EQ(build(QStringList{FDir, "-o", FZip, "--password", Password} + c.Method), 0);

        for (const auto& [name, method] : Encryption(FZip))
            EXPECT_EQ(method, name.ends_with('/') ? ZIP_EM_NONE : c.Encryption) << name;
        EXPECT_EQ(Encryption(FZip).size(), 10u); // 5 folders, 4 files, 1 link

        EXPECT_FALSE(UnzipWithPassword(FZip, FTarget, "000000", {}));
        ASSERT_TRUE(UnzipWithPassword(FZip, FTarget, Password, {}));
        EXPECT_EQ(Tree(FTarget), Tree(FDir));
    }
}

TEST_F(BuildPackageTest, SevenZipReadsTheAesPackage) {
    if (QStandardPaths::findExecutable("7z").isEmpty())
        GTEST_SKIP() << "7z is not installed";
    ASSERT_EQ(build({FDir, "-o", FZip, "--password", Password}), 0);
    QProcess sevenZip;
    sevenZip.start("7z", {"x", "-p" + Password, "-o" + FTarget, FZip});
    ASSERT_TRUE(sevenZip.waitForFinished(60000));
    ASSERT_EQ(sevenZip.exitCode(), 0) << sevenZip.readAllStandardOutput().toStdString();
    EXPECT_EQ(Tree(FTarget), Tree(FDir));
}

TEST_F(BuildPackageTest, DefaultPasswordIsNotAnEmptyOne) {
    ASSERT_EQ(build({FDir, "-o", FZip}), 0);
    for (const auto& [name, method] : Encryption(FZip))
        EXPECT_EQ(method, name.ends_with('/') ? ZIP_EM_NONE : ZIP_EM_AES_256) << name;
    EXPECT_FALSE(UnzipWithPassword(FZip, FTarget, "", {}));
    EXPECT_FALSE(UnzipWithPassword(FZip, FTarget, Password, {}));
}

TEST_F(BuildPackageTest, EarlierPackageInsideTheFolderIsNotPackedAgain) {
    const QString inside = FDir + "/package.zip";
    WriteTestFile(inside, "an earlier package");
    ASSERT_EQ(build({FDir, "-o", inside, "--password", Password}), 0);
    EXPECT_EQ(Encryption(inside).count("package.zip"), 0u);
    EXPECT_EQ(Encryption(inside).count("bin/app"), 1u);
}

TEST_F(BuildPackageTest, BadInvocationsWriteNothing) {
    const QString missing = FEnv.Root() + "/no-such-folder";
    const struct {
        QStringList Args;
        int Exit;
    } cases[] = {
        {{}, 2},
        {{FDir}, 2},
        {{"-o", FZip}, 2},
        {{FDir, "-o"}, 2},
        {{FDir, "-o", FZip, "--method", "des"}, 2},
        {{FDir, "-o", FZip, "--password", ""}, 2},
        {{FDir, FDir, "-o", FZip}, 2},
        {{missing, "-o", FZip}, 1},
        {{FDir, "-o", missing + "/package.zip"}, 1},
    };
    for (const auto& c : cases) {
        QString err;
        EXPECT_EQ(build(c.Args, &err), c.Exit) << c.Args.join(' ').toStdString();
        EXPECT_FALSE(err.isEmpty());
        EXPECT_FALSE(QFile::exists(FZip));
    }
}
