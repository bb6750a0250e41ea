// The picture-only button (every window's close cross): an image control whose picture is
// swapped among the cells of a state strip as the pointer enters, presses and leaves. A second
// strip gives an alternative set of looks, chosen by NewStatus.
#pragma once

#include "ui/Controls.h"

#include <QEvent>

// Receives the input event that triggered it.
using TMessageEvent = std::function<void(QEvent& Message)>;

class TImgBtnEx : public TImage {
    Q_OBJECT
    Q_PROPERTY(TPicture PicMultiStatus READ PicMultiStatus WRITE SetPicMultiStatus)
    Q_PROPERTY(TPicture PicNewStatus READ PicNewStatus WRITE SetPicNewStatus)
    Q_PROPERTY(int PicSplitNum READ PicSplitNum WRITE SetPicSplitNum)
    Q_PROPERTY(TAlphaType PicAlpha READ PicAlpha WRITE SetPicAlpha)
    Q_PROPERTY(bool NewStatus READ NewStatus WRITE SetNewStatus)
    Q_PROPERTY(bool DownStatus READ DownStatus WRITE SetDownStatus)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    enum TAlphaType { atNoAlpha, atAlpha, atAuto };
    Q_ENUM(TAlphaType)

    explicit TImgBtnEx(QWidget* Parent = nullptr);

    // These hide the image's own mouse-down and mouse-up handlers; OnClick stays the image's.
    TMessageEvent OnMouseEnter;
    TMessageEvent OnMouseLeave;
    TMessageEvent OnMouseDown; // left button only
    TMessageEvent OnMouseUp;   // left button only

    // Strip of set 0; assigning it selects set 0 and cuts it.
    const TPicture& PicMultiStatus() const { return FPicMultiStatus; }
    void SetPicMultiStatus(const TPicture& Value);
    // Strip of set 1; assigning it selects set 1 and cuts it.
    const TPicture& PicNewStatus() const { return FPicNewStatus; }
    void SetPicNewStatus(const TPicture& Value);
    int PicSplitNum() const { return FPicSplitNum; }
    void SetPicSplitNum(int Value) { FPicSplitNum = Value; }
    TAlphaType PicAlpha() const { return FPicAlpha; }
    void SetPicAlpha(TAlphaType Value) { FPicAlpha = Value; }
    bool NewStatus() const { return FNewStatus; }
    void SetNewStatus(bool Value);
    // Holds the button in its pressed look; enter, leave and release are then ignored.
    bool DownStatus() const { return FDownStatus; }
    void SetDownStatus(bool Value);
    // Never drawn.
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& Value) { FCaption = Value; }

    bool Entered() const { return FEntered; }
    bool Down() const { return FDown; }
    int ImgStatus() const { return FImgStatus; }

protected:
    void enterEvent(QEnterEvent* E) override;
    void leaveEvent(QEvent* E) override;
    void mousePressEvent(QMouseEvent* E) override;
    void mouseReleaseEvent(QMouseEvent* E) override;
    void changeEvent(QEvent* E) override;

private:
    void splitStatusPicture(const TPicture& Strip);
    void ensureStatusPictures();
    // An empty cell never replaces the picture shown.
    void showCell(const TPicture& Cell);

    bool FEntered = false;
    bool FDown = false;
    TPicture FPic[2];
    TPicture FPicDown[2];
    TPicture FPicHover[2];
    TPicture FPicDisabled[2];
    TPicture FPicMultiStatus;
    int FPicSplitNum = 4;
    TAlphaType FPicAlpha = atAuto;
    TPicture FPicNewStatus;
    bool FNewStatus = false;
    bool FDownStatus = false;
    int FImgStatus = 0;
    QString FCaption;
};
