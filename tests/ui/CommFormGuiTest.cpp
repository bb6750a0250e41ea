// The base forms under simulated input: Escape and the modal results, the construction path
// (font, centring, translation hook), and which controls start a window move.
#include "ui/UiTestSupport.h"

#include "testsupport/TestEnv.h"
#include "ui/CommLangForm.h"
#include "ui/ImgBtnEx.h"
#include "ui/TextImageButton.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

using namespace uitest;

namespace {
// An edit that counts the keys that reach it.
class TKeyEdit : public TEdit {
public:
    using TEdit::TEdit;
    int Escapes = 0;

protected:
    void keyPressEvent(QKeyEvent* E) override {
        if (E->key() == Qt::Key_Escape)
            ++Escapes;
        TEdit::keyPressEvent(E);
    }
};

// A dialog built through the dialogs' construction path, with one control of every kind.
class TTestDialog : public TCommLangForm {
public:
    explicit TTestDialog(bool MoveByDrag = true, QString Message = {})
        : FMessage(std::move(Message)) {
        Create(true, MoveByDrag);
        lblPlain->SetCaption(FMessage);
    }

    TLabel* lblPlain = nullptr;
    TLabel* lblClick = nullptr;
    TLabel* lblOwnFont = nullptr;
    TLabel* lblNested = nullptr;
    TImage* imgPlain = nullptr;
    TImage* imgClick = nullptr;
    TGroupBox* grpBox = nullptr;
    TPanel* pnlPlain = nullptr;
    TPanel* pnlOwn = nullptr;
    TTextImageButton* btnOK = nullptr;
    TImgBtnEx* imgbtnClose = nullptr;
    TKeyEdit* edtText = nullptr;
    QWidget* pgPage = nullptr;

    int Translated = 0;
    QString FontAtTranslate;
    int PanelPresses = 0;
    QString MessageAtCreate;

    void FormCreate() override { MessageAtCreate = lblPlain->Caption(); }

protected:
    void LoadLayout() override {
        setObjectName("FrmTest");
        resize(442, 192);
        lblPlain = place(new TLabel(this), "lblPlain", {10, 5, 60, 20});
        lblPlain->SetAutoSize(false);
        lblClick = place(new TLabel(this), "lblClick", {80, 5, 60, 20});
        lblClick->OnClick = [](QObject*) {};
        lblOwnFont = place(new TLabel(this), "lblOwnFont", {150, 5, 60, 20});
        QFont own(QStringLiteral("DejaVu Serif"));
        own.setPixelSize(16);
        lblOwnFont->setFont(own);
        imgPlain = place(new TImage(this), "imgPlain", {10, 40, 40, 40});
        imgClick = place(new TImage(this), "imgClick", {60, 40, 40, 40});
        imgClick->OnClick = [](QObject*) {};
        grpBox = place(new TGroupBox(this), "grpBox", {110, 40, 60, 40});
        grpBox->OnClick = [](QObject*) {};
        pnlPlain = place(new TPanel(this), "pnlPlain", {180, 40, 60, 40});
        lblNested = place(new TLabel(pnlPlain), "lblNested", {5, 5, 20, 15});
        pnlOwn = place(new TPanel(this), "pnlOwn", {250, 40, 60, 40});
        pnlOwn->OnMouseDown = [this](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
            ++PanelPresses;
        };
        btnOK = place(new TTextImageButton(this), "btnOK", {178, 149, 100, 30});
        btnOK->OnClick = [this](QObject*) { SetModalResult(mrOk); };
        imgbtnClose = place(new TImgBtnEx(this), "imgbtnClose", {402, 0, 40, 28});
        imgbtnClose->OnClick = [this](QObject*) { SetModalResult(mrCancel); };
        edtText = place(new TKeyEdit(this), "edtText", {10, 100, 120, 22});
        pgPage = place(new QWidget(this), "pgPage", {320, 40, 60, 40});
    }
    void DoAfterFormTranslate() override {
        ++Translated;
        FontAtTranslate = font().family();
    }

private:
    template <class T> T* place(T* Control, const char* Name, const QRect& Bounds) {
        Control->setObjectName(QString::fromLatin1(Name));
        Control->setGeometry(Bounds);
        return Control;
    }
    QString FMessage;
};

// The installer window's path: the toolkit's ordinary constructor only.
class TPlainWindow : public TCommLangForm {
public:
    TPlainWindow() {
        resize(300, 200);
        lblTitle = new TLabel(this);
        lblTitle->setGeometry(10, 10, 80, 20);
    }
    TLabel* lblTitle;
};

// Runs Action once the dialog's modal loop is running and returns the loop's result; -1 when
// the action left the dialog open.
int ExecWith(TCommForm& Dialog, const std::function<void()>& Action) {
    QTimer::singleShot(0, &Dialog, [&] {
        Dialog.activateWindow();
        Action();
        if (Dialog.isVisible())
            Dialog.done(-1);
    });
    return Dialog.exec();
}
} // namespace

