// The text side of query by example: everything that turns what the user states into SQL condition and
// ordering text, as free functions over plain values so that each rule can be checked on its own.
// Values are quoted with doubled apostrophes; numbers are checked before they reach the text.
#pragma once

#include "platform/DataPacket.h"

#include <QString>
#include <QStringList>

namespace kvx::qbe {

// Type classes of the general page.
enum class TypeClass { Text, Number, Unsupported };
TypeClass typeClassOf(FieldType type);
// Number types of the advanced page (small integer, integer, word, float, bytes).
bool isAdvancedNumber(FieldType type);

// Standard SQL quoting: 'O''Neil'.
QString quoted(const QString& value);
// A plain decimal number, optionally signed, with an optional exponent ("1", "-2.5", ".5", "1e3").
bool isNumber(const QString& text);
// The number in its shortest form ("1.50" gives "1.5"); empty when the text is no number.
QString shortestNumber(const QString& text);

// "YYYYMMDD" from a date typed in date format code 1-5 with a separator; empty when the text does not
// split into three numbers or the code is unknown.
QString dateToStored(const QString& text, int formatCode, const QString& separator);
// "YYYYMM" from a year-month typed by date style; empty when a part is missing or not positive.
QString yearMonthToStored(const QString& text, int style, const QString& separator);
// A stored year-month the general grid accepts: longer than 5 characters, month 1 to 12.
bool validYearMonth(const QString& stored);

// Operator table lines "display\tvalue".
QStringList defaultOperators();
QString operatorValue(const QStringList& operators, const QString& display);

// What a general-grid row needs of its catalogue entry.
struct RowField {
    QString expression;
    TypeClass typeClass = TypeClass::Text;
    QString editMask;
    bool dateMask = false;      // editMask is the date mask
    bool yearMonthMask = false; // editMask is the year-month mask
    QStringList pickList;
};

// The condition of one row, followed by a blank and its connector ("QLDMB.MB002 = '2' AND"); empty when
// the row yields nothing. `operatorValue` is the operator already mapped to its value.
QString rowCondition(const RowField& field, const QString& operatorValue, const QString& value,
                     const QString& connector, int dateFormat, const QString& dateSeparator);
// Joins row conditions left to right, each in parentheses, dropping the last connector.
QString gridCondition(const QStringList& rowConditions);

// Select columns as the advanced page reads them: items trimmed, "ALIAS=EXPR" turned into "EXPR ALIAS",
// a bare column "COL" into " COL".
QStringList normalisedSelectColumns(const QString& selectColumns);
// The name of a computed or joined field on the advanced page: the expression in front of the field's
// alias in the first item naming it; the field name when no item names it; table "." field for a bare
// column. Empty (not listed) when there are no select columns.
QString advancedName(const QString& fieldName, const QString& tableName, const QString& selectColumns);
// The expression of a computed or joined field in the catalogue of the general page; empty when the
// field is to be skipped.
QString catalogueExpression(const QString& fieldName, const QString& tableName, const QString& selectColumns);
// Whether the name occurs in the select columns as a whole word (first occurrence only).
bool isSelectExpression(const QString& name, const QString& selectColumns);
// A select-column expression as the advanced page writes it: a whole word of the select columns that is
// more than a bare column name (a plain "MB002" in the list still names QLDMB.MB002).
bool countsAsExpression(const QString& name, const QString& selectColumns);
// An ordinary table column: the last two characters read as an integer of at least 1.
bool endsInColumnNumber(const QString& fieldName);
bool isAuditField(const QString& fieldName);

// One Add of the advanced editor.
struct AdvancedTerm {
    QString name;      // name part of the chosen item
    QString fieldName; // dataset field name
    QString tableName;
    QString selectColumns;
    bool number = false;
    int operatorIndex = 0; // 0 "=", ... 8 "like %v%"
    QString value;
    int sqlType = 0;
};
// "(QLDMB.MB002 = '2')"; empty when a number field's value is no number.
QString advancedCondition(const AdvancedTerm& term);
// Appends a condition to the memo text: the first line as it is, later ones as "  OR (...)".
QString appendAdvancedLine(const QString& memo, const QString& condition, const QString& connector);

// The sort text of chosen items "label\tname" with their descending marks.
QString sortText(const QStringList& items, const QList<bool>& descending, const QString& tableName,
                 const QString& selectColumns);

// The master condition combined with a detail condition through a counting subquery.
struct DetailFilter {
    QString masterTable, masterKeys, detailTable, detailKeys, extraClause, databaseName;
};
QString combinedCondition(const QString& masterText, const QString& detailText, const DetailFilter& f);

} // namespace kvx::qbe
