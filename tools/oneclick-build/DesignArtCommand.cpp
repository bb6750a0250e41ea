// oneclick-build design-art DIR: draws the design-time pictures of the installer window and its
// dialogs, the faces a form shows where the installer carries no picture of its own.
// scripts/make-design-art.sh runs it over resources/ui, which the ui library compiles in.
#include "ArtShapes.h"
#include "Command.h"

#include <QDir>
#include <QLinearGradient>
#include <QPainterPath>
#include <QTextStream>
#include <png.h>

namespace {
const QString cnName = QStringLiteral("design-art");

const QColor cnHairline(0x9E, 0xA6, 0xAA, 77); // 30 % opacity

QImage solid(int w, int h, const QColor& color) {
    return ArtCanvas(w, h, [&](QPainter& p) { p.fillRect(0, 0, w, h, color); });
}

void cross(QPainter& p, int left, const QColor& color) {
    p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(left + 15, 9), QPointF(left + 25, 19));
    p.drawLine(QPointF(left + 25, 9), QPointF(left + 15, 19));
}

// Normal, hover, pressed and disabled looks of the close button, 40 x 28 each.
QImage closeStrip() {
    return ArtCanvas(160, 28, [](QPainter& p) {
        p.fillRect(40, 0, 40, 28, QColor(0xE8, 0x11, 0x23));
        p.fillRect(80, 0, 40, 28, QColor(0x9C, 0x0B, 0x16));
        cross(p, 0, QColor(0x55, 0x55, 0x55));
        cross(p, 40, Qt::white);
        cross(p, 80, Qt::white);
        cross(p, 120, Qt::white);
    });
}

QImage windowBackground() {
    return ArtCanvas(620, 420, [](QPainter& p) {
        p.fillRect(0, 0, 620, 260, QColor(0x27, 0x2D, 0x3A));
        p.fillRect(0, 260, 620, 160, Qt::white);
    });
}

// A grey tile with a white ring: a logo that says "put yours here".
QImage placeholderLogo(int size) {
    return ArtCanvas(size, size, [size](QPainter& p) {
        p.scale(size / 102.0, size / 102.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x8A, 0x93, 0xA3));
        p.drawRoundedRect(QRectF(1, 1, 100, 100), 18, 18);
        p.setPen(QPen(Qt::white, 8));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(28, 28, 46, 46));
    });
}

// The large buttons' stored faces: opaque gradients (the file has no alpha channel).
QImage bigButton(const QColor& top, const QColor& bottom) {
    return ArtCanvas(150, 45, [&](QPainter& p) {
        QLinearGradient g(0, 0, 0, 45);
        g.setColorAt(0, top);
        g.setColorAt(1, bottom);
        p.fillRect(0, 0, 150, 45, g);
    });
}

QImage greyButton(const QColor& fill) {
    return ArtCanvas(77, 26, [&](QPainter& p) {
        p.setPen(QColor(0xC4, 0xC4, 0xC4));
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(0.5, 0.5, 76, 25), 4, 4);
    });
}

QImage shadowLine() {
    QImage image(800, 8, QImage::Format_ARGB32);
    const int alphas[] = {1, 3, 6, 10, 15, 21, 29};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 800; ++x)
            image.setPixelColor(x, y,
                                y < 7 ? QColor(0, 0, 0, alphas[y]) : QColor(255, 255, 255, 124));
    return image;
}

QImage bottomLine() {
    return ArtCanvas(620, 1, [](QPainter& p) {
        QLinearGradient g(0, 0, 620, 0);
        g.setColorAt(0, QColor(0xD1, 0xD1, 0xD1));
        g.setColorAt(0.5, QColor(0xEE, 0xEE, 0xEE));
        g.setColorAt(1, QColor(0xD1, 0xD1, 0xD1));
        p.fillRect(0, 0, 620, 1, g);
    });
}

