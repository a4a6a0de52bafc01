// Versioned schema of the application server's database. Each migration runs once, in its own
// transaction, and records itself in schema_version; a database made by an older build is upgraded.
//
// Migrations are written once, in SQLite's flavour, through Storage::exec: on PostgreSQL the dialect
// adapts them (SqlDialect::adapt, docs/appserver.md lists what it knows). A step that the adaptation
// cannot express gets a PostgreSQL variant of its own (Migration::postgres).
#include "SeedData.h"
#include "Storage.h"
#include "WorkCenterSchema.h"

#include <QDateTime>
#include <QRegularExpression>
#include <functional>

namespace kvxsrv {

namespace {

// Audit columns every maintained table carries.
const char* const kAudit =
    "COMPANY VARCHAR(10) NOT NULL DEFAULT '', CREATOR VARCHAR(10) NOT NULL DEFAULT '', "
    "USR_GROUP VARCHAR(10) NOT NULL DEFAULT '', CREATE_DATE VARCHAR(8) NOT NULL DEFAULT '', "
    "MODIFIER VARCHAR(10) NOT NULL DEFAULT '', MODI_DATE VARCHAR(8) NOT NULL DEFAULT '', "
    "FLAG FLOAT NOT NULL DEFAULT 0";

QString audited(const QString& body) {
    return body + QStringLiteral(", ") + QLatin1String(kAudit);
}

void createCoreSchema(Storage& s) {
    const QStringList ddl = {
        // Companies, users, groups and per-program rights.
        QStringLiteral("CREATE TABLE KVXMB (MB001 VARCHAR(10) PRIMARY KEY, MB002 VARCHAR(60) NOT NULL, "
                       "MB003 VARCHAR(20) NOT NULL, MB004 VARCHAR(4) NOT NULL DEFAULT '936')"),
        QStringLiteral("CREATE TABLE KVXMA (MA001 VARCHAR(10) PRIMARY KEY, MA002 VARCHAR(30) NOT NULL, "
                       "MA003 VARCHAR(10) NOT NULL, MA004 VARCHAR(1) NOT NULL DEFAULT 'N', "
                       "MA005 VARCHAR(3) NOT NULL DEFAULT 'CHS', MA006 VARCHAR(1) NOT NULL DEFAULT 'Y')"),
        QStringLiteral("CREATE TABLE KVXMC (MC001 VARCHAR(10) PRIMARY KEY, MC002 VARCHAR(30) NOT NULL, "
                       "MC003 VARCHAR(255) NOT NULL DEFAULT '')"),
        audited(
            QStringLiteral("CREATE TABLE KVXMF (MF001 VARCHAR(10) NOT NULL, MF002 VARCHAR(10) NOT NULL, "
                           "MF003 VARCHAR(1) NOT NULL DEFAULT 'Y', MF004 VARCHAR(12) NOT NULL DEFAULT '', "
                           "MF005 VARCHAR(7) NOT NULL DEFAULT '', MF006 VARCHAR(7) NOT NULL DEFAULT '', "
                           "MF007 VARCHAR(1) NOT NULL DEFAULT 'N', MF008 VARCHAR(255) NOT NULL DEFAULT '', "
                           "MF009 VARCHAR(1) NOT NULL DEFAULT 'N'")) +
            QStringLiteral(", PRIMARY KEY (MF001, MF002))"),
        // Program master.
        audited(QStringLiteral(
            "CREATE TABLE ADMMB (MB001 VARCHAR(10) PRIMARY KEY, MB002 VARCHAR(60) NOT NULL, "
            "MB003 VARCHAR(10) NOT NULL DEFAULT '', MB004 VARCHAR(10) NOT NULL DEFAULT '', "
            "MB005 VARCHAR(20) NOT NULL DEFAULT '', MB006 VARCHAR(100) NOT NULL DEFAULT '', "
            "MB007 VARCHAR(1000) NOT NULL DEFAULT '', MB008 VARCHAR(1000) NOT NULL DEFAULT '', "
            "MB009 VARCHAR(100) NOT NULL DEFAULT '', MB010 VARCHAR(20) NOT NULL DEFAULT '', "
            "MB011 VARCHAR(60) NOT NULL DEFAULT '', MB012 VARCHAR(60) NOT NULL DEFAULT '', "
            "MB013 VARCHAR(60) NOT NULL DEFAULT '', MB014 INTEGER NOT NULL DEFAULT 20, "
            "MB015 VARCHAR(1) NOT NULL DEFAULT 'N', MB016 VARCHAR(100) NOT NULL DEFAULT '', "
            "MB017 VARCHAR(40) NOT NULL DEFAULT ''")) +
            QStringLiteral(")"),
        // System parameters per company.
        QStringLiteral("CREATE TABLE ADMSP (SP001 VARCHAR(10) NOT NULL, SP002 VARCHAR(10) NOT NULL, "
                       "SP003 VARCHAR(255) NOT NULL DEFAULT '', SP004 VARCHAR(60) NOT NULL DEFAULT '', "
                       "PRIMARY KEY (SP001, SP002))"),
        // Message catalogue: kind, code, language (CHS, CHT, ENG), text with %s arguments.
        QStringLiteral("CREATE TABLE MSGCAT (MSG001 VARCHAR(1) NOT NULL, MSG002 VARCHAR(6) NOT NULL, "
                       "MSG003 VARCHAR(3) NOT NULL, MSG004 VARCHAR(500) NOT NULL, "
                       "PRIMARY KEY (MSG001, MSG002, MSG003))"),
        // Saved query schemes.
        QStringLiteral("CREATE TABLE DOCUS (NCONDITION VARCHAR(40) NOT NULL, CREATOR VARCHAR(10) NOT NULL, "
                       "PROGRAMME VARCHAR(10) NOT NULL, VCONDITION TEXT NOT NULL DEFAULT '', "
                       "ActivePage INTEGER NOT NULL DEFAULT 0, CREATE_DATE VARCHAR(8) NOT NULL DEFAULT '', "
                       "PRIMARY KEY (NCONDITION, CREATOR, PROGRAMME))"),
        // Per-user settings: company, user, program ('*' for all programs), path, value.
        QStringLiteral(
            "CREATE TABLE USRDEF (UD001 VARCHAR(10) NOT NULL, UD002 VARCHAR(10) NOT NULL, "
            "UD003 VARCHAR(10) NOT NULL, UD004 VARCHAR(100) NOT NULL, UD005 TEXT NOT NULL DEFAULT '', "
            "PRIMARY KEY (UD001, UD002, UD003, UD004))"),
        // Screen-settings documents per company and program.
        QStringLiteral("CREATE TABLE MTFMT (FM001 VARCHAR(10) NOT NULL, FM002 VARCHAR(10) NOT NULL, "
                       "FM003 TEXT NOT NULL DEFAULT '', PRIMARY KEY (FM001, FM002))"),
        // Column widths of numeric columns.
        QStringLiteral("CREATE TABLE NUMFD (FD001 VARCHAR(20) NOT NULL, FD002 VARCHAR(20) NOT NULL, "
                       "FD003 INTEGER NOT NULL, FD004 INTEGER NOT NULL, PRIMARY KEY (FD001, FD002))"),
        audited(
            QStringLiteral("CREATE TABLE CMSMF (MF001 VARCHAR(4) PRIMARY KEY, MF002 VARCHAR(30) NOT NULL, "
                           "MF003 INTEGER NOT NULL DEFAULT 0, MF004 INTEGER NOT NULL DEFAULT 0, "
                           "MF005 INTEGER NOT NULL DEFAULT 0, MF006 INTEGER NOT NULL DEFAULT 0")) +
            QStringLiteral(")"),
        // Voucher (print) formats: NT001 print identifier and format number, NT002 caption, NT003 layout.
        QStringLiteral("CREATE TABLE WARRANT (NT001 VARCHAR(20) PRIMARY KEY, NT002 VARCHAR(60) NOT NULL, "
                       "NT003 TEXT NOT NULL DEFAULT '')"),
        // Program rules (numbering and the like) and their electronic-form counterpart.
        QStringLiteral("CREATE TABLE ADMMQ (MQ001 VARCHAR(10) NOT NULL, MQ002 VARCHAR(10) NOT NULL, "
                       "MQ003 VARCHAR(255) NOT NULL DEFAULT '', PRIMARY KEY (MQ001, MQ002))"),
        QStringLiteral("CREATE TABLE EFSMC (MC001 VARCHAR(10) NOT NULL, MC002 VARCHAR(10) NOT NULL, "
                       "MC006 VARCHAR(255) NOT NULL DEFAULT '', PRIMARY KEY (MC001, MC002))"),
        // Drill-down links, colour definitions, user-defined field rules and labels.
        QStringLiteral("CREATE TABLE ADMMR (MR001 VARCHAR(10) NOT NULL, MR002 VARCHAR(10) NOT NULL, "
                       "MR003 VARCHAR(20) NOT NULL DEFAULT '', MR004 VARCHAR(20) NOT NULL DEFAULT '', "
                       "MR005 VARCHAR(20) NOT NULL DEFAULT '', MR006 VARCHAR(10) NOT NULL DEFAULT '', "
                       "MR007 VARCHAR(255) NOT NULL DEFAULT '', MR008 VARCHAR(20) NOT NULL DEFAULT '', "
                       "MR009 VARCHAR(20) NOT NULL DEFAULT '', MR010 VARCHAR(20) NOT NULL DEFAULT '', "
                       "MR011 INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (MR001, MR002))"),
        QStringLiteral(
            "CREATE TABLE ADMNH (NH001 VARCHAR(10) PRIMARY KEY, NH002 VARCHAR(60) NOT NULL DEFAULT '', "
            "NH003 TEXT NOT NULL DEFAULT '')"),
        QStringLiteral(
            "CREATE TABLE ADMTK (TK001 VARCHAR(10) PRIMARY KEY, TK002 VARCHAR(60) NOT NULL DEFAULT '', "
            "TK003 VARCHAR(1) NOT NULL DEFAULT 'Y')"),
        QStringLiteral("CREATE TABLE ADMTL (TL001 VARCHAR(10) NOT NULL, TL002 INTEGER NOT NULL, "
                       "TL003 VARCHAR(10) NOT NULL DEFAULT '', TL005 VARCHAR(3) NOT NULL DEFAULT '', "
                       "TL006 VARCHAR(20) NOT NULL DEFAULT '', TL010 VARCHAR(1) NOT NULL DEFAULT 'Y', "
                       "TL011 INTEGER NOT NULL DEFAULT 0, TL012 VARCHAR(255) NOT NULL DEFAULT '', "
                       "TL013 VARCHAR(20) NOT NULL DEFAULT '', PRIMARY KEY (TL001, TL002))"),
        QStringLiteral("CREATE TABLE ADMMD (MD001 VARCHAR(20) NOT NULL, MD002 VARCHAR(20) NOT NULL, "
                       "MD003 VARCHAR(60) NOT NULL DEFAULT '', MD004 VARCHAR(60) NOT NULL DEFAULT '', "
                       "MD005 VARCHAR(60) NOT NULL DEFAULT '', PRIMARY KEY (MD001, MD002))"),
        QStringLiteral(
            "CREATE TABLE ATTACH (Parent VARCHAR(10) NOT NULL, KeyValues VARCHAR(255) NOT NULL, "
            "CompanyID VARCHAR(10) NOT NULL, DocID VARCHAR(40) NOT NULL, FileName VARCHAR(255) NOT NULL "
            "DEFAULT '', Creator VARCHAR(10) NOT NULL DEFAULT '', CreateDate VARCHAR(8) NOT NULL "
            "DEFAULT '', PRIMARY KEY (Parent, KeyValues, CompanyID, DocID))"),
        QStringLiteral("CREATE TABLE F2LINK (LK001 VARCHAR(1) NOT NULL, LK002 VARCHAR(20) NOT NULL, "
                       "LK003 VARCHAR(20) NOT NULL, LK004 VARCHAR(20) NOT NULL DEFAULT '', "
                       "LK005 VARCHAR(255) NOT NULL DEFAULT '', LK006 VARCHAR(255) NOT NULL DEFAULT '', "
                       "PRIMARY KEY (LK001, LK002, LK003))"),
        // The transmission settings, one record per document kind.
        audited(
            QStringLiteral("CREATE TABLE QLDMB (MB001 VARCHAR(20) NOT NULL PRIMARY KEY, "
                           "MB001C VARCHAR(24) NOT NULL DEFAULT '', MB002 VARCHAR(1) NOT NULL DEFAULT '1', "
                           "MB004 VARCHAR(1) NOT NULL DEFAULT '1', MB005 VARCHAR(255) NOT NULL DEFAULT ''")) +
            QStringLiteral(", MB003 VARCHAR(255) NOT NULL DEFAULT '')"),
        // Master files other programs of the demo company maintain and lookups read.
        audited(
            QStringLiteral("CREATE TABLE INVMB (MB001 VARCHAR(20) PRIMARY KEY, MB002 VARCHAR(60) NOT NULL "
                           "DEFAULT '', MB003 VARCHAR(60) NOT NULL DEFAULT '', MB004 VARCHAR(4) NOT NULL "
                           "DEFAULT '', MB005 VARCHAR(6) NOT NULL DEFAULT '', MB064 NUMERIC(16,3) NOT NULL "
                           "DEFAULT 0")) +
            QStringLiteral(")"),
        audited(
            QStringLiteral("CREATE TABLE COPMA (MA001 VARCHAR(10) PRIMARY KEY, MA002 VARCHAR(40) NOT NULL "
                           "DEFAULT '', MA003 VARCHAR(72) NOT NULL DEFAULT '', MA006 VARCHAR(20) NOT NULL "
                           "DEFAULT '', MA014 VARCHAR(4) NOT NULL DEFAULT 'RMB'")) +
            QStringLiteral(")"),
        audited(
            QStringLiteral("CREATE TABLE PURMA (MA001 VARCHAR(10) PRIMARY KEY, MA002 VARCHAR(40) NOT NULL "
                           "DEFAULT '', MA003 VARCHAR(72) NOT NULL DEFAULT '', MA008 VARCHAR(20) NOT NULL "
                           "DEFAULT '', MA021 VARCHAR(4) NOT NULL DEFAULT 'RMB'")) +
            QStringLiteral(")"),
        audited(QStringLiteral("CREATE TABLE CMSME (ME001 VARCHAR(6) PRIMARY KEY, ME002 VARCHAR(30) NOT NULL "
                               "DEFAULT ''")) +
            QStringLiteral(")"),
        // Reset log of the routine transmission (what "QLDI06" records).
        QStringLiteral(
            "CREATE TABLE QLDTA (TA001 INTEGER PRIMARY KEY AUTOINCREMENT, TA002 VARCHAR(10) NOT NULL, "
            "TA003 VARCHAR(255) NOT NULL, TA004 VARCHAR(1) NOT NULL, TA005 VARCHAR(1) NOT NULL, "
            "TA006 VARCHAR(14) NOT NULL)"),
    };
    for (const QString& sql : ddl)
        s.exec(sql);
}

void createIndexes(Storage& s) {
    s.exec(QStringLiteral("CREATE INDEX QLDMB_MB002 ON QLDMB (MB002)"));
    s.exec(QStringLiteral("CREATE INDEX DOCUS_OWNER ON DOCUS (CREATOR, PROGRAMME)"));
    s.exec(QStringLiteral("CREATE INDEX ATTACH_PARENT ON ATTACH (Parent, CompanyID)"));
}

// The routine-transmission items live in QLDTB (the counter's QLDI06); the older reset log goes.
void dropTransmissionResetLog(Storage& s) {
    s.exec(QStringLiteral("DROP TABLE IF EXISTS QLDTA"));
    s.exec(QStringLiteral("UPDATE ADMMB SET MB005 = 'QLDTB', MB006 = 'TB001' WHERE MB001 = 'QLDI06'"));
}

// A setting whose remark holds an apostrophe and Chinese text, so that quoting is exercised end to end.
void seedQuotedRemark(Storage& s) {
    s.exec(
        QStringLiteral("INSERT INTO QLDMB (MB001, MB001C, MB002, MB004, MB005, MB003, COMPANY, CREATOR, "
                       "USR_GROUP, CREATE_DATE, MODIFIER, MODI_DATE, FLAG) "
                       "VALUES (?, ?, '1', '2', ?, '', 'DEMO', 'DS', 'ADMIN', '20240312', '', '', 1)"),
        {QStringLiteral("INVTX"), QStringLiteral("KV_INVTX.XML"), QStringLiteral("O'Neil 的调拨单每日汇出")});
}

// Password hashes of the users who sign in over the socket (empty: no password yet, no socket login).
void addPasswordHashes(Storage& s) {
    s.exec(QStringLiteral("ALTER TABLE KVXMA ADD COLUMN MA007 VARCHAR(255) NOT NULL DEFAULT ''"));
}

// A drill-down link of the transmission settings into the item master
// and a voucher format whose caption holds an apostrophe.
void seedSingleWindowLinks(Storage& s) {
    const QString ins = QStringLiteral(
        "INSERT INTO ADMMR (MR001, MR002, MR003, MR004, MR005, MR006, MR007, MR008, MR009, MR010, MR011) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    s.exec(ins, {"QLDI05", "01", "", "MB001", "MB001", "INVI02", "MB001", "MB001", "", "", 1});
    s.exec(QStringLiteral("INSERT INTO WARRANT (NT001, NT002, NT003) VALUES (?, ?, ?)"),
           {"QLDR05-03", QStringLiteral("O'Neil 格式"), QStringLiteral("<layout paper=\"B5\"/>")});
}

// Saved schemes shared within the owner's group and one default scheme per user and program; a buyer of
// another group, so that sharing can be seen not to cross groups. The seeded scheme becomes a real
// scheme text of the advanced page, and the administrator's number settings move to the all-programs
// scope that the options dialog writes (a per-program copy would hide every later change).
void shareSavedSchemes(Storage& s) {
    s.exec(QStringLiteral("ALTER TABLE DOCUS ADD COLUMN USR_GROUP VARCHAR(10) NOT NULL DEFAULT ''"));
    s.exec(QStringLiteral("ALTER TABLE DOCUS ADD COLUMN SHARED VARCHAR(1) NOT NULL DEFAULT 'N'"));
    s.exec(QStringLiteral("ALTER TABLE DOCUS ADD COLUMN IS_DEFAULT VARCHAR(1) NOT NULL DEFAULT 'N'"));
    s.exec(QStringLiteral("UPDATE DOCUS SET USR_GROUP = COALESCE((SELECT MA003 FROM KVXMA WHERE "
                          "KVXMA.MA001 = DOCUS.CREATOR), '')"));
    s.exec(QStringLiteral("CREATE INDEX DOCUS_SHARED ON DOCUS (PROGRAMME, USR_GROUP, SHARED)"));
    const QString advanced = QStringLiteral("500") + QChar(7) +
                             QStringLiteral("(QLDMB.MB002 = '2')\n  AND (QLDMB.MB004 = '2')") + QChar(3) +
                             QChar(3) + QStringLiteral("0") + QChar(3);
    s.exec(QStringLiteral("UPDATE DOCUS SET VCONDITION = ?, ActivePage = 1 WHERE NCONDITION = ? AND "
                          "CREATOR = 'DS' AND PROGRAMME = 'QLDI05' AND VCONDITION = ?"),
           {advanced, QStringLiteral("汇出类单据"), QStringLiteral("MB002='2' and MB004='2'")});
    s.exec(QStringLiteral("UPDATE USRDEF SET UD003 = '*' WHERE UD002 = 'DS' AND UD003 = 'QLDI05' AND "
                          "UD004 = 'NumberFieldsSetting' AND NOT EXISTS (SELECT 1 FROM USRDEF u WHERE "
                          "u.UD001 = USRDEF.UD001 AND u.UD002 = 'DS' AND u.UD003 = '*' AND "
                          "u.UD004 = 'NumberFieldsSetting')"));
    s.exec(QStringLiteral("INSERT INTO KVXMC (MC001, MC002, MC003) VALUES ('PURCH', ?, ?)"),
           {QStringLiteral("采购组"), QStringLiteral("'PURCH'")});
    s.exec(QStringLiteral("INSERT INTO KVXMA (MA001, MA002, MA003, MA004, MA005, MA006) VALUES "
                          "('BUYER', ?, 'PURCH', 'N', 'CHS', 'Y')"),
           {QStringLiteral("陈采购")});
    s.exec(QStringLiteral("INSERT INTO KVXMF (MF001, MF002, MF003, MF004, MF005, MF006, MF007, MF008, MF009, "
                          "COMPANY, CREATOR, USR_GROUP, CREATE_DATE, MODIFIER, MODI_DATE, FLAG) VALUES "
                          "('BUYER', 'QLDI05', 'Y', 'NYNNNNRRNNNN', 'NYNNNNN', 'NYNNNNN', 'Y', '', 'N', "
                          "'DEMO', 'DS', 'ADMIN', '20240312', '', '', 1)"));
}

// The demo user DS works on QLDI05 with colour management on, so that the seeded colour rules of
// migration 12 paint the program's grid; other users keep the default (off).
void enableDemoColourManagement(Storage& s) {
    s.exec(QStringLiteral("DELETE FROM USRDEF WHERE UD001 = 'DEMO' AND UD002 = 'DS' AND UD003 = 'QLDI05' AND "
                          "UD004 = 'InputSettings003'"));
    s.exec(QStringLiteral("INSERT INTO USRDEF (UD001, UD002, UD003, UD004, UD005) VALUES "
                          "('DEMO', 'DS', 'QLDI05', 'InputSettings003', ?)"),
           {QStringLiteral("<InputSettings003><IsColorManage>True</IsColorManage></InputSettings003>")});
}

struct Migration {
    int version;
    const char* description;
    std::function<void(Storage&)> apply;
    std::function<void(Storage&)> postgres = {}; // set: runs instead of apply on PostgreSQL
};

const QList<Migration>& migrations() {
    static const QList<Migration> list = {
        {1, "core schema", createCoreSchema},
        {2, "demo company, users, rights, programs, parameters and messages", seedReferenceData},
        {3, "transmission settings of the demo company", seedTransmissionSettings},
        {4, "lookup indexes", createIndexes},
        {5, "work-center services: transmission items, field rules, phrases, documents",
         createWorkCenterSchema},
        {6, "routine-transmission items only in QLDTB", dropTransmissionResetLog},
        {7, "number formats: a three-digit currency, column widths, users' number display",
         seedNumberFormats},
        {8, "screen settings of QLDI05 for the demo company", seedQldi05ScreenSettings},
        {9, "password hashes of users", addPasswordHashes},
        {10, "a transmission setting with an apostrophe in its remark", seedQuotedRemark},
        {11, "shared and default query schemes; a buyer of another group", shareSavedSchemes},
        {12, "colour rules and a user-defined-field rule of QLDI05", seedColourAndUdfRules},
        {14, "drill-down links of QLDI05 and a voucher format with an apostrophe", seedSingleWindowLinks},
        {15, "colour management on for the demo user's QLDI05", enableDemoColourManagement},
    };
    return list;
}

} // namespace

int latestSchemaVersion() {
    return migrations().last().version;
}

namespace {
int wantedCount(int upTo) {
    int wanted = 0;
    for (const Migration& m : migrations())
        if (upTo < 0 || m.version <= upTo) ++wanted;
    return wanted;
}
} // namespace

bool migrationsPending(Storage& s, int upTo) {
    if (!s.dialect().tableExists(s.db(), QStringLiteral("schema_version"))) return true;
    return s.scalar(QStringLiteral("SELECT COUNT(*) FROM schema_version WHERE version <= ?"),
                    {upTo < 0 ? latestSchemaVersion() : upTo})
               .toInt() < wantedCount(upTo);
}

void migrate(Storage& s, int upTo) {
    // Up to date: no write lock at all (every connection opens through here).
    if (!migrationsPending(s, upTo)) return;
    {
        Storage::Transaction tx(s);
        if (s.dialect().isPostgres())
            // The names as the migrations spell them (PostgreSQL folds unquoted names to lower case).
            s.execDirect(
                QStringLiteral("CREATE TABLE IF NOT EXISTS kvx_names (table_name VARCHAR(63) NOT NULL, "
                               "column_name VARCHAR(63) NOT NULL, name VARCHAR(63) NOT NULL, "
                               "PRIMARY KEY (table_name, column_name))"));
        s.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER PRIMARY KEY, "
                              "description VARCHAR(200) NOT NULL, applied_at VARCHAR(19) NOT NULL)"));
        tx.commit();
    }
    for (const Migration& m : migrations()) {
        if (upTo >= 0 && m.version > upTo) break;
        // Checked again inside the write transaction: another connection may have just migrated.
        Storage::Transaction tx(s);
        if (s.scalar(QStringLiteral("SELECT 1 FROM schema_version WHERE version = ?"), {m.version}).isValid())
            continue;
        if (s.dialect().isPostgres() && m.postgres)
            m.postgres(s);
        else
            m.apply(s);
        s.exec(
            QStringLiteral("INSERT INTO schema_version (version, description, applied_at) VALUES (?, ?, ?)"),
            {m.version, QString::fromUtf8(m.description),
             QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
        tx.commit();
    }
}

void grantServerRole(Storage& owner, const QString& role) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!plain.match(role).hasMatch())
        throw StorageError(QStringLiteral("The role name %1 is not a plain name").arg(role).toStdString());
    Storage::Transaction tx(owner);
    const QString schema = owner.scalar(QStringLiteral("SELECT current_schema()")).toString();
    const QString r = QStringLiteral("\"%1\"").arg(role);
    owner.execDirect(QStringLiteral("GRANT USAGE ON SCHEMA \"%1\" TO %2").arg(schema, r));
    owner.execDirect(
        QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA \"%1\" TO %2")
            .arg(schema, r));
    owner.execDirect(
        QStringLiteral("GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA \"%1\" TO %2").arg(schema, r));
    // The bookkeeping tables are the owner's alone to change.
    owner.execDirect(
        QStringLiteral("REVOKE INSERT, UPDATE, DELETE ON schema_version, kvx_names FROM %1").arg(r));
    tx.commit();
}

} // namespace kvxsrv