class CommFormTest : public TIsolatedTest {};

TEST_F(CommFormTest, EscapeClosesTheDialogWithCancelAndGoesNoFurther) {
    TTestDialog dialog;
    const int result = ExecWith(dialog, [&] {
        dialog.edtText->setFocus();
        QTest::keyClick(dialog.edtText, Qt::Key_A);
        QTest::keyClick(dialog.edtText, Qt::Key_Escape);
    });
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(dialog.edtText->text(), "a");
    EXPECT_EQ(dialog.edtText->Escapes, 0);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(CommFormTest, ModalResultsOfButtonsCrossEscapeAndClose) {
    struct TCase {
        const char* What;
        std::function<void(TTestDialog&)> Action;
        int Expected;
    };
    const TCase cases[] = {
        {"first button", [](TTestDialog& d) { QTest::mouseClick(d.btnOK, Qt::LeftButton); }, mrOk},
        {"cross", [](TTestDialog& d) { QTest::mouseClick(d.imgbtnClose, Qt::LeftButton); },
         mrCancel},
        {"Escape on the form", [](TTestDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); },
         mrCancel},
        {"asked to close", [](TTestDialog& d) { d.close(); }, mrCancel},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TTestDialog dialog;
        EXPECT_EQ(ExecWith(dialog, [&] { c.Action(dialog); }), c.Expected);
    }
}

TEST_F(CommFormTest, TheInstallerWindowPathIgnoresEscape) {
    TPlainWindow window;
    ASSERT_TRUE(ShowHost(&window));
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    // No drag-to-move until the window turns it on.
    const QPoint before = window.pos();
    QTest::mousePress(window.lblTitle, Qt::LeftButton);
    QTest::mouseMove(window.lblTitle, window.lblTitle->rect().center() + QPoint(20, 10));
    QTest::mouseRelease(window.lblTitle, Qt::LeftButton);
    EXPECT_EQ(window.pos(), before);
}

TEST_F(CommFormTest, ConstructionSetsTheLanguageFontCentresAndRunsTheHook) {
    auto dialog = CreateForm<TTestDialog>(true, QStringLiteral("hello"));
    EXPECT_EQ(dialog->MessageAtCreate, "hello");
    EXPECT_EQ(dialog->font().family(), "Tahoma");
    EXPECT_EQ(dialog->font().pointSize(), 9);
    EXPECT_EQ(dialog->Translated, 1);
    EXPECT_EQ(dialog->FontAtTranslate, "Tahoma");
    EXPECT_EQ(dialog->lblPlain->font().family(), "Tahoma");
    EXPECT_EQ(dialog->lblOwnFont->font().family(), "DejaVu Serif");
    EXPECT_EQ(dialog->lblOwnFont->font().pixelSize(), 16);
    EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::FramelessWindowHint));

    ASSERT_TRUE(ShowHost(dialog.get()));
    const QRect area = dialog->screen()->availableGeometry();
    EXPECT_EQ(dialog->pos(),
              QPoint(area.x() + (area.width() - 442) / 2, area.y() + (area.height() - 192) / 2));
    // No window system here draws a frameless window's shadow; the form goes without.
    EXPECT_FALSE(dialog->EnableDwmShadow());
}

