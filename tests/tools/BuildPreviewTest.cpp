// oneclick-build preview run as its own process on the demo installer: the picture it writes
// (size and a few pixels of the banner, the install button and the page), the other pages and
// dialogs, and its refusals.
#include "resources/Png.h"
#include "testsupport/TestEnv.h"

#include <QFileInfo>

namespace {

class BuildPreviewTest : public TIsolatedTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFileInfo(Program()).isExecutable())
            << "build the oneclick-build target first: " << Program().toStdString();
        Installer = FEnv.Root() + QStringLiteral("/demo-installer");
        const QString resources = SourceDir() + QStringLiteral("/resources");
        ASSERT_EQ(Run({"installer", "--program", Program(), "--config",
                       resources + QStringLiteral("/config.json"), "--resource-dir", resources,
                       "-o", Installer})
                      .Code,
                  0);
    }
    static QString Program() { return BuiltProgram("tools/oneclick-build/oneclick-build"); }

    static TProgramRun Run(const QStringList& Args) { return RunProgram(Program(), Args); }

    // The picture a preview wrote, decoded; empty when the run failed.
    QImage Preview(QStringList Args) {
        const QString out = FEnv.Root() + QStringLiteral("/preview.png");
        QFile::remove(out);
        Args.prepend(Installer);
        Args.prepend(QStringLiteral("preview"));
        Args << QStringLiteral("-o") << out;
        const TProgramRun run = Run(Args);
        EXPECT_EQ(run.Code, 0) << run.Err.toStdString();
        return run.Code == 0 ? DecodePng(ReadTestFile(out)).Image : QImage();
    }

    QString Installer;
};

bool Near(const QColor& A, const QColor& B, int Tolerance) {
    return std::abs(A.red() - B.red()) <= Tolerance &&
           std::abs(A.green() - B.green()) <= Tolerance &&
           std::abs(A.blue() - B.blue()) <= Tolerance;
}

#define EXPECT_PIXEL(Image, X, Y, Color, Tolerance)                                                \
    EXPECT_TRUE(Near((Image).pixelColor(X, Y), Color, Tolerance))                                  \
        << "(" << (X) << ", " << (Y) << ") is " << (Image).pixelColor(X, Y).name().toStdString()

TEST_F(BuildPreviewTest, DemoWindowAsStartUpShowsIt) {
    const QImage window = Preview({});
    ASSERT_EQ(window.size(), QSize(620, 408));
    // The demo's banner gradient runs from #0763F4 at the top to #61A8F0 at row 259.
    EXPECT_PIXEL(window, 300, 2, QColor(0x07, 0x63, 0xF4), 6);
    EXPECT_PIXEL(window, 300, 240, QColor(0x5C, 0xA4, 0xF0), 8);
    // The install button's stored face, stretched: cyan at its top, blue at its bottom.
    EXPECT_PIXEL(window, 14 + 200 + 6, 262 + 45 + 2, QColor(0x1C, 0xD8, 0xE8), 12);
    EXPECT_PIXEL(window, 14 + 200 + 6, 262 + 45 + 46, QColor(0x1A, 0x6E, 0xE6), 12);
    // The page is white, with no tabs above it.
    EXPECT_PIXEL(window, 60, 270, QColor(Qt::white), 0);
    EXPECT_PIXEL(window, 60, 300, QColor(Qt::white), 0);
    // The demo logo (white tile) in place of the placeholder.
    EXPECT_PIXEL(window, 66 + 48, 85 + 10, QColor(Qt::white), 0);
}

TEST_F(BuildPreviewTest, ExpandedWindowShowsThePathRow) {
    const QImage window = Preview({"--expanded"});
    ASSERT_EQ(window.size(), QSize(620, 484));
    // The path row's edit box holds the proposed folder in dark grey text on white.
    int dark = 0;
    for (int x = 32; x < 500; ++x)
        for (int y = 442; y < 464; ++y)
            dark += window.pixelColor(x, y).lightness() < 140;
    EXPECT_GT(dark, 50);
}

TEST_F(BuildPreviewTest, PagesAndDialogsHaveTheirSizes) {
    struct TCase {
        QStringList Args;
        QSize Size;
    };
    const TCase cases[] = {
        {{"--page", "tbFinish"}, {620, 408}},    {{"--page", "uninprocess"}, {620, 408}},
        {{"--dialog", "msg"}, {442, 192}},       {{"--dialog", "confirm"}, {442, 192}},
        {{"--dialog", "reinstall"}, {440, 192}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args.join(u' ').toStdString());
        const QImage image = Preview(c.Args);
        EXPECT_EQ(image.size(), c.Size);
    }
    // The progress page shows its bar at the stored 10 %.
    const QImage process = Preview({"--page", "process"});
    ASSERT_FALSE(process.isNull());
    EXPECT_PIXEL(process, 14 + 30 + 20, 262 + 62 + 4, QColor(0x0F, 0x87, 0xFF), 0);
    EXPECT_PIXEL(process, 14 + 30 + 300, 262 + 62 + 4, QColor(0xDD, 0xDD, 0xDD), 0);
    // The dialogs take the installer's dialog ground: a grey frame and a light band.
    const QImage msg = Preview({"--dialog", "msg"});
    ASSERT_FALSE(msg.isNull());
    EXPECT_PIXEL(msg, 0, 100, QColor(0xC7, 0xC7, 0xC7), 0);
    EXPECT_PIXEL(msg, 200, 10, QColor(0xF3, 0xF5, 0xF9), 0);
}

TEST_F(BuildPreviewTest, RefusesWhatItCannotRender) {
    const QString out = FEnv.Root() + QStringLiteral("/refused.png");
    struct TCase {
        QStringList Args;
        int Code;
    };
    const TCase cases[] = {
        {{"preview", Installer}, 2},
        {{"preview", FEnv.Root() + "/missing", "-o", out}, 2},
        {{"preview", Installer, "--page", "tbNowhere", "-o", out}, 2},
        {{"preview", Installer, "--dialog", "about", "-o", out}, 2},
        {{"preview", Installer, "--dialog", "msg", "--page", "finish", "-o", out}, 2},
        // A program without a configuration is not an installer.
        {{"preview", Program(), "-o", out}, 1},
        {{"preview", Installer, "-o", FEnv.Root() + "/no/such/folder/x.png"}, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args.join(u' ').toStdString());
        const TProgramRun run = Run(c.Args);
        EXPECT_EQ(run.Code, c.Code);
        EXPECT_FALSE(run.Err.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(out));
    }
}

TEST_F(BuildPreviewTest, LeavesTheMakersRegistryAlone) {
    ASSERT_FALSE(Preview({}).isNull());
    // Building the configuration record writes the channel; none of it lands here.
    EXPECT_FALSE(QFileInfo::exists(FEnv.ConfigHome() + QStringLiteral("/oneclick")));
    EXPECT_FALSE(QFileInfo::exists(FEnv.DataHome() + QStringLiteral("/oneclick")));
}

} // namespace