// A circled chevron pointing down or up.
QImage chevron(bool down) {
    return ArtCanvas(18, 18, [down](QPainter& p) {
        p.setPen(QPen(QColor(0x44, 0x44, 0x44), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(1, 1, 16, 16));
        p.setPen(QPen(QColor(0x44, 0x44, 0x44), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const double tip = down ? 11.5 : 6.5;
        const double base = down ? 7.5 : 10.5;
        QPainterPath path;
        path.moveTo(5.5, base);
        path.lineTo(9, tip);
        path.lineTo(12.5, base);
        p.drawPath(path);
    });
}

QImage checkMark() {
    return ArtCanvas(36, 36, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2E, 0xB8, 0x4B));
        p.drawEllipse(QRectF(1, 1, 34, 34));
        p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath path;
        path.moveTo(10, 18.5);
        path.lineTo(15.5, 24);
        path.lineTo(26, 12.5);
        p.drawPath(path);
    });
}

struct TArt {
    QString Name;
    QImage Image;
    int ColorType = PNG_COLOR_TYPE_RGBA;
};

int runDesignArt(const QStringList& args) {
    if (args.size() != 1)
        return UsageError(cnName, QStringLiteral("wants the output folder"));
    const QDir dir(args[0]);
    const std::vector<TArt> pictures = {
        {"dlg_msgbox", ArtDialogPanel()},
        {"dlg_icon_warn", ArtDisc(false)},
        {"dlg_icon_ques", ArtDisc(true)},
        {"dlg_btn_solid_normal", ArtFlatButton(100, 30, cnArtBlue, false)},
        {"dlg_btn_solid_over", ArtFlatButton(100, 30, cnArtLightBlue, false)},
        {"dlg_btn_solid_down", ArtFlatButton(100, 30, cnArtDarkBlue, false)},
        {"dlg_btn_outline_normal", ArtFlatButton(100, 30, Qt::white, true)},
        {"dlg_btn_outline_over", ArtFlatButton(100, 30, QColor(0xD6, 0xEB, 0xFF), true)},
        {"dlg_btn_outline_down", ArtFlatButton(100, 30, cnArtLightBlue, true)},
        {"dlg_close",
         ArtCanvas(40, 28, [](QPainter& p) { cross(p, 0, QColor(0x55, 0x55, 0x55)); })},
        {"close_strip", closeStrip()},
        {"hairline", solid(4, 4, cnHairline)},
        {"inst_bgpic", windowBackground()},
        {"inst_logo", placeholderLogo(102)},
        {"inst_minilogo", placeholderLogo(34)},
        {"inst_btn_normal", bigButton(QColor(0x1C, 0xD8, 0xE8), QColor(0x1A, 0x6E, 0xE6)),
         PNG_COLOR_TYPE_RGB},
        {"inst_btn_over", bigButton(QColor(0x4E, 0xE6, 0xF2), QColor(0x3C, 0x8C, 0xF2)),
         PNG_COLOR_TYPE_RGB},
        {"inst_btn_down", bigButton(QColor(0x12, 0xB0, 0xC8), QColor(0x12, 0x56, 0xC0)),
         PNG_COLOR_TYPE_RGB},
        {"inst_btn_change_normal", greyButton(QColor(0xF2, 0xF2, 0xF2))},
        {"inst_btn_change_over", greyButton(QColor(0xE6, 0xE6, 0xE6))},
        {"inst_btn_change_down", greyButton(QColor(0xD6, 0xD6, 0xD6))},
        {"inst_shadow", shadowLine()},
        {"inst_bottom_line", bottomLine()},
        {"inst_arrow_down", chevron(true)},
        {"inst_arrow_up", chevron(false)},
        {"inst_check", checkMark()},
    };
    if (!QDir().mkpath(dir.path())) {
        QTextStream(stderr) << "oneclick-build " << cnName << ": cannot create " << dir.path()
                            << '\n';
        return ExitFailure;
    }
    for (const TArt& art : pictures) {
        const QString path = dir.filePath(art.Name + QStringLiteral(".png"));
        if (!SaveArtPng(art.Image, art.ColorType, path)) {
            QTextStream(stderr) << "oneclick-build " << cnName << ": cannot write " << path << '\n';
            return ExitFailure;
        }
    }
    QTextStream(stdout) << pictures.size() << " pictures in " << dir.path() << '\n';
    return ExitOk;
}

const TCommandRegistrar cnRegistrar({cnName, QStringLiteral("DIR"), runDesignArt});
} // namespace
