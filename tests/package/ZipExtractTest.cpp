// Package extraction as the installer sees it: the files, folders, modes and links that land in
// the target, for archives made by other tools and crafted ones (hostile names and links,
// damaged data, wrong passwords, a full disk), and the progress reports on the calling thread.
#include "package/MyZip.h"

#include "testsupport/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTimer>

#include <filesystem>
#include <map>
#include <sched.h>
#include <set>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <zip.h>

namespace fs = std::filesystem;

namespace {
const char* const Password = "314159";

// What a user finds at one path below a folder.
struct TNode {
    char Type = 'f'; // 'f' file, 'd' directory, 'l' link
    QByteArray Data; // file contents or link target
    unsigned Mode = 0;
    bool operator==(const TNode&) const = default;
};
using TTree = std::map<std::string, TNode>;

void PrintTo(const TNode& node, std::ostream* out) {
    *out << node.Type << ' ' << std::oct << node.Mode << std::dec << " \""
         << node.Data.left(40).toStdString() << '"';
}

TTree Snapshot(const QString& dir) {
    TTree tree;
    const fs::path root = dir.toStdString();
    if (!fs::exists(root))
        return tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        struct stat st;
        lstat(entry.path().c_str(), &st);
        TNode node;
        node.Mode = st.st_mode & 07777;
        const std::string path = entry.path().lexically_relative(root).string();
        if (S_ISLNK(st.st_mode)) {
            node.Type = 'l';
            node.Data = QByteArray::fromStdString(fs::read_symlink(entry.path()).string());
            node.Mode = 0;
        } else if (S_ISDIR(st.st_mode)) {
            node.Type = 'd';
        } else {
            node.Data = ReadTestFile(QString::fromStdString(entry.path().string()));
        }
        tree[path] = node;
    }
    return tree;
}

TTree FilesOnly(const TTree& tree) {
    TTree files;
    for (const auto& [path, node] : tree)
        if (node.Type != 'd')
            files[path] = node;
    return files;
}

bool HasTemporaryFiles(const TTree& tree) {
    for (const auto& [path, node] : tree)
        if (fs::path(path).filename().string().starts_with(".oneclick-"))
            return true;
    return false;
}

// An entry for a crafted archive; Mode carries the Unix type bits as zip writers store them.
struct TEntry {
    std::string Name;
    QByteArray Data;
    unsigned Mode = S_IFREG | 0644;
};

enum class TScheme { None, Traditional, Aes256 };

// Writes an archive with libzip, names exactly as given.
void WriteZip(const QString& path, const std::vector<TEntry>& entries, TScheme scheme,
              const char* password = Password, bool stored = false) {
    int error = 0;
    zip_t* archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr) << error;
    for (const TEntry& entry : entries) {
        // libzip frees a buffer it owns, except an empty one.
        void* copy = entry.Data.isEmpty() ? nullptr : malloc(entry.Data.size());
        if (copy)
            memcpy(copy, entry.Data.constData(), entry.Data.size());
        zip_source_t* source = zip_source_buffer(archive, copy, entry.Data.size(), copy ? 1 : 0);
        const zip_int64_t index =
            zip_file_add(archive, entry.Name.c_str(), source, ZIP_FL_ENC_UTF_8);
        ASSERT_GE(index, 0) << entry.Name << ": " << zip_strerror(archive);
        zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX, entry.Mode << 16);
        zip_set_file_compression(archive, index, stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
        if (scheme != TScheme::None && !S_ISDIR(entry.Mode))
            zip_file_set_encryption(archive, index,
                                    scheme == TScheme::Aes256 ? ZIP_EM_AES_256 : ZIP_EM_TRAD_PKWARE,
                                    password);
    }
    ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
}

QByteArray RandomBytes(qsizetype size) {
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(static_cast<quint32>(size));
    for (char& c : data)
        c = static_cast<char>(generator.generate());
    return data;
}

QByteArray TextBytes(qsizetype size) {
    QByteArray line = "the package carries text that compresses well, line after line\n";
    QByteArray data;
    while (data.size() < size)
        data += line;
    return data.left(size);
}

