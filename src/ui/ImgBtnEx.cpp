// The picture-only button: picture sets cut from strips and the pointer's state machine.
#include "ui/ImgBtnEx.h"

#include "ui/StateStrip.h"

#include <QMouseEvent>
#include <QPointer>

TImgBtnEx::TImgBtnEx(QWidget* Parent) : TImage(Parent) {}

void TImgBtnEx::SetPicMultiStatus(const TPicture& Value) {
    FPicMultiStatus = Value;
    FImgStatus = 0;
    splitStatusPicture(FPicMultiStatus);
}

void TImgBtnEx::SetPicNewStatus(const TPicture& Value) {
    FPicNewStatus = Value;
    FImgStatus = 1;
    splitStatusPicture(FPicNewStatus);
}

void TImgBtnEx::splitStatusPicture(const TPicture& Strip) {
    const QList<TPicture> cells = CutStateStrip(Strip, FPicSplitNum, FPicAlpha != atNoAlpha);
    if (cells.isEmpty())
        return;
    const int s = FImgStatus;
    TPicture* const targets[cnMaxStateCells] = {&FPic[s], &FPicHover[s], &FPicDown[s],
                                                &FPicDisabled[s]};
    for (qsizetype i = 0; i < cells.size(); ++i)
        *targets[i] = cells[i];
    showCell(FPic[s]);
}

void TImgBtnEx::ensureStatusPictures() {
    if (FImgStatus == 0 && FPic[0].IsEmpty())
        splitStatusPicture(FPicMultiStatus);
    if (FImgStatus == 1 && FPic[1].IsEmpty())
        splitStatusPicture(FPicNewStatus);
}

void TImgBtnEx::showCell(const TPicture& Cell) {
    if (!Cell.IsEmpty())
        SetPicture(Cell);
}

void TImgBtnEx::SetNewStatus(bool Value) {
    FNewStatus = Value;
    FImgStatus = Value ? 1 : 0;
    ensureStatusPictures();
    const int s = FImgStatus;
    if (!FPic[s].IsEmpty())
        showCell(FDownStatus ? FPicDown[s] : FPic[s]);
}

void TImgBtnEx::SetDownStatus(bool Value) {
    FDownStatus = Value;
    const int s = FImgStatus;
    if (FPic[s].IsEmpty())
        return;
    FEntered = false;
    if (Value) {
        FDown = true;
        showCell(FPicDown[s]);
    } else {
        showCell(FPic[s]);
    }
    repaint();
}

void TImgBtnEx::enterEvent(QEnterEvent* E) {
    if (!isEnabled() || FDownStatus)
        return;
    FEntered = true;
    ensureStatusPictures();
    const int s = FImgStatus;
    if (!FPic[s].IsEmpty())
        showCell(FDown ? FPicDown[s] : FPicHover[s]);
    if (OnMouseEnter)
        OnMouseEnter(*E);
}

void TImgBtnEx::leaveEvent(QEvent* E) {
    if (!isEnabled() || FDownStatus)
        return;
    FEntered = false;
    const int s = FImgStatus;
    if (!FPic[s].IsEmpty())
        showCell(FPic[s]);
    if (OnMouseLeave)
        OnMouseLeave(*E);
}

void TImgBtnEx::mousePressEvent(QMouseEvent* E) {
    QPointer<TImgBtnEx> alive(this);
    TImage::mousePressEvent(E);
    if (!alive || E->button() != Qt::LeftButton || !isEnabled())
        return;
    FDown = true;
    const int s = FImgStatus;
    if (FEntered && !FPicDown[s].IsEmpty())
        showCell(FPicDown[s]);
    if (OnMouseDown)
        OnMouseDown(*E);
}

void TImgBtnEx::mouseReleaseEvent(QMouseEvent* E) {
    QPointer<TImgBtnEx> alive(this);
    // The image's own handling delivers OnClick first when the release is over the control.
    TImage::mouseReleaseEvent(E);
    if (!alive || E->button() != Qt::LeftButton || !isEnabled() || FDownStatus)
        return;
    FDown = false;
    const int s = FImgStatus;
    if (FEntered && !FPicHover[s].IsEmpty())
        showCell(FPicHover[s]);
    if (OnMouseUp)
        OnMouseUp(*E);
}

void TImgBtnEx::changeEvent(QEvent* E) {
    if (E->type() == QEvent::EnabledChange) {
        ensureStatusPictures();
        const int s = FImgStatus;
        if (!isEnabled() && !FPicDisabled[s].IsEmpty())
            showCell(FPicDisabled[s]);
        else
            showCell(FPic[s]);
        FDown = false;
        FEntered = false;
        repaint();
    }
    TImage::changeEvent(E);
}
