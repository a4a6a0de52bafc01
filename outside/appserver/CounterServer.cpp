#include "CounterServer.h"

#include "CounterSql.h"
#include "SqlGuard.h"
#include "TableFunctions.h"
#include "TransmissionReset.h"
#include "UserDefines.h"

#include "ServerArgs.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kvxsrv {

using kvx::Variant;
using kvx::VariantList;

namespace {
VariantList needArray(const Variant& params, int n, const QString& function) {
    if (!params.isArray() || params.dimCount() != 1 || params.toList().size() < n)
        refuse(
            QStringLiteral("%1: the parameters must be an array of at least %2 values").arg(function).arg(n));
    return params.toList();
}

constexpr int kMaxLookupRows = 5000;

enum class Fn { SimpleSql, TransactionSql, SysInfo, GetUserDefine, SetUserDefine, QueryUdfData, Qldi06 };

const QList<QPair<QString, Fn>>& functions() {
    static const QList<QPair<QString, Fn>> list = {
        {QStringLiteral("SimpleSQL"), Fn::SimpleSql},
        {QStringLiteral("TransactionSQL"), Fn::TransactionSql},
        {QStringLiteral("GetSysInfo"), Fn::SysInfo},
        {QStringLiteral("GetUserDefine"), Fn::GetUserDefine},
        {QStringLiteral("SetUserDefine"), Fn::SetUserDefine},
        {QStringLiteral("QueryUDFData"), Fn::QueryUdfData},
        {QStringLiteral("QLDI06"), Fn::Qldi06},
    };
    return list;
}
} // namespace

QStringList CounterServer::counterNames() {
    QStringList names;
    for (const auto& f : functions())
        names << f.first;
    return names;
}

