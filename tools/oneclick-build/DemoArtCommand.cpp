// oneclick-build demo-art DIR: draws the demo product's branding and dialog pictures (and the
// package's icon) so they can be remade; scripts/make-demo-art.sh runs it over resources/.
#include "ArtShapes.h"
#include "Command.h"

#include <QDir>
#include <QFileInfo>
#include <QLinearGradient>
#include <QTextStream>
#include <png.h>

namespace {
const QString cnName = QStringLiteral("demo-art");

QImage background() {
    return ArtCanvas(620, 420, [](QPainter& p) {
        QLinearGradient g(0, 0, 0, 259);
        g.setColorAt(0, QColor(0x07, 0x63, 0xF4));
        g.setColorAt(1, QColor(0x61, 0xA8, 0xF0));
        p.fillRect(0, 0, 620, 260, g);
        p.fillRect(0, 260, 620, 160, Qt::white);
    });
}

// A white tile with a blue zip-fastener "T": the demo product's mark at any size.
QImage logo(int size) {
    return ArtCanvas(size, size, [size](QPainter& p) {
        p.scale(size / 96.0, size / 96.0);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(2, 2, 92, 92), 20, 20);
        p.setBrush(cnArtBlue);
        p.drawRoundedRect(QRectF(20, 20, 56, 14), 5, 5);
        p.drawRoundedRect(QRectF(41, 30, 14, 48), 5, 5);
        p.setBrush(cnArtDarkBlue);
        for (int i = 0; i < 4; ++i)
            p.drawRect(QRectF(i % 2 ? 55 : 35, 38 + i * 9, 6, 5));
    });
}

QImage bigButton(const QColor& top, const QColor& bottom) {
    return ArtCanvas(200, 48, [&](QPainter& p) {
        QLinearGradient g(0, 0, 0, 48);
        g.setColorAt(0, top);
        g.setColorAt(1, bottom);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(0, 0, 200, 48), 24, 24);
    });
}

int runDemoArt(const QStringList& args) {
    if (args.size() != 1)
        return UsageError(cnName, QStringLiteral("wants the output folder"));
    const QDir dir(args[0]);
    const std::vector<std::pair<QString, QImage>> pictures = {
        {"bgpic.png", background()},
        {"logo.png", logo(96)},
        {"minilogo.png", logo(20)},
        {"btninst01.png", bigButton(QColor(0x22, 0xC4, 0xF5), cnArtBlue)},
        {"btninst02.png", bigButton(QColor(0x4F, 0xD3, 0xFA), cnArtLightBlue)},
        {"btninst03.png", bigButton(QColor(0x12, 0x9E, 0xD8), cnArtDarkBlue)},
        {"msgbox.png", ArtDialogPanel()},
        {"icon_ques.png", ArtDisc(true)},
        {"icon_warn.png", ArtDisc(false)},
        {"btn_msg_normal.png", ArtFlatButton(100, 30, cnArtBlue, false)},
        {"btn_msg_over.png", ArtFlatButton(200, 48, cnArtLightBlue, false)},
        {"btn_msg_down.png", ArtFlatButton(100, 30, cnArtDarkBlue, false)},
        {"btn_empty_normal.png", ArtFlatButton(100, 30, Qt::white, true)},
        {"btn_empty_over.png", ArtFlatButton(100, 30, QColor(0xD6, 0xEB, 0xFF), true)},
        {"btn_empty_down.png", ArtFlatButton(100, 30, cnArtLightBlue, true)},
        {"package/default.ico", logo(32)},
    };
    for (const auto& [name, image] : pictures) {
        const QString path = dir.filePath(name);
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) ||
            !SaveArtPng(image, PNG_COLOR_TYPE_RGBA, path)) {
            QTextStream(stderr) << "oneclick-build " << cnName << ": cannot write " << path << '\n';
            return ExitFailure;
        }
    }
    QTextStream(stdout) << pictures.size() << " pictures in " << dir.path() << '\n';
    return ExitOk;
}

const TCommandRegistrar cnRegistrar({cnName, QStringLiteral("DIR"), runDemoArt});
} // namespace