// Where an entry's raw data begins in an archive: behind its local header.
qsizetype DataOffset(const QByteArray& zip, const QByteArray& name) {
    for (qsizetype at = zip.indexOf("PK\x03\x04"); at >= 0;
         at = zip.indexOf("PK\x03\x04", at + 4)) {
        const auto u16 = [&](qsizetype pos) {
            return static_cast<uchar>(zip[pos]) | static_cast<uchar>(zip[pos + 1]) << 8;
        };
        const int nameSize = u16(at + 26), extraSize = u16(at + 28);
        if (zip.mid(at + 30, nameSize) == name)
            return at + 30 + nameSize + extraSize;
    }
    return -1;
}

class ZipExtractTest : public TIsolatedTest {
protected:
    QString FZip = FEnv.Root() + "/package.zip";
    QString FTarget = FEnv.Root() + "/target";
    std::vector<int> FPercents;

    bool unzip(const QString& password = Password, const QString& zip = QString()) {
        FPercents.clear();
        return UnzipWithPassword(zip.isEmpty() ? FZip : zip, FTarget, password,
                                 [this](int percent) { FPercents.push_back(percent); });
    }
};

// A product tree with what packages carry: programs, nested folders, an empty file, a large
// compressible file and data that does not compress.
void WriteProductTree(const QString& root) {
    const struct {
        const char* Path;
        QByteArray Data;
        unsigned Mode;
    } files[] = {
        {"bin/run.sh", "#!/bin/sh\necho run\n", 0755},
        {"bin/helper", RandomBytes(300 * 1024), 0750},
        {"docs/readme.txt", "read me\n", 0644},
        {"docs/nested/deep/notes.txt", TextBytes(70 * 1024), 0640},
        {"big.log", TextBytes(3 * 1024 * 1024 + 17), 0644},
        {"empty.txt", "", 0600},
        {"locked.txt", "read only\n", 0444},
    };
    for (const auto& file : files) {
        const QString path = root + "/" + file.Path;
        WriteTestFile(path, file.Data);
        ASSERT_EQ(chmod(QFile::encodeName(path).constData(), file.Mode), 0);
    }
}

bool HaveTool(const QString& name) {
    return !QStandardPaths::findExecutable(name).isEmpty();
}

