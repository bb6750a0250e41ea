// The picture buttons and the image control, checked on the pixels they paint under simulated
// pointer input: state strips, the alpha rule, picture placement, caption and icon, states.
#include "ui/UiTestSupport.h"

#include "resources/ResourceContainer.h"
#include "resources/Resources.h"
#include "base/RunningExe.h"
#include "testsupport/TestEnv.h"
#include "ui/ImgBtnEx.h"
#include "ui/TextImageButton.h"

#include <memory>

using namespace uitest;

namespace {
const QColor cnRed(220, 30, 30);
const QColor cnGreen(30, 200, 40);
const QColor cnBlue(20, 40, 220);
const QColor cnYellow(240, 230, 20);
const QColor cnGrey(128, 128, 128);

QColor CenterPixel(QWidget* W) {
    const QImage image = Render(W);
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// The strip columns a rendered coordinate strip cell shows: red carries the column.
std::pair<int, int> ShownColumns(QWidget* W) {
    const QImage image = Render(W);
    const int y = image.height() / 2;
    return {image.pixelColor(0, y).red(), image.pixelColor(image.width() - 1, y).red()};
}

class TButtonHost : public TIsolatedTest {
protected:
    void SetUp() override { FHost.resize(400, 200); }

    bool Show() { return ShowHost(&FHost); }
    // The pointer goes to the host's empty corner, then over the control.
    void Enter(QWidget* W) {
        QTest::mouseMove(&FHost, QPoint(2, 2));
        QTest::mouseMove(W, W->rect().center());
    }
    void Leave() { QTest::mouseMove(&FHost, QPoint(2, 2)); }

    QWidget FHost;
};
} // namespace

// --- TImgBtnEx -----------------------------------------------------------------------------------

class ImgBtnExTest : public TButtonHost {
protected:
    void SetUp() override {
        TButtonHost::SetUp();
        FButton = new TImgBtnEx(&FHost);
        FButton->move(300, 20);
        FButton->SetAutoSize(true);
    }
    // The pointer events the button fires, in order.
    void RecordEvents() {
        FButton->OnMouseEnter = [this](QEvent&) { FEvents.push_back("enter"); };
        FButton->OnMouseLeave = [this](QEvent&) { FEvents.push_back("leave"); };
        FButton->OnMouseDown = [this](QEvent&) { FEvents.push_back("down"); };
        FButton->OnMouseUp = [this](QEvent&) { FEvents.push_back("up"); };
    }
    TImgBtnEx* FButton = nullptr;
    std::vector<std::string> FEvents;
};

TEST_F(ImgBtnExTest, StripOf160By28GivesFourCellsFollowingThePointer) {
    FButton->SetPicMultiStatus(CoordinateStrip(160, 28));
    ASSERT_TRUE(Show());
    EXPECT_EQ(FButton->size(), QSize(40, 28));
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(0, 39));

    Enter(FButton);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(40, 79));
    QTest::mousePress(FButton, Qt::LeftButton);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(80, 119));
    QTest::mouseRelease(FButton, Qt::LeftButton);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(40, 79));
    Leave();
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(0, 39));

    FButton->setEnabled(false);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(120, 159));
    Enter(FButton);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(120, 159));
    FButton->setEnabled(true);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(0, 39));
}

TEST_F(ImgBtnExTest, ClickComesBeforeMouseUpAndOtherButtonsChangeNothing) {
    FButton->SetPicMultiStatus(CoordinateStrip(160, 28));
    RecordEvents();
    FButton->OnClick = [&](QObject*) { FEvents.push_back("click"); };
    ASSERT_TRUE(Show());

    Enter(FButton);
    QTest::mousePress(FButton, Qt::RightButton);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(40, 79));
    QTest::mouseRelease(FButton, Qt::RightButton);
    QTest::mouseClick(FButton, Qt::LeftButton);
    Leave();
    EXPECT_EQ(FEvents, (std::vector<std::string>{"enter", "down", "click", "up", "leave"}));
}