class DragToMoveTest : public TIsolatedTest {
protected:
    // Presses Button on Target, drags by (20, 10) and releases; how far the window moved.
    static QPoint Drag(TTestDialog& Dialog, QWidget* Target, Qt::MouseButton Button) {
        const QPoint start = Dialog.pos();
        const QPoint at = Target == &Dialog ? QPoint(420, 120) : Target->rect().center();
        // The press must land on the control itself.
        EXPECT_EQ(Dialog.childAt(Target->mapTo(&Dialog, at)), Target == &Dialog ? nullptr : Target);
        const QPoint dropAt = Target->mapToGlobal(at + QPoint(20, 10));
        QTest::mousePress(Target, Button, {}, at);
        QTest::mouseMove(Target, at + QPoint(20, 10));
        // The pointer stays where it was dragged to, wherever the window now is.
        QTest::mouseRelease(Target, Button, {}, Target->mapFromGlobal(dropAt));
        return Dialog.pos() - start;
    }
};

TEST_F(DragToMoveTest, WhichControlsStartAMove) {
    TTestDialog dialog;
    ASSERT_TRUE(ShowHost(&dialog));
    const QPoint moved(20, 10);
    struct TCase {
        const char* What;
        QWidget* Target;
        Qt::MouseButton Button;
        bool Moves;
    };
    const TCase cases[] = {
        {"form background", &dialog, Qt::LeftButton, true},
        {"form background, right button", &dialog, Qt::RightButton, true},
        {"plain label", dialog.lblPlain, Qt::LeftButton, true},
        {"plain label, right button", dialog.lblPlain, Qt::RightButton, true},
        {"label in a panel", dialog.lblNested, Qt::LeftButton, true},
        {"plain image, middle button", dialog.imgPlain, Qt::MiddleButton, true},
        {"group box with a click handler", dialog.grpBox, Qt::LeftButton, true},
        {"plain panel", dialog.pnlPlain, Qt::LeftButton, true},
        {"label with a click handler", dialog.lblClick, Qt::LeftButton, false},
        {"image with a click handler", dialog.imgClick, Qt::LeftButton, false},
        {"panel with its own mouse-down", dialog.pnlOwn, Qt::LeftButton, false},
        {"captioned picture button", dialog.btnOK, Qt::LeftButton, false},
        {"close cross", dialog.imgbtnClose, Qt::LeftButton, false},
        {"edit", dialog.edtText, Qt::LeftButton, false},
        {"control of another kind", dialog.pgPage, Qt::LeftButton, false},
    };
    // Clicks that would end the dialog are not what is looked at here.
    dialog.btnOK->OnClick = nullptr;
    dialog.imgbtnClose->OnClick = nullptr;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(Drag(dialog, c.Target, c.Button), c.Moves ? moved : QPoint());
    }
    EXPECT_EQ(dialog.PanelPresses, 1);
}

TEST_F(DragToMoveTest, TurningItOffKeepsItOnlyOnPanelsThatReceivedIt) {
    TTestDialog dialog;
    ASSERT_TRUE(ShowHost(&dialog));
    dialog.SetbMouseDownToMoveClient(false);
    EXPECT_FALSE(dialog.bMouseDownToMoveClient());
    EXPECT_EQ(Drag(dialog, &dialog, Qt::LeftButton), QPoint());
    EXPECT_EQ(Drag(dialog, dialog.lblPlain, Qt::LeftButton), QPoint());
    EXPECT_EQ(Drag(dialog, dialog.imgPlain, Qt::LeftButton), QPoint());
    EXPECT_EQ(Drag(dialog, dialog.grpBox, Qt::LeftButton), QPoint());
    EXPECT_EQ(Drag(dialog, dialog.pnlPlain, Qt::LeftButton), QPoint(20, 10));
}

TEST_F(DragToMoveTest, DialogBuiltWithoutDragDoesNotMove) {
    TTestDialog dialog(false);
    ASSERT_TRUE(ShowHost(&dialog));
    EXPECT_EQ(Drag(dialog, &dialog, Qt::LeftButton), QPoint());
    EXPECT_EQ(Drag(dialog, dialog.lblPlain, Qt::LeftButton), QPoint());
    EXPECT_EQ(Drag(dialog, dialog.pnlPlain, Qt::LeftButton), QPoint());
}
