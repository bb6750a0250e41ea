// Drawing pieces shared by the commands that draw pictures (demo-art and the like): a canvas,
// the dialog panel, the icon discs and flat buttons, and a PNG writer that goes through libpng.
// Shapes only, no text, so the pictures do not depend on the fonts of the machine.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>
#include <functional>

inline const QColor cnArtBlue(0x0F, 0x87, 0xFF);
inline const QColor cnArtLightBlue(0x6C, 0xB6, 0xFF);
inline const QColor cnArtDarkBlue(0x0A, 0x68, 0xCC);

// A transparent w x h picture, antialiased, drawn by draw.
QImage ArtCanvas(int w, int h, const std::function<void(QPainter&)>& draw);
// 442 x 194: white, a 1-pixel #C7C7C7 frame and a #F3F5F9 band in rows 1 to 28.
QImage ArtDialogPanel();
// 40 x 40: a blue disc with a white question or exclamation mark.
QImage ArtDisc(bool question);
// A plain rectangle, optionally with a 1-pixel blue border.
QImage ArtFlatButton(int w, int h, const QColor& fill, bool outlined);
// Writes the picture as a PNG of the given colour type; false when the file cannot be written.
bool SaveArtPng(const QImage& image, int colorType, const QString& path);
