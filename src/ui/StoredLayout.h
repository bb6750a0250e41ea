// Building blocks of the forms' stored layouts: the faces and colours they name, alignment to a
// side of the parent, and the design-time pictures compiled into the program.
#pragma once

#include "resources/Png.h"
#include "ui/Controls.h"
#include "ui/TextImageButton.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

// The face the layouts ask for; fontconfig stands in an installed CJK face where it is missing.
inline const QString cnLayoutFace = QStringLiteral("微软雅黑");

// A font of the face with a character height in pixels.
QFont LayoutFont(const QString& Face, int PixelSize);
// Font and text colour of a label, edit or panel (a picture button takes SetFontColor).
void SetLayoutFont(QWidget* Control, const QString& Face, int PixelSize, const QColor& Color);
void SetTextColor(QWidget* Control, const QColor& Color);
// An opaque background of this colour (labels are transparent unless given one).
void SetBackgroundColor(QWidget* Control, const QColor& Color);

// The platform's colours for the roles the layouts name.
QColor SystemWindowColor();     // the background of text areas
QColor SystemWindowTextColor(); // the text on it
QColor SystemGrayTextColor();   // text that is not available
QColor SystemHotLightColor();   // links and hot-tracked items

// Keeps a control against a side of its parent as the parent is resized: alTop and alBottom take
// the parent's full width, alRight its full height, alClient all of it; the control keeps its
// own height (top, bottom) or width (right). alNone releases the control.
enum TAlign { alNone, alTop, alBottom, alRight, alClient };
void SetAlign(QWidget* Control, TAlign Align);
TAlign AlignOf(const QWidget* Control);

// A design-time picture of the stored layouts by its file name without ".png" ("inst_bgpic").
// Empty when the program carries no such picture. Decoded once; later calls share its pixels.
TPicture DesignPicture(const QString& Name);

// Loads the installer's picture resource Name (type "file") into Picture. False, and Picture
// unchanged, when the installer carries none or it is not a PNG.
bool LoadPictureResource(TPicture& Picture, const QString& Name);

// A control of the stored layout, named and placed.
template <class T> T* PlaceControl(QWidget* Parent, const char* Name, const QRect& Bounds) {
    auto* control = new T(Parent);
    control->setObjectName(QString::fromLatin1(Name));
    control->setGeometry(Bounds);
    return control;
}

struct TLabelStyle {
    int PixelSize;
    QColor Color;
    bool FixedSize = false; // else the label fits its text (growing downward when it wraps)
    bool WordWrap = false;
    Qt::Alignment Alignment = Qt::AlignLeft;
    QString Face = cnLayoutFace;
};

// A label of the stored layout: transparent, text at the top.
template <class T = TLabel>
T* PlaceLabel(QWidget* Parent, const char* Name, const QRect& Bounds, const QString& Caption,
              const TLabelStyle& Style) {
    auto* control = new T(Parent);
    control->setObjectName(QString::fromLatin1(Name));
    // Fitting waits until font, wrapping and bounds are all in place.
    control->SetAutoSize(false);
    SetLayoutFont(control, Style.Face, Style.PixelSize, Style.Color);
    control->setAlignment(Style.Alignment | Qt::AlignTop);
    control->setWordWrap(Style.WordWrap);
    control->setGeometry(Bounds);
    control->SetCaption(Caption);
    control->SetAutoSize(!Style.FixedSize);
    return control;
}

// An image showing a design-time picture, decoded when it is first drawn (SetDeferredPicture).
TImage* PlaceImage(QWidget* Parent, const char* Name, const QRect& Bounds,
                   const QString& DesignName, bool Stretch = false, bool AutoSize = false);

// A picture button whose normal, hover and pressed pictures are the design-time pictures
// Faces + "_normal", "_over" and "_down"; the caption in the layout face.
TTextImageButton* PlaceButton(QWidget* Parent, const char* Name, const QRect& Bounds,
                              const QString& Caption, int PixelSize, const QColor& Color,
                              const QString& Faces, int PicSplitNum, bool AutoSize);