CounterServer::CounterServer(StorageConfig config)
    : DispatchObject(QStringLiteral("KvxCounter.Class1")), config_(std::move(config)) {
    addMethod("GETCOUNTER", [this](VariantList& a) { return counter(textArg(a, 0), arg(a, 1), arg(a, 2)); });
    // ReadAhead([[method, [args…]], …]) → a set of answers computed now on this thread (ReadAhead.h);
    // UseReadAhead(set) → answers kept, handed out first by this object's calls; UseReadAhead() drops
    // the set and answers how many were taken. In process only (over the socket: Unassigned and 0).
    addMethod("ReadAhead", [this](VariantList& a) { return readAhead(a); });
    addMethod("UseReadAhead", [this](VariantList& a) { return useReadAhead(a); });
    addMethod("GetSysInfo", [this](VariantList& a) {
        const VariantList p = paramList(arg(a, 0));
        return sysInfo(text(p, 0));
    });
    // Validator: (table, key, database, params, out result) → found
    for (const char* name : {"CheckValue", "QueryData"}) {
        addMethod(QString::fromLatin1(name), [this](VariantList& a) -> Variant {
            while (a.size() < 5)
                a.append(Variant());
            Variant result;
            const bool found = TableFunctions(storage()).run(textArg(a, 0), textArg(a, 1), a[3], result);
            a[4] = result;
            return found;
        });
    }
    // (table, field list, values, prefix, program, database, out number) → found
    addMethod("QueryMaxSeq", [this](VariantList& a) -> Variant {
        while (a.size() < 7)
            a.append(Variant());
        QString number;
        const bool ok =
            TableFunctions(storage()).queryMaxSeq(textArg(a, 0), textArg(a, 1), a[2], textArg(a, 3), number);
        a[6] = number;
        return ok;
    });
    addMethod("GetMessage", [this](VariantList& a) -> Variant {
        const QString lang = textArg(a, 2).isEmpty() ? QStringLiteral("CHS") : textArg(a, 2).toUpper();
        QVariant v = storage().scalar(
            QStringLiteral("SELECT MSG004 FROM MSGCAT WHERE MSG001 = ? AND MSG002 = ? AND MSG003 = ?"),
            {textArg(a, 0).toUpper(), textArg(a, 1), lang});
        if (!v.isValid() && lang != QLatin1String("CHS"))
            v = storage().scalar(
                QStringLiteral(
                    "SELECT MSG004 FROM MSGCAT WHERE MSG001 = ? AND MSG002 = ? AND MSG003 = 'CHS'"),
                {textArg(a, 0).toUpper(), textArg(a, 1)});
        return v.isValid() ? v.toString() : QString();
    });
    addMethod("CompanyDatabase",
              [this](VariantList& a) -> Variant { return companyDatabase(textArg(a, 0)); });
    addMethod("ProgramAccess", [this](VariantList& a) {
        return programAccess(ownUser(textArg(a, 0)), textArg(a, 1), textArg(a, 2));
    });
    addMethod("LookupRows", [this](VariantList& a) { return lookupRows(textArg(a, 0), textArg(a, 1)); });
    addMethod("Phrases", [this](VariantList& a) -> Variant {
        QSqlQuery q(storage().db());
        q.prepare(
            QStringLiteral("SELECT PH003 FROM KVXPH WHERE PH001 = ? AND PH002 = ? ORDER BY PH004, PH003"));
        q.addBindValue(textArg(a, 0));
        q.addBindValue(ownUser(textArg(a, 1)));
        if (!q.exec()) refuse(QStringLiteral("Phrases: the query failed"));
        VariantList out;
        while (q.next())
            out << Variant(q.value(0).toString());
        return Variant::fromList(out);
    });
    addMethod("AddPhrase", [this](VariantList& a) -> Variant {
        const QString company = textArg(a, 0), user = ownUser(textArg(a, 1)), phrase = textArg(a, 2);
        if (company.isEmpty() || user.isEmpty() || phrase.isEmpty())
            refuse(QStringLiteral("AddPhrase: company, user and phrase are required"));
        Storage::Transaction tx(storage());
        if (!storage()
                 .scalar(QStringLiteral("SELECT 1 FROM KVXPH WHERE PH001 = ? AND PH002 = ? AND PH003 = ?"),
                         {company, user, phrase})
                 .isValid())
            storage().exec(
                QStringLiteral(
                    "INSERT INTO KVXPH (PH001, PH002, PH003, PH004) VALUES (?, ?, ?, "
                    "(SELECT COALESCE(MAX(PH004), 0) + 1 FROM KVXPH WHERE PH001 = ? AND PH002 = ?))"),
                {company, user, phrase, company, user});
        tx.commit();
        return QString();
    });
    addMethod("DeletePhrase", [this](VariantList& a) -> Variant {
        Storage::Transaction tx(storage());
        storage().exec(QStringLiteral("DELETE FROM KVXPH WHERE PH001 = ? AND PH002 = ? AND PH003 = ?"),
                       {textArg(a, 0), ownUser(textArg(a, 1)), textArg(a, 2)});
        tx.commit();
        return QString();
    });
    addMethod("Documents", [this](VariantList& a) {
        return documents(ownUser(textArg(a, 0)), int(arg(a, 1).toIntDef(2)));
    });
    // Files attached to one record: (program, company, key string) → rows [document id, file name,
    // creator, date]; AddAttachment and RemoveAttachment write ATTACH for the attachment window.
    addMethod("Attachments", [this](VariantList& a) -> Variant {
        QSqlQuery q(storage().db());
        q.prepare(
            QStringLiteral("SELECT DocID, FileName, Creator, CreateDate FROM ATTACH WHERE Parent = ? AND "
                           "CompanyID = ? AND KeyValues = ? ORDER BY CreateDate, DocID"));
        q.addBindValue(textArg(a, 0));
        q.addBindValue(textArg(a, 1));
        q.addBindValue(arg(a, 2).isEmptyOrNull() ? QString() : arg(a, 2).toString());
        if (!q.exec()) refuse(QStringLiteral("Attachments: the query failed"));
        VariantList rows;
        while (q.next())
            rows << Variant::fromList(
                {q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString()});
        return Variant::fromList(rows);
    });
    addMethod("AddAttachment", [this](VariantList& a) -> Variant {
        const QString key = arg(a, 2).isEmptyOrNull() ? QString() : arg(a, 2).toString();
        if (textArg(a, 0).isEmpty() || textArg(a, 1).isEmpty() || key.isEmpty() || textArg(a, 3).isEmpty())
            refuse(QStringLiteral("AddAttachment: program, company, key and document id are required"));
        storage().exec(
            QStringLiteral("INSERT INTO ATTACH (Parent, KeyValues, CompanyID, DocID, FileName, Creator, "
                           "CreateDate) VALUES (?, ?, ?, ?, ?, ?, ?)"),
            {textArg(a, 0), key, textArg(a, 1), textArg(a, 3), textArg(a, 4), ownUser(textArg(a, 5)),
             textArg(a, 6)});
        return QString();
    });
    addMethod("RemoveAttachment", [this](VariantList& a) -> Variant {
        storage().exec(
            QStringLiteral(
                "DELETE FROM ATTACH WHERE Parent = ? AND CompanyID = ? AND KeyValues = ? AND DocID = ?"),
            {textArg(a, 0), textArg(a, 1), arg(a, 2).isEmptyOrNull() ? QString() : arg(a, 2).toString(),
             textArg(a, 3)});
        return QString();
    });
    addProperty(
        "ProductID", [this] { return Variant(productId_); },
        [this](const Variant& v) { productId_ = int(v.toIntDef(3)); });
    addProperty(
        "BaseLimited", [this] { return Variant(baseLimited_); },
        [this](const Variant& v) { baseLimited_ = v.isEmptyOrNull() ? QStringLiteral("N") : v.toString(); });
}

