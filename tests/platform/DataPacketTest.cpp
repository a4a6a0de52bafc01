#include "platform/DataPacket.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace kvx;

TEST(DataPacket, PacketDeltaAndResultSurviveTheWire) {
    DataPacket p;
    FieldDesc key{"MB001", FieldType::String, 10};
    key.inKey = true;
    key.required = true;
    FieldDesc detail{"DETAIL", FieldType::DataSet};
    detail.children = {FieldDesc{"X", FieldType::Integer}};
    p.fields = {key, FieldDesc{"FLAG", FieldType::Float}, detail};
    p.rows = {{"A001", 1.5, Variant::fromList({})}, {"A002", Variant::null(), Variant()}};
    p.eof = false;
    auto text = QJsonDocument(p.toJson()).toJson();
    DataPacket back = DataPacket::fromJson(QJsonDocument::fromJson(text).object());
    EXPECT_EQ(back.fields, p.fields);
    ASSERT_EQ(back.rows.size(), 2);
    EXPECT_TRUE(back.rows[1][1].isNull());
    EXPECT_TRUE(back.rows[1][2].isUnassigned());
    EXPECT_FALSE(back.eof);
    EXPECT_EQ(back.fieldIndex("flag"), 1);
    EXPECT_EQ(back.fieldIndex("none"), -1);

    Delta d{p.fields,
            {DeltaRow{UpdateStatus::Modified, {"A001", 1.5}, {Variant(), 2.0}},
             DeltaRow{UpdateStatus::Deleted, {"A002", 1.0}, {}}}};
    Delta db = Delta::fromJson(QJsonDocument::fromJson(QJsonDocument(d.toJson()).toJson()).object());
    ASSERT_EQ(db.rows.size(), 2);
    EXPECT_EQ(db.rows[0].status, UpdateStatus::Modified);
    EXPECT_TRUE(db.rows[0].newValues[0].isUnassigned());
    EXPECT_EQ(db.rows[1].status, UpdateStatus::Deleted);

    ApplyResult r;
    r.errorCount = 1;
    r.errors = {ReconcileError{1, 3, "Record changed by another user", "MB001=A002", 0, {"A002", 4.0}}};
    r.applied = {{0, {"A001", 2.0}}};
    ApplyResult rb = ApplyResult::fromJson(r.toJson());
    EXPECT_EQ(rb.errors[0].message, "Record changed by another user");
    EXPECT_EQ(rb.errors[0].currentValues[1].toDouble(), 4.0);
    EXPECT_EQ(rb.applied[0].first, 0);
}

TEST(DataPacket, DataRequestShapes) {
    DataRequest r{"MB001 >= 'A'", "MB001 DESC", {}};
    DataRequest back = DataRequest::fromVariant(r.toVariant());
    EXPECT_EQ(back.condition, r.condition);
    EXPECT_EQ(back.order, r.order);
    EXPECT_EQ(DataRequest::fromVariant(Variant("X=1")).condition, "X=1");
    EXPECT_TRUE(DataRequest::fromVariant(Variant()).condition.isEmpty());
}
