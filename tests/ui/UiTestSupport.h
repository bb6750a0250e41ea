// Pictures and pixel probes for the widget tests: PNGs are made in memory and decoded by the
// product's own decoder, so every picture carries the colour type a real file would give.
#pragma once

#include <QColor>
#include <QImage>
#include <QTest>
#include <QWidget>
#include <functional>
#include <ostream>

#include "resources/Png.h"
#include "testsupport/TestEnv.h"

#include <png.h>

namespace uitest {

// A picture of W x H whose every pixel is Pixel(x, y), written as a PNG of the colour type
// (PNG_COLOR_TYPE_RGBA, _RGB, _GRAY ...) and decoded again.
inline TPicture MakePicture(int W, int H, const std::function<QColor(int, int)>& Pixel,
                            int ColorType = PNG_COLOR_TYPE_RGBA) {
    QImage image(W, H, QImage::Format_RGBA8888);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            image.setPixelColor(x, y, Pixel(x, y));
    return DecodePng(EncodePng(image, ColorType));
}

inline TPicture SolidPicture(int W, int H, const QColor& Color,
                             int ColorType = PNG_COLOR_TYPE_RGBA) {
    return MakePicture(
        W, H, [&](int, int) { return Color; }, ColorType);
}

// A strip whose pixel (x, y) is (x, y, 200) opaque: the picture shown tells which columns of the
// strip it came from.
inline TPicture CoordinateStrip(int W, int H, int ColorType = PNG_COLOR_TYPE_RGBA) {
    return MakePicture(
        W, H, [](int x, int y) { return QColor(x % 256, y, 200); }, ColorType);
}

// The widget as it paints itself now, on a transparent ground (no window background), in
// unpremultiplied RGBA.
inline QImage Render(QWidget* W) {
    QImage image(W->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    W->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.convertToFormat(QImage::Format_RGBA8888);
}

inline bool Near(const QColor& A, const QColor& B, int Tolerance = 2) {
    return std::abs(A.red() - B.red()) <= Tolerance &&
           std::abs(A.green() - B.green()) <= Tolerance &&
           std::abs(A.blue() - B.blue()) <= Tolerance &&
           std::abs(A.alpha() - B.alpha()) <= Tolerance;
}

// Pixels of Image within Rect close to Color.
inline int CountNear(const QImage& Image, const QColor& Color, QRect Rect = {},
                     int Tolerance = 40) {
    if (Rect.isNull())
        Rect = Image.rect();
    Rect &= Image.rect();
    int count = 0;
    for (int y = Rect.top(); y <= Rect.bottom(); ++y)
        for (int x = Rect.left(); x <= Rect.right(); ++x)
            if (Near(Image.pixelColor(x, y), Color, Tolerance))
                ++count;
    return count;
}

// The leftmost column holding a pixel close to Color, -1 when none does.
inline int LeftmostNear(const QImage& Image, const QColor& Color, int Tolerance = 60) {
    for (int x = 0; x < Image.width(); ++x)
        for (int y = 0; y < Image.height(); ++y)
            if (Near(Image.pixelColor(x, y), Color, Tolerance))
                return x;
    return -1;
}

// Shows a top-level host for the controls and waits until the window system has it on screen.
inline bool ShowHost(QWidget* Host) {
    Host->show();
    return QTest::qWaitForWindowExposed(Host);
}

} // namespace uitest
