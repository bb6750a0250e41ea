// Copying an executable without one of its resources: the rest of the container kept byte for
// byte, a file that lacks the resource (or any container) copied as it stands, the file mode
// carried over, and a failed copy leaving no target.
#include "resources/ResourceContainer.h"

#include "base/Exception.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QByteArray cnProgram = QByteArray("\x7f"
                                        "ELF program ",
                                        13)
                                 .repeated(40);

struct TCopyCase {
    const char* Name;
    bool Container;   // the source carries a container
    bool WithPackage; // ... holding "zipfile"
    QFileDevice::Permissions Mode;
};

const QFileDevice::Permissions cnOwnerOnly =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
const QFileDevice::Permissions cnEveryone = cnOwnerOnly | QFileDevice::ReadGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::ExeOther;

class ProgramCopyTest : public TIsolatedTest, public ::testing::WithParamInterface<TCopyCase> {
protected:
    QString FProgram = FEnv.Root() + QStringLiteral("/program");
    QString FSource = FEnv.Root() + QStringLiteral("/setup.exe");
    QString FTarget = FEnv.Root() + QStringLiteral("/dir/unin.exe");

    void SetUp() override {
        WriteTestFile(FProgram, cnProgram);
        QDir().mkpath(FEnv.Root() + QStringLiteral("/dir"));
    }
};

TEST_P(ProgramCopyTest, KeepsAllButThePackage) {
    const TCopyCase& c = GetParam();
    if (c.Container) {
        TResourceWriter writer(FProgram, FSource);
        writer.AddBytes(QStringLiteral("configfile"), QStringLiteral("file"), "{\"a\":1}");
        if (c.WithPackage)
            writer.AddBytes(QStringLiteral("ZipFile"), QStringLiteral("FILE"),
                            QByteArray(100000, 'z'));
        writer.AddBytes(QStringLiteral("bgpic"), QStringLiteral("file"), QByteArray(5000, 'p'));
        writer.Finish();
    } else {
        WriteTestFile(FSource, cnProgram);
    }
    ASSERT_TRUE(QFile::setPermissions(FSource, c.Mode));

    CopyProgramWithout(FSource, FTarget, QStringLiteral("zipfile"), QStringLiteral("file"));

    EXPECT_EQ(QFileInfo(FTarget).permissions() & cnEveryone, c.Mode);
    const QByteArray copy = ReadTestFile(FTarget);
    if (!c.WithPackage) {
        EXPECT_EQ(copy, ReadTestFile(FSource));
        return;
    }
    // The same bytes as the maker's tool writes for the installer without the package.
    const QString expected = FEnv.Root() + QStringLiteral("/expected.exe");
    TResourceWriter writer(FProgram, expected);
    writer.AddBytes(QStringLiteral("configfile"), QStringLiteral("file"), "{\"a\":1}");
    writer.AddBytes(QStringLiteral("bgpic"), QStringLiteral("file"), QByteArray(5000, 'p'));
    writer.Finish();
    EXPECT_EQ(copy, ReadTestFile(expected));
}

INSTANTIATE_TEST_SUITE_P(Sources, ProgramCopyTest,
                         ::testing::Values(TCopyCase{"package", true, true, cnEveryone},
                                           TCopyCase{"package_owner_only", true, true, cnOwnerOnly},
                                           TCopyCase{"no_package", true, false, cnEveryone},
                                           TCopyCase{"no_container", false, false, cnOwnerOnly}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(ProgramCopyTest, AMissingSourceLeavesNoTarget) {
    EXPECT_THROW(CopyProgramWithout(FEnv.Root() + QStringLiteral("/absent.exe"), FTarget,
                                    QStringLiteral("zipfile"), QStringLiteral("file")),
                 EInOutError);
    EXPECT_FALSE(QFileInfo::exists(FTarget));
}

TEST_F(ProgramCopyTest, AFailedWriteLeavesNoPartialFile) {
    TResourceWriter writer(FProgram, FSource);
    writer.AddBytes(QStringLiteral("zipfile"), QStringLiteral("file"), QByteArray(1000, 'z'));
    writer.Finish();
    // A folder where the copy should go cannot be replaced by it.
    QDir().mkpath(FTarget);
    WriteTestFile(FTarget + QStringLiteral("/inside"), "kept");
    EXPECT_THROW(
        CopyProgramWithout(FSource, FTarget, QStringLiteral("zipfile"), QStringLiteral("file")),
        EInOutError);
    EXPECT_EQ(ReadTestFile(FTarget + QStringLiteral("/inside")), QByteArray("kept"));
    EXPECT_EQ(QDir(FEnv.Root() + QStringLiteral("/dir"))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({QStringLiteral("unin.exe")}));
}

} // namespace
