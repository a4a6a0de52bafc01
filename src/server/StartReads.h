// StartReads: the counter calls a program's start makes before its window shows, built in one place for
// the callers and for the read-ahead that answers them early (the counter object's ReadAhead,
// docs/appserver.md). Every argument list here is the one its caller passes, as the counter receives it:
// a call read ahead with other arguments is simply run again.
#pragma once

#include "platform/Variant.h"

#include <QString>

namespace kvx::server {

// A text placed inside '...' of a statement: apostrophes doubled.
QString SqlText(const QString& value);
// A quoted literal: "'" + SqlText(value) + "'".
QString SqlQuoted(const QString& value);

// The program code of a module file: its name without folder, cut after the last digit before the first
// "."; upper case ("QLDI05C.so" → "QLDI05").
QString ProgramCodeOf(const QString& modulePath);

// The counter object's class, created in process when the servers run at 127.0.0.1.
inline constexpr const char* kCounterClass = "KvxCounter.Class1";

// GETCOUNTER's third argument: [company, database].
Variant CounterContext(const QString& company, const QString& database);
// SimpleSQL's parameters as the windows pass them: [statement, fields, database, "N"].
Variant SimpleSqlParams(const QString& sql, const QString& fields, const QString& database);
// GetUserDefine's parameters: [company, user, program, section].
Variant UserDefineParams(const QString& company, const QString& user, const QString& program,
                         const QString& section);
// The validator's arguments (table, key, database, params, result): the result slot Unassigned.
VariantList ValidatorArgs(const QString& table, const QString& key, const QString& database,
                          const Variant& params);

// The program record (ADMMB, key "06") and its parameters [program, database].
inline constexpr const char* kProgramRecordTable = "ADMMB";
inline constexpr const char* kProgramRecordKey = "06";
Variant ProgramRecordParams(const QString& program, const QString& database);

// "SELECT MR004,MR005 FROM ADMMR WHERE MR001= '<program>'"
QString LinkFieldListSql(const QString& program);
inline constexpr const char* kLinkFieldListFields = "MR004,MR005";
// The automatic user-defined-field rules of a program (target, rule id, sources).
QString UdfRulesSql(const QString& program);
inline constexpr const char* kUdfRuleFields = "TL006,TL013,TL012";

// User settings read at start: the input settings of the window, the number display of the data module.
inline constexpr const char* kFocusPageOneSection = "InputSettings001";
inline constexpr const char* kKeepOnAddSection = "InputSettings002";
inline constexpr const char* kColourManageSection = "InputSettings003";
inline constexpr const char* kFastInputSection = "InputSettings004";
inline constexpr const char* kNumberDisplaySection = "NumberFieldsSetting";

// The counter calls of a start, as [method, [arguments]] items for the counter's ReadAhead: the program
// record, the company's system parameters, the user-defined-field rules, the link fields, the input
// settings and the number display settings.
Variant ProgramStartReads(const QString& program, const QString& user, const QString& company,
                          const QString& database);

} // namespace kvx::server
