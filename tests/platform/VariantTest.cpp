#include "platform/Variant.h"
#include "TempTree.h"
#include "platform/CodePage.h"
#include "platform/Dispatch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <gtest/gtest.h>
#include <type_traits>

using namespace kvx;

namespace {
Variant roundTrip(const Variant& v) {
    // Through text, as the socket carries it.
    QJsonDocument doc =
        QJsonDocument::fromJson(QJsonDocument(QJsonArray{v.toJson()}).toJson(QJsonDocument::Compact));
    return Variant::fromJson(doc.array().at(0));
}
} // namespace

TEST(Variant, UnassignedNullAndEmptyStringAreDistinct) {
    Variant u, n = Variant::null(), e = QString();
    EXPECT_EQ(u.type(), VarType::Unassigned);
    EXPECT_EQ(n.type(), VarType::Null);
    EXPECT_EQ(e.type(), VarType::String);
    EXPECT_FALSE(n == u);
    EXPECT_FALSE(n == e);
    EXPECT_TRUE(n == Variant::null());
    EXPECT_EQ(n.toString(), "");
    EXPECT_THROW(n.toInt(), VariantError);
    EXPECT_EQ(u.toInt(), 0);
}

TEST(Variant, NumericConversionsAndComparisons) {
    EXPECT_EQ(Variant("  42 ").toInt(), 42);
    EXPECT_EQ(Variant("2.5").toDouble(), 2.5);
    EXPECT_THROW(Variant("abc").toInt(), VariantError);
    EXPECT_EQ(Variant("abc").toIntDef(7), 7);
    EXPECT_EQ(Variant::null().toIntDef(-1), -1);
    EXPECT_TRUE(Variant(1) == Variant(1.0));
    EXPECT_FALSE(Variant(1).identical(Variant(1.0)));
    EXPECT_TRUE(Variant("1") == Variant(1));
    EXPECT_EQ(Variant(true).toInt(), -1);
    EXPECT_EQ(Variant(2.5).toString(), "2.5");
    EXPECT_EQ(Variant(qint64(1) << 60).toString(), QString::number(qint64(1) << 60));
    EXPECT_LT(Variant(2).compare(Variant(10)), 0);
    EXPECT_LT(Variant("10").compare(Variant("2")), 0); // strings compare as text
    EXPECT_LT(Variant::null().compare(Variant(0)), 0);
}

TEST(Variant, CurrencyKeepsFourDecimals) {
    Currency c = Currency::fromDouble(12.34567);
    EXPECT_EQ(c.scaled, 123457);
    EXPECT_EQ(c.toString(), "12.3457");
    EXPECT_EQ(Currency{-1}.toString(), "-0.0001");
    EXPECT_EQ(Variant(Currency{30000}).toString(), "3");
}

TEST(Variant, DatesCountDaysFromTheEpoch) {
    QDateTime dt(QDate(2024, 3, 1), QTime(12, 0));
    double d = dateToDays(dt);
    EXPECT_DOUBLE_EQ(d, 45352.5);
    EXPECT_EQ(daysToDate(d), dt);
    EXPECT_EQ(daysToDate(0).date(), QDate(1899, 12, 30));
    EXPECT_EQ(Variant::fromDate(45352).toString(), "2024/03/01");
    EXPECT_DOUBLE_EQ(Variant("20240301").toDate(), 45352);
}

TEST(Variant, ArraysHaveBoundsAndCopyByValue) {
    Variant a = Variant::array(1, 3);
    a[1] = "x";
    a[3] = 5;
    Variant b = a;
    b[1] = "changed";
    EXPECT_EQ(a.at(1).toString(), "x");
    EXPECT_EQ(b.at(1).toString(), "changed");
    EXPECT_EQ(a.lowBound(), 1);
    EXPECT_EQ(a.highBound(), 3);
    EXPECT_TRUE(a.at(2).isUnassigned());
    EXPECT_THROW(a.at(4), VariantError);
    a.redim(4);
    EXPECT_EQ(a.highBound(), 4);
    EXPECT_EQ(a.at(3).toInt(), 5);

    Variant m = Variant::array2(0, 1, 0, 2);
    m.item(1, 2) = "last";
    EXPECT_EQ(m.dimCount(), 2);
    EXPECT_EQ(m.highBound(2), 2);
    EXPECT_EQ(m.at(1, 2).toString(), "last");
    EXPECT_THROW(m.at(0), VariantError);

    Variant empty = Variant::array(0, -1);
    EXPECT_EQ(empty.highBound(), -1);
    EXPECT_TRUE(empty.toList().isEmpty());
}

