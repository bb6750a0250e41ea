// The container format at the end of an executable: what the writer leaves and how the reader
// copes with files that carry none, a damaged one, or one that lies about its sizes.
#include "resources/ResourceContainer.h"

#include "base/Exception.h"
#include "testsupport/TestEnv.h"

#include <QFile>
#include <QtEndian>
#include <zlib.h>

namespace {
const QByteArray cnProgram = QByteArray("\x7f"
                                        "ELF fake program body ",
                                        22)
                                 .repeated(50);
constexpr int cnTrailer = 40;

class ResourceContainerTest : public TIsolatedTest {
protected:
    QString FProgram = FEnv.Root() + "/program";
    QString FOut = FEnv.Root() + "/setup_abc.exe";

    void SetUp() override { WriteTestFile(FProgram, cnProgram); }

    // An installer with three resources; returns its bytes.
    QByteArray build() {
        TResourceWriter writer(FProgram, FOut);
        writer.AddBytes("configfile", "file", "{\"SoftId\":\"x\"}");
        writer.AddBytes("BgPic", "file", QByteArray(3000, 'p'));
        writer.AddBytes("empty", "file", QByteArray());
        writer.Finish();
        return ReadTestFile(FOut);
    }

    TResourceContainer readBytes(const QByteArray& bytes) {
        const QString path = FEnv.Root() + "/damaged";
        WriteTestFile(path, bytes);
        return TResourceContainer::Read(path);
    }
};

// Rewrites the first index entry's offset and size, keeping the index checksum valid, so only
// the bounds checks stand between the reader and the bad numbers.
QByteArray withFirstEntry(QByteArray file, quint64 offset, quint64 size) {
    char* trailer = file.data() + file.size() - cnTrailer;
    const auto indexOffset = qFromLittleEndian<quint64>(trailer + 8);
    const auto indexSize = qFromLittleEndian<quint32>(trailer + 16);
    char* entry = file.data() + indexOffset;
    const auto nameLen = qFromLittleEndian<quint16>(entry);
    const auto typeLen = qFromLittleEndian<quint16>(entry + 2 + nameLen);
    char* numbers = entry + 4 + nameLen + typeLen;
    qToLittleEndian<quint64>(offset, numbers);
    qToLittleEndian<quint64>(size, numbers + 8);
    const auto crc =
        crc32(0L, reinterpret_cast<const Bytef*>(file.constData() + indexOffset), indexSize);
    qToLittleEndian<quint32>(static_cast<quint32>(crc), trailer + 24);
    return file;
}
} // namespace

TEST_F(ResourceContainerTest, WrittenResourcesReadBackWithTheirBytes) {
    const QByteArray file = build();
    ASSERT_TRUE(file.startsWith(cnProgram));
    const TResourceContainer c = TResourceContainer::Read(FOut);
    ASSERT_TRUE(c.IsPresent());
    EXPECT_EQ(c.ProgramSize(), quint64(cnProgram.size()));
    ASSERT_EQ(c.Entries().size(), 3u);
    const auto bg = c.Find("bgpic", "FILE");
    ASSERT_TRUE(bg);
    EXPECT_EQ(file.mid(qsizetype(bg->Offset), qsizetype(bg->Size)), QByteArray(3000, 'p'));
    const auto empty = c.Find("EMPTY", "file");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->Size, 0u);
    EXPECT_FALSE(c.Find("bgpic", "png"));
    EXPECT_FALSE(c.Find("logo", "file"));
}

TEST_F(ResourceContainerTest, NamesCompareWithoutCase) {
    build();
    const TResourceContainer c = TResourceContainer::Read(FOut);
    for (const char* name : {"bgpic", "BGPIC", "bGpIc", "BgPic"})
        EXPECT_TRUE(c.Find(name, "File")) << name;
}

TEST_F(ResourceContainerTest, ProgramWithoutContainerCarriesNothing) {
    const TResourceContainer c = TResourceContainer::Read(FProgram);
    EXPECT_FALSE(c.IsPresent());
    EXPECT_TRUE(c.Entries().empty());
    EXPECT_EQ(c.ProgramSize(), quint64(cnProgram.size()));
    EXPECT_FALSE(TResourceContainer::Read(FEnv.Root() + "/missing").IsPresent());
    EXPECT_FALSE(readBytes(QByteArray()).IsPresent());
}

TEST_F(ResourceContainerTest, TruncatedOrExtendedFileCarriesNothing) {
    const QByteArray file = build();
    for (int cut : {1, 8, 39, 40, 41, 100}) {
        const TResourceContainer c = readBytes(file.left(file.size() - cut));
        EXPECT_FALSE(c.IsPresent()) << cut;
        EXPECT_TRUE(c.Entries().empty()) << cut;
    }
    EXPECT_FALSE(readBytes(file + "x").IsPresent());
    EXPECT_FALSE(readBytes(file.right(cnTrailer)).IsPresent());
}

