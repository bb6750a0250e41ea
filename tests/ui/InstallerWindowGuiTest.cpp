// The installer window's stored layout: every control by name, class, place, visibility, text,
// font and colour; the handlers bound by name; the pages switched only by the program; and the
// start-up touches applied to the demo product's pictures.
#include "ui/FormTestSupport.h"

#include "base/RunningExe.h"
#include "ui/FrmCommInstLayout.h"
#include "ui/StoredLayout.h"

#include <QTabBar>

using namespace formtest;
using namespace uitest;

namespace {

struct TControlCase {
    const char* Name;
    const char* Class;
    const char* Parent;
    QRect Bounds; // a label that fits its text has its size checked against that text
    bool Hidden;
    QString Text;
    int PixelSize; // 0: not checked
    QColor Color;  // invalid: not checked
};

const QColor cnGrey4F(0x4F, 0x4F, 0x4F);
const QColor cnWhite(Qt::white);
const QColor cnNone;

// The window as stored, before start-up touches it.
// clang-format off
const TControlCase ControlCases[] = {
    {"lblPath", "TLabel", "FrmCommInst", {32, 421, 48, 17}, false, "安装路径", 12, cnGrey4F},
    {"btnChangeInstall", "TTextImageButton", "FrmCommInst", {511, 441, 77, 26}, false, "更改目录", 12, cnNone},
    {"img2", "TImage", "FrmCommInst", {-16, 405, 800, 4}, false, {}, 0, cnNone},
    {"imgLeft", "TImage", "FrmCommInst", {-2, 250, 4, 260}, false, {}, 0, cnNone},
    {"imgRight", "TImage", "FrmCommInst", {618, 240, 2, 260}, false, {}, 0, cnNone},
    {"imgBottom", "TImage", "FrmCommInst", {0, 505, 620, 1}, false, {}, 0, cnNone},
    {"pnl1", "TPanel", "FrmCommInst", {0, 0, 620, 253}, false, {}, 0, cnNone},
    {"edtPath", "TEdit", "FrmCommInst", {32, 442, 468, 22}, false, {}, 13, cnGrey4F},
    {"cnMain", "TPageControl", "FrmCommInst", {14, 262, 590, 138}, false, {}, 0, cnNone},
    {"imgMain", "TImage", "pnl1", {0, 0, 620, 400}, false, {}, 0, cnNone},
    {"lblTitle", "TLabel", "pnl1", {45, 10, 88, 19}, true, "XXX软件 v8.30", 13, QColor(0xD4, 0xD4, 0xD4)},
    {"imgLogo", "TImage", "pnl1", {66, 85, 102, 102}, false, {}, 0, cnNone},
    {"lblBigTitle", "TLabel", "pnl1", {199, 90, 324, 66}, false, "这里是软件的名称显示软件", 27, cnWhite},
    {"lblDescription", "TLabel", "pnl1", {199, 162, 102, 25}, false, "description", 19, cnWhite},
    {"lblVersion", "TLabel", "pnl1", {496, 55, 69, 27}, true, "3.10", 20, cnWhite},
    {"lblNameFromExe", "TLabel", "pnl1", {199, 54, 6, 28}, false, {}, 21, cnWhite},
    {"imgMiniLogo", "TImage", "pnl1", {14, 9, 25, 25}, false, {}, 0, cnNone},
    {"imgbtnClose", "TImgBtnEx", "pnl1", {580, 0, 40, 28}, false, {}, 0, cnNone},
    {"tbInstall", "TTabSheet", "cnMain", {0, 23, 590, 115}, false, "安装", 0, cnNone},
    {"tbProcess", "TTabSheet", "cnMain", {0, 23, 590, 115}, true, "正在安装", 0, cnNone},
    {"tbFinish", "TTabSheet", "cnMain", {0, 23, 590, 115}, true, "安装完成", 0, cnNone},
    {"tbUninstall", "TTabSheet", "cnMain", {0, 23, 590, 115}, true, "卸载", 0, cnNone},
    {"tbUninProcess", "TTabSheet", "cnMain", {0, 23, 590, 115}, true, "正在卸载", 0, cnNone},
    {"tbUninFinish", "TTabSheet", "cnMain", {0, 23, 590, 115}, true, "卸载完成", 0, cnNone},
    {"btnInstall", "TTextImageButton", "tbInstall", {200, 45, 200, 48}, false, "一键安装", 17, cnWhite},
    {"pnl2", "TPanel", "tbInstall", {0, 93, 590, 22}, false, {}, 0, cnNone},
    {"lblDesOptions", "TLabel", "pnl2", {510, 0, 60, 17}, false, "自定义安装", 12, QColor(0x44, 0x44, 0x44)},
    {"imgDown", "TImage", "pnl2", {490, 0, 80, 19}, false, {}, 0, cnNone},
    {"imgUp", "TImage", "pnl2", {490, 0, 80, 19}, true, {}, 0, cnNone},
    {"lblDesInstalling", "TLabel", "tbProcess", {28, 13, 553, 20}, false, "软件正在安装，请耐心等候......", 13, cnGrey4F},
    {"lblWaitingInfo", "TLabel", "tbProcess", {28, 41, 4, 17}, false, {}, 12, cnGrey4F},
    {"pbProgress", "TFlatProgressBar", "tbProcess", {30, 62, 504, 8}, false, {}, 0, cnNone},
    {"lblPercentNum", "TLabel", "tbProcess", {550, 58, 18, 17}, false, "0%", 12, cnNone},
    {"lblMinimize", "TLinkLabel", "tbProcess", {454, 84, 88, 21}, true, "最小化安装窗口", 12, cnNone},
    {"lblDesInstallComplete", "TLabel", "tbFinish", {3, 15, 572, 20}, false, "恭喜！软件已安装成功", 13, cnGrey4F},
    {"btnInstallExit", "TTextImageButton", "tbFinish", {201, 54, 175, 45}, false, "安装完成", 19, cnWhite},
    {"btnUninstall", "TTextImageButton", "tbUninstall", {189, 41, 175, 45}, false, "卸载软件", 19, cnWhite},
    {"lblDesUninstalling", "TLabel", "tbUninProcess", {25, 16, 556, 20}, false, "软件正在卸载，请耐心等候......", 13, cnGrey4F},
    {"pbUninstall", "TFlatProgressBar", "tbUninProcess", {30, 60, 510, 12}, false, {}, 0, cnNone},
    {"Image1", "TImage", "tbUninFinish", {12, 4, 36, 36}, false, {}, 0, cnNone},
    {"lblDesUninstallComplete", "TLabel", "tbUninFinish", {63, 14, 403, 19}, false, "软件已经卸载完成！如果关于软件使用有任何问题欢迎再与我们联系！", 13, cnGrey4F},
    {"btnUninExit", "TTextImageButton", "tbUninFinish", {201, 48, 175, 45}, false, "退出", 19, cnWhite},
};
// clang-format on

QString TextOf(const QWidget* W) {
    const QVariant caption = W->property("Caption");
    return caption.isValid() ? caption.toString() : W->property("Text").toString();
}

QColor TextColorOf(const QWidget* W) {
    if (auto* button = qobject_cast<const TTextImageButton*>(W))
        return button->FontColor();
    return W->palette().color(QPalette::WindowText);
}

TEST(InstallerWindowLayoutTest, EveryControlAsStored) {
    const TFrmCommInstLayout form;
    EXPECT_EQ(form.size(), QSize(620, 506));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("FrmCommInst"));
    EXPECT_EQ(form.font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(form.font().pixelSize(), 12);
    EXPECT_FALSE(form.bMouseDownToMoveClient());

    QStringList named;
    for (const QWidget* w : form.findChildren<QWidget*>())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(u"qt_"))
            named << w->objectName();
    EXPECT_EQ(named.size(), qsizetype(std::size(ControlCases))) << named.join(u' ').toStdString();

