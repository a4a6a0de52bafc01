#include "server/TextFormat.h"

#include <gtest/gtest.h>

using kvx::Variant;
using server::FormatVariants;

TEST(TextFormat, PlaceholdersTakeArgumentsInOrder) {
    EXPECT_EQ(FormatVariants("[%s] row %d of %d", {"MB001", 3, qint64(12)}), "[MB001] row 3 of 12");
    EXPECT_EQ(FormatVariants("100%% done", {}), "100% done");
    EXPECT_EQ(FormatVariants("%1:s-%0:s-%s", {"a", "b"}), "b-a-b");
}

TEST(TextFormat, WidthPrecisionAndNumberKinds) {
    EXPECT_EQ(FormatVariants("%5s|%-5s|", {"ab", "cd"}), "   ab|cd   |");
    EXPECT_EQ(FormatVariants("%.3d %x %.4X", {7, 255, 10}), "007 FF 000A");
    EXPECT_EQ(FormatVariants("%.2f %f %n", {3.14159, 2, 1234567.891}), "3.14 2.00 1,234,567.89");
    EXPECT_EQ(FormatVariants("%.2s", {"abcdef"}), "ab");
    EXPECT_EQ(FormatVariants("%*d", {4, 7}), "   7");
    EXPECT_EQ(FormatVariants("%e", {1500.0}), "1.50000000000000E+003");
    EXPECT_EQ(FormatVariants("%g", {0.5}), "0.5");
}

TEST(TextFormat, LenientWithCatalogueTemplates) {
    EXPECT_EQ(FormatVariants("no placeholder ", {"ignored"}), "no placeholder ");
    EXPECT_EQ(FormatVariants("[%s] and [%s]", {"one"}), "[one] and []");
    EXPECT_EQ(FormatVariants("%d items", {"many"}), "many items");
    EXPECT_EQ(FormatVariants("%d", {2.5}), "2.5");
    EXPECT_EQ(FormatVariants("50% off", {}), "50% off");
    EXPECT_EQ(FormatVariants("ends with %", {}), "ends with %");
    EXPECT_EQ(FormatVariants("%s", {Variant::null()}), "");
}
