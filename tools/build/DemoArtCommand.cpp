// oneclick-build demo-art DIR: draws the demo product's branding and dialog pictures (and the
// package's icon) so they can be remade; scripts/make-demo-art.sh runs it over resources/.
// Shapes only, no text, so the pictures do not depend on the fonts of the machine.
#include "Command.h"

#include "platform/Png.h"

#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <functional>
#include <png.h>

namespace {
const QString cnName = QStringLiteral("demo-art");

const QColor cnBlue(0x0F, 0x87, 0xFF);
const QColor cnLightBlue(0x6C, 0xB6, 0xFF);
const QColor cnDarkBlue(0x0A, 0x68, 0xCC);

QImage canvas(int w, int h, const std::function<void(QPainter&)>& draw) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return image;
}

QImage background() {
    return canvas(620, 420, [](QPainter& p) {
        QLinearGradient g(0, 0, 0, 259);
        g.setColorAt(0, QColor(0x07, 0x63, 0xF4));
        g.setColorAt(1, QColor(0x61, 0xA8, 0xF0));
        p.fillRect(0, 0, 620, 260, g);
        p.fillRect(0, 260, 620, 160, Qt::white);
    });
}

// A white tile with a blue zip-fastener "T": the demo product's mark at any size.
QImage logo(int size) {
    return canvas(size, size, [size](QPainter& p) {
        p.scale(size / 96.0, size / 96.0);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(2, 2, 92, 92), 20, 20);
        p.setBrush(cnBlue);
        p.drawRoundedRect(QRectF(20, 20, 56, 14), 5, 5);
        p.drawRoundedRect(QRectF(41, 30, 14, 48), 5, 5);
        p.setBrush(cnDarkBlue);
        for (int i = 0; i < 4; ++i)
            p.drawRect(QRectF(i % 2 ? 55 : 35, 38 + i * 9, 6, 5));
    });
}

QImage bigButton(const QColor& top, const QColor& bottom) {
    return canvas(200, 48, [&](QPainter& p) {
        QLinearGradient g(0, 0, 0, 48);
        g.setColorAt(0, top);
        g.setColorAt(1, bottom);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(0, 0, 200, 48), 24, 24);
    });
}

QImage messageBox() {
    return canvas(442, 194, [](QPainter& p) {
        p.fillRect(0, 0, 442, 194, Qt::white);
        p.fillRect(1, 1, 440, 28, QColor(0xF3, 0xF5, 0xF9));
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QColor(0xC7, 0xC7, 0xC7));
        p.setBrush(Qt::NoBrush);
        p.drawRect(0, 0, 441, 193);
    });
}

// A blue disc with a white question or exclamation mark.
QImage icon(bool question) {
    return canvas(40, 40, [question](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(cnBlue);
        p.drawEllipse(QRectF(1, 1, 38, 38));
        QPen pen(Qt::white, 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
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

QImage flatButton(int w, int h, const QColor& fill, bool border) {
    return canvas(w, h, [=](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(0, 0, w, h, fill);
        if (border) {
            p.setPen(cnBlue);
            p.drawRect(0, 0, w - 1, h - 1);
        }
    });
}

bool save(const QImage& image, const QString& path) {
    QFile file(path);
    const QByteArray png = EncodePng(image, PNG_COLOR_TYPE_RGBA);
    return file.open(QIODevice::WriteOnly) && file.write(png) == png.size() && file.flush();
}

int runDemoArt(const QStringList& args) {
    if (args.size() != 1)
        return UsageError(cnName, QStringLiteral("wants the output folder"));
    const QDir dir(args[0]);
    const std::vector<std::pair<QString, QImage>> pictures = {
        {"bgpic.png", background()},
        {"logo.png", logo(96)},
        {"minilogo.png", logo(20)},
        {"btninst01.png", bigButton(QColor(0x22, 0xC4, 0xF5), cnBlue)},
        {"btninst02.png", bigButton(QColor(0x4F, 0xD3, 0xFA), cnLightBlue)},
        {"btninst03.png", bigButton(QColor(0x12, 0x9E, 0xD8), cnDarkBlue)},
        {"msgbox.png", messageBox()},
        {"icon_ques.png", icon(true)},
        {"icon_warn.png", icon(false)},
        {"btn_msg_normal.png", flatButton(100, 30, cnBlue, false)},
        {"btn_msg_over.png", flatButton(200, 48, cnLightBlue, false)},
        {"btn_msg_down.png", flatButton(100, 30, cnDarkBlue, false)},
        {"btn_empty_normal.png", flatButton(100, 30, Qt::white, true)},
        {"btn_empty_over.png", flatButton(100, 30, QColor(0xD6, 0xEB, 0xFF), true)},
        {"btn_empty_down.png", flatButton(100, 30, cnLightBlue, true)},
        {"package/default.ico", logo(32)},
    };
    for (const auto& [name, image] : pictures) {
        const QString path = dir.filePath(name);
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !save(image, path)) {
            QTextStream(stderr) << "oneclick-build " << cnName << ": cannot write " << path << '\n';
            return ExitFailure;
        }
    }
    QTextStream(stdout) << pictures.size() << " pictures in " << dir.path() << '\n';
    return ExitOk;
}

const TCommandRegistrar cnRegistrar({cnName, QStringLiteral("DIR"), runDemoArt});
} // namespace