    for (const TControlCase& c : ControlCases) {
        SCOPED_TRACE(c.Name);
        auto* control = form.findChild<QWidget*>(QString::fromLatin1(c.Name));
        ASSERT_NE(control, nullptr);
        EXPECT_STREQ(control->metaObject()->className(), c.Class);
        ASSERT_NE(control->parentWidget(), nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(), QString::fromLatin1(c.Parent));
        EXPECT_EQ(control->pos(), c.Bounds.topLeft());
        auto* label = qobject_cast<TLabel*>(control);
        if (label && label->AutoSize()) {
            EXPECT_EQ(control->size(), label->sizeHint());
        } else {
            EXPECT_EQ(control->size(), c.Bounds.size());
        }
        EXPECT_EQ(!control->isVisibleTo(control->parentWidget()), c.Hidden);
        EXPECT_EQ(TextOf(control), c.Text);
        if (c.PixelSize > 0) {
            EXPECT_EQ(control->font().pixelSize(), c.PixelSize);
            EXPECT_EQ(control->font().family(),
                      QByteArrayView(c.Name) == "edtPath" ? QStringLiteral("Arial") : cnLayoutFace);
        }
        if (c.Color.isValid()) {
            EXPECT_EQ(TextColorOf(control), c.Color);
        }
    }

