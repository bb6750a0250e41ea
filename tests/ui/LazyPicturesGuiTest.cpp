// Pictures decoded only when they are needed: an image's deferred picture waits until it is drawn
// or asked for, one replaced before then is never decoded, and the design-time pictures are
// decoded once however many controls show them.
#include "ui/UiTestSupport.h"

#include "ui/Controls.h"
#include "ui/StoredLayout.h"

using namespace uitest;

namespace {

class TLazyPicturesTest : public TIsolatedTest {};

TEST_F(TLazyPicturesTest, DeferredPictureIsDecodedWhenFirstDrawnAndSizesTheImageBefore) {
    const TPicture red = SolidPicture(30, 20, Qt::red);
    int decodes = 0;
    TImage image;
    image.setGeometry(0, 0, 50, 50);
    image.SetAutoSize(true);
    image.SetDeferredPicture(QSize(30, 20), [&] {
        ++decodes;
        return red;
    });
    EXPECT_EQ(image.size(), QSize(30, 20));
    image.SetBounds(5, 5, 80, 80); // an auto-sized image keeps the picture's size
    EXPECT_EQ(image.size(), QSize(30, 20));
    EXPECT_EQ(decodes, 0);

    const QImage shown = Render(&image);
    EXPECT_EQ(decodes, 1);
    EXPECT_EQ(CountNear(shown, Qt::red, {}, 2), 30 * 20);
    Render(&image);
    EXPECT_EQ(image.Picture().Image, red.Image);
    EXPECT_EQ(decodes, 1);
}

TEST_F(TLazyPicturesTest, DeferredPictureReplacedBeforeDrawingIsNeverDecoded) {
    int decodes = 0;
    TImage image;
    image.setGeometry(0, 0, 40, 40);
    image.SetDeferredPicture(QSize(40, 40), [&] {
        ++decodes;
        return SolidPicture(40, 40, Qt::red);
    });
    image.SetPicture(SolidPicture(40, 40, Qt::blue));
    const QImage shown = Render(&image);
    EXPECT_EQ(CountNear(shown, Qt::blue, {}, 2), 40 * 40);
    EXPECT_EQ(CountNear(shown, Qt::red, {}, 60), 0);
    EXPECT_EQ(decodes, 0);
}

TEST_F(TLazyPicturesTest, StretchedDeferredPictureFillsTheImageAsADecodedOneWould) {
    const TPicture strip = CoordinateStrip(8, 4);
    TImage eager;
    TImage deferred;
    for (TImage* image : {&eager, &deferred}) {
        image->setGeometry(0, 0, 64, 16);
        image->SetStretch(true);
    }
    eager.SetPicture(strip);
    deferred.SetDeferredPicture(strip.Image.size(), [&] { return strip; });
    EXPECT_EQ(deferred.DestRect(), eager.DestRect());
    EXPECT_EQ(Render(&deferred), Render(&eager));
}

TEST_F(TLazyPicturesTest, PlacedDesignImageShowsTheDesignPictureAtItsOwnSize) {
    const TPicture logo = DesignPicture(QStringLiteral("inst_logo"));
    ASSERT_FALSE(logo.IsEmpty());
    QWidget parent;
    TImage* image =
        PlaceImage(&parent, "imgLogo", {66, 85, 10, 10}, QStringLiteral("inst_logo"), false, true);
    EXPECT_EQ(image->geometry(), QRect(QPoint(66, 85), logo.Image.size()));
    EXPECT_EQ(image->Picture().Image, logo.Image);
    EXPECT_EQ(image->Picture().ColorType, logo.ColorType);

    // A name the program carries no picture for leaves an empty image at its bounds.
    TImage* missing = PlaceImage(&parent, "imgNone", {1, 2, 30, 40},
                                 QStringLiteral("no_such_picture"), false, true);
    EXPECT_EQ(missing->geometry(), QRect(1, 2, 30, 40));
    EXPECT_TRUE(missing->Picture().IsEmpty());
    EXPECT_EQ(CountNear(Render(missing), Qt::transparent, {}, 0), 30 * 40);
}

TEST_F(TLazyPicturesTest, DesignPictureIsDecodedOnceAndShared) {
    const TPicture first = DesignPicture(QStringLiteral("inst_btn_normal"));
    const TPicture second = DesignPicture(QStringLiteral("inst_btn_normal"));
    ASSERT_FALSE(first.IsEmpty());
    EXPECT_EQ(first.Image.cacheKey(), second.Image.cacheKey());
    EXPECT_EQ(first.ColorType, second.ColorType);
    EXPECT_TRUE(DesignPicture(QStringLiteral("no_such_picture")).IsEmpty());
}

} // namespace
