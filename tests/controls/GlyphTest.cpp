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

TEST(ImageLibrary, NumberedImages) {
    const int max = ImageLibrary::GetMaxBmpID();
    ASSERT_GE(max, 20);
    QPixmap p;
    EXPECT_FALSE(ImageLibrary::LoadBmp(p, 0));
    EXPECT_FALSE(ImageLibrary::LoadBmp(p, max + 1));
    EXPECT_TRUE(p.isNull());
    for (int n = 1; n <= max; ++n) {
        ASSERT_TRUE(ImageLibrary::LoadBmp(p, n)) << n;
        EXPECT_EQ(p.height(), 16);
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
    b.setGlyphIndex(ImageLibrary::GetMaxBmpID()); // the last image holds two glyphs side by side
    EXPECT_EQ(b.NumGlyphs(), 2);
    EXPECT_EQ(b.button()->iconSize(), QSize(16, 16));
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
