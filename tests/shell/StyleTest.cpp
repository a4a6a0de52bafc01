// The shell's application style: its extension arrows are the default style's, read without loading the
// image-format plugins.
#include "ShellStyle.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QMenuBar>
#include <QStyleOption>
#include <gtest/gtest.h>

namespace {
bool imagePluginsMapped() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/imageformats/");
}

void expectSameIcon(const QIcon& own, const QIcon& base) {
    ASSERT_FALSE(base.availableSizes().isEmpty());
    EXPECT_EQ(own.availableSizes(), base.availableSizes());
    for (const QSize& size : base.availableSizes())
        EXPECT_EQ(own.pixmap(size).toImage(), base.pixmap(size).toImage())
            << size.width() << "x" << size.height();
}
} // namespace

// One test: the plugins stay unloaded only until the default style's icons are read for the comparison.
TEST(ShellStyle, ExtensionArrowsEqualTheDefaultStylesWithoutImagePlugins) {
    ASSERT_FALSE(imagePluginsMapped());
    auto* style = new pellan::ShellStyle;
    QApplication::setStyle(style);
    QMenuBar bar;
    const QIcon h = style->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    const QIcon v = style->standardIcon(QStyle::SP_ToolBarVerticalExtensionButton);
    QStyleOption rtlOption;
    rtlOption.direction = Qt::RightToLeft;
    const QIcon rtl = style->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton, &rtlOption);
    EXPECT_FALSE(imagePluginsMapped());

    QStyle* base = style->baseStyle();
    expectSameIcon(h, base->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton));
    expectSameIcon(v, base->standardIcon(QStyle::SP_ToolBarVerticalExtensionButton));
    expectSameIcon(rtl, base->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton, &rtlOption));
    // Mirrored arrows differ, so the direction is honoured.
    EXPECT_NE(rtl.pixmap(QSize(16, 10)).toImage(), h.pixmap(QSize(16, 10)).toImage());
    // Other icons are the default style's.
    expectSameIcon(style->standardIcon(QStyle::SP_ArrowUp), base->standardIcon(QStyle::SP_ArrowUp));
}