void RunTool(const QString& dir, const QString& program, const QStringList& args) {
    QProcess process;
    process.setWorkingDirectory(dir);
    process.start(program, args);
    ASSERT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

struct TToolCase {
    const char* Name;
    const char* Program; // empty: libzip's writer
    QStringList Args;    // the archive and the tree's "." are appended
    TScheme Scheme = TScheme::None;
    bool Stored = false;
};

class ZipToolArchiveTest : public ZipExtractTest, public ::testing::WithParamInterface<TToolCase> {
protected:
    QString FSource = FEnv.Root() + "/source";

    void SetUp() override {
        WriteProductTree(FSource);
        const TToolCase& c = GetParam();
        if (*c.Program == 0) {
            std::vector<TEntry> entries;
            for (const auto& [path, node] : Snapshot(FSource))
                entries.push_back({path + (node.Type == 'd' ? "/" : ""), node.Data,
                                   (node.Type == 'd' ? S_IFDIR : S_IFREG) | node.Mode});
            WriteZip(FZip, entries, c.Scheme, Password, c.Stored);
            return;
        }
        if (!HaveTool(c.Program))
            GTEST_SKIP() << c.Program << " is not installed";
        RunTool(FSource, c.Program, c.Args + QStringList{FZip, "."});
    }
};

TEST_P(ZipToolArchiveTest, RightPasswordGivesTheTreeWithItsModes) {
    ASSERT_TRUE(unzip());
    EXPECT_EQ(FilesOnly(Snapshot(FTarget)), FilesOnly(Snapshot(FSource)));
    EXPECT_EQ(Snapshot(FTarget)["docs/nested/deep"].Mode, 0755u);
    ASSERT_FALSE(FPercents.empty());
    EXPECT_EQ(FPercents.back(), 100);
}

TEST_P(ZipToolArchiveTest, WrongPasswordExtractsNothing) {
    EXPECT_FALSE(unzip("271828"));
    EXPECT_TRUE(FilesOnly(Snapshot(FTarget)).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Schemes, ZipToolArchiveTest,
    ::testing::Values(
        TToolCase{"InfoZipTraditional", "zip", {"-q", "-r", "-P", Password}},
        TToolCase{"InfoZipTraditionalStored", "zip", {"-q", "-r", "-0", "-P", Password}},
        TToolCase{"SevenZipAes256", "7z", {"a", "-tzip", "-mem=AES256", QString("-p") + Password}},
        TToolCase{"SevenZipAes128", "7z", {"a", "-tzip", "-mem=AES128", QString("-p") + Password}},
        TToolCase{"SevenZipAes256Stored",
                  "7z",
                  {"a", "-tzip", "-mx0", "-mem=AES256", QString("-p") + Password}},
        TToolCase{
            "SevenZipZipCrypto", "7z", {"a", "-tzip", "-mem=ZipCrypto", QString("-p") + Password}},
        TToolCase{"LibzipAes256", "", {}, TScheme::Aes256},
        TToolCase{"LibzipAes256Stored", "", {}, TScheme::Aes256, true},
        TToolCase{"LibzipTraditional", "", {}, TScheme::Traditional}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ZipExtractTest, OverAnEarlierInstallReplacesFilesButLeavesReadOnlyOnes) {
    WriteTestFile(FTarget + "/replace.txt", "old");
    WriteTestFile(FTarget + "/bin/tool", "old tool");
    WriteTestFile(FTarget + "/locked.txt", "old locked");
    chmod(QFile::encodeName(FTarget + "/locked.txt").constData(), 0444);
    WriteZip(FZip,
             {{"replace.txt", "new"},
              {"bin/tool", "new tool", S_IFREG | 0755},
              {"locked.txt", "new locked"},
              {"added.txt", "added"}},
             TScheme::Aes256);

    ASSERT_TRUE(unzip());
    const TTree tree = Snapshot(FTarget);
    EXPECT_EQ(tree.at("replace.txt").Data, "new");
    EXPECT_EQ(tree.at("bin/tool"), (TNode{'f', "new tool", 0755}));
    EXPECT_EQ(tree.at("locked.txt"), (TNode{'f', "old locked", 0444}));
    EXPECT_EQ(tree.at("added.txt").Data, "added");
    EXPECT_FALSE(HasTemporaryFiles(tree));
}

TEST_F(ZipExtractTest, OnlyReadOnlyFilesInTheWayExtractsNothing) {
    WriteTestFile(FTarget + "/locked.txt", "old locked");
    chmod(QFile::encodeName(FTarget + "/locked.txt").constData(), 0444);
    WriteZip(FZip, {{"locked.txt", "new locked"}}, TScheme::Traditional);
    EXPECT_FALSE(unzip());
    EXPECT_EQ(ReadTestFile(FTarget + "/locked.txt"), "old locked");
}

TEST_F(ZipExtractTest, ArchivesThatCannotBeReadAnswerFalse) {
    const QString dir = FEnv.Root() + "/a-folder.zip";
    QDir().mkpath(dir);
    WriteTestFile(FEnv.Root() + "/empty.zip", "");
    WriteTestFile(FEnv.Root() + "/text.zip", "this is not a zip archive at all");
    for (const QString& zip : {FEnv.Root() + "/missing.zip", dir, FEnv.Root() + "/empty.zip",
                               FEnv.Root() + "/text.zip"}) {
        EXPECT_FALSE(unzip(Password, zip)) << zip.toStdString();
        EXPECT_TRUE(FilesOnly(Snapshot(FTarget)).empty());
    }
    WriteZip(FZip, {{"a.txt", "a"}}, TScheme::None);
    EXPECT_FALSE(UnzipWithPassword(FZip, QString(), Password, {}));
}

TEST_F(ZipExtractTest, NamesAndLinksLeadingOutsideAreRefused) {
    // The target sits deep in a sandbox, so every escape would land somewhere visible.
    const QString sandbox = FEnv.Root() + "/sandbox";
    FTarget = sandbox + "/a/b/target";
    WriteTestFile(sandbox + "/outside-file", "original");
    QDir().mkpath(sandbox + "/outside-dir");
    QDir().mkpath(FTarget);
    // Links left in the target by someone else are never followed.
    symlink(QFile::encodeName(sandbox + "/outside-dir").constData(),
            QFile::encodeName(FTarget + "/planted-dir").constData());
    symlink(QFile::encodeName(sandbox + "/outside-file").constData(),
            QFile::encodeName(FTarget + "/planted-file").constData());
    const std::string absolute = sandbox.toStdString() + "/abs-evil";
    std::string backslashed = absolute;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    const unsigned link = S_IFLNK | 0777;
    const TTree before = Snapshot(sandbox);

    WriteZip(FZip,
             {{"../evil1", "x"},
              {"../../../evil2", "x"},
              {"sub/../../evil3", "x"},
              {"..\\evil4", "x"},
              {"sub\\..\\..\\evil5", "x"},
              {absolute, "x"},
              {backslashed + "2", "x"},
              {"C:\\evil6", "x"},
              {"C:evil7", "x"},
              {"planted-dir/inject.txt", "x"},
              {"planted-file", "replaced"},
              {"ok.txt", "ok"},
              {"dir\\sub\\file.txt", "backslashes"},
              {"./dot/./file.txt", "dots"},
              {"link-up", "../../outside-file", link},
              {"link-abs", QByteArray::fromStdString(absolute), link},
              {"link-ok", "dir/sub/file.txt", link},
              {"link-dot", ".", link},
              {"link-through", "link-dot/../../../outside-file", link},
              {"dir/link-parent", "..", link},
              // Inside by the letters, outside once dir/link-parent is followed.
              {"dir/link-chain", "link-parent/../../outside-file", link},
              {"link-chain2", "dir/link-parent/../outside-file", link}},
             TScheme::Traditional);

    ASSERT_TRUE(unzip());
    TTree after = Snapshot(sandbox);
    TTree expected = before;
    const auto inTarget = [](const std::string& path) { return "a/b/target/" + path; };
    expected.erase(inTarget("planted-file"));
    expected[inTarget("planted-file")] = {'f', "replaced", 0644};
    expected[inTarget("ok.txt")] = {'f', "ok", 0644};
    expected[inTarget("dir")] = {'d', "", 0755};
    expected[inTarget("dir/sub")] = {'d', "", 0755};
    expected[inTarget("dir/sub/file.txt")] = {'f', "backslashes", 0644};
    expected[inTarget("dot")] = {'d', "", 0755};
    expected[inTarget("dot/file.txt")] = {'f', "dots", 0644};
    expected[inTarget("link-ok")] = {'l', "dir/sub/file.txt", 0};
    expected[inTarget("link-dot")] = {'l', ".", 0};
    expected[inTarget("dir/link-parent")] = {'l', "..", 0};
    EXPECT_EQ(after, expected);
    EXPECT_EQ(ReadTestFile(FTarget + "/link-ok"), "backslashes");
}

TEST_F(ZipExtractTest, DamagedEntriesAreSkippedAndLeaveNothingBehind) {
    for (TScheme scheme : {TScheme::None, TScheme::Traditional, TScheme::Aes256}) {
        SCOPED_TRACE(static_cast<int>(scheme));
        fs::remove_all(FTarget.toStdString());
        WriteZip(FZip,
                 {{"good.txt", "good"},
                  {"bad.bin", RandomBytes(200 * 1024)},
                  {"also-good.txt", TextBytes(5000)}},
                 scheme, Password, true);
        QByteArray bytes = ReadTestFile(FZip);
        const qsizetype at = DataOffset(bytes, "bad.bin");
        ASSERT_GT(at, 0);
        bytes[at + 150 * 1024] = static_cast<char>(bytes[at + 150 * 1024] ^ 0x20);
        WriteTestFile(FZip, bytes);

        EXPECT_TRUE(unzip());
        const TTree tree = Snapshot(FTarget);
        EXPECT_EQ(tree.count("bad.bin"), 0u);
        EXPECT_EQ(tree.at("good.txt").Data, "good");
        EXPECT_EQ(tree.at("also-good.txt").Data, TextBytes(5000));
        EXPECT_FALSE(HasTemporaryFiles(tree));
    }
}

TEST_F(ZipExtractTest, TruncatedArchiveAnswersFalse) {
    WriteZip(FZip, {{"a.bin", RandomBytes(100 * 1024)}, {"b.txt", "b"}}, TScheme::Aes256);
    const QByteArray bytes = ReadTestFile(FZip);
    for (qsizetype size : {bytes.size() - 10, bytes.size() / 2, qsizetype(30), qsizetype(0)}) {
        WriteTestFile(FZip, bytes.left(size));
        EXPECT_FALSE(unzip()) << size;
        const TTree tree = Snapshot(FTarget);
        EXPECT_TRUE(FilesOnly(tree).empty()) << size;
    }
}

TEST_F(ZipExtractTest, OnlyPermissionBitsAreKeptWhateverTheUmask) {
    WriteZip(FZip,
             {{"d/", "", S_IFDIR | 0700},
              {"d/setuid", "x", S_IFREG | 04755},
              {"d/setgid", "x", S_IFREG | 02775},
              {"d/sticky", "x", S_IFREG | 01644},
              {"d/private", "x", S_IFREG | 0640},
              {"implicit/folder/file", "x", S_IFREG | 0644}},
             TScheme::Aes256);
    const mode_t old = umask(077);
    const bool ok = unzip();
    umask(old);
    ASSERT_TRUE(ok);
    const TTree tree = Snapshot(FTarget);
    EXPECT_EQ(tree.at("d").Mode, 0755u);
    EXPECT_EQ(tree.at("implicit").Mode, 0755u);
    EXPECT_EQ(tree.at("implicit/folder").Mode, 0755u);
    EXPECT_EQ(tree.at("d/setuid").Mode, 0755u);
    EXPECT_EQ(tree.at("d/setgid").Mode, 0775u);
    EXPECT_EQ(tree.at("d/sticky").Mode, 0644u);
    EXPECT_EQ(tree.at("d/private").Mode, 0640u);
    EXPECT_EQ(tree.at("implicit/folder/file").Mode, 0644u);
}

TEST_F(ZipExtractTest, FullDiskAnswersFalseAndKeepsWhatWasExtracted) {
    // Small entries first; the last one inflates past the file-size limit of the child.
    std::vector<TEntry> entries;
    for (int i = 0; i < 5; ++i)
        entries.push_back({"small" + std::to_string(i), TextBytes(1000 + i)});
    entries.push_back({"huge", QByteArray(4 * 1024 * 1024, 'z')});
    WriteZip(FZip, entries, TScheme::Traditional);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // One core, so that the entries are taken strictly in their order.
        cpu_set_t set;
        sched_getaffinity(0, sizeof set, &set);
        int first = 0;
        while (!CPU_ISSET(first, &set))
            ++first;
        CPU_ZERO(&set);
        CPU_SET(first, &set);
        sched_setaffinity(0, sizeof set, &set);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{256 * 1024, 256 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(UnzipWithPassword(FZip, FTarget, Password, {}) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the extraction did not answer false";
    const TTree tree = Snapshot(FTarget);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(tree.at("small" + std::to_string(i)).Data, TextBytes(1000 + i));
    EXPECT_EQ(tree.count("huge"), 0u);
    EXPECT_FALSE(HasTemporaryFiles(tree));
}

TEST_F(ZipExtractTest, ProgressComesOnTheCallingThreadAndMayPumpEvents) {
    WriteZip(FZip, {{"one-big-file", TextBytes(24 * 1024 * 1024)}, {"small", "s"}},
             TScheme::Aes256);
    bool timerFired = false;
    QTimer::singleShot(0, [&] { timerFired = true; });
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<int> percents;
    bool otherThread = false;
    ASSERT_TRUE(UnzipWithPassword(FZip, FTarget, Password, [&](int percent) {
        otherThread = otherThread || std::this_thread::get_id() != caller;
        percents.push_back(percent);
        QCoreApplication::processEvents();
    }));
    EXPECT_FALSE(otherThread);
    EXPECT_TRUE(timerFired);
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
    // One large file still moves the bar on its way.
    EXPECT_TRUE(
        std::any_of(percents.begin(), percents.end(), [](int p) { return p > 0 && p < 100; }));
}

TEST_F(ZipExtractTest, FailingProgressHandlerAnswersFalse) {
    WriteZip(FZip, {{"a.txt", TextBytes(300 * 1024)}}, TScheme::None);
    EXPECT_FALSE(UnzipWithPassword(FZip, FTarget, Password,
                                   [](int) { throw std::runtime_error("window gone"); }));
    EXPECT_FALSE(HasTemporaryFiles(Snapshot(FTarget)));
}

// The shared corpus: archives made by other tools, sound and damaged.
struct TCorpusCase {
    std::string File;
    std::string Password;
    int Answer;                              // 1 true, 0 false, -1 either (damaged archives)
    std::map<std::string, QByteArray> Files; // expected contents; "*" for any
};

TEST_F(ZipExtractTest, CorpusArchives) {
    const QString corpus = SharedTestDataDir() + "/zip-corpus";
    if (SharedTestDataDir().isEmpty() || !QFileInfo(corpus).isDir())
        GTEST_SKIP() << "no zip corpus";
    const std::map<std::string, QByteArray> both = {{"plain", "plain\n"},
                                                    {"encrypted", "encrypted\n"}};
    const std::map<std::string, QByteArray> plainOnly = {{"plain", "plain\n"}};
    std::vector<TCorpusCase> cases = {
        {"encrypt.zip", "foo", 1, {{"encrypted", "foo\n"}, {"plain", "*"}}},
        {"encrypt.zip", "notfoo", 1, {{"plain", "*"}}},
        {"encrypt-1234.zip", "1234", 1, {{"sample.txt", "*"}}},
        {"encrypt-1234.zip", "sample", 0, {}},
        {"encrypt-none.zip", "x", 1, both},
        {"empty-pkware.zip", "1", 1, {{"0", ""}}},
        {"hmac-error.zip", "1234", 0, {}},
        {"encrypt_plus_extra.zip", "foo", 1, {{"encrypted", "foo\n"}, {"plain", "*"}}},
        {"encrypt_plus_extra_modified_c.zip", "foo", 1, {{"encrypted", "foo\n"}, {"plain", "*"}}},
        {"encrypt_plus_extra_modified_l.zip", "foo", 1, {{"encrypted", "foo\n"}, {"plain", "*"}}},
    };
    for (const char* bits : {"128", "192", "256"}) {
        const std::string aes = std::string("encrypt-aes") + bits;
        cases.push_back({aes + ".zip", "foofoofoo", 1, both});
        cases.push_back({aes + ".zip", "notfoonotfoo", 1, plainOnly});
        cases.push_back({aes + "-noentropy.zip", "no-entropy", 1, both});
    }
    cases.push_back({"encrypt-pkware-noentropy.zip", "no-entropy", 1, both});
    cases.push_back({"encrypt-pkware-noentropy-2.zip", "no-entropy", 1, both});
    std::set<std::string> known;
    for (const TCorpusCase& c : cases)
        known.insert(c.File);
    for (const QString& name : QDir(corpus).entryList({"*.zip"}, QDir::Files, QDir::Name))
        if (!known.count(name.toStdString()))
            cases.push_back({name.toStdString(), "foo", -1, {}});

    for (const TCorpusCase& c : cases) {
        SCOPED_TRACE(c.File + " / " + c.Password);
        fs::remove_all(FEnv.Root().toStdString() + "/target");
        FTarget = FEnv.Root() + "/target/inner";
        const bool answer = unzip(QString::fromStdString(c.Password),
                                  corpus + "/" + QString::fromStdString(c.File));
        const TTree outer = Snapshot(FEnv.Root() + "/target");
        const TTree files = FilesOnly(Snapshot(FTarget));
        EXPECT_FALSE(HasTemporaryFiles(outer));
        for (const auto& [path, node] : outer)
            EXPECT_TRUE(path == "inner" || path.starts_with("inner/")) << path;
        if (c.Answer >= 0) {
            EXPECT_EQ(answer, c.Answer == 1);
            std::map<std::string, QByteArray> found;
            for (const auto& [path, node] : files)
                found[path] = c.Files.count(path) && c.Files.at(path) == "*" ? "*" : node.Data;
            EXPECT_EQ(found, c.Files);
        } else {
            // Damaged: false, or true with what could be extracted.
            EXPECT_EQ(answer, !files.empty());
        }
        if (c.File == "encrypt-1234.zip" && answer) {
            EXPECT_TRUE(ReadTestFile(FTarget + "/sample.txt")
                            .startsWith("I would love to try or hear the sample audio"));
        }
    }
}
} // namespace
