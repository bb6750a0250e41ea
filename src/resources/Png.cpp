// PNG decoding and encoding with libpng's simplified interface: every picture ends up as
// non-premultiplied 8-bit RGBA, whatever its colour type and bit depth in the file.
#include "resources/Png.h"

#include "resources/Resources.h"

#include <QHash>
#include <png.h>

namespace {
constexpr qint64 cnMaxPixels = 32LL * 1024 * 1024;

// The colour type byte of the IHDR chunk, which libpng's simplified reader does not keep.
int ihdrColorType(const QByteArray& data) {
    static const char signature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    if (data.size() < 29 || !data.startsWith(QByteArray::fromRawData(signature, 8)) ||
        data.mid(12, 4) != "IHDR")
        return -1;
    return static_cast<unsigned char>(data[25]);
}

[[noreturn]] void raisePng(const png_image& image, const char* fallback) {
    const QString detail = image.message[0] ? QString::fromLatin1(image.message) : QString();
    throw EPngError(detail.isEmpty()
                        ? QString::fromLatin1(fallback)
                        : QStringLiteral("%1: %2").arg(QLatin1String(fallback), detail));
}

void loadInto(TPicture& Picture, const QString& Name, const QString& Type) {
    // Decode first, so a missing or broken picture leaves the target as it was.
    TPicture decoded = DecodePng(LoadResourceBytes(Name, Type));
    Picture = std::move(decoded);
}
} // namespace

TPicture DecodePng(const QByteArray& Data) {
    const int colorType = ihdrColorType(Data);
    if (colorType < 0)
        throw EPngError(QStringLiteral("Invalid PNG signature or header"));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, Data.constData(),
                                          static_cast<size_t>(Data.size())))
        raisePng(image, "Invalid PNG");
    if (image.width == 0 || image.height == 0 || image.width > MaxPngSide ||
        image.height > MaxPngSide || qint64(image.width) * image.height > cnMaxPixels) {
        png_image_free(&image);
        throw EPngError(
            QStringLiteral("PNG picture too large (%1 x %2)").arg(image.width).arg(image.height));
    }
    image.format = PNG_FORMAT_RGBA;
    QImage pixels(int(image.width), int(image.height), QImage::Format_RGBA8888);
    if (pixels.isNull()) {
        png_image_free(&image);
        throw EPngError(QStringLiteral("Out of memory for PNG picture"));
    }
    if (!png_image_finish_read(&image, nullptr, pixels.bits(),
                               static_cast<png_int_32>(pixels.bytesPerLine()), nullptr))
        raisePng(image, "Invalid PNG");
    TPicture picture;
    picture.Image = std::move(pixels);
    picture.ColorType = colorType;
    return picture;
}

void LoadPngToPicture(TPicture& Picture, const QString& Name, const QString& Type) {
    loadInto(Picture, Name, Type);
}

void LoadPngToImage(TPicture& Picture, const QString& Name, const QString& Type) {
    loadInto(Picture, Name, Type);
}

QByteArray EncodePng(const QImage& Image, int ColorType) {
    if (Image.isNull())
        throw EPngError(QStringLiteral("Empty picture"));
    const QImage rgba = Image.convertToFormat(QImage::Format_RGBA8888);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(rgba.width());
    image.height = static_cast<png_uint_32>(rgba.height());
    QByteArray pixels;   // rows without padding, in the chosen format
    QByteArray colormap; // RGBA entries, palette pictures only
    const int w = rgba.width();
    auto pixel = [&](int x, int y) { return rgba.constScanLine(y) + 4 * x; };
    switch (ColorType) {
    case PNG_COLOR_TYPE_RGBA:
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_GRAY_ALPHA: {
        const bool alpha = ColorType & PNG_COLOR_MASK_ALPHA;
        const bool color = ColorType & PNG_COLOR_MASK_COLOR;
        image.format = (color ? PNG_FORMAT_FLAG_COLOR : 0) | (alpha ? PNG_FORMAT_FLAG_ALPHA : 0);
        for (int y = 0; y < rgba.height(); ++y)
            for (int x = 0; x < w; ++x) {
                const uchar* p = pixel(x, y);
                if (color)
                    pixels.append(reinterpret_cast<const char*>(p), 3);
                else
                    pixels.append(char((p[0] * 77 + p[1] * 150 + p[2] * 29) >> 8));
                if (alpha)
                    pixels.append(char(p[3]));
            }
        break;
    }
    case PNG_COLOR_TYPE_PALETTE: {
        image.format = PNG_FORMAT_RGBA_COLORMAP;
        QHash<quint32, int> index;
        for (int y = 0; y < rgba.height(); ++y)
            for (int x = 0; x < w; ++x) {
                quint32 key;
                std::memcpy(&key, pixel(x, y), 4);
                auto it = index.find(key);
                if (it == index.end()) {
                    if (index.size() == 256)
                        throw EPngError(
                            QStringLiteral("More than 256 colours for a palette picture"));
                    it = index.insert(key, int(index.size()));
                    colormap.append(reinterpret_cast<const char*>(pixel(x, y)), 4);
                }
                pixels.append(char(it.value()));
            }
        image.colormap_entries = static_cast<png_uint_32>(index.size());
        break;
    }
    default:
        throw EPngError(QStringLiteral("Unsupported PNG colour type %1").arg(ColorType));
    }
    const void* map = colormap.isEmpty() ? nullptr : colormap.constData();
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.constData(), 0, map))
        raisePng(image, "Cannot encode PNG");
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels.constData(), 0, map))
        raisePng(image, "Cannot encode PNG");
    out.truncate(static_cast<qsizetype>(size));
    return out;
}