TEST(Variant, WireFormIsLossless) {
    const Variant values[] = {Variant(),
                              Variant::null(),
                              Variant(true),
                              Variant(qint64(-7)),
                              Variant(qint64(1) << 62),
                              Variant(3.0),
                              Variant(0.1),
                              Variant(std::nan("")),
                              Variant(-HUGE_VAL),
                              Variant(Currency{123456}),
                              Variant::fromDate(45352.25),
                              Variant(QString::fromUtf8("文档传输设置作业")),
                              Variant(QString()),
                              Variant::fromBytes(QByteArray("\x00\xFF\x80 GB", 6)),
                              Variant::fromBytes(QByteArray())};
    for (const Variant& v : values)
        EXPECT_TRUE(roundTrip(v).identical(v)) << v.typeName().toStdString();

    Variant rows =
        Variant::fromList({Variant::fromList({"A", 1}), Variant::fromList({"B", Variant::null()})});
    EXPECT_TRUE(roundTrip(rows).identical(rows));
    Variant m = Variant::array2(1, 2, 0, 1);
    m.item(2, 1) = 9;
    EXPECT_TRUE(roundTrip(m).identical(m));
    Variant offset = Variant::array(5, 6);
    offset[6] = "x";
    EXPECT_TRUE(roundTrip(offset).identical(offset));
}

TEST(Variant, MalformedWireValuesAreRejected) {
    EXPECT_THROW(Variant::fromJson(QJsonObject{{"t", "zz"}}), VariantError);
    EXPECT_THROW(Variant::fromJson(QJsonObject{{"t", "i"}, {"v", "12x"}}), VariantError);
    EXPECT_THROW(Variant::fromJson(QJsonObject{{"t", "b"}, {"v", "not*base64"}}), VariantError);
    EXPECT_THROW(Variant::fromJson(QJsonObject{{"t", "b"}, {"v", 12}}), VariantError);
    EXPECT_THROW(Variant::fromJson(QJsonObject{
                     {"t", "a"}, {"lo", QJsonArray{0}}, {"hi", QJsonArray{2}}, {"v", QJsonArray{1}}}),
                 VariantError);
}

namespace {
class Echo : public Dispatch {
public:
    Variant invoke(const QString&, VariantList& args) override {
        if (!args.isEmpty()) args[0] = "written";
        return 1;
    }
    Variant getProperty(const QString&) override { return {}; }
    void setProperty(const QString&, const Variant&) override {}
    QString className() const override { return "Echo"; }
};
} // namespace

TEST(Variant, DispatchIsHeldButNotSentOverTheWire) {
    auto obj = std::make_shared<Echo>();
    Variant v(std::static_pointer_cast<Dispatch>(obj));
    EXPECT_TRUE(v.isDispatch());
    VariantList args{"in"};
    v.toDispatch()->invoke("Any", args);
    EXPECT_EQ(args[0].toString(), "written");
    EXPECT_THROW(v.toJson(), VariantError);
    EXPECT_THROW(v.toString(), VariantError);
}

TEST(Variant, ByteStringsAreNotText) {
    kvxtest::ScopedEnv cp("KVX_CODEPAGE", "936");
    const QString text = QString::fromUtf8("文档 12");
    const QByteArray gbk = codepage::encode(text, 936);
    const Variant bytes = Variant::fromBytes(gbk);
    EXPECT_TRUE(bytes.isByteString());
    EXPECT_FALSE(bytes.isString());
    EXPECT_EQ(bytes.typeName(), "ByteString");
    // Read as text in the system code page; text reads back as bytes the same way.
    EXPECT_EQ(bytes.toString(), text);
    EXPECT_EQ(bytes.toBytes(), gbk);
    EXPECT_EQ(Variant(text).toBytes(), gbk);
    EXPECT_EQ(Variant(qint64(42)).toBytes(), QByteArray("42"));
    EXPECT_EQ(Variant::fromBytes(" 42 ").toInt(), 42);
    EXPECT_DOUBLE_EQ(Variant::fromBytes("2.5").toDouble(), 2.5);
    EXPECT_TRUE(Variant::fromBytes("true").toBool());
    EXPECT_THROW(Variant::fromBytes("x").toInt(), VariantError);

    // Equal to the text they stand for, but not identical to it; two byte strings compare by bytes.
    EXPECT_EQ(bytes, Variant(text));
    EXPECT_FALSE(bytes.identical(Variant(text)));
    EXPECT_NE(Variant::fromBytes("\xB0\xA1"), Variant::fromBytes("\xB0\xA2"));
    EXPECT_LT(Variant::fromBytes("\x41").compare(Variant::fromBytes("\xB0\xA1")), 0);
    EXPECT_GT(Variant::fromBytes("b").compare(Variant("a")), 0);
    EXPECT_GT(Variant::fromBytes("").compare(Variant(99)), 0); // strings sort after numbers
    // The empty byte string equals Unassigned, as the empty text does; Null stays apart.
    EXPECT_EQ(Variant::fromBytes(QByteArray()), Variant());
    EXPECT_NE(Variant::fromBytes(QByteArray()), Variant::null());
}

TEST(Variant, BytesNeverBecomeTextByAccident) {
    static_assert(!std::is_convertible_v<QByteArray, Variant>);
    static_assert(std::is_convertible_v<const char*, Variant>);
}