TEST_F(ImgBtnExTest, DownStatusIgnoresEnterLeaveAndReleaseButRecordsThePress) {
    FButton->SetPicMultiStatus(CoordinateStrip(160, 28));
    RecordEvents();
    ASSERT_TRUE(Show());
    FButton->SetDownStatus(true);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(80, 119));

    Enter(FButton);
    QTest::mousePress(FButton, Qt::LeftButton);
    QTest::mouseRelease(FButton, Qt::LeftButton);
    Leave();
    EXPECT_EQ(FEvents, std::vector<std::string>{"down"});
    EXPECT_TRUE(FButton->Down());
    EXPECT_FALSE(FButton->Entered());
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(80, 119));

    FButton->SetDownStatus(false);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(0, 39));
}

TEST_F(ImgBtnExTest, NewStatusSwitchesBetweenTheTwoPictureSets) {
    const TPicture second = MakePicture(160, 28, [](int x, int) { return QColor(x, 0, 50); });
    FButton->SetPicMultiStatus(CoordinateStrip(160, 28));
    FButton->SetPicNewStatus(second);
    EXPECT_EQ(FButton->ImgStatus(), 1);
    EXPECT_EQ(CenterPixel(FButton).blue(), 50);
    FButton->SetNewStatus(false);
    EXPECT_EQ(CenterPixel(FButton).blue(), 200);
    FButton->SetNewStatus(true);
    EXPECT_EQ(CenterPixel(FButton).blue(), 50);
    ASSERT_TRUE(Show());
    Enter(FButton);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(40, 79));
    EXPECT_EQ(CenterPixel(FButton).blue(), 50);
}

TEST_F(ImgBtnExTest, UncuttableStripsLeaveThePictureShown) {
    struct TCase {
        const char* What;
        TPicture Strip;
        int SplitNum;
    };
    const TCase cases[] = {
        {"grey", SolidPicture(160, 28, cnRed, PNG_COLOR_TYPE_GRAY), 4},
        {"grey with alpha", SolidPicture(160, 28, cnRed, PNG_COLOR_TYPE_GRAY_ALPHA), 4},
        {"no cells", CoordinateStrip(160, 28), 0},
        {"negative cells", CoordinateStrip(160, 28), -1},
        {"five cells", CoordinateStrip(160, 28), 5},
        {"narrower than its cells", CoordinateStrip(3, 28), 4},
        {"empty", TPicture{}, 4},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TImgBtnEx button;
        button.SetAutoSize(true);
        button.SetPicture(SolidPicture(40, 28, cnGrey));
        button.SetPicSplitNum(c.SplitNum);
        button.SetPicMultiStatus(c.Strip);
        button.setEnabled(false);
        button.setEnabled(true);
        EXPECT_EQ(button.size(), QSize(40, 28));
        EXPECT_TRUE(Near(CenterPixel(&button), cnGrey));
    }
}

TEST_F(ImgBtnExTest, AlphaRuleByColourTypeAndPicAlpha) {
    struct TCase {
        int ColorType;
        TImgBtnEx::TAlphaType Alpha;
        int ShownAlpha;
    };
    const TCase cases[] = {
        {PNG_COLOR_TYPE_RGBA, TImgBtnEx::atAuto, 128},
        {PNG_COLOR_TYPE_RGBA, TImgBtnEx::atAlpha, 128},
        {PNG_COLOR_TYPE_RGBA, TImgBtnEx::atNoAlpha, 0},
        {PNG_COLOR_TYPE_RGB, TImgBtnEx::atAuto, 0},
        {PNG_COLOR_TYPE_RGB, TImgBtnEx::atAlpha, 0},
        {PNG_COLOR_TYPE_RGB, TImgBtnEx::atNoAlpha, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "colour type " << c.ColorType << ", mode " << c.Alpha);
        TImgBtnEx button(&FHost);
        button.SetAutoSize(true);
        button.SetPicAlpha(c.Alpha);
        button.SetPicMultiStatus(SolidPicture(40, 10, QColor(60, 90, 120, 128), c.ColorType));
        ASSERT_EQ(button.size(), QSize(10, 10));
        const QColor shown = CenterPixel(&button);
        EXPECT_EQ(shown.alpha(), c.ShownAlpha);
        if (c.ShownAlpha) {
            EXPECT_TRUE(Near(shown, QColor(60, 90, 120, 128), 3));
        }
    }
}

// --- TTextImageButton ----------------------------------------------------------------------------

