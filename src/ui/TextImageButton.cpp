// The captioned picture button: state changes under the pointer, layout and painting.
#include "ui/TextImageButton.h"

#include "ui/StateStrip.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

TTextImageButton::TTextImageButton(QWidget* Parent) : QWidget(Parent) {
    resize(75, 25);
}

void TTextImageButton::SetAutoSize(bool Value) {
    FAutoSize = Value;
    if (Value)
        SetBounds(x(), y(), width(), height());
}

void TTextImageButton::SetBitmap(const TPicture& Value) {
    Bmp = Value;
    ActualBmp = Value;
    // An empty picture leaves the size alone rather than shrinking the button to nothing.
    if (!Value.IsEmpty())
        SetBounds(x(), y(), Value.Image.width(), Value.Image.height());
    repaint();
}

void TTextImageButton::SetBitmapOver(const TPicture& Value) {
    MOver = Value;
    repaint();
}

void TTextImageButton::SetBitmapDown(const TPicture& Value) {
    MDown = Value;
    repaint();
}

void TTextImageButton::SetBitmapDisabled(const TPicture& Value) {
    BmpDAble = Value;
    repaint();
}

void TTextImageButton::SetaSmallIcon(const TPicture& Value) {
    FSmallIcon = Value;
    repaint();
}

void TTextImageButton::SetPicMultiStatus(const TPicture& Value) {
    FPicMultiStatus = Value;
    splitStatusPicture(FPicMultiStatus);
}

void TTextImageButton::splitStatusPicture(const TPicture& Strip) {
    const QList<TPicture> cells = CutStateStrip(Strip, FPicSplitNum, FPicAlpha != atNoAlpha);
    if (cells.isEmpty())
        return;
    TPicture* const targets[cnMaxStateCells] = {&Bmp, &MOver, &MDown, &BmpDAble};
    for (qsizetype i = 0; i < cells.size(); ++i)
        *targets[i] = cells[i];
    ActualBmp = Bmp;
    update();
}

void TTextImageButton::SetDownStatus(bool Value) {
    FDownStatus = Value;
    ActualBmp = Value ? MDown : Bmp;
    repaint();
}

void TTextImageButton::SetProportional(bool Value) {
    FProportional = Value;
    refreshLayout();
}

void TTextImageButton::SetStretch(bool Value) {
    if (Value == FStretch)
        return;
    FStretch = Value;
    refreshLayout();
}

void TTextImageButton::SetSpacing(int Value) {
    FSpacing = Value;
    update();
}

void TTextImageButton::SetCaption(const QString& Value) {
    if (Value == FCaption)
        return;
    FCaption = Value;
    update();
}

void TTextImageButton::SetFontColor(const QColor& Value) {
    FFontColor = Value;
    update();
}

bool TTextImageButton::CanAutoSize(int& NewWidth, int& NewHeight) const {
    if (Bmp.Image.width() > 0 && Bmp.Image.height() > 0) {
        NewWidth = Bmp.Image.width();
        NewHeight = Bmp.Image.height();
    }
    return true;
}

void TTextImageButton::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    if (FAutoSize)
        CanAutoSize(AWidth, AHeight);
    setGeometry(ALeft, ATop, AWidth, AHeight);
}

QRect TTextImageButton::CalcPictureRect() const {
    return ::CalcPictureRect(ActualBmp.Image.width(), ActualBmp.Image.height(), width(), height(),
                             FStretch, FProportional, true);
}

void TTextImageButton::refreshLayout() {
    if (FAutoSize && ActualBmp.Image.width() > 0 && ActualBmp.Image.height() > 0)
        SetBounds(x(), y(), ActualBmp.Image.width(), ActualBmp.Image.height());
    if (!FDrawing)
        update();
}

void TTextImageButton::showPicture(const TPicture& Picture) {
    ActualBmp = Picture;
    repaint();
}

void TTextImageButton::Click() {
    QPointer<TTextImageButton> alive(this);
    repaint();
    if (alive && OnClick && isEnabled())
        OnClick(this);
}

