// PNG pictures: every picture of the installer is decoded by libpng into 8-bit RGBA, and the
// file's colour type travels with it because the picture buttons' alpha rule depends on it.
#pragma once

#include "base/Exception.h"

#include <QByteArray>
#include <QImage>
#include <QString>

// Content that is not a PNG the decoder can read.
class EPngError : public Exception {
public:
    using Exception::Exception;
};

struct TPicture {
    QImage Image;       // QImage::Format_RGBA8888, not premultiplied
    int ColorType = -1; // the PNG IHDR colour type (PNG_COLOR_TYPE_*), -1 when empty
    bool IsEmpty() const { return Image.isNull(); }
};

// Pictures larger than this (either side) are refused rather than decoded.
constexpr int MaxPngSide = 16384;

TPicture DecodePng(const QByteArray& Data); // throws EPngError

// Decodes the resource into Picture. Throws EResNotFound or EPngError; Picture is unchanged on
// error. The two names are the image-control and picture-slot flavours of the same load.
void LoadPngToPicture(TPicture& Picture, const QString& Name, const QString& Type);
void LoadPngToImage(TPicture& Picture, const QString& Name, const QString& Type);

// Encodes Image (any format) as an 8-bit PNG of the given colour type: PNG_COLOR_TYPE_RGBA,
// _RGB, _GRAY or _GRAY_ALPHA. For the maker's tools and tests; throws EPngError.
QByteArray EncodePng(const QImage& Image, int ColorType);
