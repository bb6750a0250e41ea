// PNG decoding: every colour type comes out as straight RGBA with its IHDR colour type kept;
// anything that is not a readable PNG raises and leaves the target picture alone.
#include "resources/Png.h"

#include "resources/ResourceContainer.h"
#include "resources/Resources.h"
#include "base/RunningExe.h"
#include "testsupport/TestEnv.h"

#include <QtEndian>
#include <png.h>
#include <zlib.h>

namespace {
// 3 x 2 pixels, one of them half transparent.
QImage samplePixels() {
    QImage image(3, 2, QImage::Format_RGBA8888);
    const QRgb colours[6] = {qRgba(255, 0, 0, 255), qRgba(0, 255, 0, 255),
                             qRgba(0, 0, 255, 255), qRgba(10, 20, 30, 128),
                             qRgba(0, 0, 0, 0),     qRgba(255, 255, 255, 255)};
    for (int i = 0; i < 6; ++i)
        image.setPixel(i % 3, i / 3, colours[i]);
    return image;
}

// A PNG signature and IHDR chunk with a valid checksum and nothing after it.
QByteArray headerOnly(quint32 width, quint32 height) {
    QByteArray chunk("IHDR");
    char numbers[8];
    qToBigEndian<quint32>(width, numbers);
    qToBigEndian<quint32>(height, numbers + 4);
    chunk.append(numbers, 8);
    chunk.append("\x08\x06\x00\x00\x00", 5);
    char crc[4];
    qToBigEndian<quint32>(quint32(crc32(0, reinterpret_cast<const Bytef*>(chunk.constData()), 17)),
                          crc);
    return QByteArray("\x89PNG\r\n\x1a\n\x00\x00\x00\x0d", 12) + chunk + QByteArray(crc, 4);
}

class PngTest : public TIsolatedTest {
protected:
    void TearDown() override { SetRunningExePath(QString()); }
};
} // namespace

TEST_F(PngTest, EveryColourTypeDecodesToRgbaAndKeepsItsType) {
    const QImage source = samplePixels();
    for (int type : {PNG_COLOR_TYPE_RGBA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_GRAY,
                     PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_PALETTE}) {
        const TPicture picture = DecodePng(EncodePng(source, type));
        EXPECT_EQ(picture.ColorType, type);
        ASSERT_EQ(picture.Image.format(), QImage::Format_RGBA8888);
        ASSERT_EQ(picture.Image.size(), QSize(3, 2));
        const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || type == PNG_COLOR_TYPE_PALETTE;
        for (int i = 0; i < 6; ++i) {
            const QRgb want = source.pixel(i % 3, i / 3);
            const uchar* got = picture.Image.constScanLine(i / 3) + 4 * (i % 3);
            EXPECT_EQ(got[3], alpha ? qAlpha(want) : 255) << type << " pixel " << i;
            if (type & PNG_COLOR_MASK_COLOR || type == PNG_COLOR_TYPE_PALETTE) {
                // Straight (not premultiplied) colour, even under partial transparency.
                EXPECT_EQ(got[0], qRed(want)) << type << " pixel " << i;
                EXPECT_EQ(got[2], qBlue(want)) << type << " pixel " << i;
            } else {
                EXPECT_EQ(got[0], got[1]);
                EXPECT_EQ(got[1], got[2]);
            }
        }
    }
}

TEST_F(PngTest, InvalidDataRaises) {
    const QByteArray good = EncodePng(samplePixels(), PNG_COLOR_TYPE_RGBA);
    QByteArray badCrc = good;
    badCrc[30] = char(badCrc[30] ^ 0x55);
    const QByteArray cases[] = {QByteArray(), "not a png at all, just text",
                                good.left(8), good.left(good.size() / 2),
                                badCrc,       headerOnly(4, 4)};
    for (const QByteArray& data : cases)
        EXPECT_THROW(DecodePng(data), EPngError) << data.size();
}

TEST_F(PngTest, OversizedPictureIsRefusedBeforeDecoding) {
    EXPECT_THROW(DecodePng(headerOnly(MaxPngSide + 1, 1)), EPngError);
    EXPECT_THROW(DecodePng(headerOnly(16000, 16000)), EPngError);
}

TEST_F(PngTest, LoadIntoPictureKeepsOldPictureOnError) {
    const QString program = FEnv.Root() + "/program";
    const QString exe = FEnv.Root() + "/setup.exe";
    WriteTestFile(program, "program");
    {
        TResourceWriter writer(program, exe);
        writer.AddBytes("BTNINST01", "file", EncodePng(samplePixels(), PNG_COLOR_TYPE_RGB));
        writer.AddBytes("msgbox", "file", "GIF89a not a png");
        writer.Finish();
    }
    SetRunningExePath(exe);
    TPicture picture;
    LoadPngToPicture(picture, "btninst01", "file");
    EXPECT_EQ(picture.ColorType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(picture.Image.size(), QSize(3, 2));
    EXPECT_THROW(LoadPngToPicture(picture, "msgbox", "file"), EPngError);
    EXPECT_THROW(LoadPngToImage(picture, "bgpic", "file"), EResNotFound);
    EXPECT_EQ(picture.ColorType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(picture.Image.pixel(0, 0), qRgba(255, 0, 0, 255));
    TPicture empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.ColorType, -1);
}