class TextImageButtonTest : public TButtonHost {
protected:
    void SetUp() override {
        TButtonHost::SetUp();
        FButton = new TTextImageButton(&FHost);
        FButton->move(50, 30);
    }
    // Normal red, hover green, pressed blue, each 40 x 20.
    void GiveStatePictures() {
        FButton->SetBitmap(SolidPicture(40, 20, cnRed));
        FButton->SetBitmapOver(SolidPicture(40, 20, cnGreen));
        FButton->SetBitmapDown(SolidPicture(40, 20, cnBlue));
    }
    TTextImageButton* FButton = nullptr;
};

TEST_F(TextImageButtonTest, NewButtonDefaults) {
    EXPECT_EQ(FButton->size(), QSize(75, 25));
    EXPECT_EQ(FButton->PicSplitNum(), 4);
    EXPECT_EQ(FButton->PicAlpha(), TTextImageButton::atAuto);
    EXPECT_EQ(FButton->Spacing(), 4);
    EXPECT_TRUE(FButton->ShowHint());
    EXPECT_FALSE(FButton->Stretch() || FButton->Proportional() || FButton->DownStatus());
    // The first paint fills the button with the button face.
    EXPECT_TRUE(Near(CenterPixel(FButton), FButton->palette().color(QPalette::Button)));
}

TEST_F(TextImageButtonTest, StatesFollowThePointerAndClickSeesThePressedLook) {
    GiveStatePictures();
    EXPECT_EQ(FButton->size(), QSize(40, 20));
    std::vector<std::string> events;
    QColor lookAtClick;
    FButton->OnMouseEnter = [&](QObject*) { events.push_back("enter"); };
    FButton->OnMouseLeave = [&](QObject*) { events.push_back("leave"); };
    FButton->OnMouseDown = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        events.push_back("down");
    };
    FButton->OnMouseUp = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        events.push_back("up");
    };
    FButton->OnClick = [&](QObject*) {
        events.push_back("click");
        lookAtClick = CenterPixel(FButton);
    };
    ASSERT_TRUE(Show());
    EXPECT_TRUE(Near(CenterPixel(FButton), cnRed));

    Enter(FButton);
    EXPECT_TRUE(Near(CenterPixel(FButton), cnGreen));
    QTest::mousePress(FButton, Qt::RightButton);
    QTest::mouseRelease(FButton, Qt::RightButton);
    EXPECT_TRUE(Near(CenterPixel(FButton), cnGreen));
    QTest::mousePress(FButton, Qt::LeftButton);
    EXPECT_TRUE(Near(CenterPixel(FButton), cnBlue));
    QTest::mouseRelease(FButton, Qt::LeftButton);
    EXPECT_TRUE(Near(lookAtClick, cnBlue));
    EXPECT_TRUE(Near(CenterPixel(FButton), cnGreen));
    Leave();
    EXPECT_TRUE(Near(CenterPixel(FButton), cnRed));
    EXPECT_EQ(events, (std::vector<std::string>{"enter", "down", "click", "up", "leave"}));

    // A release away from the button is no click.
    events.clear();
    Enter(FButton);
    QTest::mousePress(FButton, Qt::LeftButton);
    QTest::mouseMove(&FHost, QPoint(2, 2));
    QTest::mouseRelease(&FHost, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(std::count(events.begin(), events.end(), "click"), 0);
}

TEST_F(TextImageButtonTest, DirectSlotsShowOnlyAtTheNextStateChange) {
    FButton->SetBitmap(SolidPicture(40, 20, cnRed));
    ASSERT_TRUE(Show());
    FButton->Bmp = SolidPicture(60, 30, cnYellow);
    FButton->MOver = SolidPicture(60, 30, cnGreen);
    FButton->repaint();
    EXPECT_EQ(FButton->size(), QSize(40, 20));
    EXPECT_TRUE(Near(CenterPixel(FButton), cnRed));
    Enter(FButton);
    EXPECT_TRUE(Near(CenterPixel(FButton), cnGreen));
    Leave();
    EXPECT_TRUE(Near(CenterPixel(FButton), cnYellow));
    EXPECT_EQ(FButton->size(), QSize(40, 20));
}

