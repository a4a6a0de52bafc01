#include "StartReads.h"

#include <QFileInfo>

namespace kvx::server {

namespace {
Variant call(const QString& method, const VariantList& args) {
    return Variant::fromList({method, Variant::fromList(args)});
}
} // namespace

QString SqlText(const QString& value) {
    QString s = value;
    return s.replace(QLatin1Char('\''), QLatin1String("''"));
}

QString SqlQuoted(const QString& value) {
    return QLatin1Char('\'') + SqlText(value) + QLatin1Char('\'');
}

QString ProgramCodeOf(const QString& modulePath) {
    QString name = QFileInfo(modulePath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    for (qsizetype i = name.size() - 1; i >= 0; --i)
        if (name.at(i).isDigit()) return name.left(i + 1).toUpper();
    return name.toUpper();
}

Variant CounterContext(const QString& company, const QString& database) {
    return Variant::fromList({company, database});
}

Variant SimpleSqlParams(const QString& sql, const QString& fields, const QString& database) {
    return Variant::fromList({sql, fields, database, QStringLiteral("N")});
}

Variant UserDefineParams(const QString& company, const QString& user, const QString& program,
                         const QString& section) {
    return Variant::fromList({company, user, program, section});
}

VariantList ValidatorArgs(const QString& table, const QString& key, const QString& database,
                          const Variant& params) {
    return {table, key, database, params, Variant()};
}

Variant ProgramRecordParams(const QString& program, const QString& database) {
    return Variant::fromList({program, database});
}

QString LinkFieldListSql(const QString& program) {
    return QStringLiteral("SELECT MR004,MR005 FROM ADMMR WHERE MR001= ") + SqlQuoted(program);
}

QString UdfRulesSql(const QString& program) {
    return QStringLiteral(" SELECT TL006,TL013,TL012 FROM $$ADMTK ADMTK  LEFT JOIN $$ADMTL ADMTL ON TK001 = "
                          "TL001 AND TL010 = 'Y'  WHERE ") +
           QStringLiteral(" TL012 <> '' ") + QStringLiteral(" AND TK003 = 'Y' AND TL005 = ") +
           SqlQuoted(QStringLiteral("Z01")) + QStringLiteral(" AND TL003 = ") + SqlQuoted(program) +
           QStringLiteral(" ORDER BY TL011 ");
}

Variant ProgramStartReads(const QString& program, const QString& user, const QString& company,
                          const QString& database) {
    const QString counter = QStringLiteral("GETCOUNTER");
    const Variant context = CounterContext(company, database);
    VariantList calls;
    calls << call(QStringLiteral("CheckValue"),
                  ValidatorArgs(QLatin1String(kProgramRecordTable), QLatin1String(kProgramRecordKey),
                                database, ProgramRecordParams(program, database)));
    calls << call(QStringLiteral("GetSysInfo"), {company});
    calls << call(counter,
                  {QStringLiteral("SimpleSQL"),
                   SimpleSqlParams(UdfRulesSql(program), QLatin1String(kUdfRuleFields), database), context});
    for (const char* section : {kNumberDisplaySection, kFocusPageOneSection, kKeepOnAddSection,
                                kColourManageSection, kFastInputSection})
        calls << call(counter, {QStringLiteral("GetUserDefine"),
                                UserDefineParams(company, user, program, QLatin1String(section)), context});
    calls << call(counter,
                  {QStringLiteral("SimpleSQL"),
                   SimpleSqlParams(LinkFieldListSql(program), QLatin1String(kLinkFieldListFields), database),
                   context});
    return Variant::fromList(calls);
}

} // namespace kvx::server
