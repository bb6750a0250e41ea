// The plain controls: picture placement, the shared mouse-event order and the label's fit.
#include "ui/Controls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

QRect CalcPictureRect(int W, int H, int CW, int CH, bool Stretch, bool Proportional, bool Center) {
    int w = W;
    int h = H;
    if (Stretch || (Proportional && (W > CW || H > CH))) {
        if (Proportional && W > 0 && H > 0) {
            const double ratio = double(W) / double(H);
            if (W > H) {
                w = CW;
                h = int(CW / ratio);
                if (h > CH) {
                    h = CH;
                    w = int(CH * ratio);
                }
            } else {
                h = CH;
                w = int(CH * ratio);
                if (w > CW) {
                    w = CW;
                    h = int(CW / ratio);
                }
            }
        } else {
            w = CW;
            h = CH;
        }
    }
    QRect rect(0, 0, w, h);
    if (Center)
        rect.translate((CW - w) / 2, (CH - h) / 2);
    return rect;
}

bool IsDirectHit(const QWidget* W, const QMouseEvent* E) {
    return W->childAt(E->position().toPoint()) == nullptr;
}

void TControlEvents::DoMousePress(QWidget* Self, QMouseEvent* E) {
    // A press that bubbled up from a child is the child's business; it goes no further.
    E->accept();
    if (!IsDirectHit(Self, E))
        return;
    if (E->button() == Qt::LeftButton)
        FClicked = true;
    if (OnMouseDown) {
        const QPoint pos = E->position().toPoint();
        OnMouseDown(Self, E->button(), E->modifiers(), pos.x(), pos.y());
    }
}

void TControlEvents::DoMouseRelease(QWidget* Self, QMouseEvent* E) {
    E->accept();
    // Handlers may close the form and with it destroy this control.
    QPointer<QWidget> alive(Self);
    const QPoint pos = E->position().toPoint();
    if (E->button() == Qt::LeftButton && FClicked) {
        FClicked = false;
        if (Self->rect().contains(pos) && OnClick)
            OnClick(Self);
    }
    if (alive && OnMouseUp)
        OnMouseUp(Self, E->button(), E->modifiers(), pos.x(), pos.y());
}

// --- TImage ------------------------------------------------------------------------------------

TImage::TImage(QWidget* Parent) : QWidget(Parent) {
    resize(105, 105);
}

const TPicture& TImage::Picture() const {
    if (FDecode) {
        const auto decode = std::move(FDecode);
        FDecode = nullptr;
        FPicture = decode();
    }
    return FPicture;
}

void TImage::SetPicture(const TPicture& Value) {
    FDecode = nullptr;
    FPicture = Value;
    applyAutoSize();
    update();
}

void TImage::SetDeferredPicture(const QSize& Size, std::function<TPicture()> Decode) {
    FPicture = {};
    FDeferredSize = Size;
    FDecode = std::move(Decode);
    applyAutoSize();
    update();
}

QSize TImage::pictureSize() const {
    return FDecode ? FDeferredSize : FPicture.Image.size();
}

void TImage::SetAutoSize(bool Value) {
    FAutoSize = Value;
    applyAutoSize();
}

void TImage::SetStretch(bool Value) {
    FStretch = Value;
    update();
}

void TImage::SetProportional(bool Value) {
    FProportional = Value;
    update();
}

void TImage::SetCenter(bool Value) {
    FCenter = Value;
    update();
}

void TImage::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    const QSize picture = pictureSize();
    if (FAutoSize && picture.width() > 0 && picture.height() > 0) {
        AWidth = picture.width();
        AHeight = picture.height();
    }
    setGeometry(ALeft, ATop, AWidth, AHeight);
}

void TImage::applyAutoSize() {
    SetBounds(x(), y(), width(), height());
}

QRect TImage::DestRect() const {
    const QSize picture = pictureSize();
    return CalcPictureRect(picture.width(), picture.height(), width(), height(), FStretch,
                           FProportional, FCenter);
}

void TImage::paintEvent(QPaintEvent*) {
    if (Picture().IsEmpty())
        return;
    QPainter painter(this);
    painter.drawImage(DestRect(), FPicture.Image);
}

void TImage::mousePressEvent(QMouseEvent* E) {
    DoMousePress(this, E);
}

void TImage::mouseReleaseEvent(QMouseEvent* E) {
    DoMouseRelease(this, E);
}

void TImage::resizeEvent(QResizeEvent* E) {
    QWidget::resizeEvent(E);
    // Whoever sizes an auto-sized image, the picture keeps its own size.
    const QSize picture = pictureSize();
    if (FAutoSize && !picture.isEmpty() && size() != picture)
        resize(picture);
}

void LoadPngToImage(TImage* Image, const QString& Name, const QString& Type) {
    TPicture picture;
    LoadPngToPicture(picture, Name, Type);
    Image->SetPicture(picture);
}

// --- TLabel ------------------------------------------------------------------------------------

TLabel::TLabel(QWidget* Parent) : QLabel(Parent) {
    setTextFormat(Qt::PlainText);
}

void TLabel::SetCaption(const QString& Value) {
    FCaption = Value;
    QString shown = Value;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QChar(u'\r'), QChar(u'\n'));
    setText(shown);
    adjustBounds();
}

void TLabel::SetAutoSize(bool Value) {
    FAutoSize = Value;
    adjustBounds();
}

void TLabel::adjustBounds() {
    if (!FAutoSize)
        return;
    if (wordWrap())
        resize(width(), heightForWidth(width()));
    else
        resize(sizeHint());
}

void TLabel::mousePressEvent(QMouseEvent* E) {
    DoMousePress(this, E);
}

void TLabel::mouseReleaseEvent(QMouseEvent* E) {
    DoMouseRelease(this, E);
}

void TLabel::changeEvent(QEvent* E) {
    QLabel::changeEvent(E);
    if (E->type() == QEvent::FontChange)
        adjustBounds();
}

// --- TPanel ------------------------------------------------------------------------------------

TPanel::TPanel(QWidget* Parent) : QFrame(Parent) {
    resize(185, 41);
}

void TPanel::SetCaption(const QString& Value) {
    FCaption = Value;
    update();
}

void TPanel::SetColor(const QColor& Value) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Value);
    setPalette(pal);
    setAutoFillBackground(true);
}

void TPanel::paintEvent(QPaintEvent* E) {
    QFrame::paintEvent(E);
    if (FCaption.isEmpty())
        return;
    QPainter painter(this);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, FCaption);
}

void TPanel::mousePressEvent(QMouseEvent* E) {
    DoMousePress(this, E);
}

void TPanel::mouseReleaseEvent(QMouseEvent* E) {
    DoMouseRelease(this, E);
}

// --- TGroupBox ---------------------------------------------------------------------------------

TGroupBox::TGroupBox(QWidget* Parent) : QGroupBox(Parent) {}

void TGroupBox::mousePressEvent(QMouseEvent* E) {
    DoMousePress(this, E);
}

void TGroupBox::mouseReleaseEvent(QMouseEvent* E) {
    DoMouseRelease(this, E);
}

// --- TEdit -------------------------------------------------------------------------------------

TEdit::TEdit(QWidget* Parent) : QLineEdit(Parent) {}