void TTextImageButton::paintEvent(QPaintEvent*) {
    if (ActualBmp.IsEmpty())
        ActualBmp = Bmp;
    QPainter painter(this);
    if (!FBrushClear)
        painter.fillRect(rect(), palette().color(QPalette::Button));
    FDrawing = true;
    const bool hasIcon = FSmallIcon.Image.width() != 0;
    if (isEnabled() || BmpDAble.IsEmpty()) {
        const TPicture& shown = FDownStatus ? MDown : ActualBmp;
        if (!shown.IsEmpty())
            painter.drawImage(CalcPictureRect(), shown.Image);
        if (hasIcon) {
            int top = (ActualBmp.Image.height() - FSmallIcon.Image.height()) / 2 + 1;
            if (top < 0)
                top = 0;
            painter.drawImage(QPoint(10, top), FSmallIcon.Image);
        }
    } else {
        if (size() != BmpDAble.Image.size())
            SetBounds(x(), y(), BmpDAble.Image.width(), BmpDAble.Image.height());
        painter.drawImage(QPoint(0, 0), BmpDAble.Image);
    }

    const QFont captionFont = font();
    painter.setFont(captionFont);
    painter.setPen(isEnabled() ? FFontColor : FDisableFontColor);
    const QFontMetrics metrics(captionFont);
    const int tw = metrics.horizontalAdvance(FCaption);
    const int th = metrics.height();
    const int top = (height() - th) / 2;
    int left = (width() - tw) / 2;
    if (hasIcon && left < FSmallIcon.Image.width() + 16)
        left = FSmallIcon.Image.width() + 16;
    if (!FCaption.isEmpty()) {
        FBrushClear = true;
        painter.drawText(QRect(left, top, tw, th),
                         Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, FCaption);
    }
    FDrawing = false;
}

// Every transition below runs only while the button is enabled; the event fires first.

void TTextImageButton::enterEvent(QEnterEvent*) {
    if (!isEnabled())
        return;
    QPointer<TTextImageButton> alive(this);
    if (OnMouseEnter)
        OnMouseEnter(this);
    if (alive && !MOver.IsEmpty())
        showPicture(FDownStatus ? MDown : MOver);
}

void TTextImageButton::leaveEvent(QEvent*) {
    if (!isEnabled())
        return;
    QPointer<TTextImageButton> alive(this);
    if (OnMouseLeave)
        OnMouseLeave(this);
    if (alive && !Bmp.IsEmpty())
        showPicture(FDownStatus ? MDown : Bmp);
}

void TTextImageButton::mousePressEvent(QMouseEvent* E) {
    // Other buttons are swallowed too: a press on a button never reaches the form beneath.
    E->accept();
    if (E->button() != Qt::LeftButton || !isEnabled())
        return;
    FClicked = true;
    QPointer<TTextImageButton> alive(this);
    if (OnMouseDown) {
        const QPoint pos = E->position().toPoint();
        OnMouseDown(this, E->button(), E->modifiers(), pos.x(), pos.y());
    }
    if (alive && !MDown.IsEmpty())
        showPicture(MDown);
}

void TTextImageButton::mouseReleaseEvent(QMouseEvent* E) {
    E->accept();
    if (E->button() != Qt::LeftButton)
        return;
    QPointer<TTextImageButton> alive(this);
    const QPoint pos = E->position().toPoint();
    // The click comes before the release handling, so OnClick sees the pressed look.
    if (FClicked) {
        FClicked = false;
        if (rect().contains(pos))
            Click();
    }
    if (!alive || !isEnabled())
        return;
    if (OnMouseUp)
        OnMouseUp(this, E->button(), E->modifiers(), pos.x(), pos.y());
    if (alive && !MOver.IsEmpty())
        showPicture(FDownStatus ? MDown : MOver);
}

void TTextImageButton::keyPressEvent(QKeyEvent* E) {
    if (!OnKeyDown) {
        QWidget::keyPressEvent(E);
        return;
    }
    int key = E->key();
    OnKeyDown(this, key, E->modifiers());
}

void TTextImageButton::keyReleaseEvent(QKeyEvent* E) {
    if (!OnKeyUp) {
        QWidget::keyReleaseEvent(E);
        return;
    }
    int key = E->key();
    OnKeyUp(this, key, E->modifiers());
}

void TTextImageButton::changeEvent(QEvent* E) {
    QWidget::changeEvent(E);
    if (E->type() == QEvent::EnabledChange || E->type() == QEvent::FontChange)
        update();
}

void TTextImageButton::resizeEvent(QResizeEvent* E) {
    QWidget::resizeEvent(E);
    int w = width();
    int h = height();
    if (FAutoSize && CanAutoSize(w, h) && QSize(w, h) != size())
        resize(w, h);
}

bool TTextImageButton::event(QEvent* E) {
    if (E->type() == QEvent::ToolTip && !FShowHint) {
        E->ignore();
        return true;
    }
    return QWidget::event(E);
}
