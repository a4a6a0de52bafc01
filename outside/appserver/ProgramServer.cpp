#include "ProgramServer.h"

#include "ArgumentError.h"
#include "ColourRules.h"
#include "CounterServer.h"
#include "SqlGuard.h"
#include "platform/CodePage.h"

#include <QDate>
#include <QLoggingCategory>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <limits>

namespace kvxsrv {

Q_LOGGING_CATEGORY(lcProgramServer, "kvx.appserver")

namespace {
// The saved schemes a user reads: his own and those the members of his group share, of one program.
const QString kSchemeReadScope =
    QStringLiteral("PROGRAMME = ? AND (CREATOR = ? OR (SHARED = 'Y' AND USR_GROUP = ? AND USR_GROUP <> ''))");

// Empty when the name may be a scheme name: 1 to 20 characters that the database code page holds.
QString checkSchemeName(const QString& name) {
    if (name.trimmed().isEmpty()) return QStringLiteral("方案名称不可空白 (the scheme needs a name)");
    if (name.size() > 20) return QStringLiteral("方案名称不可超过20个字 (at most 20 characters)");
    if (kvx::codepage::decode(kvx::codepage::encode(name, 936), 936) != name)
        return QStringLiteral("方案名称含有数据库代码页没有的字 (the name has characters GBK lacks)");
    return {};
}
} // namespace

using kvx::Variant;
using kvx::VariantList;

namespace {
// Arguments given either one by one or as one array (the client sends the six connect values as an
// array).
VariantList flatten(const VariantList& args) {
    if (args.size() == 1 && args[0].isArray() && args[0].dimCount() == 1) return args[0].toList();
    return args;
}

QString text(const VariantList& l, int i) {
    return i < l.size() ? l[i].toString().trimmed() : QString();
}

// Tables SimpleSql reads: the company's data, not the users, their password hashes, their settings,
// phrases and saved schemes, nor the server's own bookkeeping.
QStringList simpleSqlTables() {
    return {QStringLiteral("*"),      QStringLiteral("!KVXMA"), QStringLiteral("!USRDEF"),
            QStringLiteral("!KVXPH"), QStringLiteral("!DOCUS"), QStringLiteral("!schema_version")};
}

// SimpleSql: one read-only SELECT over any table of the company database, in the clients' SQL dialect
// ("$$" already replaced by the client with "DB.."). Returns the listed fields (all when the
// list is empty) of each row as an array of row arrays, or Unassigned when there is no row.
Variant runSimpleSql(Storage& s, const QString& sql, const QString& fieldList, const QString& dbName) {
    const QString text = s.dialect().translate(sql.trimmed(), dbName);
    const QString why = checkClauseText(text);
    if (!why.isEmpty())
        throw kvx::AutomationError(QStringLiteral("Statement refused: %1").arg(why).toStdString());
    QSqlQuery q(s.db());
    q.setForwardOnly(true);
    try {
        Storage::TimeLimit limit(s);
        execGuardedSelect(q, s, text, simpleSqlTables());
    } catch (const GuardError& e) {
        if (!s.stopReason().isEmpty()) throw kvx::AutomationError(s.stopReason().toStdString());
        throw kvx::AutomationError(e.what());
    }
    QList<int> cols;
    const QSqlRecord rec = q.record();
    const QStringList wanted = fieldList.split(',', Qt::SkipEmptyParts);
    if (wanted.isEmpty())
        for (int i = 0; i < rec.count(); ++i)
            cols << i;
    for (const QString& f : wanted) {
        const int i = rec.indexOf(f.trimmed());
        if (i < 0)
            throw kvx::AutomationError(
                QStringLiteral("The statement returns no field %1").arg(f.trimmed()).toStdString());
        cols << i;
    }
    VariantList rows;
    Storage::TimeLimit limit(s);
    while (q.next()) {
        VariantList row;
        for (int i : cols) {
            const QVariant v = q.value(i);
            if (v.isNull())
                row.append(Variant::null());
            else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
                row.append(Variant(v.toLongLong()));
            else if (v.typeId() == QMetaType::Double)
                row.append(Variant(v.toDouble()));
            else
                row.append(Variant(v.toString()));
        }
        rows.append(Variant::fromList(row));
    }
    if (q.lastError().isValid()) {
        if (!s.stopReason().isEmpty()) throw kvx::AutomationError(s.stopReason().toStdString());
        throw kvx::AutomationError(q.lastError().databaseText().toStdString());
    }
    return rows.isEmpty() ? Variant() : Variant::fromList(rows);
}

char rightAt(const QString& s, int pos) {
    return pos - 1 < s.size() ? s.at(pos - 1).toLatin1() : 'N';
}
} // namespace

ProgramServer::ProgramServer(StorageConfig config)
    : DispatchObject(QStringLiteral("TRIVON.Class1")), config_(std::move(config)) {
    addMethod("Connect", [this](VariantList& a) {
        const VariantList v = flatten(a);
        return Variant(connect(text(v, 0), text(v, 1), text(v, 2), text(v, 3)));
    });
    addMethod("SvrData", [this](VariantList&) { return Variant(svrData()); });
    addMethod("Whatis", [this](VariantList& a) -> Variant {
        const QString what = arg(a, 0).toString().trimmed().toUpper();
        if (what == QLatin1String("TODAY")) return QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
        if (what == QLatin1String("SQLTYPE")) return storage().dialect().sqlType();
        if (what == QLatin1String("DBTYPE")) return storage().dialect().name();
        if (what == QLatin1String("NOW"))
            return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
        if (what == QLatin1String("VERSION"))
            return QStringLiteral("kvx-appserver 1.0 schema %1").arg(storage().schemaVersion());
        return QString();
    });
    addMethod("GetFormat", [this](VariantList& a) -> Variant {
        const QVariant v =
            storage().scalar(QStringLiteral("SELECT FM003 FROM MTFMT WHERE FM001 = ? AND FM002 = ?"),
                             {arg(a, 0).toString().trimmed(), arg(a, 1).toString().trimmed().toUpper()});
        return v.isValid() ? v.toString() : QString();
    });
    addMethod("GetRecCount", [this](VariantList&) {
        requireSession();
        try {
            return Variant(provider(QStringLiteral("pvdMain")).recordCount());
        } catch (const StorageError& e) {
            throw kvx::AutomationError(e.what());
        } catch (const GuardError& e) {
            throw kvx::AutomationError(e.what());
        }
    });
    addMethod("GetBaseLimitedRecs", [this](VariantList& a) -> Variant {
        requireSession();
        // Without basic-data limits every record is permitted: a negative count says "no check".
        const int count = session_->baseLimited == QLatin1String("Y") ? int(arg(a, 2).toIntDef(0)) : -1;
        return Variant::fromList({count, Variant::fromList({})});
    });
    addMethod("SetTopRow", [this](VariantList& a) {
        topRow_ = int(integerArg(a, 0, 0, std::numeric_limits<int>::max(), "SetTopRow's row count"));
        if (session_) provider(QStringLiteral("pvdMain")).setRowLimit(topRow_);
        return Variant();
    });
    addMethod("LoadTable", [this](VariantList& a) -> Variant {
        requireSession();
        const VariantList v = flatten(a);
        const QString user = text(v, 0).isEmpty() ? session_->user : text(v, 0);
        const QString prog = text(v, 1).isEmpty() ? session_->prog : text(v, 1).toUpper();
        if (user.compare(session_->user, Qt::CaseInsensitive) != 0)
            return QStringLiteral("只能读取自己的查询方案 (schemes of user %1 are not yours)").arg(user);
        TableProvider& saved = provider(QStringLiteral("pvdConSave"));
        saved.setPinned({{"CREATOR", session_->user}, {"PROGRAMME", prog}});
        saved.setReadScope(kSchemeReadScope, {prog, session_->user, session_->group});
        return QString();
    });
    addMethod("InsertConTable", [this](VariantList& a) { return Variant(writeScheme(flatten(a))); });
    addMethod("DeleteConTable", [this](VariantList& a) { return Variant(deleteScheme(flatten(a))); });
    addMethod("ChangeConName", [this](VariantList& a) {
        return Variant(renameScheme(arg(a, 0).isArray() ? arg(a, 0).toList() : VariantList{},
                                    arg(a, 1).isArray() ? arg(a, 1).toList() : VariantList{}));
    });
    addMethod("ShareConTable",
              [this](VariantList& a) { return Variant(markScheme(flatten(a), QStringLiteral("SHARED"))); });
    addMethod("SetDefaultCon", [this](VariantList& a) {
        return Variant(markScheme(flatten(a), QStringLiteral("IS_DEFAULT")));
    });
    addMethod("GetMessage", [this](VariantList& a) -> Variant {
        // Message catalogue: kind, code and language (CHS when not given).
        const QString lang =
            arg(a, 2).toString().isEmpty() ? QStringLiteral("CHS") : arg(a, 2).toString().toUpper();
        const QVariant v = storage().scalar(
            QStringLiteral("SELECT MSG004 FROM MSGCAT WHERE MSG001 = ? AND MSG002 = ? AND MSG003 = ?"),
            {arg(a, 0).toString().toUpper(), arg(a, 1).toString(), lang});
        return v.isValid() ? v.toString() : QString();
    });
    addMethod("SimpleSql", [this](VariantList& a) {
        requireSession();
        return runSimpleSql(storage(), arg(a, 0).toString(), arg(a, 1).toString(), session_->dbName);
    });
    addProperty("LastError", [this] { return Variant(lastError_); });
}

ProgramServer::~ProgramServer() {
    providers_.clear();
    storage_.reset();
}

Storage& ProgramServer::storage() {
    if (!storage_) storage_ = openStorage(config_);
    return *storage_;
}

void ProgramServer::requireSession() const {
    if (!session_) throw kvx::AutomationError("Not connected: call Connect first");
}

int ProgramServer::fail(int code, const QString& reason) {
    lastError_ = reason;
    session_.reset();
    providers_.clear();
    return code;
}

int ProgramServer::connect(const QString& prog, const QString& user, const QString& company,
                           const QString& dbName) {
    providers_.clear();
    session_.reset();
    lastError_.clear();
    if (!config_.boundUser.isEmpty() && user.compare(config_.boundUser, Qt::CaseInsensitive) != 0)
        return fail(kUnknownUser,
                    QStringLiteral("此连接已登录为 %1 (this connection is signed in as %1, not %2)")
                        .arg(config_.boundUser, user));
    try {
        Storage& s = storage();
        auto sess = std::make_unique<Session>();
        QSqlQuery q(s.db());
        q.prepare(
            QStringLiteral("SELECT MA001, MA002, MA003, MA004 FROM KVXMA WHERE MA001 = ? AND MA006 = 'Y'"));
        q.addBindValue(user);
        if (!q.exec() || !q.next())
            return fail(kUnknownUser,
                        QStringLiteral("用户 %1 不存在或已停用 (unknown or disabled user)").arg(user));
        sess->user = q.value(0).toString();
        sess->userName = q.value(1).toString();
        sess->group = q.value(2).toString();
        const bool admin = q.value(3).toString() == QLatin1String("Y");
        q.prepare(QStringLiteral("SELECT MB001, MB002, MB003 FROM KVXMB WHERE MB001 = ?"));
        q.addBindValue(company);
        if (!q.exec() || !q.next())
            return fail(kUnknownCompany, QStringLiteral("公司 %1 不存在 (unknown company)").arg(company));
        sess->company = q.value(0).toString();
        sess->companyName = q.value(1).toString();
        sess->dbName = q.value(2).toString();
        if (sess->dbName.compare(dbName, Qt::CaseInsensitive) != 0)
            return fail(kWrongDatabase, QStringLiteral("公司 %1 的数据库是 %2, 不是 %3 (wrong database)")
                                            .arg(company, sess->dbName, dbName));
        q.prepare(
            QStringLiteral("SELECT MB001, MB002, MB005, MB006, MB007, MB008, MB009, MB010, MB014, MB016 "
                           "FROM ADMMB WHERE MB001 = ?"));
        q.addBindValue(prog.toUpper());
        if (!q.exec() || !q.next())
            return fail(kUnknownProgram, QStringLiteral("程序 %1 不存在 (unknown program)").arg(prog));
        sess->prog = q.value(0).toString();
        sess->progName = q.value(1).toString();
        sess->table = q.value(2).toString();
        sess->keys = q.value(3).toString();
        sess->select = q.value(4).toString();
        sess->detailSelect = q.value(5).toString();
        sess->detailKeys = q.value(6).toString();
        sess->detailTable = q.value(7).toString();
        sess->maxRecord = q.value(8).toInt();
        sess->headKeys = q.value(9).toString();
        const QVariant groupList =
            s.scalar(QStringLiteral("SELECT MC003 FROM KVXMC WHERE MC001 = ?"), {sess->group});
        sess->groupList =
            groupList.isValid() ? groupList.toString() : QStringLiteral("'%1'").arg(sess->group);

        QString own = QStringLiteral("YYYYYYYYYYYY"), same = QStringLiteral("YYYYYYY"), other = same;
        QString recordLevel = QStringLiteral("N");
        if (!admin) {
            // The user's own entry, else the entry of the user's group.
            q.prepare(QStringLiteral(
                "SELECT MF003, MF004, MF005, MF006, MF007, MF008, MF009 FROM KVXMF "
                "WHERE MF002 = ? AND MF001 IN (?, ?) ORDER BY CASE WHEN MF001 = ? THEN 0 ELSE 1 END"));
            q.addBindValue(sess->prog);
            q.addBindValue(sess->user);
            q.addBindValue(sess->group);
            q.addBindValue(sess->user);
            if (!q.exec() || !q.next() || q.value(0).toString() != QLatin1String("Y"))
                return fail(kNoRight,
                            QStringLiteral("用户 %1 没有运行程序 %2 的权限 (no right to run the program)")
                                .arg(sess->user, sess->prog));
            own = q.value(1).toString();
            same = q.value(2).toString();
            other = q.value(3).toString();
            recordLevel = q.value(4).toString();
            sess->exPower = q.value(5).toString();
            sess->baseLimited = q.value(6).toString();
        }
        sess->powerData =
            QStringList{sess->prog, QStringLiteral("Y"), recordLevel, own, same, other}.join(',');
        sess->canAdd = rightAt(own, 9) == 'Y';
        sess->canEdit = rightAt(own, 2) == 'Y' || rightAt(same, 2) == 'Y' || rightAt(other, 2) == 'Y';
        sess->canDelete = rightAt(own, 3) == 'Y' || rightAt(same, 3) == 'Y' || rightAt(other, 3) == 'Y';
        session_ = std::move(sess);
        createProviders();
    } catch (const std::exception& e) {
        return fail(kStorageFailed, QString::fromUtf8(e.what()));
    }
    return kConnected;
}

void ProgramServer::createProviders() {
    Storage& s = storage();
    const QStringList keys = session_->keys.split(',', Qt::SkipEmptyParts);
    QStringList trimmedKeys;
    for (const QString& k : keys)
        trimmedKeys << k.trimmed();

    TableProvider::Options main;
    main.table = session_->table;
    main.keyFields = trimmedKeys;
    main.canInsert = session_->canAdd;
    main.canModify = session_->canEdit;
    main.canDelete = session_->canDelete;
    main.audit.on = true;
    main.audit.user = session_->user;
    main.audit.group = session_->group;
    main.audit.company = session_->company;
    main.audit.groupList = session_->groupList;
    {
        const QStringList power = session_->powerData.split(',');
        main.audit.recordLevel = power.value(2).compare(QLatin1String("Y"), Qt::CaseInsensitive) == 0;
        main.audit.own = power.value(3);
        main.audit.same = power.value(4);
        main.audit.other = power.value(5);
    }
    auto pvdMain = std::make_unique<TableProvider>(s, main);
    pvdMain->setRowLimit(topRow_);
    providers_.emplace(QStringLiteral("pvdmain"), std::move(pvdMain));

    TableProvider::Options colour;
    colour.table = session_->table;
    colour.keyFields = trimmedKeys;
    colour.columns = trimmedKeys;
    colour.computed = colourColumns(trimmedKeys);
    colour.readOnly = true;
    providers_.emplace(QStringLiteral("pvdcolor"), std::make_unique<TableProvider>(s, colour));

    TableProvider::Options saved;
    saved.table = QStringLiteral("DOCUS");
    saved.keyFields = {QStringLiteral("NCONDITION"), QStringLiteral("CREATOR"), QStringLiteral("PROGRAMME")};
    saved.pinned = {{"CREATOR", session_->user}, {"PROGRAMME", session_->prog}};
    saved.readScope = kSchemeReadScope;
    saved.readScopeBinds = {session_->prog, session_->user, session_->group};
    // Schemes change only through the scheme calls, which keep the owner's group and the marks right.
    saved.canInsert = saved.canModify = false;
    providers_.emplace(QStringLiteral("pvdconsave"), std::make_unique<TableProvider>(s, saved));
}

// Colour settings per record: one column per coloured component of the program's colour definition
// (ADMNH), holding the settings text of the first condition the record meets (ColourRules.h). Refused
// conditions are logged and left out; the others still apply.
QList<TableProvider::Computed> ProgramServer::colourColumns(const QStringList& takenNames) {
    const QVariant xml =
        storage().scalar(QStringLiteral("SELECT NH003 FROM ADMNH WHERE NH001 = ?"), {session_->prog});
    if (!xml.isValid()) return {};
    ColourRuleSet rules = compileColourRules(storage(), session_->table, takenNames, xml.toString());
    for (const QString& why : std::as_const(rules.refused))
        qCWarning(lcProgramServer) << "colour rule of" << session_->prog << "refused:" << why;
    return rules.columns;
}

QString ProgramServer::svrData() const {
    if (!session_) return {};
    const Session& s = *session_;
    const QStringList lines = {
        QStringLiteral("M11_TABLE=") + s.table,
        QStringLiteral("M11_KEY=") + s.keys,
        QStringLiteral("M11_SELECT=") + s.select,
        QStringLiteral("D11_SELECT=") + s.detailSelect,
        QStringLiteral("D11_KEY=") + s.detailKeys,
        QStringLiteral("D11_TABLE=") + s.detailTable,
        QStringLiteral("H11_KEY=") + s.headKeys,
        QStringLiteral("H11_TABLE=") + (s.headKeys.isEmpty() ? QString() : s.table),
        QStringLiteral("MAX_RECORD=%1").arg(s.maxRecord),
        QStringLiteral("USER_GROUP=") + s.group,
        QStringLiteral("EX_POWER=") + s.exPower,
        QStringLiteral("GROUP_LIST=") + s.groupList,
        QStringLiteral("POWER_DATA=") + s.powerData,
        QStringLiteral("BaseLimited=") + s.baseLimited,
        QStringLiteral("USER_NAME=") + s.userName,
        QStringLiteral("COMPANY_NAME=") + s.companyName,
        QStringLiteral("PROGRAM_NAME=") + s.progName,
    };
    return lines.join(QLatin1String("\r\n"));
}

TableProvider& ProgramServer::provider(const QString& name) {
    requireSession();
    auto it = providers_.find(name.trimmed().toLower());
    if (it == providers_.end())
        throw kvx::AutomationError(QStringLiteral("Provider '%1' not found").arg(name).toStdString());
    return *it->second;
}

void ProgramServer::detachAll() {
    for (auto& [name, p] : providers_)
        p->detachCursor();
}

kvx::Variant ProgramServer::dataRequest(const QString& name, const kvx::Variant& data) {
    try {
        return provider(name).dataRequest(data);
    } catch (const GuardError& e) {
        throw kvx::AutomationError(e.what());
    }
}

kvx::DataPacket ProgramServer::getRecords(const QString& name, int count) {
    try {
        return provider(name).getRecords(count);
    } catch (const GuardError& e) {
        throw kvx::AutomationError(e.what());
    } catch (const StorageError& e) {
        throw kvx::AutomationError(e.what());
    }
}

kvx::ApplyResult ProgramServer::applyUpdates(const QString& name, const kvx::Delta& delta, int maxErrors) {
    TableProvider& p = provider(name);
    detachAll();
    try {
        return p.applyUpdates(delta, maxErrors);
    } catch (const StorageError& e) {
        throw kvx::AutomationError(e.what());
    }
}

// ShareConTable / SetDefaultCon: name, user, program, "Y" or "N". Only the owner marks a scheme; one
// default per user and program (setting it clears the user's others).
QString ProgramServer::markScheme(const VariantList& a, const QString& column) {
    requireSession();
    if (text(a, 1).compare(session_->user, Qt::CaseInsensitive) != 0)
        return QStringLiteral("只有方案的创建者可以更改它 (only the owner changes a scheme)");
    const QString name = text(a, 0), prog = text(a, 2).toUpper();
    const QString flag =
        text(a, 3).trimmed().toUpper() == QLatin1String("Y") ? QStringLiteral("Y") : QStringLiteral("N");
    detachAll();
    try {
        Storage::Transaction tx(storage());
        if (!storage()
                 .scalar(QStringLiteral(
                             "SELECT 1 FROM DOCUS WHERE NCONDITION = ? AND CREATOR = ? AND PROGRAMME = ?"),
                         {name, session_->user, prog})
                 .isValid())
            return QStringLiteral("方案 %1 不存在 (no such scheme)").arg(name);
        if (column == QLatin1String("IS_DEFAULT") && flag == QLatin1String("Y"))
            storage().exec(
                QStringLiteral("UPDATE DOCUS SET IS_DEFAULT = 'N' WHERE CREATOR = ? AND PROGRAMME = ?"),
                {session_->user, prog});
        // The group is the owner's current one: sharing follows the user into a new group.
        storage().exec(QStringLiteral("UPDATE DOCUS SET %1 = ?, USR_GROUP = ? WHERE NCONDITION = ? AND "
                                      "CREATOR = ? AND PROGRAMME = ?")
                           .arg(column),
                       {flag, session_->group, name, session_->user, prog});
        tx.commit();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

// InsertConTable: name, user, date, program, scheme text, page, replace flag.
QString ProgramServer::writeScheme(const VariantList& a) {
    requireSession();
    const QString name = text(a, 0), user = text(a, 1), prog = text(a, 3).toUpper();
    if (const QString why = checkSchemeName(name); !why.isEmpty()) return why;
    if (user.compare(session_->user, Qt::CaseInsensitive) != 0)
        return QStringLiteral("不能保存其他用户的方案 (schemes are saved for the connected user only)");
    const bool replace = a.size() > 6 && a[6].toBool();
    detachAll();
    try {
        Storage::Transaction tx(storage());
        const bool exists =
            storage()
                .scalar(QStringLiteral(
                            "SELECT 1 FROM DOCUS WHERE NCONDITION = ? AND CREATOR = ? AND PROGRAMME = ?"),
                        {name, session_->user, prog})
                .isValid();
        if (exists && !replace)
            return QStringLiteral("方案 %1 已存在 (a scheme of that name exists)").arg(name);
        if (exists)
            storage().exec(
                QStringLiteral("UPDATE DOCUS SET VCONDITION = ?, ActivePage = ?, CREATE_DATE = ? "
                               "WHERE NCONDITION = ? AND CREATOR = ? AND PROGRAMME = ?"),
                {a.value(4).toString(), int(a.value(5).toIntDef(0)), text(a, 2), name, session_->user, prog});
        else
            storage().exec(
                QStringLiteral("INSERT INTO DOCUS (NCONDITION, CREATOR, PROGRAMME, VCONDITION, ActivePage, "
                               "CREATE_DATE, USR_GROUP) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                {name, session_->user, prog, a.value(4).toString(), int(a.value(5).toIntDef(0)), text(a, 2),
                 session_->group});
        tx.commit();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

QString ProgramServer::deleteScheme(const VariantList& a) {
    requireSession();
    if (text(a, 1).compare(session_->user, Qt::CaseInsensitive) != 0)
        return QStringLiteral("不能删除其他用户的方案 (schemes of other users cannot be deleted)");
    detachAll();
    try {
        Storage::Transaction tx(storage());
        QSqlQuery q(storage().db());
        q.prepare(QStringLiteral("DELETE FROM DOCUS WHERE NCONDITION = ? AND CREATOR = ? AND PROGRAMME = ?"));
        for (const QString& v : {text(a, 0), session_->user, text(a, 2).toUpper()})
            q.addBindValue(v);
        if (!q.exec()) return q.lastError().text();
        if (q.numRowsAffected() == 0)
            return QStringLiteral("方案 %1 不存在 (no such scheme)").arg(text(a, 0));
        tx.commit();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

QString ProgramServer::renameScheme(const VariantList& o, const VariantList& n) {
    requireSession();
    if (const QString why = checkSchemeName(text(n, 0)); !why.isEmpty()) return why;
    if (text(o, 1).compare(session_->user, Qt::CaseInsensitive) != 0 ||
        text(n, 1).compare(session_->user, Qt::CaseInsensitive) != 0)
        return QStringLiteral("不能更改其他用户的方案 (schemes of other users cannot be renamed)");
    detachAll();
    try {
        Storage::Transaction tx(storage());
        const QString prog = text(o, 2).toUpper(), newProg = text(n, 2).toUpper();
        if (storage()
                .scalar(QStringLiteral(
                            "SELECT 1 FROM DOCUS WHERE NCONDITION = ? AND CREATOR = ? AND PROGRAMME = ?"),
                        {text(n, 0), session_->user, newProg})
                .isValid())
            return QStringLiteral("方案 %1 已存在 (a scheme of that name exists)").arg(text(n, 0));
        QSqlQuery q(storage().db());
        q.prepare(QStringLiteral(
            "UPDATE DOCUS SET NCONDITION = ?, PROGRAMME = ? WHERE NCONDITION = ? AND CREATOR = ? "
            "AND PROGRAMME = ?"));
        for (const QString& v : {text(n, 0), newProg, text(o, 0), session_->user, prog})
            q.addBindValue(v);
        if (!q.exec()) return q.lastError().text();
        if (q.numRowsAffected() == 0)
            return QStringLiteral("方案 %1 不存在 (no such scheme)").arg(text(o, 0));
        tx.commit();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

// ---------------------------------------------------------------------------------------------------

LookupServer::LookupServer(StorageConfig config)
    : DispatchObject(QStringLiteral("Halvex.Class1")), config_(std::move(config)) {
    auto storage = [this]() -> Storage& {
        if (!storage_) storage_ = openStorage(config_);
        return *storage_;
    };
    addMethod("Connect", [this, storage](VariantList& a) -> Variant {
        const VariantList v = flatten(a);
        // (user, company) or the program server's order (program, user, company, ...).
        const bool programFirst = v.size() >= 4;
        const QString user = text(v, programFirst ? 1 : 0), company = text(v, programFirst ? 2 : 1);
        if (!config_.boundUser.isEmpty() && user.compare(config_.boundUser, Qt::CaseInsensitive) != 0)
            return int(kUnknownUser);
        Storage& s = storage();
        if (!s.scalar(QStringLiteral("SELECT 1 FROM KVXMA WHERE MA001 = ? AND MA006 = 'Y'"), {user})
                 .isValid())
            return int(kUnknownUser);
        if (!s.scalar(QStringLiteral("SELECT 1 FROM KVXMB WHERE MB001 = ?"), {company}).isValid())
            return int(kUnknownCompany);
        user_ = user;
        company_ = company;
        return 0;
    });
    addMethod("Whatis", [](VariantList& a) -> Variant {
        const QString what = arg(a, 0).toString().trimmed().toUpper();
        if (what == QLatin1String("TODAY")) return QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
        if (what == QLatin1String("SQLTYPE")) return 1;
        return QString();
    });
    addMethod("SimpleSql", [this, storage](VariantList& a) -> Variant {
        if (user_.isEmpty()) throw kvx::AutomationError("Not connected: call Connect first");
        const QVariant db =
            storage().scalar(QStringLiteral("SELECT MB003 FROM KVXMB WHERE MB001 = ?"), {company_});
        return runSimpleSql(storage(), arg(a, 0).toString(), arg(a, 1).toString(), db.toString());
    });
    // LookupData(table, selector, [values]): rows of the lookup defined in F2LINK whose first column
    // starts with the first value, at most 200, as an array of row arrays.
    addMethod("LookupData", [this, storage](VariantList& a) -> Variant {
        if (user_.isEmpty()) throw kvx::AutomationError("Not connected: call Connect first");
        Storage& s = storage();
        QSqlQuery def(s.db());
        def.prepare(
            QStringLiteral("SELECT LK004, LK005 FROM F2LINK WHERE LK001 = '1' AND LK002 = ? AND LK003 = ?"));
        def.addBindValue(arg(a, 0).toString().trimmed().toUpper());
        def.addBindValue(arg(a, 1).toString().trimmed());
        if (!def.exec() || !def.next()) return Variant::null();
        const QString table = def.value(0).toString();
        const QStringList cols = def.value(1).toString().split(',', Qt::SkipEmptyParts);
        const VariantList values = arg(a, 2).isArray() ? arg(a, 2).toList() : VariantList{arg(a, 2)};
        const QString prefix = values.isEmpty() ? QString() : values[0].toString();
        QSqlQuery q(s.db());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 LIKE ? ESCAPE '\\' ORDER BY %3 LIMIT 200")
                      .arg(cols.join(','), table, cols.value(0)));
        QString escaped = prefix;
        escaped.replace('\\', "\\\\").replace('%', "\\%").replace('_', "\\_");
        q.addBindValue(escaped + QLatin1Char('%'));
        if (!q.exec()) throw kvx::AutomationError(q.lastError().text().toStdString());
        VariantList rows;
        while (q.next()) {
            VariantList row;
            for (int i = 0; i < cols.size(); ++i)
                row.append(q.value(i).toString());
            rows.append(Variant::fromList(row));
        }
        return rows.isEmpty() ? Variant::null() : Variant::fromList(rows);
    });
}

std::shared_ptr<kvx::Dispatch> createServerObject(const QString& progid, const StorageConfig& config) {
    const QString id = progid.trimmed().toLower();
    if (id == QLatin1String("trivon.class1")) return std::make_shared<ProgramServer>(config);
    if (id == QLatin1String("halvex.class1")) return std::make_shared<LookupServer>(config);
    if (id == QLatin1String("kvxcounter.class1")) return createCounterServer(config);
    return nullptr;
}

} // namespace kvxsrv

// Factories for CreateOleObject: the database comes from the installation tree's registry key.
extern "C" __attribute__((visibility("default"))) kvx::Dispatch* CreateTrivonServer(const char*) {
    return new kvxsrv::ProgramServer(kvxsrv::StorageConfig::inProcess());
}
extern "C" __attribute__((visibility("default"))) kvx::Dispatch* CreateHalvexServer(const char*) {
    return new kvxsrv::LookupServer(kvxsrv::StorageConfig::inProcess());
}
