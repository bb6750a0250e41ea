// Every seed input and every input that once crashed a fuzz target, fed through the target's
// body in the ordinary build: a crash found by fuzzing stays a test once it is fixed.
#include "FuzzTargets.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>

namespace {
QStringList filesOf(const QString& Dir) {
    QStringList paths;
    for (const QString& name : QDir(Dir).entryList(QDir::Files | QDir::Hidden, QDir::Name))
        if (!name.startsWith(u'.'))
            paths.append(Dir + u'/' + name);
    return paths;
}

void replay(const TFuzzTarget& Target, const QString& Path) {
    SCOPED_TRACE(Path.toStdString());
    QFile file(Path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    EXPECT_EQ(Target.Body(reinterpret_cast<const std::uint8_t*>(data.constData()),
                          static_cast<std::size_t>(data.size())),
              0);
}

class TFuzzReplayTest : public TIsolatedTest, public ::testing::WithParamInterface<TFuzzTarget> {
protected:
    QString folder(const char* Kind) const {
        return SourceDir() + QStringLiteral("/fuzz/") + QLatin1String(Kind) + u'/' +
               QLatin1String(GetParam().Name);
    }
};

// A crash found by fuzzing is kept in fuzz/regressions/<target>/ once it is fixed.
TEST_P(TFuzzReplayTest, SeedsAndKeptCrashesRunThrough) {
    const QStringList seeds = filesOf(folder("corpus"));
    ASSERT_FALSE(seeds.isEmpty()) << "no seeds in " << folder("corpus").toStdString();
    for (const QString& path : seeds + filesOf(folder("regressions")))
        replay(GetParam(), path);
}

INSTANTIATE_TEST_SUITE_P(Targets, TFuzzReplayTest, ::testing::ValuesIn(FuzzTargets()),
                         [](const ::testing::TestParamInfo<TFuzzTarget>& Info) {
                             return std::string(Info.param.Name);
                         });

// The real archives made by other tools go through the extraction target as well, each with
// the password it was made with.
TEST_F(TIsolatedTest, SharedArchivesRunThroughExtraction) {
    const QString dir = SharedTestDataDir();
    if (dir.isEmpty())
        GTEST_SKIP() << "no shared test data";
    const QStringList archives =
        QDir(dir + QStringLiteral("/zip-corpus")).entryList({QStringLiteral("*.zip")}, QDir::Files);
    ASSERT_FALSE(archives.isEmpty());
    for (const QString& name : archives) {
        SCOPED_TRACE(name.toStdString());
        QFile file(dir + QStringLiteral("/zip-corpus/") + name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QByteArray input = file.readAll();
        input.prepend(FuzzPasswordSlotFor(name));
        EXPECT_EQ(FuzzPackageExtraction(reinterpret_cast<const std::uint8_t*>(input.constData()),
                                        static_cast<std::size_t>(input.size())),
                  0);
    }
}
} // namespace
