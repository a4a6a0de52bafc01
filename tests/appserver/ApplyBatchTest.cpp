// Applies whose stored rows are read by batches of keys: what a row of the delta writes is what the
// rows after it see, conflicts inside a batch are found, and text sizes are counted in GBK bytes.
#include "Providers.h"
#include "ServerEnv.h"
#include "platform/CodePage.h"

#include <dlfcn.h>
#include <iconv.h>

#include <atomic>

using namespace kvxsrv;
using kvx::Variant;

// Counts the conversion descriptors opened in this process (the code-page layer should open one per
// conversion and thread, not one per text).
namespace {
std::atomic<int> descriptorsOpened{0};
}
extern "C" iconv_t iconv_open(const char* to, const char* from) {
    using Open = iconv_t (*)(const char*, const char*);
    static const Open real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "iconv_open"));
    ++descriptorsOpened;
    return real(to, from);
}

namespace {

std::unique_ptr<TableProvider> keyedTable(Storage& s, int rows) {
    apptest::ownerExec(s, "CREATE TABLE TB (K VARCHAR(10) PRIMARY KEY, S VARCHAR(8), N INTEGER)");
    for (int i = 0; i < rows; ++i)
        s.exec("INSERT INTO TB (K, S, N) VALUES (?, ?, ?)",
               {QStringLiteral("K%1").arg(i, 3, 10, QChar('0')), QStringLiteral("s%1").arg(i), i});
    TableProvider::Options o;
    o.table = "TB";
    o.keyFields = {"K"};
    return std::make_unique<TableProvider>(s, o);
}

kvx::DataPacket fetchAll(TableProvider& p) {
    p.dataRequest(kvx::DataRequest{"All", "K", {}}.toVariant());
    return p.getRecords(-1);
}

kvx::DeltaRow modified(const kvx::Row& old, int field, const Variant& value) {
    kvx::Row changed(old.size());
    changed[field] = value;
    return {kvx::UpdateStatus::Modified, old, changed};
}

QString storedS(Storage& s, const QString& key) {
    QSqlQuery q(s.db());
    q.prepare("SELECT S FROM TB WHERE K = ?");
    q.addBindValue(key);
    q.exec();
    return q.next() ? q.value(0).toString() : QStringLiteral("<none>");
}

} // namespace

// Rows read for a batch must not outlive the writes of the rows before them: the same record changed
// twice, a record deleted and inserted again, a key renamed to a key read as missing.
TEST(ApplyBatches, WritesOfEarlierRowsAreSeenByTheRowsAfterThem) {
    apptest::ServerEnv env;
    Storage s(env.config);
    auto p = keyedTable(s, 200);
    const auto fetched = fetchAll(*p);
    ASSERT_EQ(fetched.rows.size(), 200);
    // Another client, after the fetch.
    s.exec("UPDATE TB SET S = 'other' WHERE K = 'K050'");
    s.exec("DELETE FROM TB WHERE K = 'K120'");

    const int K = 0, S = 1;
    kvx::Delta d;
    d.fields = fetched.fields;
    QHash<int, int> expectedError; // delta index -> code
    for (int i = 0; i < 200; ++i) {
        const kvx::Row& old = fetched.rows[i];
        if (i == 5) {
            d.rows.append(modified(old, S, "first"));
            expectedError.insert(d.rows.size(), kChangedByOther); // the fetched values are stale now
            d.rows.append(modified(old, S, "second"));
        } else if (i == 10) {
            d.rows.append({kvx::UpdateStatus::Deleted, old, {}});
            d.rows.append({kvx::UpdateStatus::Inserted, {}, {old[K], "new", Variant(qint64(1))}});
            expectedError.insert(d.rows.size(), kChangedByOther);
            d.rows.append(modified(old, S, "stale"));
        } else if (i == 20) {
            d.rows.append(modified(old, K, "Z020")); // renamed: Z020 was missing when the batch read
            expectedError.insert(d.rows.size(), kDeletedByOther);
            d.rows.append(modified(old, S, "gone"));
            kvx::Row renamed = old;
            renamed[K] = "Z020";
            d.rows.append(modified(renamed, S, "found"));
        } else {
            if (i == 50) expectedError.insert(d.rows.size(), kChangedByOther);
            if (i == 120) expectedError.insert(d.rows.size(), kDeletedByOther);
            d.rows.append(modified(old, S, QStringLiteral("m%1").arg(i)));
        }
    }
    const auto r = p->applyUpdates(d, -1);
    ASSERT_EQ(r.errorCount, expectedError.size());
    for (const kvx::ReconcileError& e : r.errors)
        EXPECT_EQ(e.errorCode, expectedError.value(e.deltaIndex, -1)) << "delta row " << e.deltaIndex;
    EXPECT_EQ(r.applied.size(), d.rows.size() - expectedError.size());

    EXPECT_EQ(storedS(s, "K005"), "first");
    EXPECT_EQ(storedS(s, "K010"), "new");
    EXPECT_EQ(storedS(s, "K020"), "<none>");
    EXPECT_EQ(storedS(s, "Z020"), "found");
    EXPECT_EQ(storedS(s, "K050"), "other");
    EXPECT_EQ(storedS(s, "K120"), "<none>");
    for (int i : {0, 63, 64, 65, 130, 199})
        EXPECT_EQ(storedS(s, QStringLiteral("K%1").arg(i, 3, 10, QChar('0'))), QStringLiteral("m%1").arg(i));
    // The row reported for a conflict is the one stored when that row was checked.
    for (const kvx::ReconcileError& e : r.errors) {
        if (e.deltaIndex == 6) {
            EXPECT_EQ(e.currentValues.value(S).toString(), "first");
        }
    }
}