CounterServer::~CounterServer() = default;

Variant CounterServer::invoke(const QString& name, VariantList& args) {
    Variant result;
    if (readAhead_ && readAhead_->take(name, args, result)) return result;
    return DispatchObject::invoke(name, args);
}

Variant CounterServer::readAhead(const VariantList& args) {
    // A daemon's objects answer one client call at a time: nothing to overlap with.
    if (!config_.shareInProcess) return Variant();
    const Variant list = arg(args, 0);
    if (!list.isArray()) refuse(QStringLiteral("ReadAhead: the calls must be an array"));
    QList<ReadAheadAnswers::Call> calls;
    for (const Variant& item : list.toList()) {
        const VariantList call = item.isArray() ? item.toList() : VariantList{};
        if (call.size() != 2 || !call[0].isString() || !call[1].isArray())
            refuse(QStringLiteral("ReadAhead: each call must be [method, [arguments]]"));
        calls.append({call[0].toString(), call[1].toList()});
    }
    return Variant(std::shared_ptr<kvx::Dispatch>(ReadAheadAnswers::compute(config_, calls)));
}

Variant CounterServer::useReadAhead(const VariantList& args) {
    const int taken = readAhead_ ? readAhead_->taken() : 0;
    readAhead_.reset();
    const Variant answers = arg(args, 0);
    if (answers.isEmptyOrNull()) return taken;
    auto set =
        std::dynamic_pointer_cast<ReadAheadAnswers>(answers.isDispatch() ? answers.toDispatch() : nullptr);
    if (!set) refuse(QStringLiteral("UseReadAhead: the argument is no set of read-ahead answers"));
    // Over the socket a set could only come from this process's own objects: none is taken there.
    if (!config_.shareInProcess) return 0;
    readAhead_ = std::move(set);
    return readAhead_->answered();
}

QString CounterServer::ownUser(const QString& user) const {
    // Over the socket a user reaches only his own phrases, settings, documents and program rights.
    if (!config_.boundUser.isEmpty() && user.compare(config_.boundUser, Qt::CaseInsensitive) != 0)
        refuse(QStringLiteral("此连接已登录为 %1 (this connection is signed in as %1, not %2)")
                   .arg(config_.boundUser, user));
    return user;
}

Storage& CounterServer::storage() {
    if (!storage_) storage_ = openStorage(config_);
    return *storage_;
}

QString CounterServer::companyDatabase(const QString& company) {
    const QVariant db =
        storage().scalar(QStringLiteral("SELECT MB003 FROM KVXMB WHERE MB001 = ?"), {company});
    if (!db.isValid()) refuse(QStringLiteral("公司 %1 不存在 (unknown company)").arg(company));
    return db.toString();
}

void CounterServer::checkContext(const Variant& context) {
    if (!context.isArray() || context.dimCount() != 1 || context.toList().size() < 2)
        refuse(QStringLiteral("GETCOUNTER: the third argument must be [company, database]"));
    const VariantList c = context.toList();
    const QString company = text(c, 0), db = text(c, 1);
    const QString actual = companyDatabase(company);
    if (actual.compare(db, Qt::CaseInsensitive) != 0)
        refuse(QStringLiteral("公司 %1 的数据库是 %2, 不是 %3 (wrong database)").arg(company, actual, db));
}

