// SingleCFSql: the statements and conditions the single-table window builds from record values and
// server rows - drill-down link conditions, attachment keys and clean-up, voucher formats, automatic
// user-defined-field rules, program rules, linked data and the colour-filter condition.
//
// Kept free of widgets so that every text can be checked alone. Every value taken from a record or a
// server row is placed inside a single-quoted literal with its apostrophes doubled: a value never
// changes a statement's shape.
#pragma once

#include "server/StartReads.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace kvx::single {

// Text placed inside '...' of a statement, and quoted literals (server/StartReads.h).
using server::SqlQuoted;
using server::SqlText;

// A record's key string: its key values joined by "||".
QString KeyString(const QStringList& keyValues);

// --- drill-down links -----------------------------------------------------------------------------------

// One row of ADMMR as FollowLink reads it (fields MR002..MR011).
struct TLinkRow {
    QString MR002, MR003, MR004, MR005, MR006, MR007, MR008, MR009, MR010;
    int MR011 = 0;
};

// "SELECT MR004,MR005 FROM ADMMR WHERE MR001= '<program>'" (read ahead at start: server/StartReads.h)
using server::LinkFieldListSql;
// The link rows of a program whose source field is `field`, in MR011 order.
QString FollowLinkSql(const QString& program, const QString& field);
// The row a link follows: without a selector field (MR003 of the first row blank) the first row; with
// one, the first row whose trimmed MR010 equals the selector's value (rows with a blank MR010 are
// skipped). -1 when there is none.
int SelectLinkRow(const QList<TLinkRow>& rows, const QString& selectorValue);
// The condition handed to the linked program for the record values a (of MR004) and b (of MR005);
// nothing when the values the case needs are blank. sqlType 0 or 1 selects the dialect of the
// separator cases.
std::optional<QString> LinkCondition(const TLinkRow& row, const QString& a, const QString& b, int sqlType);

// --- attachments ----------------------------------------------------------------------------------------

QString AttachmentKeysSql(const QString& program, const QString& company);
QString AttachmentDeleteSql(const QString& program, const QString& company, const QString& keyString);

// --- voucher formats ------------------------------------------------------------------------------------

// The WARRANT rows of a print identifier (upper-cased, matched anywhere in NT001), in NT002 order.
QString VoucherFormatSql(const QString& printId);
// What the voucher menu shows when no format exists.
inline constexpr const char* kNoVoucherFormat = "<无格式>";
// The stored default that means "no default".
inline constexpr const char* kNewVoucherDefault = "<New>";

// --- automatic user-defined-field values ----------------------------------------------------------------

// The program's rules and their fields (read ahead at start: server/StartReads.h).
using server::kUdfRuleFields;
using server::UdfRulesSql;
// The field a source name "TABLE.FIELD" names when TABLE equals `mainTable` (the part after the first
// ".", without a closing ";" or "]"); empty otherwise.
QString UdfSourceFieldName(const QString& sourceName, const QString& mainTable);

// --- program rules and linked data ----------------------------------------------------------------------

// useEfs selects the electronic-form table (SYS174 = "Y").
QString ProgramRuleSql(const QString& program, const QString& code, bool useEfs);
QString ProgramRuleTopSql(const QString& program, const QString& code, bool useEfs);
QString LinkedDataRowsSql(const QString& p1, const QString& p4);
// " SELECT   <column> FROM  <db>..<table> <table>  WHERE <cond>"; cond is the caller's own condition.
QString LinkedDataValueSql(const QString& column, const QString& db, const QString& table,
                           const QString& cond);

// --- colour filter --------------------------------------------------------------------------------------

// The selected colour conditions ORed, combined with the current condition: "(<last>) and (<joined>)"
// when `lastWhere` is not blank and not already contained, the joined conditions alone when it is blank
// or contained, `lastWhere` when no condition is selected. Every "$$" (any case) becomes db + "..".
QString ColorFilterCondition(const QString& lastWhere, const QStringList& selected, const QString& db);

// --- colour definition ----------------------------------------------------------------------------------

QString ColorDefinitionSql(const QString& program);

// --- XML import -----------------------------------------------------------------------------------------

// One record of the run-mode-11 import: head field values, and body rows of (field, value) pairs.
struct TImportRecord {
    QList<QPair<QString, QString>> head;
    QList<QList<QPair<QString, QString>>> body;
};
// The records of a "dataimport" document (one per child element, in order); empty for an empty text.
// Raises std::runtime_error for a text that is no such document.
QList<TImportRecord> ParseImportXml(const QString& text);

} // namespace kvx::single