TEST_F(TextImageButtonTest, DownStatusKeepsThePressedLook) {
    GiveStatePictures();
    int enters = 0;
    FButton->OnMouseEnter = [&](QObject*) { ++enters; };
    ASSERT_TRUE(Show());
    FButton->SetDownStatus(true);
    EXPECT_TRUE(Near(CenterPixel(FButton), cnBlue));
    Enter(FButton);
    EXPECT_TRUE(Near(CenterPixel(FButton), cnBlue));
    QTest::mouseClick(FButton, Qt::LeftButton);
    EXPECT_TRUE(Near(CenterPixel(FButton), cnBlue));
    Leave();
    EXPECT_TRUE(Near(CenterPixel(FButton), cnBlue));
    EXPECT_EQ(enters, 1);
    FButton->SetDownStatus(false);
    EXPECT_TRUE(Near(CenterPixel(FButton), cnRed));
}

TEST_F(TextImageButtonTest, StripOf100PixelsWithThreeCells) {
    // Column 99 is the leftover: no state may show it.
    const TPicture strip =
        MakePicture(100, 28, [](int x, int y) { return x == 99 ? cnYellow : QColor(x, y, 200); });
    FButton->BmpDAble = SolidPicture(33, 28, cnGrey);
    FButton->resize(33, 28);
    FButton->SetPicSplitNum(3);
    FButton->SetPicMultiStatus(strip);
    ASSERT_TRUE(Show());
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(0, 32));
    Enter(FButton);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(33, 65));
    QTest::mousePress(FButton, Qt::LeftButton);
    const QImage pressed = Render(FButton);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(66, 98));
    EXPECT_EQ(CountNear(pressed, cnYellow, {}, 4), 0);
    QTest::mouseRelease(FButton, Qt::LeftButton);
    Leave();
    // The disabled picture kept what it held before the strip.
    FButton->setEnabled(false);
    EXPECT_TRUE(Near(CenterPixel(FButton), cnGrey));
}

TEST_F(TextImageButtonTest, SplitNumChangedAfterTheStripDoesNotRecut) {
    FButton->resize(40, 28);
    FButton->SetPicMultiStatus(CoordinateStrip(160, 28));
    FButton->SetPicSplitNum(2);
    ASSERT_TRUE(Show());
    Enter(FButton);
    EXPECT_EQ(ShownColumns(FButton), std::make_pair(40, 79));
}

TEST_F(TextImageButtonTest, UncuttableStripChangesNoPicture) {
    FButton->SetBitmap(SolidPicture(40, 28, cnRed));
    FButton->SetPicMultiStatus(SolidPicture(160, 28, cnGreen, PNG_COLOR_TYPE_GRAY));
    FButton->SetPicSplitNum(7);
    FButton->SetPicMultiStatus(CoordinateStrip(160, 28));
    EXPECT_TRUE(Near(CenterPixel(FButton), cnRed));
}

TEST_F(TextImageButtonTest, PictureOf200By48InAButtonOf100By30) {
    const TPicture picture = CoordinateStrip(200, 48);
    const QColor face = FButton->palette().color(QPalette::Button);

    // Proportional: 100 x 24 at (0, 3); the face shows above and below.
    FButton->setGeometry(0, 0, 100, 30);
    FButton->Bmp = picture;
    FButton->SetProportional(true);
    QImage image = Render(FButton);
    for (int x = 0; x < 100; x += 11) {
        for (int y : {0, 2, 27, 29})
            EXPECT_TRUE(Near(image.pixelColor(x, y), face)) << x << "," << y;
        for (int y : {3, 15, 26})
            EXPECT_EQ(image.pixelColor(x, y).blue(), 200) << x << "," << y;
    }

    // Neither Stretch nor Proportional: own size at (-50, -9), its centre showing.
    TTextImageButton plain(&FHost);
    plain.setGeometry(0, 0, 100, 30);
    plain.Bmp = picture;
    image = Render(&plain);
    for (int y = 0; y < 30; y += 7)
        for (int x = 0; x < 100; x += 9)
            EXPECT_EQ(image.pixelColor(x, y), QColor(x + 50, y + 9, 200)) << x << "," << y;

    // Stretch alone fills the whole button.
    TTextImageButton stretched(&FHost);
    stretched.setGeometry(0, 0, 100, 30);
    stretched.Bmp = picture;
    stretched.SetStretch(true);
    image = Render(&stretched);
    EXPECT_EQ(CountNear(image, face, {}, 0), 0);
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 200));
}

