// oneclick-build's installer, inspect and encipher commands, run as a product maker runs them:
// an installer built from the demo product carries every resource, survives a copy under
// another name, and shows the record the installer would build under a given file name.
#include "resources/ResourceContainer.h"
#include "support/Constants.h"

#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <sys/resource.h>

namespace {
const QStringList cnPictures = {
    "bgpic",        "logo",         "minilogo",         "btninst01",      "btninst02",
    "btninst03",    "msgbox",       "icon_ques",        "icon_warn",      "btn_msg_normal",
    "btn_msg_over", "btn_msg_down", "btn_empty_normal", "btn_empty_over", "btn_empty_down"};
// An empty zip archive: the end-of-central-directory record alone.
const QByteArray cnEmptyZip = QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0');

struct TRun {
    int Code = -1;
    QString Out;
    QString Err;
};

class BuildInstallerTest : public TIsolatedTest {
protected:
    QString FProgram = FEnv.Root() + "/oneclick-setup";
    QString FPackage = FEnv.Root() + "/package.zip";
    QString FResources = SourceDir() + "/resources";

    void SetUp() override {
        if (!QFileInfo::exists(tool()))
            GTEST_SKIP() << "oneclick-build is not built";
        WriteTestFile(FProgram, QByteArray("#!/bin/sh\nexit 0\n").leftJustified(4096, '\n'));
        WriteTestFile(FPackage, cnEmptyZip);
    }

    static QString tool() { return BuiltProgram("tools/oneclick-build/oneclick-build"); }

    static TRun run(const QStringList& args, qint64 addressSpaceLimit = 0) {
        QProcess process;
        if (addressSpaceLimit > 0)
            process.setChildProcessModifier([addressSpaceLimit] {
                const rlimit limit{rlim_t(addressSpaceLimit), rlim_t(addressSpaceLimit)};
                setrlimit(RLIMIT_AS, &limit);
            });
        process.start(tool(), args);
        process.waitForFinished(120000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // The demo product's installer, with the package and both base URLs.
    QString buildDemo(const QString& name = "setup_xyz.exe") {
        const QString out = FEnv.Root() + "/" + name;
        const TRun r = run({"installer", "--program", FProgram, "--config",
                            FResources + "/config.json", "--resource-dir", FResources, "--package",
                            FPackage, "--service-url", "http://127.0.0.1:9/api", "--support-url",
                            "https://support.example.test", "-o", out});
        EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
        return out;
    }
};
} // namespace

TEST_F(BuildInstallerTest, DemoInstallerCarriesEveryResource) {
    const QString installer = buildDemo();
    EXPECT_TRUE(QFileInfo(installer).isExecutable());
    EXPECT_TRUE(ReadTestFile(installer).startsWith(ReadTestFile(FProgram)));
    const TResourceContainer c = TResourceContainer::Read(installer);
    ASSERT_TRUE(c.IsPresent());
    EXPECT_EQ(c.Entries().size(), size_t(cnPictures.size() + 4));
    const QByteArray file = ReadTestFile(installer);
    for (const QString& name : cnPictures) {
        const auto e = c.Find(name, "file");
        ASSERT_TRUE(e) << name.toStdString();
        EXPECT_EQ(file.mid(qsizetype(e->Offset), qsizetype(e->Size)),
                  ReadTestFile(FResources + "/" + name + ".png"));
    }
    const TRun r = run({"inspect", installer});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    for (const QString& name :
         cnPictures + QStringList{"configfile", "zipfile", "serviceurl", "supporturl"})
        EXPECT_TRUE(
            r.Out.contains(QRegularExpression("\\n  " + name.toUpper() + " +FILE +\\d+\\n")))
            << name.toStdString() << "\n"
            << r.Out.toStdString();
    EXPECT_TRUE(r.Out.contains("\n  SoftId: quintelzip_win\n")) << r.Out.toStdString();
    EXPECT_TRUE(r.Out.contains("\n  FromSource: xyz\n"));
}

TEST_F(BuildInstallerTest, InspectUnderAnotherNameShowsItsChannelAndLeavesTheRegistryAlone) {
    const QString installer = buildDemo();
    const TRun r = run({"inspect", installer, "--as", "setup-k778_abc.exe"});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains("file name setup-k778_abc.exe"));
    EXPECT_TRUE(r.Out.contains("\n  FromSource: abc\n")) << r.Out.toStdString();
    EXPECT_TRUE(r.Out.contains("\n  FromKeywordID: 778\n"));
    EXPECT_TRUE(r.Out.contains("\nchannel: abc\nkeyword id: 778\n"));
    // The folder marker is shown for the user running the tool.
    EXPECT_TRUE(
        r.Out.contains("\n  ConfigPathForUinstall: " + FEnv.ConfigHome() + "\\quintelzip_win\n"));
    EXPECT_FALSE(QFileInfo::exists(FEnv.ConfigHome() + "/oneclick"));
    EXPECT_FALSE(QFileInfo::exists(FEnv.DataHome() + "/oneclick"));
}

TEST_F(BuildInstallerTest, CopyUnderAnotherNameKeepsEveryResource) {
    const QString installer = buildDemo();
    const QString copy = FEnv.Root() + "/copies/Tavelin_T_qzip_def.exe";
    QDir().mkpath(FEnv.Root() + "/copies");
    ASSERT_TRUE(QFile::copy(installer, copy));
    const TRun a = run({"inspect", installer});
    const TRun b = run({"inspect", copy});
    ASSERT_EQ(b.Code, 0) << b.Err.toStdString();
    const auto listing = [](const QString& out) {
        return out.section("configuration record", 0, 0).section('\n', 1);
    };
    EXPECT_EQ(listing(a.Out), listing(b.Out));
    EXPECT_TRUE(b.Out.contains("\n  FromSource: def\n"));
}

TEST_F(BuildInstallerTest, RebuildingFromAnInstallerReplacesItsContainer) {
    const QString first = buildDemo();
    const QString second = FEnv.Root() + "/second.exe";
    WriteTestFile(FEnv.Root() + "/other.json", "{\"SoftId\":\"other\"}");
    const TRun r = run(
        {"installer", "--program", first, "--config", FEnv.Root() + "/other.json", "-o", second});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    const TResourceContainer c = TResourceContainer::Read(second);
    ASSERT_EQ(c.Entries().size(), 1u);
    EXPECT_EQ(c.ProgramSize(), quint64(QFileInfo(FProgram).size()));
    EXPECT_FALSE(c.Find("serviceurl", "file"));
}

TEST_F(BuildInstallerTest, RefusesBadInputAndWritesNothing) {
    WriteTestFile(FEnv.Root() + "/array.json", "[1, 2]");
    WriteTestFile(FEnv.Root() + "/broken.json", "{\"SoftId\": ");
    WriteTestFile(FEnv.Root() + "/fake.png", "GIF89a");
    const QString config = FResources + "/config.json";
    const QString missing = FEnv.Root() + "/missing.json";
    struct TCase {
        const char* What;
        QStringList Args;
    } cases[] = {
        {"configuration not an object", {"--config", FEnv.Root() + "/array.json"}},
        {"configuration not JSON", {"--config", FEnv.Root() + "/broken.json"}},
        {"unreadable configuration", {"--config", missing}},
        {"picture not a PNG",
         {"--config", config, "--resource", "bgpic=" + FEnv.Root() + "/fake.png"}},
        {"PNG-named file not a PNG",
         {"--config", config, "--resource", "extra=" + FEnv.Root() + "/fake.png"}},
        {"unreadable resource", {"--config", config, "--resource", "notes=" + missing}},
        {"unreadable package", {"--config", config, "--package", missing}},
        {"package not a zip", {"--config", config, "--package", config}},
        {"resource given twice", {"--config", config, "--resource", "CONFIGFILE=" + config}},
        {"address not http", {"--config", config, "--service-url", "ftp://example.test"}},
        {"unknown option", {"--config", config, "--colour", "red"}},
    };
    const QString out = FEnv.Root() + "/refused.exe";
    for (const TCase& c : cases) {
        const TRun r = run(QStringList{"installer", "--program", FProgram, "-o", out} + c.Args);
        EXPECT_EQ(r.Code, 2) << c.What;
        EXPECT_TRUE(r.Err.startsWith("oneclick-build installer: ")) << c.What;
        EXPECT_FALSE(QFileInfo::exists(out)) << c.What;
    }
    EXPECT_EQ(run({"inspect", FProgram}).Code, 1);
}

// A sanitized tool reserves its shadow memory up front and cannot start under such a limit.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 cnAddressSpaceLimit = 0;
#else
constexpr qint64 cnAddressSpaceLimit = 160LL * 1024 * 1024;
#endif

TEST_F(BuildInstallerTest, LargePackageIsStreamed) {
    // A package far larger than the address space the tool may use: it only fits in blocks.
    const qint64 size = 256LL * 1024 * 1024;
    {
        QFile package(FPackage);
        ASSERT_TRUE(package.open(QIODevice::WriteOnly));
        package.write("PK\x03\x04", 4);
        ASSERT_TRUE(package.resize(size)); // sparse: cheap to make
    }
    const QString out = FEnv.Root() + "/big.exe";
    const TRun r = run({"installer", "--program", FProgram, "--config", FResources + "/config.json",
                        "--package", FPackage, "-o", out},
                       cnAddressSpaceLimit);
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    const auto e = TResourceContainer::Read(out).Find("zipfile", "file");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Size, quint64(size));
}