Variant CounterServer::counter(const QString& name, const Variant& params, const Variant& context) {
    const auto& list = functions();
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& f) {
        return f.first.compare(name.trimmed(), Qt::CaseInsensitive) == 0;
    });
    if (it == list.end())
        refuse(QStringLiteral("GETCOUNTER: unknown server function \"%1\" (known: %2)")
                   .arg(name, counterNames().join(", ")));
    checkContext(context);
    switch (it->second) {
    case Fn::SimpleSql:
        return CounterSql(storage()).simpleSql(params);
    case Fn::TransactionSql:
        return CounterSql(storage()).transactionSql(params);
    case Fn::SysInfo:
        return sysInfo(text(paramList(params), 0));
    case Fn::GetUserDefine: {
        const VariantList p = needArray(params, 4, QStringLiteral("GetUserDefine"));
        return UserDefines(storage()).get(text(p, 0), ownUser(text(p, 1)), text(p, 2), text(p, 3));
    }
    case Fn::SetUserDefine: {
        const VariantList p = needArray(params, 5, QStringLiteral("SetUserDefine"));
        const QString value = p[4].isEmptyOrNull() ? QString() : p[4].toString();
        return UserDefines(storage()).set(text(p, 0), ownUser(text(p, 1)), text(p, 2), text(p, 3), value);
    }
    case Fn::QueryUdfData:
        return udfData(params);
    case Fn::Qldi06: {
        const VariantList p = needArray(params, 3, QStringLiteral("QLDI06"));
        for (int i = 0; i < 3; ++i)
            if (p[i].isArray()) refuse(QStringLiteral("QLDI06: parameter %1 must be a text").arg(i + 1));
        return TransmissionReset(storage()).run(p[0].isEmptyOrNull() ? QString() : p[0].toString(),
                                                text(p, 1), text(p, 2));
    }
    }
    return {};
}

Variant CounterServer::sysInfo(const QString& company) {
    if (company.isEmpty()) refuse(QStringLiteral("GetSysInfo: a company is required"));
    companyDatabase(company);
    QSqlQuery q(storage().db());
    q.prepare(QStringLiteral("SELECT SP002, SP003 FROM ADMSP WHERE SP001 = ? ORDER BY SP002"));
    q.addBindValue(company);
    if (!q.exec()) refuse(QStringLiteral("GetSysInfo: the query failed"));
    QList<QPair<QString, QString>> pairs;
    while (q.next())
        pairs.append({q.value(0).toString(), q.value(1).toString()});
    if (pairs.isEmpty()) return Variant();
    Variant out = Variant::array2(0, 1, 0, int(pairs.size()) - 1);
    for (int j = 0; j < pairs.size(); ++j) {
        out.item(0, j) = pairs[j].first;
        out.item(1, j) = pairs[j].second;
    }
    return out;
}

// [rule id, "", database, flag, source values] → [[value]]
Variant CounterServer::udfData(const Variant& params) {
    const VariantList p = needArray(params, 5, QStringLiteral("QueryUDFData"));
    const QString rule = text(p, 0);
    const VariantList values = paramList(p[4]);
    QSqlQuery def(storage().db());
    def.prepare(QStringLiteral("SELECT RL002, RL003 FROM UDFRL WHERE RL001 = ?"));
    def.addBindValue(rule);
    if (!def.exec() || !def.next()) refuse(QStringLiteral("QueryUDFData: unknown rule \"%1\"").arg(rule));
    const QString kind = def.value(0).toString(), body = def.value(1).toString();
    if (kind == QLatin1String("T")) {
        // %1..%9 take the source values; a missing value is empty.
        QString out;
        for (int i = 0; i < body.size(); ++i) {
            if (body.at(i) == QLatin1Char('%') && i + 1 < body.size() && body.at(i + 1).isDigit() &&
                body.at(i + 1) != QLatin1Char('0')) {
                const int n = body.at(i + 1).digitValue();
                out += n <= values.size() && !values[n - 1].isEmptyOrNull() ? values[n - 1].toString()
                                                                            : QString();
                ++i;
            } else {
                out += body.at(i);
            }
        }
        return Variant::fromList({Variant::fromList({out.trimmed()})});
    }
    QSqlQuery q(storage().db());
    const QStringList tables = storage().tableNames();
    QVariantList binds;
    for (const Variant& v : values)
        binds << (v.isEmptyOrNull() ? QVariant(QString()) : QVariant(v.toString()));
    try {
        execGuardedSelect(q, storage(), body, tables, binds);
    } catch (const GuardError& e) {
        refuse(QStringLiteral("QueryUDFData: rule %1: %2").arg(rule, QString::fromUtf8(e.what())));
    }
    VariantList rows;
    const int n = q.record().count();
    while (q.next()) {
        VariantList row;
        for (int i = 0; i < n; ++i)
            row << fromDb(q.value(i));
        rows << Variant::fromList(row);
    }
    return rows.isEmpty() ? Variant() : Variant::fromList(rows);
}

