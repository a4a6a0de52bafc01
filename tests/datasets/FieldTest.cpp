#include "MemoryProvider.h"
#include "platform/FieldFormat.h"

#include <gtest/gtest.h>

using namespace kvx;
using namespace kvx::test;

namespace {

// A local dataset with persistent fields, like a data module declares them.
struct LocalSet {
    TClientDataSet ds;
    TStringField* name = new TStringField(&ds);
    TFloatField* amount = new TFloatField(&ds);
    TIntegerField* qty = new TIntegerField(&ds);
    LocalSet() {
        name->SetFieldName("NAME");
        name->SetSize(5);
        name->SetDataSet(&ds);
        amount->SetFieldName("AMOUNT");
        amount->SetDataSet(&ds);
        qty->SetFieldName("QTY");
        qty->SetDataSet(&ds);
        ds.SetCodePage(936);
        ds.CreateDataSet();
    }
};

} // namespace

TEST(Fields, StringSizeCountsBytesInTheDatabaseCodePage) {
    LocalSet s;
    s.ds.Append();
    s.name->SetAsString("中文字"); // 6 bytes in GBK: the third character does not fit in 5
    EXPECT_EQ(s.name->AsString(), "中文");
    s.name->SetAsString("ab中文");
    EXPECT_EQ(s.name->AsString(), "ab中"); // never half a character
    s.name->SetAsString("abcdefg");
    EXPECT_EQ(s.name->AsString(), "abcde");
    s.name->SetAsString("");
    EXPECT_FALSE(s.name->IsNull()) << "an empty text is not null";
    s.name->Clear();
    EXPECT_TRUE(s.name->IsNull());
}

TEST(Fields, StringSizeAtTheLimitOfPlainAndWideTexts) {
    LocalSet s;
    s.ds.Append();
    s.name->SetAsString("abcde"); // plain ASCII of exactly the size stays whole
    EXPECT_EQ(s.name->AsString(), "abcde");
    s.name->SetAsString("abcd中"); // as many characters as the size, but 6 bytes
    EXPECT_EQ(s.name->AsString(), "abcd");
    s.name->SetAsString("a\u00e9"); // short, not ASCII: 3 bytes, fits
    EXPECT_EQ(s.name->AsString(), QString::fromUtf8("aé"));
    s.ds.SetCodePage(65001);
    s.name->SetAsString("中"); // one unit: at most 4 bytes in any code page
    EXPECT_EQ(s.name->AsString(), "中");
    s.name->SetAsString("ab中"); // 5 bytes in UTF-8
    EXPECT_EQ(s.name->AsString(), "ab中");
    s.name->SetAsString("abc中"); // 6
    EXPECT_EQ(s.name->AsString(), "abc");
}

TEST(Fields, ConversionsAndFormats) {
    LocalSet s;
    s.ds.Append();
    s.amount->SetAsString("1234.5");
    EXPECT_DOUBLE_EQ(s.amount->AsFloat(), 1234.5);
    s.amount->SetDisplayFormat("#,##0.00");
    s.amount->SetEditFormat("##0.#######");
    EXPECT_EQ(s.amount->DisplayText(), "1,234.50");
    EXPECT_EQ(s.amount->Text(), "1234.5");
    s.amount->SetText("");
    EXPECT_TRUE(s.amount->IsNull());
    EXPECT_EQ(s.amount->DisplayText(), "");
    EXPECT_THROW(s.qty->SetAsString("12x"), EConvertError);
    s.qty->SetAsString(" 42 ");
    EXPECT_EQ(s.qty->AsInteger(), 42);
    EXPECT_EQ(s.qty->Value().type(), VarType::Int);
    EXPECT_EQ(s.qty->DataTypeName(), "ftInteger");
    EXPECT_TRUE(s.qty->IsNumeric());
    EXPECT_FALSE(s.name->IsNumeric());

    EXPECT_EQ(formatFloat("#,##0.00", -1234567.891), "-1,234,567.89");
    EXPECT_EQ(formatFloat("###0.##", 12.5), "12.5");
    EXPECT_EQ(formatFloat("#,##0.#######", 0.125), "0.125");
    EXPECT_EQ(formatFloat("0_ ", 7), "7_ ");
    EXPECT_EQ(formatFloat("#,##0.00", -0.001), "0.00");
    EXPECT_EQ(formatFloat("0.00;(0.00);zero", -2), "(2.00)");
    EXPECT_EQ(formatFloat("0.00;(0.00);zero", 0), "zero");
    EXPECT_EQ(formatDateTime("yyyy/mm/dd hh:nn",
                             Variant::fromDateTime(QDateTime(QDate(2024, 3, 9), QTime(7, 5))).toDate()),
              "2024/03/09 07:05");
}

