// The base form: key preview, Escape, centring and modal results.
#include "ui/CommForm.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

namespace {
QList<TCommForm*>& formList() {
    static QList<TCommForm*> forms;
    return forms;
}

constexpr char16_t cnEscapeChar = 27;
} // namespace

TCommForm::TCommForm(QWidget* AOwner) : QDialog(AOwner) {
    formList().append(this);
}

TCommForm::~TCommForm() {
    formList().removeOne(this);
}

QList<TCommForm*> TCommForm::Forms() {
    return formList();
}

void TCommForm::Create(const QString& AFontName, int AFontSize, bool WithDfm) {
    if (WithDfm)
        LoadLayout();
    initSettingManual(AFontName, AFontSize, WithDfm);
}

void TCommForm::initSettingManual(const QString& AFontName, int AFontSize, bool WithDfm) {
    Q_UNUSED(WithDfm)
    SetKeyPreview(true);
    OnKeyPress = [this](QObject* Sender, QChar& Key) { EscKeyPress(Sender, Key); };
    FScreenCenter = true;
    // The form keeps the size its layout gave it: no scroll bars, no fitting to its contents.
    QFont formFont = font();
    formFont.setFamily(AFontName);
    formFont.setPointSize(AFontSize);
    setFont(formFont);
}

void TCommForm::SetKeyPreview(bool Value) {
    if (Value == FKeyPreview)
        return;
    FKeyPreview = Value;
    // The application sees every key before the widget it is sent to.
    if (Value)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

void TCommForm::SetModalResult(int Value) {
    setResult(Value);
    if (Value != mrNone)
        done(Value);
}

void TCommForm::reject() {
    done(mrCancel);
}

void TCommForm::EscKeyPress(QObject* Sender, QChar& Key) {
    Q_UNUSED(Sender)
    if (Key == QChar(cnEscapeChar)) {
        close();
        Key = QChar();
    }
}

bool TCommForm::eventFilter(QObject* Watched, QEvent* E) {
    const bool isKey = E->type() == QEvent::KeyPress || E->type() == QEvent::KeyRelease;
    auto* widget = qobject_cast<QWidget*>(Watched);
    if (!isKey || !FKeyPreview || !OnKeyPress || !widget || widget->window() != this)
        return QDialog::eventFilter(Watched, E);
    auto* keyEvent = static_cast<QKeyEvent*>(E);
    if (E->type() == QEvent::KeyRelease) {
        FPreviewed = {};
        return QDialog::eventFilter(Watched, E);
    }
    // A key the receiver ignores is handed on to its parents; only the first delivery is
    // previewed.
    if (FPreviewed.Event == E && FPreviewed.Timestamp == keyEvent->timestamp() &&
        FPreviewed.Receiver && widget->isAncestorOf(FPreviewed.Receiver))
        return QDialog::eventFilter(Watched, E);
    FPreviewed = {E, keyEvent->timestamp(), widget};
    QChar key;
    if (keyEvent->key() == Qt::Key_Escape)
        key = QChar(cnEscapeChar);
    else if (!keyEvent->text().isEmpty())
        key = keyEvent->text().at(0);
    if (key.isNull())
        return QDialog::eventFilter(Watched, E);
    OnKeyPress(this, key);
    return key.isNull();
}

void TCommForm::keyPressEvent(QKeyEvent* E) {
    // Not QDialog's: Escape and Enter mean nothing to a form unless its handlers say so.
    QWidget::keyPressEvent(E);
}

void TCommForm::mousePressEvent(QMouseEvent* E) {
    E->accept();
    if (!OnMouseDown || !IsDirectHit(this, E))
        return;
    const QPoint pos = E->position().toPoint();
    OnMouseDown(this, E->button(), E->modifiers(), pos.x(), pos.y());
}

void TCommForm::showEvent(QShowEvent* E) {
    QDialog::showEvent(E);
    if (FShownOnce || E->spontaneous())
        return;
    FShownOnce = true;
    if (!FScreenCenter)
        return;
    QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!target)
        return;
    const QRect area = target->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}
