// The installer's resource operations as the rest of the program sees them: looking up,
// reading text and bytes, writing a resource out, and the base URLs carried as resources.
#include "resources/Resources.h"
#include "resources/BaseUrls.h"
#include "resources/ResourceContainer.h"

#include "base/RunningExe.h"
#include "testsupport/TestEnv.h"

#include <QFile>
#include <QFileInfo>

namespace {
class ResourcesTest : public TIsolatedTest {
protected:
    QString FExe = FEnv.Root() + "/setup.exe";

    // Makes the running executable a program carrying these resources (all of type "file").
    void carry(const std::vector<std::pair<QString, QByteArray>>& resources) {
        const QString program = FEnv.Root() + "/program";
        WriteTestFile(program, "program");
        TResourceWriter writer(program, FExe);
        for (const auto& [name, data] : resources)
            writer.AddBytes(name, "file", data);
        writer.Finish();
        SetRunningExePath(FExe);
    }
    void TearDown() override { SetRunningExePath(QString()); }
};
} // namespace

TEST_F(ResourcesTest, ExistsIgnoresCaseOfNameAndType) {
    carry({{"BGPIC", "png"}});
    EXPECT_TRUE(ResourceExists("bgpic", "file"));
    EXPECT_TRUE(ResourceExists("BgPiC", "FILE"));
    EXPECT_FALSE(ResourceExists("bgpic", "Lang"));
    EXPECT_FALSE(ResourceExists("logo", "file"));
}

TEST_F(ResourcesTest, ExecutableWithoutContainerHasNoResources) {
    WriteTestFile(FExe, "just a program");
    SetRunningExePath(FExe);
    EXPECT_FALSE(ResourceExists("configfile", "file"));
    EXPECT_THROW(LoadTextResource("configfile", "file"), EResNotFound);
}

TEST_F(ResourcesTest, TextIsUtf8WithCrLfLineBreaks) {
    struct TCase {
        QByteArray Stored;
        QString Text;
    } cases[] = {
        {"\xEF\xBB\xBF{\"a\":1}", "{\"a\":1}\r\n"},
        {"{\n\"a\": 1\n}\n", "{\r\n\"a\": 1\r\n}\r\n"},
        {"a\rb\r\nc\n\nd", "a\r\nb\r\nc\r\n\r\nd\r\n"},
        {"\r\n", "\r\n"},
        {"", ""},
        {"\xEF\xBB\xBF", ""},
        {"\xE4\xB8\x80\xE9\x94\xAE", QString::fromUtf8("一键\r\n")},
    };
    for (const TCase& c : cases) {
        carry({{"configfile", c.Stored}});
        EXPECT_EQ(LoadTextResource("configfile", "file"), c.Text) << c.Stored.toHex().constData();
    }
}

TEST_F(ResourcesTest, MissingResourceRaisesNotFound) {
    carry({{"logo", "x"}});
    const QString target = FEnv.Root() + "/out.zip";
    EXPECT_THROW(LoadTextResource("configfile", "file"), EResNotFound);
    EXPECT_THROW(LoadResourceBytes("zipfile", "file"), EResNotFound);
    EXPECT_THROW(SaveResourceToFile("zipfile", "file", target), EResNotFound);
    EXPECT_FALSE(QFile::exists(target));
    try {
        LoadResourceBytes("zipfile", "file");
    } catch (const EResNotFound& e) {
        EXPECT_EQ(e.Message(), "Resource zipfile not found");
    }
}

TEST_F(ResourcesTest, SaveWritesTheBytesReplacingAnOldFile) {
    QByteArray package(2 * 1024 * 1024 + 5, Qt::Uninitialized);
    for (qsizetype i = 0; i < package.size(); ++i)
        package[i] = char(i % 251);
    carry({{"ZIPFILE", package}, {"empty", QByteArray()}});
    const QString target = FEnv.Tmp() + "/quintelzip_win.zip";
    WriteTestFile(target, QByteArray(5 * 1024 * 1024, 'o'));
    EXPECT_TRUE(SaveResourceToFile("zipfile", "file", target));
    EXPECT_EQ(ReadTestFile(target), package);
    const QString empty = FEnv.Tmp() + "/empty";
    EXPECT_TRUE(SaveResourceToFile("empty", "file", empty));
    EXPECT_EQ(QFileInfo(empty).size(), 0);
}

TEST_F(ResourcesTest, SaveOverReadOnlyFileRaisesAndKeepsIt) {
    carry({{"zipfile", "new"}});
    const QString target = FEnv.Tmp() + "/ro.zip";
    WriteTestFile(target, "old");
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    EXPECT_THROW(SaveResourceToFile("zipfile", "file", target), EInOutError);
    EXPECT_EQ(ReadTestFile(target), "old");
}

TEST_F(ResourcesTest, SaveToUncreatableFileRaises) {
    carry({{"zipfile", "new"}});
    WriteTestFile(FEnv.Tmp() + "/plainfile", "x");
    EXPECT_THROW(SaveResourceToFile("zipfile", "file", FEnv.Tmp() + "/plainfile/pkg.zip"),
                 EInOutError);
    EXPECT_THROW(SaveResourceToFile("zipfile", "file", FEnv.Tmp() + "/no/such/dir/pkg.zip"),
                 EInOutError);
}

TEST_F(ResourcesTest, BaseUrlsComeFromResourcesElseDefaults) {
    carry({});
    EXPECT_EQ(ServiceBaseUrl(), DefaultServiceBaseUrl());
    EXPECT_EQ(SupportBaseUrl(), DefaultSupportBaseUrl());
    EXPECT_TRUE(DefaultServiceBaseUrl().startsWith("https://"));
    carry({{"serviceurl", " http://127.0.0.1:8080/api/ \n"},
           {"supporturl", "https://help.example.test"}});
    EXPECT_EQ(ServiceBaseUrl(), "http://127.0.0.1:8080/api");
    EXPECT_EQ(SupportBaseUrl(), "https://help.example.test");
    carry({{"serviceurl", ""}});
    EXPECT_EQ(ServiceBaseUrl(), DefaultServiceBaseUrl());
}