TEST(Fields, WritesNeedEditStateAndAWritableField) {
    LocalSet s;
    s.ds.Append();
    s.name->SetAsString("A");
    s.ds.Post();
    EXPECT_THROW(s.name->SetAsString("B"), EDatabaseError);
    s.ds.Edit();
    s.name->SetReadOnly(true);
    EXPECT_THROW(s.name->SetAsString("B"), EDatabaseError);
    s.name->SetReadOnly(false);
    s.name->SetAsString("B");
    EXPECT_EQ(s.name->AsString(), "B");
    EXPECT_EQ(s.name->OldValue().toString(), "A");
    s.ds.Cancel();
    EXPECT_EQ(s.name->AsString(), "A");
}

TEST(Fields, HandlersCanBeTakenOffAndPutBack) {
    LocalSet s;
    QStringList log;
    s.name->OnGetText = [](TField* f, QString& text, bool display) {
        text = (display ? "<" : "[") + f->AsString() + (display ? ">" : "]");
    };
    s.name->OnSetText = [&](TField* f, const QString& text) {
        log << "set " + text;
        f->SetAsString(text.toUpper());
    };
    s.name->OnValidate = [&](TField* f) {
        log << "validate " + f->AsString(); // sees the value about to be stored
        if (f->AsString() == "BAD") Abort();
    };
    s.name->OnChange = [&](TField* f) { log << "change " + f->AsString(); };

    s.ds.Append();
    s.name->SetText("ab");
    EXPECT_EQ(s.name->DisplayText(), "<AB>");
    EXPECT_EQ(s.name->Text(), "[AB]");
    EXPECT_EQ(log, QStringList({"set ab", "validate AB", "change AB"}));

    log.clear();
    EXPECT_THROW(s.name->SetText("bad"), EAbort);
    EXPECT_EQ(s.name->AsString(), "AB") << "a refused value is not stored";
    EXPECT_EQ(log, QStringList({"set bad", "validate BAD"}));

    // Taken off: the field's own rules apply; put back: the handlers run again.
    auto getText = std::move(s.name->OnGetText);
    auto setText = std::move(s.name->OnSetText);
    s.name->OnGetText = nullptr;
    s.name->OnSetText = nullptr;
    s.name->SetText("xy");
    EXPECT_EQ(s.name->DisplayText(), "xy");
    s.name->OnGetText = getText;
    s.name->OnSetText = setText;
    s.name->SetText("cd");
    EXPECT_EQ(s.name->DisplayText(), "<CD>");
}

TEST(Fields, RequiredFieldIsCheckedAfterBeforePost) {
    LocalSet s;
    s.name->SetRequired(true);
    bool beforePost = false;
    s.ds.BeforePost = [&](TDataSet* ds) {
        beforePost = true;
        if (ds->FieldByName("NAME")->IsNull()) ds->FieldByName("NAME")->SetAsString("AUTO");
    };
    s.ds.Append();
    s.ds.Post();
    EXPECT_TRUE(beforePost);
    EXPECT_EQ(s.name->AsString(), "AUTO");
    s.ds.BeforePost = nullptr;
    s.ds.Append();
    try {
        s.ds.Post();
        FAIL() << "a required field without value was posted";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), "Field 'NAME' must have a value");
    }
    EXPECT_EQ(s.ds.State(), TDataSetState::dsInsert);
}

TEST(Fields, InternalCalculatedFieldAddedAtRunTimeAtPositionZero) {
    MemoryProvider p;
    fillStandard(p.table("pvdMain"), 3);
    TClientDataSet ds;
    ds.SetRemoteServer(&p);
    ds.SetProviderName("pvdMain");
    QSet<TBookmark> selected;
    ds.BeforeOpen = [&](TDataSet* d) {
        if (d->FindField("MultiSelected")) return;
        auto* f = new TStringField(d);
        f->SetFieldName("MultiSelected");
        f->SetSize(1);
        f->SetFieldKind(TField::fkInternalCalc);
        f->SetReadOnly(true);
        f->SetDisplayLabel("Selected");
        f->OnGetText = [&selected](TField* fld, QString& text, bool) {
            text = selected.contains(fld->DataSet()->Bookmark()) ? "Y" : "N";
        };
        f->SetDataSet(d);
        f->SetIndex(0);
    };
    ds.Open();
    ASSERT_EQ(ds.FieldCount(), 6);
    EXPECT_EQ(ds.Fields()[0]->FieldName(), "MultiSelected");
    EXPECT_EQ(ds.Fields()[1]->FieldName(), "MB001");
    EXPECT_EQ(ds.FieldByName("MB001")->Index(), 1);
    ds.Next();
    selected.insert(ds.Bookmark());
    EXPECT_EQ(ds.FieldByName("MultiSelected")->DisplayText(), "Y");
    ds.First();
    EXPECT_EQ(ds.FieldByName("MultiSelected")->DisplayText(), "N");
    // Reopening keeps the one persistent selection field and rebuilds the packet fields.
    ds.Close();
    ds.Open();
    EXPECT_EQ(ds.FieldCount(), 6);
    EXPECT_THROW(ds.FieldByName("NOPE"), EDatabaseError);
}

