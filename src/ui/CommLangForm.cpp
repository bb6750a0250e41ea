// The borderless base form: translation pass, drag-to-move and shadow.
#include "ui/CommLangForm.h"

#include "ui/TransLang.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QWindow>

namespace {
// Moves the form with the pointer until the pressed button is released. The application sees
// the pointer's events before the control that holds the press does.
class TMoveFollower : public QObject {
public:
    explicit TMoveFollower(QWidget* Form) : QObject(Form), FForm(Form) {}

    void Start(Qt::MouseButton Button, const QPoint& Global) {
        FButton = Button;
        FStartGlobal = Global;
        FStartPos = FForm->pos();
        if (!FActive)
            qApp->installEventFilter(this);
        FActive = true;
    }

protected:
    bool eventFilter(QObject*, QEvent* E) override {
        if (E->type() == QEvent::MouseMove) {
            auto* mouse = static_cast<QMouseEvent*>(E);
            if (!(mouse->buttons() & FButton)) {
                stop();
                return false;
            }
            FForm->move(FStartPos + mouse->globalPosition().toPoint() - FStartGlobal);
            return true;
        }
        if (E->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(E)->button() == FButton)
            stop();
        return false;
    }

private:
    void stop() {
        qApp->removeEventFilter(this);
        FActive = false;
    }

    QWidget* FForm;
    bool FActive = false;
    Qt::MouseButton FButton = Qt::NoButton;
    QPoint FStartGlobal;
    QPoint FStartPos;
};
} // namespace

TCommLangForm::TCommLangForm(QWidget* AOwner) : TCommForm(AOwner) {
    setWindowFlag(Qt::FramelessWindowHint);
}

void TCommLangForm::Create(bool WithDfm, bool bMouseDownToMoveClient) {
    const TLanguageInfo& lang = LanguageInfo(FLang);
    TCommForm::Create(lang.FontName, lang.FontSize, WithDfm);
    TranslateManually();
    SetbMouseDownToMoveClient(bMouseDownToMoveClient);
}

void TCommLangForm::TranslateManually() {
    TTransLang trans(FVer, FLang, false, false);
    trans.TransFormLang(this, true);
    DoAfterFormTranslate();
}

void TCommLangForm::SetbMouseDownToMoveClient(bool Value) {
    FbMouseDownToMoveClient = Value;
    TMouseEvent handler;
    if (Value)
        handler = [this](QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                         int X, int Y) { MouseDownToMoveClient(Sender, Button, Shift, X, Y); };
    OnMouseDown = handler;
    // Exact class names: a subclass (a picture button is an image) keeps its own behaviour.
    for (QWidget* control : findChildren<QWidget*>()) {
        const QByteArrayView className(control->metaObject()->className());
        if (className == "TImage") {
            auto* image = static_cast<TImage*>(control);
            if (!image->OnClick)
                image->OnMouseDown = handler;
        } else if (className == "TPanel") {
            auto* panel = static_cast<TPanel*>(control);
            if (!panel->OnMouseDown)
                panel->OnMouseDown = handler;
        } else if (className == "TGroupBox") {
            static_cast<TGroupBox*>(control)->OnMouseDown = handler;
        } else if (className == "TLabel") {
            auto* label = static_cast<TLabel*>(control);
            if (!label->OnClick)
                label->OnMouseDown = handler;
        }
    }
}

void TCommLangForm::MouseDownToMoveClient(QObject* Sender, Qt::MouseButton Button,
                                          Qt::KeyboardModifiers Shift, int X, int Y) {
    Q_UNUSED(Shift)
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    QWindow* native = windowHandle();
    if (native && native->startSystemMove())
        return;
    auto* source = qobject_cast<QWidget*>(Sender);
    const QPoint global = source ? source->mapToGlobal(QPoint(X, Y)) : QCursor::pos();
    if (!FMoveFollower)
        FMoveFollower = new TMoveFollower(this);
    static_cast<TMoveFollower*>(FMoveFollower)->Start(Button, global);
}

bool TCommLangForm::EnableDwmShadow() {
    // Only the macOS window system draws a frameless window's shadow on request (Qt asks for it
    // unless told not to). Elsewhere there is nothing to ask, and the form goes without.
    return windowHandle() && QGuiApplication::platformName() == QLatin1String("cocoa") &&
           !windowFlags().testFlag(Qt::NoDropShadowWindowHint);
}

bool TCommLangForm::event(QEvent* E) {
    if (E->type() == QEvent::PlatformSurface &&
        static_cast<QPlatformSurfaceEvent*>(E)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceCreated)
        EnableDwmShadow();
    return TCommForm::event(E);
}