    // The controls the table cannot show.
    EXPECT_EQ(form.cnMain->ActivePage(), form.tbInstall);
    EXPECT_EQ(form.cnMain->PageCount(), 6);
    EXPECT_EQ(form.pbProgress->Position(), 10);
    EXPECT_EQ(form.pbUninstall->Position(), 5);
    EXPECT_FALSE(form.tmrAutoInst->Enabled());
    EXPECT_EQ(form.tmrAutoInst->Interval(), 100);
    EXPECT_EQ(form.tmrAutoInst->objectName(), QStringLiteral("tmrAutoInst"));
    for (TTextImageButton* b : {form.btnChangeInstall, form.btnInstall, form.btnInstallExit,
                                form.btnUninstall, form.btnUninExit}) {
        EXPECT_EQ(b->PicSplitNum(), 0);
        EXPECT_EQ(b->Spacing(), 4);
        EXPECT_EQ(b->DisableFontColor(), QColor(Qt::black));
        EXPECT_TRUE(b->ShowHint());
    }
    EXPECT_EQ(form.btnInstall->Bitmap().Image.size(), QSize(150, 45));
    EXPECT_EQ(form.btnInstall->Bitmap().ColorType, 2); // stored without alpha
    EXPECT_TRUE(form.btnInstall->Stretch());
    EXPECT_EQ(form.btnInstall->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(form.btnUninstall->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(form.imgbtnClose->PicSplitNum(), 4);
    EXPECT_EQ(form.imgbtnClose->PicMultiStatus().Image.size(), QSize(160, 28));
    EXPECT_EQ(form.imgMain->Picture().Image.size(), QSize(620, 420));
}

// --- Handlers --------------------------------------------------------------------------------

class TRecordingWindow : public TFrmCommInstLayout {
public:
    QStringList Calls;
    void FormShow() override { Calls << "FormShow"; }
    void FormClose(TCloseAction& Action) override {
        Calls << "FormClose";
        Action = FRefuseClose ? caNone : caHide;
    }
    void btnChangeInstallClick(QObject*) override { Calls << "btnChangeInstallClick"; }
    void imgbtnCloseClick(QObject*) override { Calls << "imgbtnCloseClick"; }
    void btnInstallClick(QObject*) override { Calls << "btnInstallClick"; }
    void btnInstallExitClick(QObject*) override { Calls << "btnInstallExitClick"; }
    void btnUninstallClick(QObject*) override { Calls << "btnUninstallClick"; }
    void btnUninExitClick(QObject*) override { Calls << "btnUninExitClick"; }
    void lblMinimizeClick(QObject*) override { Calls << "lblMinimizeClick"; }
    void pbProgressChange(QObject*) override { Calls << "pbProgressChange"; }
    void tmrAutoInstTimer(QObject* Sender) override {
        Calls << "tmrAutoInstTimer";
        static_cast<TTimer*>(Sender)->SetEnabled(false);
    }
    void imgOptionsMouseDown(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) override {
        Calls << "imgOptionsMouseDown";
    }
    bool FRefuseClose = false;
};

class InstallerWindowTest : public TIsolatedTest {
protected:
    void TearDown() override { SetRunningExePath({}); }
};

TEST_F(InstallerWindowTest, ClicksReachTheHandlersBoundByName) {
    struct TClick {
        const char* Control;
        const char* Page; // made active first
        const char* Handler;
    };
    const TClick clicks[] = {
        {"btnInstall", "tbInstall", "btnInstallClick"},
        {"btnChangeInstall", "tbInstall", "btnChangeInstallClick"},
        {"imgbtnClose", "tbInstall", "imgbtnCloseClick"},
        {"lblMinimize", "tbProcess", "lblMinimizeClick"},
        {"btnInstallExit", "tbFinish", "btnInstallExitClick"},
        {"btnUninstall", "tbUninstall", "btnUninstallClick"},
        {"btnUninExit", "tbUninFinish", "btnUninExitClick"},
    };
    TRecordingWindow form;
    form.lblMinimize->show();
    ASSERT_TRUE(ShowHost(&form));
    EXPECT_EQ(form.Calls, QStringList{"FormShow"});
    for (const TClick& c : clicks) {
        SCOPED_TRACE(c.Control);
        form.Calls.clear();
        form.cnMain->SetActivePage(form.findChild<TTabSheet*>(QString::fromLatin1(c.Page)));
        auto* control = form.findChild<QWidget*>(QString::fromLatin1(c.Control));
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(form.Calls, QStringList{c.Handler});
    }

    form.Calls.clear();
    form.pbProgress->SetPosition(40);
    form.pbUninstall->SetPosition(40);
    EXPECT_EQ(form.Calls, QStringList{"pbProgressChange"});

    // The arrows move the window until start-up binds the toggle to them.
    form.Calls.clear();
    form.cnMain->SetActivePage(form.tbInstall);
    QTest::mouseClick(form.imgDown, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(form.Calls.isEmpty());
    form.SetbMouseDownToMoveClient(true);
    form.BindOptionsToggle();
    QTest::mouseClick(form.imgDown, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(form.Calls, QStringList{"imgOptionsMouseDown"});

    form.Calls.clear();
    form.tmrAutoInst->SetEnabled(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.Calls.isEmpty(); }, 10000));
    EXPECT_EQ(form.Calls, QStringList{"tmrAutoInstTimer"});

    form.Calls.clear();
    form.FRefuseClose = true;
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    form.FRefuseClose = false;
    EXPECT_TRUE(form.close());
    EXPECT_EQ(form.Calls, (QStringList{"FormClose", "FormClose"}));
}

TEST_F(InstallerWindowTest, PagesAreSwitchedOnlyByTheProgramOnceTheirTabsAreHidden) {
    TFrmCommInstLayout form;
    ASSERT_TRUE(ShowHost(&form));
    auto* tabs = form.cnMain->findChild<QTabBar*>();
    ASSERT_NE(tabs, nullptr);
    EXPECT_TRUE(tabs->isVisible());
    // A user's click on a tab switches the page while the tabs show.
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    EXPECT_EQ(form.cnMain->ActivePage(), form.tbFinish);

    form.HidePageTabs();
    EXPECT_FALSE(tabs->isVisible());
    for (int i = 0; i < form.cnMain->PageCount(); ++i) {
        EXPECT_TRUE(form.cnMain->Pages(i)->Caption().isEmpty());
        EXPECT_EQ(form.cnMain->Pages(i)->geometry(), QRect(0, 0, 590, 138));
    }
    for (TTabSheet* page : {form.tbProcess, form.tbUninstall, form.tbInstall}) {
        form.cnMain->SetActivePage(page);
        for (int i = 0; i < form.cnMain->PageCount(); ++i) {
            EXPECT_EQ(form.cnMain->Pages(i)->isVisible(), form.cnMain->Pages(i) == page);
        }
    }
    // The bottom-aligned options row follows the taller page.
    EXPECT_EQ(form.pnl2->geometry(), QRect(0, 116, 590, 22));
    // Pressing where the tabs were is pressing on the page.
    QTest::mouseClick(form.cnMain, Qt::LeftButton, {}, QPoint(100, 5));
    EXPECT_EQ(form.cnMain->ActivePage(), form.tbInstall);
}

TEST_F(InstallerWindowTest, StartupTouchesBrandTheWindowFromTheInstaller) {
    // Without "btninst02" the mouse-over faces stay the stored ones.
    SetRunningExePath(MakeDemoInstaller(FEnv.Root(), {QStringLiteral("btninst02")}));
    TFrmCommInstLayout form;
    const TPicture storedOver = form.btnInstall->MOver;
    form.resize(620, TFrmCommInstLayout::cnCollapsedHeight);
    form.LoadBrandingImages();
    form.ApplyConfigTexts(QStringLiteral("Tavelin"), QStringLiteral("2.0.2.6"),
                          QStringLiteral("Zip and unzip"), QStringLiteral("Tavelin Zip"));
    form.HidePageTabs();
    form.ApplyStartupPlacement();

    TPicture logo, face;
    ASSERT_TRUE(LoadPictureResource(logo, QStringLiteral("logo")));
    ASSERT_TRUE(LoadPictureResource(face, QStringLiteral("btninst01")));
    EXPECT_EQ(form.imgLogo->size(), QSize(96, 96));
    EXPECT_EQ(form.imgLogo->Picture().Image, logo.Image);
    EXPECT_EQ(form.imgMiniLogo->Picture().Image.size(), QSize(20, 20));
    for (TTextImageButton* b :
         {form.btnInstall, form.btnInstallExit, form.btnUninstall, form.btnUninExit}) {
        EXPECT_EQ(b->Bmp.Image, face.Image);
        EXPECT_EQ(b->MOver.Image, storedOver.Image);
        // What it shows changes only at its next state change.
        EXPECT_EQ(b->ActualPicture().Image.size(), QSize(150, 45));
    }
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Tavelin"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Tavelin"));
    EXPECT_EQ(form.lblTitle->Caption(), QStringLiteral("Tavelin"));
    EXPECT_FALSE(form.lblTitle->isHidden());
    EXPECT_EQ(TextColorOf(form.lblTitle), QColor(Qt::white));
    EXPECT_EQ(form.lblVersion->Caption(), QStringLiteral("2.0.2.6"));
    EXPECT_TRUE(form.lblVersion->isHidden());
    EXPECT_EQ(form.lblBigTitle->Caption(), QStringLiteral("Tavelin Zip"));
    EXPECT_EQ(form.lblDescription->Caption(), QStringLiteral("Zip and unzip"));
    EXPECT_EQ(form.lblDescription->pos(), QPoint(66 + 96 + 60, 162 - 15));
    EXPECT_EQ(form.lblBigTitle->pos(), QPoint(66 + 96 + 60, 90));
    // The bottom line follows the window's bottom edge.
    ASSERT_TRUE(ShowHost(&form));
    EXPECT_EQ(form.imgBottom->geometry(), QRect(0, 407, 620, 1));
    form.resize(620, TFrmCommInstLayout::cnExpandedHeight);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.height() == 484; }));
    EXPECT_EQ(form.imgBottom->geometry(), QRect(0, 483, 620, 1));
}

TEST_F(InstallerWindowTest, FlatProgressBarFillsItsShareInTheBarColour) {
    TFrmCommInstLayout form;
    form.cnMain->SetActivePage(form.tbProcess);
    ASSERT_TRUE(ShowHost(&form));
    for (int position : {0, 10, 50, 100}) {
        SCOPED_TRACE(position);
        form.pbProgress->SetPosition(position);
        const QImage bar = Render(form.pbProgress);
        const int done = 504 * position / 100;
        EXPECT_EQ(CountNear(bar, QColor(0x0F, 0x87, 0xFF), {}, 2), done * 8);
        EXPECT_EQ(CountNear(bar, QColor(0xDD, 0xDD, 0xDD), {}, 2), (504 - done) * 8);
    }
}

} // namespace
