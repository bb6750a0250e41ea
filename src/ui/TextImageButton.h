// The captioned picture button: a self-drawn control showing one of its state pictures, an
// optional small icon and a centred caption. Every captioned button of the installer is one.
#pragma once

#include "ui/Controls.h"

#include <QColor>
#include <QWidget>

class TTextImageButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(TPicture BitmapOver READ BitmapOver WRITE SetBitmapOver)
    Q_PROPERTY(TPicture BitmapDown READ BitmapDown WRITE SetBitmapDown)
    Q_PROPERTY(TPicture BitmapDisabled READ BitmapDisabled WRITE SetBitmapDisabled)
    Q_PROPERTY(TPicture Bitmap READ Bitmap WRITE SetBitmap)
    Q_PROPERTY(TPicture aSmallIcon READ aSmallIcon WRITE SetaSmallIcon)
    Q_PROPERTY(TPicture PicMultiStatus READ PicMultiStatus WRITE SetPicMultiStatus)
    Q_PROPERTY(int PicSplitNum READ PicSplitNum WRITE SetPicSplitNum)
    Q_PROPERTY(TAlphaType PicAlpha READ PicAlpha WRITE SetPicAlpha)
    Q_PROPERTY(QColor DisableFontColor READ DisableFontColor WRITE SetDisableFontColor)
    Q_PROPERTY(bool DownStatus READ DownStatus WRITE SetDownStatus)
    Q_PROPERTY(bool Proportional READ Proportional WRITE SetProportional)
    Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch)
    Q_PROPERTY(int Spacing READ Spacing WRITE SetSpacing)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QColor FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)

public:
    enum TAlphaType { atAuto, atAlpha, atNoAlpha };
    Q_ENUM(TAlphaType)
    // Declared for the layouts; painting does not use it.
    enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

    explicit TTextImageButton(QWidget* Parent = nullptr);

    // The state pictures themselves. Filling one directly changes neither the current picture
    // nor the size: the look follows at the next enter, leave, press, release or DownStatus.
    TPicture MOver;    // hover
    TPicture MDown;    // pressed
    TPicture Bmp;      // normal
    TPicture BmpDAble; // disabled

    TNotifyEvent OnClick;
    TMouseEvent OnMouseDown; // left button only
    TMouseEvent OnMouseUp;   // left button only
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;

    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool Value);
    // The picture setters take copies. Bitmap also becomes the current picture and gives the
    // control its size.
    const TPicture& Bitmap() const { return Bmp; }
    void SetBitmap(const TPicture& Value);
    const TPicture& BitmapOver() const { return MOver; }
    void SetBitmapOver(const TPicture& Value);
    const TPicture& BitmapDown() const { return MDown; }
    void SetBitmapDown(const TPicture& Value);
    const TPicture& BitmapDisabled() const { return BmpDAble; }
    void SetBitmapDisabled(const TPicture& Value);
    const TPicture& aSmallIcon() const { return FSmallIcon; }
    void SetaSmallIcon(const TPicture& Value);
    // Cut into Bmp, MOver, MDown and BmpDAble with the PicSplitNum and PicAlpha of this moment.
    const TPicture& PicMultiStatus() const { return FPicMultiStatus; }
    void SetPicMultiStatus(const TPicture& Value);
    int PicSplitNum() const { return FPicSplitNum; }
    void SetPicSplitNum(int Value) { FPicSplitNum = Value; }
    TAlphaType PicAlpha() const { return FPicAlpha; }
    void SetPicAlpha(TAlphaType Value) { FPicAlpha = Value; }
    QColor DisableFontColor() const { return FDisableFontColor; }
    void SetDisableFontColor(const QColor& Value) { FDisableFontColor = Value; }
    // Holds the button in its pressed look.
    bool DownStatus() const { return FDownStatus; }
    void SetDownStatus(bool Value);
    bool Proportional() const { return FProportional; }
    void SetProportional(bool Value);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool Value);
    int Spacing() const { return FSpacing; }
    void SetSpacing(int Value);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& Value);
    // The caption colour while enabled.
    QColor FontColor() const { return FFontColor; }
    void SetFontColor(const QColor& Value);
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& Value) { setToolTip(Value); }
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool Value) { FShowHint = Value; }

    // The picture the button shows now.
    const TPicture& ActualPicture() const { return ActualBmp; }

    // With a normal picture of positive size, proposes that size; always allows the resize.
    bool CanAutoSize(int& NewWidth, int& NewHeight) const;
    // Moves and sizes the control, consulting CanAutoSize when AutoSize is on.
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    // Where the current picture is drawn in the client area.
    QRect CalcPictureRect() const;
    // Repaints at once, then runs OnClick when the button is enabled.
    virtual void Click();

protected:
    void paintEvent(QPaintEvent* E) override;
    void enterEvent(QEnterEvent* E) override;
    void leaveEvent(QEvent* E) override;
    void mousePressEvent(QMouseEvent* E) override;
    void mouseReleaseEvent(QMouseEvent* E) override;
    void keyPressEvent(QKeyEvent* E) override;
    void keyReleaseEvent(QKeyEvent* E) override;
    void changeEvent(QEvent* E) override;
    void resizeEvent(QResizeEvent* E) override;
    bool event(QEvent* E) override;

private:
    void splitStatusPicture(const TPicture& Strip);
    void refreshLayout();
    void showPicture(const TPicture& Picture);

    TPicture FPicMultiStatus;
    int FPicSplitNum = 4;
    TAlphaType FPicAlpha = atAuto;
    TPicture ActualBmp;
    TPicture FSmallIcon;
    TButtonLayout FLayout = blGlyphLeft;
    int FSpacing = 4;
    bool FAutoSize = false;
    bool FStretch = false;
    bool FProportional = false;
    bool FDrawing = false;
    QColor FDisableFontColor = Qt::black;
    QColor FFontColor = Qt::black;
    bool FDownStatus = false;
    bool FShowHint = true;
    QString FCaption;
    // The fill is solid button face until a caption has been drawn once, then clear for good.
    bool FBrushClear = false;
    bool FClicked = false;
};