TEST_F(BuildInstallerTest, EncipherGivesTheStoredForms) {
    const std::pair<const char*, QString> cases[] = {{"quintelzip_win", cnSoftIdA},
                                                     {"qzip", cnKeywordK1}};
    for (const auto& [plain, stored] : cases) {
        const TRun r = run({"encipher", plain});
        EXPECT_EQ(r.Code, 0);
        EXPECT_EQ(r.Out, stored + "\n");
    }
    const TRun twoBlocks = run({"encipher", QString::fromUtf8("一键安装一键安装一键安装")});
    EXPECT_EQ(twoBlocks.Out.trimmed().size(), 8 + 2 * 16 * 2) << twoBlocks.Out.toStdString();
    // A text with surrounding blanks could never come back from its stored form.
    EXPECT_EQ(run({"encipher", " padded"}).Code, 1);
    EXPECT_EQ(run({"encipher"}).Code, 2);
}

TEST_F(BuildInstallerTest, PlainConstantsStayOutOfTheProgram) {
    const char* plains[] = {"quintelpdf_win", "quintelocr_win", "qpdf",  "--auto-install",
                            "fileassoc.exe",  "583920",         "260417"};
    for (const QString& path : {tool(), BuiltProgram("src/session/oneclick-setup")}) {
        if (!QFileInfo::exists(path))
            continue;
        const QByteArray binary = ReadTestFile(path);
        for (const char* plain : plains) {
            const QString text = QString::fromLatin1(plain);
            EXPECT_FALSE(binary.contains(plain)) << plain << " in " << path.toStdString();
            EXPECT_FALSE(binary.contains(
                QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2)))
                << plain << " in " << path.toStdString();
        }
    }
}
