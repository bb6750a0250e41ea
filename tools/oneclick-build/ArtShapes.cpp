// Drawing pieces shared by the picture-drawing commands.
#include "ArtShapes.h"

#include "resources/Png.h"

#include <QFile>
#include <QPainterPath>

QImage ArtCanvas(int w, int h, const std::function<void(QPainter&)>& draw) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return image;
}

QImage ArtDialogPanel() {
    return ArtCanvas(442, 194, [](QPainter& p) {
        p.fillRect(0, 0, 442, 194, Qt::white);
        p.fillRect(1, 1, 440, 28, QColor(0xF3, 0xF5, 0xF9));
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QColor(0xC7, 0xC7, 0xC7));
        p.setBrush(Qt::NoBrush);
        p.drawRect(0, 0, 441, 193);
    });
}

QImage ArtDisc(bool question) {
    return ArtCanvas(40, 40, [question](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(cnArtBlue);
        p.drawEllipse(QRectF(1, 1, 38, 38));
        p.setPen(QPen(Qt::white, 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        if (question) {
            QPainterPath mark;
            mark.arcMoveTo(QRectF(14, 8, 12, 12), 160);
            mark.arcTo(QRectF(14, 8, 12, 12), 160, -250);
            mark.lineTo(20, 24);
            p.drawPath(mark);
        } else {
            p.drawLine(QPointF(20, 10), QPointF(20, 23));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(20, 30), 2.6, 2.6);
    });
}

QImage ArtFlatButton(int w, int h, const QColor& fill, bool outlined) {
    return ArtCanvas(w, h, [=](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(0, 0, w, h, fill);
        if (outlined) {
            p.setPen(cnArtBlue);
            p.drawRect(0, 0, w - 1, h - 1);
        }
    });
}

bool SaveArtPng(const QImage& image, int colorType, const QString& path) {
    QFile file(path);
    const QByteArray png = EncodePng(image, colorType);
    return file.open(QIODevice::WriteOnly) && file.write(png) == png.size() && file.flush();
}
