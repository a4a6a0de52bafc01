// Images by number: the library's contract and the glyph-number behaviour of image buttons.
#include "controls/ImageLibrary.h"
#include "controls/KvDBEdit.h"
#include "controls/SimpleControls.h"
#include "platform/DialogService.h"

#include <QFile>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace kvx;

namespace {
constexpr int kLookupPair = 24; // the image that holds two glyphs side by side
}

TEST(ImageLibrary, NumberedImages) {
    const int max = ImageLibrary::GetMaxBmpID();
    ASSERT_GE(max, 29);
    QPixmap p;
    EXPECT_FALSE(ImageLibrary::LoadBmp(p, 0));
    EXPECT_FALSE(ImageLibrary::LoadBmp(p, max + 1));
    EXPECT_TRUE(p.isNull());
    for (int n = 1; n <= max; ++n) {
        ASSERT_TRUE(ImageLibrary::LoadBmp(p, n)) << n;
        EXPECT_EQ(p.height(), 18);
        EXPECT_EQ(p.width(), n == kLookupPair ? 36 : 18) << n;
        // Every image has something drawn on it.
        const QImage img = p.toImage();
        bool painted = false;
        for (int y = 0; y < img.height() && !painted; ++y)
            for (int x = 0; x < img.width() && !painted; ++x)
                painted = qAlpha(img.pixel(x, y)) > 0;
        EXPECT_TRUE(painted) << n;
    }
}

TEST(ImageLibrary, GlyphNumberBehaviour) {
    TGSpeedButton b;
    b.setGlyphIndex(11);
    EXPECT_TRUE(b.buttonText().isEmpty()); // a loaded image clears the text
    EXPECT_FALSE(b.Glyph().isNull());
    EXPECT_EQ(b.NumGlyphs(), 1);
    b.setGlyphIndex(kLookupPair);
    EXPECT_EQ(b.NumGlyphs(), 2);
    EXPECT_EQ(b.button()->iconSize(), QSize(18, 18));
    b.setGlyphIndex(0);
    EXPECT_EQ(b.buttonText(), "0"); // no image: the number shows
    EXPECT_TRUE(b.Glyph().isNull());
    b.setGlyphIndex(ImageLibrary::GetMaxBmpID() + 5);
    EXPECT_EQ(b.buttonText(), QString::number(ImageLibrary::GetMaxBmpID() + 5));
    EXPECT_TRUE(b.button()->icon().isNull());

    TKvBtnDBEdit ed;
    ed.setGlyphIndex(11);
    EXPECT_FALSE(ed.button()->icon().isNull());
    EXPECT_TRUE(ed.button()->text().isEmpty());
}

TEST(ImageLibrary, LoadErrorShowsTheMessage) {
    QTemporaryDir dir;
    QFile bad(dir.filePath("40.png"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a png");
    bad.close();
    qputenv("KVX_BMP_DIR", QFile::encodeName(dir.path()));
    DialogService::instance().clear();
    EXPECT_EQ(ImageLibrary::GetMaxBmpID(), 40);
    TGSpeedButton b;
    b.setGlyphIndex(40);
    qunsetenv("KVX_BMP_DIR");
    ASSERT_EQ(DialogService::instance().shown().size(), 1);
    EXPECT_EQ(DialogService::instance().lastText(), QString::fromUtf8("读取 BMP 发生错误"));
    EXPECT_EQ(DialogService::instance().shown().first().type, MsgDlgType::Error);
    EXPECT_EQ(b.buttonText(), "40"); // the number stays shown
    EXPECT_TRUE(b.Glyph().isNull());
}

TEST(ImageLibrary, FilesOfTheImageFolderReplaceAndAddImages) {
    QTemporaryDir dir;
    QImage wide(40, 20, QImage::Format_ARGB32);
    wide.fill(Qt::red);
    ASSERT_TRUE(wide.save(dir.filePath("3.png"), "PNG"));
    QImage extra(10, 10, QImage::Format_ARGB32);
    extra.fill(Qt::blue);
    ASSERT_TRUE(extra.save(dir.filePath("35.png"), "PNG"));
    ASSERT_TRUE(extra.save(dir.filePath("notes.png"), "PNG")); // not a number: ignored

    qputenv("KVX_BMP_DIR", QFile::encodeName(dir.path()));
    QPixmap p;
    EXPECT_EQ(ImageLibrary::GetMaxBmpID(), 35);
    ASSERT_TRUE(ImageLibrary::LoadBmp(p, 3));
    EXPECT_EQ(p.size(), QSize(40, 20));
    EXPECT_EQ(p.toImage().pixel(5, 5), qRgb(255, 0, 0));
    ASSERT_TRUE(ImageLibrary::LoadBmp(p, 4)); // not replaced: the compiled-in image
    EXPECT_EQ(p.size(), QSize(18, 18));
    ASSERT_TRUE(ImageLibrary::LoadBmp(p, 35));
    EXPECT_EQ(p.size(), QSize(10, 10));
    EXPECT_FALSE(ImageLibrary::LoadBmp(p, 32)); // a gap between the sets
    TGSpeedButton b;
    b.setGlyphIndex(3);
    EXPECT_EQ(b.NumGlyphs(), 2); // 40 wide, 20 high
    qunsetenv("KVX_BMP_DIR");
    EXPECT_LT(ImageLibrary::GetMaxBmpID(), 35);
}
