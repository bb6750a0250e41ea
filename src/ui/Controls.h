// The plain controls of the installer's forms (image, label, panel, group box, edit) and the
// event types they share with the picture buttons. Texts are published as Q_PROPERTYs and the
// class names are the ones the drag-to-move rule and the translation engine look for.
#pragma once

#include "resources/Png.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRect>
#include <QWidget>
#include <functional>

class QMouseEvent;

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                       Qt::KeyboardModifiers Shift, int X, int Y)>;
// The handler may change Key.
using TKeyEvent = std::function<void(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift)>;
using TKeyPressEvent = std::function<void(QObject* Sender, QChar& Key)>;

// Where a picture of W x H is drawn in a client area of CW x CH. Divisions truncate toward zero,
// so a picture larger than the area is centred and cut on both sides.
QRect CalcPictureRect(int W, int H, int CW, int CH, bool Stretch, bool Proportional, bool Center);

// True when the press was made on W itself. Qt hands a press that a child ignores on to the
// parents; these controls react only to their own, as the window's drag-to-move rule expects.
bool IsDirectHit(const QWidget* W, const QMouseEvent* E);

// Mouse-down (any button), click (left press and release over the control) and mouse-up
// handlers of a plain control; the click comes before the mouse-up, as the toolkit orders them.
class TControlEvents {
public:
    TNotifyEvent OnClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;

protected:
    void DoMousePress(QWidget* Self, QMouseEvent* E);
    void DoMouseRelease(QWidget* Self, QMouseEvent* E);

private:
    bool FClicked = false;
};

// An image control showing one picture, as the forms' stored layouts use them.
class TImage : public QWidget, public TControlEvents {
    Q_OBJECT
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch)
    Q_PROPERTY(bool Proportional READ Proportional WRITE SetProportional)
    Q_PROPERTY(bool Center READ Center WRITE SetCenter)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)

public:
    explicit TImage(QWidget* Parent = nullptr);

    // A deferred picture is decoded here, at the latest.
    const TPicture& Picture() const;
    // Takes a copy; with AutoSize the control takes the picture's size. Redraws.
    void SetPicture(const TPicture& Value);
    // A picture of the given size that is decoded only when it is first drawn or asked for, so
    // one that is replaced before the control is shown costs nothing. Otherwise as SetPicture.
    void SetDeferredPicture(const QSize& Size, std::function<TPicture()> Decode);

    QString Hint() const { return toolTip(); }
    void SetHint(const QString& Value) { setToolTip(Value); }
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool Value);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool Value);
    bool Proportional() const { return FProportional; }
    void SetProportional(bool Value);
    bool Center() const { return FCenter; }
    void SetCenter(bool Value);
    // PNG pictures always blend over what lies beneath; the flag is kept for the layouts.
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool Value) { FTransparent = Value; }

    // Moves and sizes the control; with AutoSize a non-empty picture keeps its own size.
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    // Where the picture is drawn in the client area.
    QRect DestRect() const;

protected:
    void paintEvent(QPaintEvent* E) override;
    void mousePressEvent(QMouseEvent* E) override;
    void mouseReleaseEvent(QMouseEvent* E) override;
    void resizeEvent(QResizeEvent* E) override;

private:
    void applyAutoSize();
    QSize pictureSize() const;

    mutable TPicture FPicture;
    mutable std::function<TPicture()> FDecode; // set while a deferred picture waits
    QSize FDeferredSize;
    bool FAutoSize = false;
    bool FStretch = false;
    bool FProportional = false;
    bool FCenter = false;
    bool FTransparent = false;
};

// Decodes the PNG resource into the image's picture. Throws EResNotFound or EPngError; the image
// keeps its picture on error.
void LoadPngToImage(TImage* Image, const QString& Name, const QString& Type);

// A text label. The caption keeps CR LF line breaks as given; they show as line breaks.
class TLabel : public QLabel, public TControlEvents {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)

public:
    explicit TLabel(QWidget* Parent = nullptr);

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& Value);
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& Value) { setToolTip(Value); }
    // On by default: the label fits its text, growing downward when it wraps words.
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool Value);

protected:
    void mousePressEvent(QMouseEvent* E) override;
    void mouseReleaseEvent(QMouseEvent* E) override;
    void changeEvent(QEvent* E) override;

private:
    void adjustBounds();

    QString FCaption;
    bool FAutoSize = true;
};

// A panel: a plain container with an optional centred caption.
class TPanel : public QFrame, public TControlEvents {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)

public:
    explicit TPanel(QWidget* Parent = nullptr);

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& Value);
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& Value) { setToolTip(Value); }
    // A solid background of this colour.
    void SetColor(const QColor& Value);

protected:
    void paintEvent(QPaintEvent* E) override;
    void mousePressEvent(QMouseEvent* E) override;
    void mouseReleaseEvent(QMouseEvent* E) override;

private:
    QString FCaption;
};

class TGroupBox : public QGroupBox, public TControlEvents {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)

public:
    explicit TGroupBox(QWidget* Parent = nullptr);

    QString Caption() const { return title(); }
    void SetCaption(const QString& Value) { setTitle(Value); }
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& Value) { setToolTip(Value); }

protected:
    void mousePressEvent(QMouseEvent* E) override;
    void mouseReleaseEvent(QMouseEvent* E) override;
};

// A one-line edit box.
class TEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QString Text READ text WRITE setText)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)

public:
    explicit TEdit(QWidget* Parent = nullptr);

    QString Hint() const { return toolTip(); }
    void SetHint(const QString& Value) { setToolTip(Value); }
};