TEST_F(TextImageButtonTest, CalcPictureRectTable) {
    struct TCase {
        QSize Picture, Control;
        bool Stretch, Proportional;
        QRect Expected;
    };
    const TCase cases[] = {
        {{200, 48}, {100, 30}, false, true, {0, 3, 100, 24}},
        {{200, 48}, {100, 30}, false, false, {-50, -9, 200, 48}},
        {{200, 48}, {100, 30}, true, false, {0, 0, 100, 30}},
        {{48, 200}, {100, 30}, false, true, {46, 0, 7, 30}},
        {{20, 10}, {100, 30}, false, true, {40, 10, 20, 10}}, // smaller: own size
        {{20, 10}, {100, 30}, true, true, {20, 0, 60, 30}},
        {{30, 30}, {100, 30}, true, true, {35, 0, 30, 30}},
        {{0, 0}, {100, 30}, true, true, {0, 0, 100, 30}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Picture.width() << "x" << c.Picture.height() << " "
                                        << c.Stretch << c.Proportional);
        EXPECT_EQ(CalcPictureRect(c.Picture.width(), c.Picture.height(), c.Control.width(),
                                  c.Control.height(), c.Stretch, c.Proportional, true),
                  c.Expected);
    }
}

TEST_F(TextImageButtonTest, BrushTurnsClearAfterTheFirstCaption) {
    struct TCase {
        QString Caption;
        int SecondPaintAlpha;
    };
    for (const TCase& c : {TCase{QStringLiteral("OK"), 0}, TCase{QString(), 255}}) {
        SCOPED_TRACE(c.Caption.toStdString());
        TTextImageButton button(&FHost);
        button.Bmp = SolidPicture(60, 20, cnBlue);
        button.SetCaption(c.Caption);
        const QColor face = button.palette().color(QPalette::Button);
        EXPECT_TRUE(Near(Render(&button).pixelColor(1, 1), face));
        const QImage second = Render(&button);
        EXPECT_EQ(second.pixelColor(1, 1).alpha(), c.SecondPaintAlpha);
        EXPECT_TRUE(Near(second.pixelColor(9, 3), cnBlue));
    }
}

TEST_F(TextImageButtonTest, DisabledLookWithAndWithoutDisabledPicture) {
    QFont big = FButton->font();
    big.setPixelSize(18);
    FButton->setFont(big);
    FButton->SetCaption(QStringLiteral("WW"));
    FButton->SetFontColor(cnGreen);
    FButton->SetDisableFontColor(cnRed);
    FButton->SetBitmap(SolidPicture(80, 30, cnBlue));
    ASSERT_TRUE(Show());
    EXPECT_GT(CountNear(Render(FButton), cnGreen), 0);

    // Without a disabled picture: the normal look, the caption in the disabled colour.
    FButton->setEnabled(false);
    QImage image = Render(FButton);
    EXPECT_EQ(FButton->size(), QSize(80, 30));
    EXPECT_TRUE(Near(image.pixelColor(2, 2), cnBlue));
    EXPECT_GT(CountNear(image, cnRed), 0);
    EXPECT_EQ(CountNear(image, cnGreen), 0);

    // With one: the button takes its size and shows it at the top left.
    FButton->BmpDAble = SolidPicture(60, 26, cnYellow);
    Render(FButton);
    EXPECT_EQ(FButton->size(), QSize(60, 26));
    image = Render(FButton);
    EXPECT_TRUE(Near(image.pixelColor(0, 0), cnYellow));
    EXPECT_TRUE(Near(image.pixelColor(59, 25), cnYellow));
    EXPECT_GT(CountNear(image, cnRed), 0);
    EXPECT_EQ(CountNear(image, cnBlue), 0);

    // Disabled, the pointer changes nothing and fires nothing.
    int events = 0;
    FButton->OnMouseEnter = [&](QObject*) { ++events; };
    Enter(FButton);
    QTest::mouseClick(FButton, Qt::LeftButton);
    EXPECT_EQ(events, 0);
    EXPECT_TRUE(Near(CenterPixel(FButton), cnYellow));
}

