#include "WorkCenterSchema.h"

#include "Storage.h"

#include <QStringList>
#include <QVariant>

namespace kvxsrv {

void createWorkCenterSchema(Storage& s) {
    const QStringList ddl = {
        // Routine-transmission information of one transmission item (one "_"-separated item of a
        // QLDMB.MB003 content): TB006 'Y' makes the next routine transmission send the item in full.
        QStringLiteral("CREATE TABLE QLDTB (TB001 VARCHAR(20) NOT NULL PRIMARY KEY, "
                       "TB002 VARCHAR(60) NOT NULL DEFAULT '', TB003 VARCHAR(60) NOT NULL DEFAULT '', "
                       "TB004 VARCHAR(100) NOT NULL DEFAULT '', TB005 VARCHAR(1) NOT NULL DEFAULT '1', "
                       "TB006 VARCHAR(1) NOT NULL DEFAULT 'Y', TB007 VARCHAR(14) NOT NULL DEFAULT '', "
                       "TB008 VARCHAR(14) NOT NULL DEFAULT '', TB009 VARCHAR(10) NOT NULL DEFAULT '')"),
        // User-defined-field rules (ADMTL.TL013): kind 'T' fills a template (%1..%9), kind 'Q' runs a
        // read-only SELECT with the source values as bind values.
        QStringLiteral("CREATE TABLE UDFRL (RL001 VARCHAR(20) NOT NULL PRIMARY KEY, "
                       "RL002 VARCHAR(1) NOT NULL DEFAULT 'T', RL003 VARCHAR(1000) NOT NULL DEFAULT '', "
                       "RL004 VARCHAR(60) NOT NULL DEFAULT '')"),
        QStringLiteral("CREATE TABLE KVXPH (PH001 VARCHAR(10) NOT NULL, PH002 VARCHAR(10) NOT NULL, "
                       "PH003 VARCHAR(255) NOT NULL, PH004 INTEGER NOT NULL DEFAULT 0, "
                       "PRIMARY KEY (PH001, PH002, PH003))"),
        QStringLiteral("CREATE TABLE KVXDOC (DC001 VARCHAR(20) NOT NULL PRIMARY KEY, "
                       "DC002 VARCHAR(10) NOT NULL DEFAULT '1', DC003 VARCHAR(100) NOT NULL DEFAULT '', "
                       "DC004 VARCHAR(255) NOT NULL DEFAULT '', DC005 VARCHAR(10) NOT NULL DEFAULT '', "
                       "DC006 VARCHAR(40) NOT NULL DEFAULT '', DC007 VARCHAR(10) NOT NULL DEFAULT '')"),
    };
    for (const QString& sql : ddl)
        s.exec(sql);

    s.exec(QStringLiteral("INSERT INTO UDFRL (RL001, RL002, RL003, RL004) VALUES (?, ?, ?, ?)"),
           {QStringLiteral("R001"), QStringLiteral("T"), QStringLiteral("%1 %2"),
            QString::fromUtf8("品名规格合并")});
    s.exec(QStringLiteral("INSERT INTO UDFRL (RL001, RL002, RL003, RL004) VALUES (?, ?, ?, ?)"),
           {QStringLiteral("R002"), QStringLiteral("Q"),
            QStringLiteral("SELECT MB002 FROM INVMB WHERE MB001 = ?"), QString::fromUtf8("品名")});
    for (const char* p : {"按总部通知执行", "各厂自行维护", "暂不传输", "每日汇出"})
        s.exec(QStringLiteral("INSERT INTO KVXPH (PH001, PH002, PH003, PH004) VALUES ('DEMO', 'DS', ?, 0)"),
               {QString::fromUtf8(p)});
    struct Doc {
        const char *id, *version, *title, *file, *kind, *key;
    };
    const Doc docs[] = {
        {"DOC0001", "3", "订单传输格式说明", "docs/COPTC-format.pdf", "", ""},
        {"DOC0002", "1", "不锈钢螺丝图纸", "drawings/1010001.dwg", "INVMB", "1010001"},
        {"DOC0003", "2", "控制主板规格书", "specs/3000001.pdf", "INVMB", "3000001"},
        {"DOC0004", "1", "传输作业操作手册", "manuals/QLDI05.pdf", "", ""},
    };
    for (const Doc& d : docs)
        s.exec(QStringLiteral("INSERT INTO KVXDOC (DC001, DC002, DC003, DC004, DC005, DC006, DC007) "
                              "VALUES (?, ?, ?, ?, ?, ?, 'DS')"),
               {QString::fromUtf8(d.id), QString::fromUtf8(d.version), QString::fromUtf8(d.title),
                QString::fromUtf8(d.file), QString::fromUtf8(d.kind), QString::fromUtf8(d.key)});
}

} // namespace kvxsrv
