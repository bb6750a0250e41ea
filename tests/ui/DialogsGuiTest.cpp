// The branded notice, question and reinstall dialogs and the system message boxes, answered
// with real clicks and keys: their results, their stored layouts, the looks that FormCreate and
// the pointer give their buttons, and the word-wrapping message.
#include "ui/FormTestSupport.h"

#include "platform/RegIntegration.h"
#include "base/RunningExe.h"
#include "registry/Registry.h"
#include "ui/MsgBoxes.h"
#include "ui/StoredLayout.h"
#include "ui/UntCheckIfInstalled.h"
#include "ui/UntConfirmbox.h"
#include "ui/UntMsgBox.h"

using namespace formtest;
using namespace uitest;

namespace {
const QString cnLongText = QStringLiteral(
    "安装失败，请联系官网客服协助处理。即将打开客服窗口！安装失败，请联系官网客服协助处理。"
    "即将打开客服窗口！安装失败，请联系官网客服协助处理。");

class DialogTest : public TIsolatedTest {
protected:
    void SetUp() override { SetRunningExePath(MakeDemoInstaller(FEnv.Root())); }
    void TearDown() override { SetRunningExePath({}); }
};

// --- Results ---------------------------------------------------------------------------------

struct TResultCase {
    const char* Name;
    std::function<int()> Show;
    TAnswer Answer;
    int Expected;
};

int MsgBoxResult() {
    return CreateForm<TFrmMsgBox>(QStringLiteral("config data is empty"))->exec();
}
int ReinstallResult() {
    return CreateForm<TFrmCheckIfInstall>(
               QStringLiteral("检测到计算机中已存在此软件，是否为您更新到最新版本？"))
        ->exec();
}
int ConfirmYesDefault() {
    return ShowConfirmBox(QStringLiteral("软件启动失败，是否重试？"), true);
}
int ConfirmNoDefault() {
    return ShowConfirmBox(QStringLiteral("您确定要退出安装程序吗?"), false);
}
int SystemYesNo() {
    return AskYesNo(nullptr, QStringLiteral("警告"),
                    QStringLiteral("网络连接异常，是否尝试重连？"));
}
int MsgBoxReturns() {
    ShowMsgBox(QStringLiteral("config data is empty"));
    return 1;
}

const TResultCase ResultCases[] = {
    {"MsgBoxOk", MsgBoxResult, TAnswer::First, mrOk},
    {"MsgBoxCross", MsgBoxResult, TAnswer::Cross, mrCancel},
    {"MsgBoxEscape", MsgBoxResult, TAnswer::Escape, mrCancel},
    {"ShowMsgBoxReturnsOnOk", MsgBoxReturns, TAnswer::First, 1},
    {"ConfirmYesDefaultYes", ConfirmYesDefault, TAnswer::First, true},
    {"ConfirmYesDefaultNo", ConfirmYesDefault, TAnswer::Second, false},
    {"ConfirmYesDefaultCross", ConfirmYesDefault, TAnswer::Cross, false},
    {"ConfirmYesDefaultEscape", ConfirmYesDefault, TAnswer::Escape, false},
    {"ConfirmNoDefaultYes", ConfirmNoDefault, TAnswer::First, true},
    {"ConfirmNoDefaultNo", ConfirmNoDefault, TAnswer::Second, false},
    {"ConfirmNoDefaultCross", ConfirmNoDefault, TAnswer::Cross, false},
    {"ConfirmNoDefaultEscape", ConfirmNoDefault, TAnswer::Escape, false},
    {"ReinstallOpen", ReinstallResult, TAnswer::First, mrOk},
    {"ReinstallReinstall", ReinstallResult, TAnswer::Second, mrCancel},
    {"ReinstallCross", ReinstallResult, TAnswer::Cross, mrCancel},
    {"ReinstallEscape", ReinstallResult, TAnswer::Escape, mrCancel},
    {"AskYesNoYes", SystemYesNo, TAnswer::First, true},
    {"AskYesNoNo", SystemYesNo, TAnswer::Second, false},
    {"AskYesNoEscape", SystemYesNo, TAnswer::Escape, false},
};

class DialogResultTest : public DialogTest, public ::testing::WithParamInterface<TResultCase> {};

TEST_P(DialogResultTest, AnswerGivesItsResult) {
    TModalAnswerer user(GetParam().Answer);
    EXPECT_EQ(GetParam().Show(), GetParam().Expected);
    EXPECT_EQ(user.Answered(), 1);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, DialogResultTest, ::testing::ValuesIn(ResultCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(DialogTest, AskYesNoIsTheSystemQuestionBox) {
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    TModalAnswerer user(TAnswer::Second, [&](QWidget* W) {
        auto* box = qobject_cast<QMessageBox*>(W);
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
    });
    EXPECT_FALSE(AskYesNo(nullptr, QStringLiteral("警告"), QStringLiteral("是否尝试重连？")));
    EXPECT_EQ(caption, QStringLiteral("警告"));
    EXPECT_EQ(text, QStringLiteral("是否尝试重连？"));
    EXPECT_EQ(icon, QMessageBox::Question);
}

TEST_F(DialogTest, RegistryErrorsAreShownAsTheirNumbersUnderTheApplicationTitle) {
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tavelin"));
    // A folder where the machine database belongs: every write of the entry fails.
    ASSERT_TRUE(QDir().mkpath(RegDatabasePath(HKEY_LOCAL_MACHINE)));
    QStringList shown;
    TModalAnswerer user(TAnswer::First, [&](QWidget* W) {
        auto* box = qobject_cast<QMessageBox*>(W);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Tavelin"));
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        shown << box->text();
    });
    InstallShowErrorCodeHandler();
    WriteUninstallEntry(QStringLiteral("demo"), QStringLiteral("Demo"), FEnv.Root() + "/a.exe",
                        FEnv.Root(), QStringLiteral("1"), QStringLiteral("maker"));
    SetShowErrorCodeHandler({});
    // The key and each value written; every box carries a decimal error number.
    ASSERT_EQ(shown.size(), 7);
    for (const QString& text : shown) {
        bool number = false;
        EXPECT_GT(text.toInt(&number), 0) << text.toStdString();
        EXPECT_TRUE(number);
    }
}

TEST_F(DialogTest, WithoutEmbeddedPicturesTheNoticeStillShowsInItsDesignedLook) {
    // A bare program: the notice "config data is empty" comes from exactly such a file.
    SetRunningExePath(QCoreApplication::applicationFilePath());
    QColor band;
    QString message;
    TModalAnswerer user(TAnswer::First, [&](QWidget* W) {
        band = W->grab().toImage().pixelColor(200, 10);
        message = W->findChild<TLabel*>(QStringLiteral("lblMsg"))->Caption();
    });
    ShowMsgBox(QStringLiteral("config data is empty"));
    EXPECT_EQ(user.Answered(), 1);
    EXPECT_EQ(message, QStringLiteral("config data is empty"));
    EXPECT_TRUE(Near(band, QColor(0xF3, 0xF5, 0xF9), 3)) << band.name().toStdString();
}

// --- Stored layouts --------------------------------------------------------------------------

struct TLayoutCase {
    const char* Dialog;
    const char* Control;
    QRect Bounds;
    QString Text;
    int PixelSize;
};

std::unique_ptr<TCommLangForm> MakeDialog(const QString& Kind, const QString& Msg = {}) {
    if (Kind == u"msg")
        return CreateForm<TFrmMsgBox>(Msg);
    if (Kind == u"confirm")
        return CreateForm<TFrmConfirmbox>(Msg, true);
    return CreateForm<TFrmCheckIfInstall>(Msg);
}

const TLayoutCase LayoutCases[] = {
    {"msg", "imgMain", {0, 0, 442, 194}, {}, 0},
    {"msg", "lblCaption", {10, 5, 0, 0}, "提示", 16},
    {"msg", "imgIcon", {38, 68, 40, 40}, {}, 0},
    {"msg", "lblMsg", {92, 67, 320, 0}, "M", 16},
    {"msg", "btnOK", {178, 149, 100, 30}, "确定", 16},
    {"msg", "imgbtnClose", {402, 0, 40, 28}, {}, 0},
    {"confirm", "imgMain", {0, 0, 442, 194}, {}, 0},
    {"confirm", "lblCaption", {9, 6, 0, 0}, "提示", 16},
    {"confirm", "imgIcon", {34, 64, 40, 40}, {}, 0},
    {"confirm", "lblMsg", {99, 60, 320, 0}, "M", 16},
    {"confirm", "btnYes", {181, 148, 100, 30}, "是", 16},
    {"confirm", "btnNo", {314, 148, 100, 30}, "否", 16},
    {"confirm", "imgBottom", {0, 190, 442, 2}, {}, 0},
    {"confirm", "imgLeft", {-2, -73, 4, 280}, {}, 0},
    {"confirm", "imgRight", {439, 0, 3, 192}, {}, 0},
    {"confirm", "imgbtnClose", {402, 0, 40, 28}, {}, 0},
    {"reinstall", "imgMain", {0, 0, 440, 192}, {}, 0},
    {"reinstall", "lblCaption", {9, 6, 0, 0}, "提示", 13},
    {"reinstall", "lblMsg", {99, 64, 313, 0}, "M", 13},
    {"reinstall", "btnYes", {181, 148, 100, 30}, "打开软件", 13},
    {"reinstall", "btnNo", {312, 148, 100, 30}, "重新安装软件", 13},
    {"reinstall", "imgBottom", {0, 190, 440, 2}, {}, 0},
    {"reinstall", "imgRight", {437, 0, 3, 192}, {}, 0},
    {"reinstall", "imgbtnClose", {400, 0, 40, 28}, {}, 0},
};

TEST_F(DialogTest, StoredLayoutsPlaceEveryControl) {
    struct TForm {
        const char* Kind;
        QSize Size;
        QString Title;
    };
    for (const TForm& f :
         {TForm{"msg", {442, 192}, {}}, TForm{"confirm", {442, 192}, "FrmConfirmbox"},
          TForm{"reinstall", {440, 192}, "FrmCheckIfInstall"}}) {
        const auto form = MakeDialog(f.Kind, QStringLiteral("M"));
        EXPECT_EQ(form->size(), f.Size) << f.Kind;
        EXPECT_EQ(form->windowTitle(), f.Title) << f.Kind;
        EXPECT_TRUE(form->windowFlags().testFlag(Qt::FramelessWindowHint)) << f.Kind;
    }
    for (const TLayoutCase& c : LayoutCases) {
        SCOPED_TRACE(std::string(c.Dialog) + "." + c.Control);
        const auto form = MakeDialog(c.Dialog, QStringLiteral("M"));
        auto* control = form->findChild<QWidget*>(QString::fromLatin1(c.Control));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->pos(), c.Bounds.topLeft());
        // Labels fit their text: only the wrapping message keeps its designed width.
        if (c.Bounds.width() > 0) {
            EXPECT_EQ(control->width(), c.Bounds.width());
        }
        if (c.Bounds.height() > 0) {
            EXPECT_EQ(control->height(), c.Bounds.height());
        }
        EXPECT_EQ(control->property("Caption").toString(), c.Text);
        if (c.PixelSize > 0) {
            EXPECT_EQ(control->font().pixelSize(), c.PixelSize);
        }
    }
}

TEST_F(DialogTest, LongMessageWrapsWithinTheLabelAndGrowsDownward) {
    for (const char* kind : {"msg", "confirm", "reinstall"}) {
        SCOPED_TRACE(kind);
        const auto shortForm = MakeDialog(kind, QStringLiteral("短"));
        const auto longForm = MakeDialog(kind, cnLongText);
        auto* shortLabel = shortForm->findChild<TLabel*>(QStringLiteral("lblMsg"));
        auto* longLabel = longForm->findChild<TLabel*>(QStringLiteral("lblMsg"));
        EXPECT_EQ(longLabel->geometry().topLeft(), shortLabel->geometry().topLeft());
        EXPECT_EQ(longLabel->width(), shortLabel->width());
        EXPECT_GE(longLabel->height(), 3 * shortLabel->height());
        // Every line of the wrapped text ends inside the label.
        const QFontMetrics metrics(longLabel->font());
        EXPECT_LE(
            metrics
                .boundingRect(QRect(0, 0, longLabel->width(), 1000), Qt::TextWordWrap, cnLongText)
                .width(),
            longLabel->width());
    }
}

// --- Looks -----------------------------------------------------------------------------------

// The pointer comes from the dialog's background onto a control, and goes back. The two points
// differ so that the pointer really moves, whatever window stood there before.
void Enter(QWidget* Form, QWidget* Control) {
    QTest::mouseMove(Form, QPoint(300, 60));
    QTest::mouseMove(Control, Control->rect().center());
}
void Leave(QWidget* Form) {
    QTest::mouseMove(Form, QPoint(200, 100));
}

struct TCaptionCase {
    const char* Name;
    const char* Kind;
    bool YesDefault;
    QColor YesBefore, YesUnder, YesAfter, No;
};

const TCaptionCase CaptionCases[] = {
    {"ConfirmYesDefault", "confirm", true, Qt::black, Qt::black, Qt::white, Qt::black},
    {"ConfirmNoDefault", "confirm", false, Qt::black, Qt::white, Qt::black, Qt::white},
    {"Reinstall", "reinstall", false, Qt::black, Qt::white, Qt::black, Qt::white},
};

TEST_F(DialogTest, YesCaptionColourFollowsThePointer) {
    for (const TCaptionCase& c : CaptionCases) {
        SCOPED_TRACE(c.Name);
        std::unique_ptr<TQuestionBox> form;
        if (QByteArrayView(c.Kind) == "confirm")
            form = CreateForm<TFrmConfirmbox>(QStringLiteral("?"), c.YesDefault);
        else
            form = CreateForm<TFrmCheckIfInstall>(QStringLiteral("?"));
        ASSERT_TRUE(ShowHost(form.get()));
        EXPECT_EQ(form->btnYes->FontColor(), c.YesBefore);
        Enter(form.get(), form->btnYes);
        EXPECT_EQ(form->btnYes->FontColor(), c.YesUnder);
        Leave(form.get());
        EXPECT_EQ(form->btnYes->FontColor(), c.YesAfter);
        EXPECT_EQ(form->btnNo->FontColor(), c.No);
    }
}

TEST_F(DialogTest, EmbeddedFacesShowOnlyOnceThePointerHasPassed) {
    const QColor white(255, 255, 255);
    const QColor demoBlue(0x0F, 0x87, 0xFF);
    const auto form = CreateForm<TFrmConfirmbox>(QStringLiteral("?"), true);
    ASSERT_TRUE(ShowHost(form.get()));
    // The stored face of the question's first button is outlined white; Yes as the default
    // takes the solid blue embedded face, but only after the pointer enters and leaves.
    const auto inside = [&] { return Render(form->btnYes).pixelColor(6, 4); };
    EXPECT_TRUE(Near(inside(), white, 3)) << inside().name().toStdString();
    Enter(form.get(), form->btnYes);
    Leave(form.get());
    EXPECT_TRUE(Near(inside(), demoBlue, 3)) << inside().name().toStdString();
    // The other button's slots hold the outlined embedded faces.
    TPicture outlined;
    ASSERT_TRUE(LoadPictureResource(outlined, QStringLiteral("btn_empty_over")));
    EXPECT_EQ(form->btnNo->MOver.Image, outlined.Image);
}

TEST_F(DialogTest, OnlyTheReinstallCrossLightsUpUnderThePointer) {
    for (const auto& [kind, lightsUp] :
         {std::pair{"msg", false}, std::pair{"confirm", false}, std::pair{"reinstall", true}}) {
        SCOPED_TRACE(kind);
        const auto form = MakeDialog(kind, QStringLiteral("?"));
        ASSERT_TRUE(ShowHost(form.get()));
        auto* cross = form->findChild<TImgBtnEx*>(QStringLiteral("imgbtnClose"));
        const QImage before = Render(cross);
        Enter(form.get(), cross);
        const QImage under = Render(cross);
        EXPECT_EQ(before != under, lightsUp);
        if (lightsUp) {
            EXPECT_GT(CountNear(under, QColor(0xE8, 0x11, 0x23)), 500);
        }
    }
}

} // namespace