TEST(Fields, LookupAndCalculatedFields) {
    TClientDataSet modes;
    modes.FieldDefs().Add("CODE", FieldType::String, 1);
    modes.FieldDefs().Add("TEXT", FieldType::String, 20);
    modes.CreateDataSet();
    for (auto [c, t] : {std::pair{"1", "none"}, {"2", "export"}}) {
        modes.Append();
        modes.FieldByName("CODE")->SetAsString(c);
        modes.FieldByName("TEXT")->SetAsString(t);
        modes.Post();
    }
    TClientDataSet ds;
    auto* code = new TStringField(&ds);
    code->SetFieldName("MB002");
    code->SetDataSet(&ds);
    auto* text = new TStringField(&ds);
    text->SetFieldName("MODETEXT");
    text->SetFieldKind(TField::fkLookup);
    text->SetKeyFields("MB002");
    text->SetLookupDataSet(&modes);
    text->SetLookupKeyFields("CODE");
    text->SetLookupResultField("TEXT");
    text->SetDataSet(&ds);
    auto* twice = new TStringField(&ds);
    twice->SetFieldName("TWICE");
    twice->SetFieldKind(TField::fkCalculated);
    twice->SetDataSet(&ds);
    ds.OnCalcFields = [&](TDataSet*) { twice->SetAsString(code->AsString() + code->AsString()); };
    ds.CreateDataSet();
    ds.Append();
    code->SetAsString("2");
    ds.Post();
    EXPECT_EQ(text->AsString(), "export");
    EXPECT_EQ(twice->AsString(), "22");
    EXPECT_TRUE(ds.Locate("MODETEXT", "export"));
    EXPECT_THROW(ds.SetIndexFieldNames("TWICE"), EDatabaseError);
}

TEST(Fields, StringSizeEncodesCharactersTheCodePageLacksAsOneByte) {
    LocalSet s;
    s.ds.Append();
    // An emoji (a surrogate pair) is "?" in GBK: one byte; "é" is a GBK character of two bytes.
    s.name->SetAsString(QString::fromUtf8("a😀中文"));
    EXPECT_EQ(s.name->AsString(), QString::fromUtf8("a😀中"));
    s.name->SetAsString(QString::fromUtf8("😀😀中😀😀"));
    EXPECT_EQ(s.name->AsString(), QString::fromUtf8("😀😀中😀"));
    s.name->SetAsString(QString::fromUtf8("éé中"));
    EXPECT_EQ(s.name->AsString(), QString::fromUtf8("éé"));
    // UTF-8 as the database code page: three bytes per Chinese character.
    s.ds.SetCodePage(65001);
    s.name->SetAsString(QString::fromUtf8("中文"));
    EXPECT_EQ(s.name->AsString(), QString::fromUtf8("中"));
}

TEST(Fields, BytesFieldsHoldByteStrings) {
    TClientDataSet ds;
    auto* raw = new TVarBytesField(&ds);
    raw->SetFieldName("RAW");
    raw->SetSize(4);
    raw->SetDataSet(&ds);
    auto* blob = new TBlobField(&ds);
    blob->SetFieldName("BLOB");
    blob->SetDataSet(&ds);
    auto* memo = new TMemoField(&ds);
    memo->SetFieldName("MEMO");
    memo->SetDataSet(&ds);
    ds.SetCodePage(936);
    ds.CreateDataSet();
    ds.Append();

    const QByteArray binary("\x00\xFF\x80\x41\x42", 5);
    raw->SetAsBytes(binary);
    EXPECT_TRUE(raw->Value().isByteString());
    EXPECT_EQ(raw->AsBytes(), binary.left(4)); // at most Size bytes
    EXPECT_EQ(raw->DisplayText(), "(BYTES)");
    // Text goes in and out through the database code page.
    raw->SetAsString(QString::fromUtf8("中文字"));
    EXPECT_EQ(raw->AsBytes(), QByteArray("\xD6\xD0\xCE\xC4"));
    EXPECT_EQ(raw->AsString(), QString::fromUtf8("中文"));

    blob->SetAsBytes(binary);
    EXPECT_EQ(blob->AsBytes(), binary); // no size limit, zero bytes kept
    EXPECT_EQ(blob->DisplayText(), "(BLOB)");
    ds.Post();
    EXPECT_EQ(blob->AsBytes(), binary);

    ds.Edit();
    memo->SetValue(Variant::fromBytes(QByteArray("\xD6\xD0\xCE\xC4")));
    EXPECT_TRUE(memo->Value().isString());
    EXPECT_EQ(memo->AsString(), QString::fromUtf8("中文"));
    EXPECT_EQ(memo->AsBytes(), QByteArray("\xD6\xD0\xCE\xC4"));
}