TEST_F(TextImageButtonTest, IconAndCaptionPlacement) {
    const QColor ink(0, 0, 0);
    const TPicture icon = SolidPicture(16, 16, QColor(250, 0, 250));
    QFont font = FButton->font();
    font.setPixelSize(12);
    for (int width : {200, 40}) {
        SCOPED_TRACE(width);
        TTextImageButton button(&FHost);
        button.setFont(font);
        button.SetCaption(QStringLiteral("Go"));
        button.SetBitmap(SolidPicture(width, 40, cnGrey));
        button.SetaSmallIcon(icon);
        const QImage image = Render(&button);
        // The icon at x = 10, y = (40 - 16) / 2 + 1, unscaled.
        EXPECT_TRUE(Near(image.pixelColor(10, 13), QColor(250, 0, 250)));
        EXPECT_TRUE(Near(image.pixelColor(25, 28), QColor(250, 0, 250)));
        EXPECT_TRUE(Near(image.pixelColor(9, 13), cnGrey));
        EXPECT_TRUE(Near(image.pixelColor(10, 12), cnGrey));
        EXPECT_TRUE(Near(image.pixelColor(10, 29), cnGrey));
        const int textWidth = QFontMetrics(font).horizontalAdvance(QStringLiteral("Go"));
        const int expectedLeft = std::max((width - textWidth) / 2, 16 + 16);
        const int inkLeft = LeftmostNear(image, ink);
        EXPECT_GE(inkLeft, expectedLeft);
        EXPECT_LE(inkLeft, expectedLeft + 3);
    }
}

TEST_F(TextImageButtonTest, AutoSizeKeepsTheNormalPictureSize) {
    FButton->SetBitmap(SolidPicture(100, 30, cnRed));
    FButton->SetAutoSize(true);
    FButton->SetBounds(10, 10, 300, 90);
    EXPECT_EQ(FButton->geometry(), QRect(10, 10, 100, 30));
    // A hover picture of another size shows inside the same bounds.
    FButton->MOver = SolidPicture(200, 48, cnGreen);
    FButton->SetProportional(true);
    ASSERT_TRUE(Show());
    Enter(FButton);
    EXPECT_EQ(FButton->size(), QSize(100, 30));
    const QImage image = Render(FButton);
    EXPECT_TRUE(Near(image.pixelColor(50, 3), cnGreen));
    EXPECT_FALSE(Near(image.pixelColor(50, 2), cnGreen));
}

// --- TImage --------------------------------------------------------------------------------------

class ImageTest : public TIsolatedTest {
protected:
    void TearDown() override { SetRunningExePath({}); }
};

TEST_F(ImageTest, PlacementAndAutoSize) {
    TImage image;
    image.setGeometry(0, 0, 100, 30);
    image.SetPicture(CoordinateStrip(200, 48));
    EXPECT_EQ(image.DestRect(), QRect(0, 0, 200, 48));
    image.SetCenter(true);
    EXPECT_EQ(image.DestRect(), QRect(-50, -9, 200, 48));
    image.SetProportional(true);
    EXPECT_EQ(image.DestRect(), QRect(0, 3, 100, 24));
    image.SetStretch(true);
    image.SetProportional(false);
    EXPECT_EQ(image.DestRect(), QRect(0, 0, 100, 30));
    const QImage shown = Render(&image);
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(0, 0, 200));
    EXPECT_EQ(shown.pixelColor(99, 29).blue(), 200);

    image.SetAutoSize(true);
    EXPECT_EQ(image.size(), QSize(200, 48));
}

TEST_F(ImageTest, LoadPngToImageFromTheExecutable) {
    const QString program = FEnv.Tmp() + "/program";
    const QString installer = FEnv.Tmp() + "/setup";
    WriteTestFile(program, "program bytes");
    {
        TResourceWriter writer(program, installer);
        writer.AddBytes("BGPIC", cnResTypeFile, EncodePng(SolidPicture(8, 6, cnRed).Image, 6));
        writer.AddBytes("broken", cnResTypeFile, "not a png");
        writer.Finish();
    }
    SetRunningExePath(installer);

    TImage image;
    image.SetAutoSize(true);
    LoadPngToImage(&image, "bgpic", cnResTypeFile);
    EXPECT_EQ(image.size(), QSize(8, 6));
    EXPECT_TRUE(Near(CenterPixel(&image), cnRed));

    EXPECT_THROW(LoadPngToImage(&image, "missing", cnResTypeFile), EResNotFound);
    EXPECT_THROW(LoadPngToImage(&image, "broken", cnResTypeFile), EPngError);
    EXPECT_EQ(image.size(), QSize(8, 6));
    EXPECT_TRUE(Near(CenterPixel(&image), cnRed));
}
