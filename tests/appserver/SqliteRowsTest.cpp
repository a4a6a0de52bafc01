// Rows read straight through SQLite must hold what the Qt driver's read gives, for every storage class
// a column may hold whatever its declared type, and values must bind as the driver binds them.
#include "SqliteRows.h"
#include "ServerEnv.h"

#include <QSqlQuery>

using namespace kvxsrv;
using kvx::FieldType;
using kvx::Variant;

namespace {

// Same kind and same value, texts and bytes exactly.
void expectSame(const Variant& direct, const Variant& driver, const QString& what) {
    EXPECT_EQ(int(direct.type()), int(driver.type())) << what.toStdString();
    EXPECT_EQ(direct.isNull(), driver.isNull()) << what.toStdString();
    if (direct.type() == kvx::VarType::ByteString) {
        EXPECT_EQ(direct.toBytes(), driver.toBytes()) << what.toStdString();
    } else if (!direct.isNull()) {
        EXPECT_EQ(direct.toString(), driver.toString()) << what.toStdString();
    }
}

// Stored values of every class, among them texts that are not valid UTF-8 and numbers in text columns.
const char* const kValues[] = {
    "NULL",
    "0",
    "-42",
    "9007199254740993",
    "3.7",
    "-2.5",
    "1e300",
    "''",
    "'12'",
    "'12.5'",
    "'abc'",
    "' 7 '",
    "'文档传输'",
    "x'00ff41'",
    "x''",
    "CAST(x'c3' AS TEXT)",
    "CAST(x'41c328' AS TEXT)",
    "'a' || char(0) || 'b'",
    "'😀'",
};

} // namespace

TEST(SqliteRows, EveryStorageClassReadsAsTheDriverReadsIt) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    Storage s(env.config);
    s.exec("CREATE TABLE LOOSE (I INTEGER, F FLOAT, S VARCHAR(20), M TEXT, B BLOB)");
    for (const char* v : kValues)
        s.exec(QStringLiteral("INSERT INTO LOOSE VALUES (%1, %1, %1, %1, %1)").arg(QLatin1String(v)));
    const FieldType types[] = {FieldType::Integer, FieldType::Float, FieldType::String, FieldType::Memo,
                               FieldType::Blob};
    const QString sql = "SELECT I, F, S, M, B FROM LOOSE ORDER BY rowid";

    QSqlQuery q(s.db());
    q.setForwardOnly(true);
    ASSERT_TRUE(q.exec(sql));
    sqlite3* h = sqliteHandle(s.db());
    ASSERT_NE(h, nullptr);
    SqliteStatement direct(h, sql);
    ASSERT_TRUE(direct.ok()) << direct.error().toStdString();
    int rows = 0;
    while (q.next()) {
        ASSERT_TRUE(direct.next()) << "row " << rows;
        for (int c = 0; c < 5; ++c) {
            // Every column read as every field type: a column's class need not match its declaration.
            for (FieldType t : types) {
                const QString what = QStringLiteral("value %1, column %2, field type %3")
                                         .arg(QLatin1String(kValues[rows]))
                                         .arg(c)
                                         .arg(int(t));
                expectSame(direct.value(c, t), fieldValue(q.value(c), t), what);
            }
            const QVariant driver = q.value(c), mine = direct.qtValue(c);
            EXPECT_EQ(mine.isNull(), driver.isNull()) << kValues[rows];
            EXPECT_EQ(mine.typeId(), driver.typeId()) << kValues[rows] << " column " << c;
            EXPECT_EQ(mine, driver) << kValues[rows] << " column " << c;
        }
        ++rows;
    }
    EXPECT_FALSE(direct.next());
    EXPECT_FALSE(direct.failed());
    EXPECT_EQ(rows, int(std::size(kValues)));
}

TEST(SqliteRows, ValuesBindAsTheDriverBindsThem) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    Storage s(env.config);
    const QVariant values[] = {QVariant(),
                               QVariant(QMetaType::fromType<QString>()),
                               QVariant(QString()),
                               QVariant(QByteArray()),
                               QVariant(QDate()),
                               QVariant(true),
                               QVariant(-7),
                               QVariant(qlonglong(1) << 40),
                               QVariant(2.25),
                               QVariant(QStringLiteral("")),
                               QVariant(QStringLiteral("设置 ok")),
                               QVariant(QByteArray("\x00\x01z", 3)),
                               QVariant(QDate(2026, 12, 9))};
    const QString sql = "SELECT typeof(?), quote(?)";
    SqliteStatement direct(sqliteHandle(s.db()), sql);
    ASSERT_TRUE(direct.ok());
    for (const QVariant& v : values) {
        QSqlQuery q(s.db());
        ASSERT_TRUE(q.prepare(sql));
        q.bindValue(0, v);
        q.bindValue(1, v);
        ASSERT_TRUE(q.exec());
        ASSERT_TRUE(q.next());
        ASSERT_TRUE(direct.bind(0, v));
        ASSERT_TRUE(direct.bind(1, v));
        ASSERT_TRUE(direct.next());
        // The stored class and the value as SQL writes it.
        EXPECT_EQ(direct.qtValue(0).toString(), q.value(0).toString()) << v.typeName();
        EXPECT_EQ(direct.qtValue(1).toString(), q.value(1).toString()) << v.typeName();
        direct.reset();
    }
}

TEST(SqliteRows, FailuresAreReportedNotSwallowed) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    Storage s(env.config);
    sqlite3* h = sqliteHandle(s.db());
    SqliteStatement bad(h, "SELECT * FROM NO_SUCH_TABLE");
    EXPECT_FALSE(bad.ok());
    EXPECT_TRUE(bad.error().contains("NO_SUCH_TABLE")) << bad.error().toStdString();

    s.exec("CREATE TABLE ONE (K INTEGER PRIMARY KEY)");
    // A statement that fails while stepping: the failure is kept until the next reset.
    SqliteStatement insert(h, "INSERT INTO ONE VALUES (?)");
    ASSERT_TRUE(insert.ok());
    ASSERT_TRUE(insert.bind(0, 1));
    EXPECT_FALSE(insert.next());
    EXPECT_FALSE(insert.failed());
    insert.reset();
    ASSERT_TRUE(insert.bind(0, 1));
    EXPECT_FALSE(insert.next());
    EXPECT_TRUE(insert.failed());
    EXPECT_TRUE(insert.error().contains("UNIQUE")) << insert.error().toStdString();
    insert.reset();
    EXPECT_FALSE(insert.failed());
    // Binding past the statement's parameters is refused.
    EXPECT_FALSE(insert.bind(5, 1));
    EXPECT_TRUE(insert.failed());
}