// The applied row is in the delta's field order, also for a change that writes nothing.
TEST(ApplyBatches, AppliedRowsFollowTheDeltasFieldOrder) {
    apptest::ServerEnv env;
    Storage s(env.config);
    auto p = keyedTable(s, 3);
    const auto fetched = fetchAll(*p);
    kvx::Delta d;
    for (int f = fetched.fields.size() - 1; f >= 0; --f)
        d.fields.append(fetched.fields[f]);
    auto reversed = [](kvx::Row row) {
        std::reverse(row.begin(), row.end());
        return row;
    };
    d.rows.append({kvx::UpdateStatus::Modified, reversed(fetched.rows[0]), kvx::Row(3)}); // nothing new
    kvx::Row changed(3);
    changed[1] = "x"; // S
    d.rows.append({kvx::UpdateStatus::Modified, reversed(fetched.rows[1]), changed});
    const auto r = p->applyUpdates(d, 0);
    ASSERT_EQ(r.errorCount, 0);
    ASSERT_EQ(r.applied.size(), 2);
    EXPECT_EQ(r.applied[0].second.value(0).toInt(), 0);
    EXPECT_EQ(r.applied[0].second.value(1).toString(), "s0");
    EXPECT_EQ(r.applied[0].second.value(2).toString(), "K000");
    EXPECT_EQ(r.applied[1].second.value(1).toString(), "x");
    EXPECT_EQ(r.applied[1].second.value(2).toString(), "K001");
}

// Sizes are GBK bytes: ASCII one, Chinese two; a character GBK lacks (Thai, an emoji, a lone surrogate)
// is refused wherever it stands, also when the same characters come again in later rows.
TEST(ApplyBatches, TextSizesAreCountedInGbkBytes) {
    apptest::ServerEnv env;
    Storage s(env.config);
    apptest::ownerExec(s, "CREATE TABLE TG (K VARCHAR(10) PRIMARY KEY, S VARCHAR(4))");
    TableProvider::Options o;
    o.table = "TG";
    o.keyFields = {"K"};
    TableProvider p(s, o);
    const QList<std::pair<QString, int>> cases = {
        {QString::fromUtf8("ab中"), 0},
        {QString::fromUtf8("中中"), 0},
        {QString::fromUtf8("abc中"), kTooLong},
        {QString::fromUtf8("中中中"), kTooLong},
        {QString::fromUtf8("中ก"), kConstraint},
        {QString::fromUtf8("ก"), kConstraint},
        {QString::fromUtf8("a\U0001F600"), kConstraint},
        {QString(QChar(0xD800)) + "a", kConstraint},
        {QString::fromUtf8("中a中"), kTooLong},
        {QString::fromUtf8("a中a"), 0},
    };
    kvx::Delta d;
    d.fields = p.fields();
    for (int i = 0; i < cases.size(); ++i)
        d.rows.append({kvx::UpdateStatus::Inserted, {}, {QStringLiteral("R%1").arg(i), cases[i].first}});
    const auto r = p.applyUpdates(d, -1);
    QHash<int, int> code;
    for (const kvx::ReconcileError& e : r.errors)
        code.insert(e.deltaIndex, e.errorCode);
    for (int i = 0; i < cases.size(); ++i)
        EXPECT_EQ(code.value(i, 0), cases[i].second) << cases[i].first.toStdString();
    EXPECT_EQ(s.scalar("SELECT COUNT(*) FROM TG").toInt(), 3);
}