TEST_F(ResourceContainerTest, DamagedTrailerOrIndexCarriesNothing) {
    const QByteArray file = build();
    const qsizetype t = file.size() - cnTrailer;
    struct TPatch {
        const char* What;
        qsizetype At;
        quint64 Value;
        int Width;
    } patches[] = {
        {"index offset past the end", t + 8, quint64(file.size()) + 10, 8},
        {"index offset overflowing", t + 8, ~0ULL, 8},
        {"index size past the end", t + 16, 0xFFFFFFF0u, 4},
        {"program size past the index", t, quint64(file.size()), 8},
        {"entry count too large", t + 20, 4, 4},
        {"index checksum", t + 24, 0, 4},
        {"version", t + 28, 2, 4},
        {"magic", t + 39, 'X', 1},
    };
    for (const TPatch& p : patches) {
        QByteArray bad = file;
        if (p.Width == 8)
            qToLittleEndian<quint64>(p.Value, bad.data() + p.At);
        else if (p.Width == 4)
            qToLittleEndian<quint32>(quint32(p.Value), bad.data() + p.At);
        else
            bad[p.At] = char(p.Value);
        EXPECT_FALSE(readBytes(bad).IsPresent()) << p.What;
    }
}

TEST_F(ResourceContainerTest, EntryOutsideTheDataAreaCarriesNothing) {
    const QByteArray file = build();
    struct TCase {
        const char* What;
        quint64 Offset;
        quint64 Size;
    } cases[] = {
        {"inside the program", 0, 10},
        {"past the end of the file", quint64(file.size()) + 1, 1},
        {"size past the end", quint64(cnProgram.size()), quint64(file.size())},
        {"size overflowing", quint64(cnProgram.size()) + 1, ~0ULL},
        {"offset overflowing", ~0ULL - 2, 4},
    };
    ASSERT_TRUE(readBytes(withFirstEntry(file, cnProgram.size(), 5)).IsPresent());
    for (const TCase& c : cases)
        EXPECT_FALSE(readBytes(withFirstEntry(file, c.Offset, c.Size)).IsPresent()) << c.What;
}

TEST_F(ResourceContainerTest, WritingOverAnInstallerReplacesItsContainer) {
    build();
    const QString second = FEnv.Root() + "/second.exe";
    {
        TResourceWriter writer(FOut, second);
        writer.AddBytes("logo", "file", "new");
        writer.Finish();
    }
    const QByteArray file = ReadTestFile(second);
    EXPECT_TRUE(file.startsWith(cnProgram));
    const TResourceContainer c = TResourceContainer::Read(second);
    ASSERT_TRUE(c.IsPresent());
    EXPECT_EQ(c.ProgramSize(), quint64(cnProgram.size()));
    ASSERT_EQ(c.Entries().size(), 1u);
    EXPECT_EQ(c.Entries()[0].Name, "LOGO");
    EXPECT_EQ(file.size(), cnProgram.size() + 3 + (2 + 4 + 2 + 4 + 16) + cnTrailer);
}

TEST_F(ResourceContainerTest, CopyUnderAnotherNameKeepsEveryResource) {
    build();
    const QString copy = FEnv.Root() + "/other-name_xyz.exe";
    ASSERT_TRUE(QFile::copy(FOut, copy));
    const TResourceContainer c = TResourceContainer::Read(copy);
    ASSERT_TRUE(c.IsPresent());
    EXPECT_EQ(c.Entries().size(), 3u);
    EXPECT_TRUE(c.Find("configfile", "file"));
}

TEST_F(ResourceContainerTest, FailedWriteLeavesNoOutput) {
    {
        TResourceWriter writer(FProgram, FOut);
        writer.AddBytes("a", "file", "1");
        EXPECT_THROW(writer.AddBytes("A", "FILE", "2"), Exception);
        EXPECT_THROW(writer.AddFile("b", "file", FEnv.Root() + "/missing"), EInOutError);
    }
    EXPECT_FALSE(QFile::exists(FOut));
    EXPECT_THROW(TResourceWriter(FEnv.Root() + "/missing", FOut), EInOutError);
    EXPECT_FALSE(QFile::exists(FOut));
}

TEST_F(ResourceContainerTest, LargeFileIsCopiedInBlocks) {
    const QString big = FEnv.Root() + "/big.zip";
    QByteArray data(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char(i * 7 + i / 4096);
    WriteTestFile(big, data);
    TResourceWriter writer(FProgram, FOut);
    writer.AddFile("zipfile", "file", big);
    writer.Finish();
    const QByteArray file = ReadTestFile(FOut);
    const auto e = TResourceContainer::Read(FOut).Find("zipfile", "file");
    ASSERT_TRUE(e);
    EXPECT_EQ(file.mid(qsizetype(e->Offset), qsizetype(e->Size)), data);
}