// → [code, library, database, reason]; code 0 allowed, -1 no such program, -5 no right
Variant CounterServer::programAccess(const QString& user, const QString& company, const QString& program) {
    const QString prog = program.toUpper();
    const QString db = companyDatabase(company);
    QSqlQuery q(storage().db());
    q.prepare(QStringLiteral("SELECT MB017 FROM ADMMB WHERE MB001 = ?"));
    q.addBindValue(prog);
    if (!q.exec() || !q.next())
        return Variant::fromList(
            {-1, QString(), db, QStringLiteral("程序 %1 不存在 (unknown program)").arg(prog)});
    const QString library = q.value(0).toString();
    q.prepare(QStringLiteral("SELECT MA003, MA004 FROM KVXMA WHERE MA001 = ? AND MA006 = 'Y'"));
    q.addBindValue(user);
    if (!q.exec() || !q.next())
        return Variant::fromList(
            {-5, library, db, QStringLiteral("用户 %1 不存在或已停用 (unknown or disabled user)").arg(user)});
    const QString group = q.value(0).toString();
    if (q.value(1).toString() != QLatin1String("Y")) {
        q.prepare(QStringLiteral("SELECT MF003 FROM KVXMF WHERE MF002 = ? AND MF001 IN (?, ?) "
                                 "ORDER BY CASE WHEN MF001 = ? THEN 0 ELSE 1 END"));
        for (const QString& b : {prog, user, group, user})
            q.addBindValue(b);
        if (!q.exec() || !q.next() || q.value(0).toString() != QLatin1String("Y"))
            return Variant::fromList(
                {-5, library, db,
                 QStringLiteral("用户 %1 没有运行程序 %2 的权限 (no right to run the program)")
                     .arg(user, prog)});
    }
    return Variant::fromList({0, library, db, QString()});
}

// → [caption, [headers], rows] of the lookup defined in F2LINK for (code, selector)
Variant CounterServer::lookupRows(const QString& code, const QString& selector) {
    QSqlQuery def(storage().db());
    def.prepare(QStringLiteral(
        "SELECT LK004, LK005, LK006 FROM F2LINK WHERE LK001 = '1' AND LK002 = ? AND LK003 = ?"));
    def.addBindValue(code.toUpper());
    def.addBindValue(selector);
    if (!def.exec() || !def.next())
        refuse(QStringLiteral("开窗 %1/%2 未定义 (no lookup defined for %1, %2)").arg(code, selector));
    static const QRegularExpression ident(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    const QString table = def.value(0).toString().trimmed();
    QStringList cols;
    for (const QString& c : def.value(1).toString().split(QLatin1Char(','), Qt::SkipEmptyParts))
        cols << c.trimmed();
    if (!ident.match(table).hasMatch() || cols.isEmpty())
        refuse(QStringLiteral("开窗 %1/%2 的定义无效 (bad lookup definition)").arg(code, selector));
    for (const QString& c : cols)
        if (!ident.match(c).hasMatch())
            refuse(QStringLiteral("开窗 %1/%2 的定义无效 (bad lookup definition)").arg(code, selector));
    QStringList headers = def.value(2).toString().split(QLatin1Char(','));
    QSqlQuery q(storage().db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(cols.join(','), table, cols[0]) +
                storage().dialect().limitClause(kMaxLookupRows)))
        refuse(QStringLiteral("开窗 %1/%2 的查询失败 (the lookup query failed)").arg(code, selector));
    VariantList rows, heads;
    for (int i = 0; i < cols.size(); ++i)
        heads << Variant(headers.value(i, cols[i]).trimmed());
    while (q.next()) {
        VariantList row;
        for (int i = 0; i < cols.size(); ++i)
            row << fromDb(q.value(i));
        rows << Variant::fromList(row);
    }
    return Variant::fromList({Variant(code.toUpper()), Variant::fromList(heads), Variant::fromList(rows)});
}

// Documents for the picker: mode 1 those the user created, any other mode all; rows [id, version,
// title, file name].
Variant CounterServer::documents(const QString& user, int mode) {
    QSqlQuery q(storage().db());
    if (mode == 1) {
        q.prepare(
            QStringLiteral("SELECT DC001, DC002, DC003, DC004 FROM KVXDOC WHERE DC007 = ? ORDER BY DC001"));
        q.addBindValue(user);
    } else {
        q.prepare(QStringLiteral("SELECT DC001, DC002, DC003, DC004 FROM KVXDOC ORDER BY DC001"));
    }
    if (!q.exec()) refuse(QStringLiteral("Documents: the query failed"));
    VariantList rows;
    while (q.next())
        rows << Variant::fromList(
            {q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString()});
    return Variant::fromList(rows);
}

std::shared_ptr<kvx::Dispatch> createCounterServer(const StorageConfig& config) {
    return std::make_shared<CounterServer>(config);
}

} // namespace kvxsrv

extern "C" __attribute__((visibility("default"))) kvx::Dispatch* CreateCounterServer(const char*) {
    return new kvxsrv::CounterServer(kvxsrv::StorageConfig::inProcess());
}
