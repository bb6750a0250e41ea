// Faces, colours, side alignment and the compiled-in design-time pictures of the layouts.
#include "ui/StoredLayout.h"

#include "resources/Resources.h"

#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QPalette>
#include <QWidget>
#include <QtEndian>

namespace {
const char* const cnAlignProperty = "oneclickAlign";
const char* const cnKeeperProperty = "oneclickAlignKept";

// Where the layouts' face is missing, these installed CJK faces stand in for the whole text, so
// Latin and Han glyphs come from one face rather than from two.
void addFaceSubstitutes() {
    static const bool done = [] {
        QFont::insertSubstitutions(cnLayoutFace, {QStringLiteral("WenQuanYi Micro Hei"),
                                                  QStringLiteral("Noto Sans CJK SC"),
                                                  QStringLiteral("Source Han Sans SC"),
                                                  QStringLiteral("Droid Sans Fallback")});
        return true;
    }();
    Q_UNUSED(done)
}

QString designPath(const QString& Name) {
    return QStringLiteral(":/design/") + Name + QStringLiteral(".png");
}

// The size in a design picture's PNG header, read without decoding it. Invalid when the program
// carries no such picture or its header is not one the decoder would take; such a picture is
// decoded at once, so it fails as it always did.
QSize designPictureSize(const QString& Name) {
    QFile file(designPath(Name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(24);
    if (head.size() < 24 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR")
        return {};
    const auto be32 = [&head](int At) {
        return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(head.constData()) + At);
    };
    const quint32 w = be32(16);
    const quint32 h = be32(20);
    if (w == 0 || h == 0 || w > quint32(MaxPngSide) || h > quint32(MaxPngSide))
        return {};
    return QSize(int(w), int(h));
}

void applyAlign(QWidget* Control) {
    const QWidget* parent = Control->parentWidget();
    if (!parent)
        return;
    switch (AlignOf(Control)) {
    case alTop:
        Control->setGeometry(0, 0, parent->width(), Control->height());
        break;
    case alBottom:
        Control->setGeometry(0, parent->height() - Control->height(), parent->width(),
                             Control->height());
        break;
    case alRight:
        Control->setGeometry(parent->width() - Control->width(), 0, Control->width(),
                             parent->height());
        break;
    case alClient:
        Control->setGeometry(parent->rect());
        break;
    case alNone:
        break;
    }
}

// Re-aligns the aligned children of one parent whenever the parent changes size.
class TAlignKeeper : public QObject {
public:
    explicit TAlignKeeper(QWidget* Parent) : QObject(Parent) { Parent->installEventFilter(this); }

protected:
    bool eventFilter(QObject* Watched, QEvent* E) override {
        if (E->type() == QEvent::Resize)
            for (QWidget* child : static_cast<QWidget*>(Watched)->findChildren<QWidget*>(
                     QString(), Qt::FindDirectChildrenOnly))
                applyAlign(child);
        return false;
    }
};
} // namespace

QFont LayoutFont(const QString& Face, int PixelSize) {
    addFaceSubstitutes();
    QFont font(Face);
    font.setPixelSize(PixelSize);
    return font;
}

void SetTextColor(QWidget* Control, const QColor& Color) {
    QPalette pal = Control->palette();
    pal.setColor(QPalette::WindowText, Color);
    pal.setColor(QPalette::Text, Color);
    Control->setPalette(pal);
}

void SetLayoutFont(QWidget* Control, const QString& Face, int PixelSize, const QColor& Color) {
    Control->setFont(LayoutFont(Face, PixelSize));
    SetTextColor(Control, Color);
}

void SetBackgroundColor(QWidget* Control, const QColor& Color) {
    QPalette pal = Control->palette();
    pal.setColor(QPalette::Window, Color);
    Control->setPalette(pal);
    Control->setAutoFillBackground(true);
}

QColor SystemWindowColor() {
    return QGuiApplication::palette().color(QPalette::Base);
}

QColor SystemWindowTextColor() {
    return QGuiApplication::palette().color(QPalette::Text);
}

QColor SystemGrayTextColor() {
    return QGuiApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
}

QColor SystemHotLightColor() {
    return QGuiApplication::palette().color(QPalette::Link);
}

void SetAlign(QWidget* Control, TAlign Align) {
    Control->setProperty(cnAlignProperty, int(Align));
    QWidget* parent = Control->parentWidget();
    if (!parent)
        return;
    if (Align != alNone && !parent->property(cnKeeperProperty).toBool()) {
        parent->setProperty(cnKeeperProperty, true);
        new TAlignKeeper(parent);
    }
    applyAlign(Control);
}

TAlign AlignOf(const QWidget* Control) {
    const QVariant value = Control->property(cnAlignProperty);
    return value.isValid() ? TAlign(value.toInt()) : alNone;
}

TPicture DesignPicture(const QString& Name) {
    // Several controls share a picture (the four main buttons, both hairlines) and dialogs come
    // back: each picture is decoded once, its pixels shared by every control that shows it.
    static QMutex lock;
    static QHash<QString, TPicture> decoded;
    const QMutexLocker locker(&lock);
    const auto found = decoded.constFind(Name);
    if (found != decoded.constEnd())
        return *found;
    TPicture picture;
    QFile file(designPath(Name));
    if (file.open(QIODevice::ReadOnly)) {
        try {
            picture = DecodePng(file.readAll());
        } catch (const EPngError&) {
        }
    }
    decoded.insert(Name, picture);
    return picture;
}

bool LoadPictureResource(TPicture& Picture, const QString& Name) {
    try {
        LoadPngToPicture(Picture, Name, cnResTypeFile);
        return true;
    } catch (const EResNotFound&) {
        return false;
    } catch (const EPngError&) {
        return false;
    }
}

TImage* PlaceImage(QWidget* Parent, const char* Name, const QRect& Bounds,
                   const QString& DesignName, bool Stretch, bool AutoSize) {
    auto* control = PlaceControl<TImage>(Parent, Name, Bounds);
    control->SetStretch(Stretch);
    // Most of the window's large pictures are replaced by the installer's own before the window
    // is shown; those are never decoded.
    const QSize size = designPictureSize(DesignName);
    if (size.isValid())
        control->SetDeferredPicture(size, [DesignName] { return DesignPicture(DesignName); });
    else
        control->SetPicture(DesignPicture(DesignName));
    control->SetAutoSize(AutoSize);
    return control;
}

TTextImageButton* PlaceButton(QWidget* Parent, const char* Name, const QRect& Bounds,
                              const QString& Caption, int PixelSize, const QColor& Color,
                              const QString& Faces, int PicSplitNum, bool AutoSize) {
    auto* control = new TTextImageButton(Parent);
    control->setObjectName(QString::fromLatin1(Name));
    control->SetPicSplitNum(PicSplitNum);
    // The pictures first: the normal one gives the button its size, the bounds then win.
    control->SetBitmap(DesignPicture(Faces + QStringLiteral("_normal")));
    control->SetBitmapOver(DesignPicture(Faces + QStringLiteral("_over")));
    control->SetBitmapDown(DesignPicture(Faces + QStringLiteral("_down")));
    control->setFont(LayoutFont(cnLayoutFace, PixelSize));
    control->SetFontColor(Color);
    control->SetCaption(Caption);
    control->SetAutoSize(AutoSize);
    control->SetBounds(Bounds.x(), Bounds.y(), Bounds.width(), Bounds.height());
    return control;
}
