// Renders every look of the picture buttons, driven by simulated pointer input on the offscreen
// platform, to PNG files for a person to look at:  oneclick_ui_render OUTPUT_DIR
#include "ui/UiTestSupport.h"

#include "ui/ImgBtnEx.h"
#include "ui/TextImageButton.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

using namespace uitest;

namespace {
// The close button's strip: dark grey cross on clear, white on red, white on dark red, white on
// clear (disabled), 40 x 28 each.
TPicture CloseStrip() {
    QImage strip(160, 28, QImage::Format_RGBA8888);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    const QColor grounds[] = {Qt::transparent, QColor(232, 17, 35), QColor(150, 10, 20),
                              Qt::transparent};
    const QColor crosses[] = {QColor(85, 85, 85), Qt::white, Qt::white, QColor(200, 200, 200)};
    for (int i = 0; i < 4; ++i) {
        painter.fillRect(QRect(i * 40, 0, 40, 28), grounds[i]);
        painter.setPen(QPen(crosses[i], 1.5));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.drawLine(QPointF(i * 40 + 15, 9), QPointF(i * 40 + 25, 19));
        painter.drawLine(QPointF(i * 40 + 25, 9), QPointF(i * 40 + 15, 19));
    }
    painter.end();
    return DecodePng(EncodePng(strip, PNG_COLOR_TYPE_RGBA));
}

// A rounded gradient face like the installer's large buttons.
TPicture Face(int W, int H, const QColor& Top, const QColor& Bottom) {
    QImage face(W, H, QImage::Format_RGBA8888);
    face.fill(Qt::transparent);
    QPainter painter(&face);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, H);
    gradient.setColorAt(0, Top);
    gradient.setColorAt(1, Bottom);
    QPainterPath path;
    path.addRoundedRect(QRectF(0.5, 0.5, W - 1, H - 1), 5, 5);
    painter.fillPath(path, gradient);
    painter.end();
    return DecodePng(EncodePng(face, PNG_COLOR_TYPE_RGBA));
}

class TRenderer {
public:
    explicit TRenderer(QString Dir) : FDir(std::move(Dir)) {
        FHost.resize(260, 90);
        FHost.setAutoFillBackground(true);
        QPalette pal = FHost.palette();
        pal.setColor(QPalette::Window, Qt::white);
        FHost.setPalette(pal);
    }

    QWidget* Host() { return &FHost; }
    bool Show() { return ShowHost(&FHost); }
    void Enter(QWidget* W) {
        QTest::mouseMove(&FHost, QPoint(1, 1));
        QTest::mouseMove(W, W->rect().center());
    }
    void Leave() { QTest::mouseMove(&FHost, QPoint(1, 1)); }

    // The host as a user sees it now, written as NAME.png.
    bool Save(const QString& Name) {
        QImage image(FHost.size(), QImage::Format_ARGB32);
        FHost.render(&image);
        QFile file(FDir + u'/' + Name + QStringLiteral(".png"));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(EncodePng(image, PNG_COLOR_TYPE_RGB)) < 0)
            return false;
        std::printf("%s\n", qPrintable(file.fileName()));
        return true;
    }

    // Normal, under the pointer, pressed and disabled, as PREFIX-<state>.png.
    bool SaveStates(QWidget* Button, const QString& Prefix) {
        bool ok = Save(Prefix + QStringLiteral("-normal"));
        Enter(Button);
        ok = ok && Save(Prefix + QStringLiteral("-hover"));
        QTest::mousePress(Button, Qt::LeftButton);
        ok = ok && Save(Prefix + QStringLiteral("-pressed"));
        QTest::mouseRelease(Button, Qt::LeftButton);
        Leave();
        Button->setEnabled(false);
        return ok && Save(Prefix + QStringLiteral("-disabled"));
    }

private:
    QString FDir;
    QWidget FHost;
};

bool RenderCloseButton(TRenderer& R) {
    auto* close = new TImgBtnEx(R.Host());
    close->move(200, 10);
    close->SetAutoSize(true);
    close->SetPicMultiStatus(CloseStrip());
    if (!R.Show())
        return false;
    const bool ok = R.SaveStates(close, "close");
    delete close;
    return ok;
}

bool RenderInstallButton(TRenderer& R) {
    auto* button = new TTextImageButton(R.Host());
    button->setGeometry(30, 20, 200, 48);
    button->SetStretch(true);
    QFont font = button->font();
    font.setPixelSize(17);
    button->setFont(font);
    button->SetFontColor(Qt::white);
    button->SetCaption(QStringLiteral("一键安装"));
    button->SetBitmap(Face(200, 48, QColor(40, 150, 255), QColor(10, 100, 230)));
    button->SetBitmapOver(Face(200, 48, QColor(80, 180, 255), QColor(40, 130, 245)));
    button->SetBitmapDown(Face(200, 48, QColor(10, 90, 200), QColor(5, 60, 160)));
    button->SetBitmapDisabled(Face(200, 48, QColor(200, 200, 200), QColor(170, 170, 170)));
    button->SetDisableFontColor(QColor(90, 90, 90));
    button->show();
    const bool ok = R.SaveStates(button, "install");
    delete button;
    return ok;
}

bool RenderDialogButton(TRenderer& R) {
    // The message box's button: 100 x 30, proportional, a 200 x 48 hover face.
    auto* button = new TTextImageButton(R.Host());
    button->setGeometry(80, 30, 100, 30);
    button->SetProportional(true);
    button->SetFontColor(Qt::white);
    button->SetCaption(QStringLiteral("确定"));
    button->SetBitmap(Face(100, 30, QColor(15, 135, 255), QColor(15, 135, 255)));
    button->MOver = Face(200, 48, QColor(110, 180, 255), QColor(110, 180, 255));
    button->MDown = Face(100, 30, QColor(0, 90, 200), QColor(0, 90, 200));
    auto* icon = new TTextImageButton(R.Host());
    icon->setGeometry(10, 65, 120, 22);
    icon->SetBitmap(Face(120, 22, QColor(235, 235, 235), QColor(215, 215, 215)));
    icon->SetaSmallIcon(Face(16, 16, QColor(250, 160, 0), QColor(230, 110, 0)));
    icon->SetCaption(QStringLiteral("Icon"));
    button->show();
    icon->show();
    bool ok = R.Save("dialog-normal");
    R.Enter(button);
    ok = ok && R.Save("dialog-hover-proportional");
    R.Leave();
    delete button;
    delete icon;
    return ok;
}
} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2 || !QDir().mkpath(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "usage: oneclick_ui_render OUTPUT_DIR\n");
        return 2;
    }
    TRenderer renderer(QString::fromLocal8Bit(argv[1]));
    const bool ok = RenderCloseButton(renderer) && RenderInstallButton(renderer) &&
                    RenderDialogButton(renderer);
    return ok ? 0 : 1;
}