// Texts are checked without a conversion descriptor opened per text or per row.
TEST(ApplyBatches, ConversionDescriptorsAreOpenedOncePerConversion) {
    apptest::ServerEnv env;
    Storage s(env.config);
    apptest::ownerExec(s, "CREATE TABLE TG (K VARCHAR(10) PRIMARY KEY, S VARCHAR(40))");
    TableProvider::Options o;
    o.table = "TG";
    o.keyFields = {"K"};
    TableProvider p(s, o);
    auto apply = [&](int from) {
        kvx::Delta d;
        d.fields = p.fields();
        for (int i = from; i < from + 300; ++i)
            d.rows.append(
                {kvx::UpdateStatus::Inserted,
                 {},
                 {QStringLiteral("R%1").arg(i), QString::fromUtf8("文档传输设置作业 %1 號").arg(i)}});
        return p.applyUpdates(d, 0).errorCount;
    };
    ASSERT_EQ(apply(0), 0);
    const int before = descriptorsOpened.load();
    ASSERT_EQ(apply(300), 0);
    EXPECT_EQ(kvx::codepage::encode(QString::fromUtf8("设置"), 936).size(), 4);
    EXPECT_EQ(descriptorsOpened.load(), before);
    EXPECT_EQ(s.scalar("SELECT COUNT(*) FROM TG").toInt(), 600);
}

// A key value its column cannot take (a text for an integer key: PostgreSQL refuses the statement) in a
// row refused before its read must not spoil the reads of the rows around it.
TEST(ApplyBatches, AKeyItsColumnCannotTakeSpoilsOnlyItsOwnRow) {
    apptest::ServerEnv env;
    Storage s(env.config);
    apptest::ownerExec(s, "CREATE TABLE TI (K INTEGER PRIMARY KEY, P VARCHAR(4), S VARCHAR(8))");
    s.exec("INSERT INTO TI (K, P, S) VALUES (1, 'x', 'a')");
    s.exec("INSERT INTO TI (K, P, S) VALUES (2, 'x', 'b')");
    TableProvider::Options o;
    o.table = "TI";
    o.keyFields = {"K"};
    o.pinned = {{"P", "x"}};
    TableProvider p(s, o);
    p.dataRequest(kvx::DataRequest{"All", "K", {}}.toVariant());
    const auto fetched = p.getRecords(-1);
    ASSERT_EQ(fetched.rows.size(), 2);
    kvx::Delta d;
    d.fields = fetched.fields;
    d.rows.append(modified(fetched.rows[0], 2, "new1"));
    d.rows.append(modified({"abc", "y", "b"}, 2, "zz")); // another owner's row: refused unread
    d.rows.append(modified(fetched.rows[1], 2, "new2"));
    const auto r = p.applyUpdates(d, -1);
    ASSERT_EQ(r.errorCount, 1);
    EXPECT_EQ(r.errors[0].deltaIndex, 1);
    EXPECT_EQ(r.errors[0].errorCode, kNotPermitted);
    EXPECT_EQ(r.applied.size(), 2);
    EXPECT_EQ(s.scalar("SELECT S FROM TI WHERE K = 1").toString(), "new1");
    EXPECT_EQ(s.scalar("SELECT S FROM TI WHERE K = 2").toString(), "new2");
}
