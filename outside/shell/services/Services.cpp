#include "Services.h"

#include "CalcExpression.h"
#include "LookupWindow.h"
#include "PhraseWindow.h"
#include "platform/DialogService.h"

#include <QWidget>

namespace pellan {

using kvx::refuse;
using kvx::Variant;
using kvx::VariantList;

namespace {
QString textOf(const Variant& v) {
    if (v.isEmptyOrNull()) return {};
    if (v.isArray()) refuse(QStringLiteral("a text was expected, not an array"));
    return v.toString();
}

QStringList texts(const VariantList& row) {
    QStringList out;
    for (const Variant& v : row)
        out << (v.isEmptyOrNull() || v.isArray() ? QString() : v.toString());
    return out;
}

// The phrases of one user, kept by the application server.
class ServerPhraseStore : public PhraseStore {
public:
    ServerPhraseStore(ServerLink& link, QString company, QString user)
        : link_(link), company_(std::move(company)), user_(std::move(user)) {}
    QStringList phrases() override {
        return texts(link_.call(QStringLiteral("Phrases"), {company_, user_}).toList());
    }
    void add(const QString& p) override { link_.call(QStringLiteral("AddPhrase"), {company_, user_, p}); }
    void remove(const QString& p) override {
        link_.call(QStringLiteral("DeletePhrase"), {company_, user_, p});
    }

private:
    ServerLink& link_;
    QString company_, user_;
};
} // namespace

// --- counter ------------------------------------------------------------------------------------------

CounterService::CounterService(std::shared_ptr<Session> session)
    : DispatchObject(QStringLiteral("PellanWorkCenter.Counter")), session_(std::move(session)) {
    addMethod(QStringLiteral("GETCOUNTER"), [this](VariantList& a) -> Variant {
        const Variant name = arg(a, 0);
        if (!name.isString() || name.toString().trimmed().isEmpty())
            refuse(QStringLiteral("GETCOUNTER: the first argument must be the name of a server function"));
        VariantList args{name, arg(a, 1), arg(a, 2)};
        return session_->server().invoke(QStringLiteral("GETCOUNTER"), args);
    });
    addMethod(QStringLiteral("GetSysInfo"), [this](VariantList& a) -> Variant {
        VariantList args{arg(a, 0)};
        return session_->server().invoke(QStringLiteral("GetSysInfo"), args);
    });
    // UseReadAhead(answers) / UseReadAhead(): the counter object in process hands out answers read ahead
    // by another counter object (docs/appserver.md); over the socket none is used (0), and no connection
    // is made for it.
    addMethod(QStringLiteral("UseReadAhead"), [this](VariantList& a) -> Variant {
        ServerLink& server = session_->server();
        if (!server.inProcess()) return 0;
        VariantList args{arg(a, 0)};
        return server.invoke(QStringLiteral("UseReadAhead"), args);
    });
}

// --- validator ----------------------------------------------------------------------------------------

ValidatorService::ValidatorService(std::shared_ptr<Session> session)
    : DispatchObject(QStringLiteral("PellanWorkCenter.Validator")), session_(std::move(session)) {
    addMethod(QStringLiteral("CheckValue"),
              [this](VariantList& a) { return forward(QStringLiteral("CheckValue"), a, 4, 5); });
    addMethod(QStringLiteral("QueryData"),
              [this](VariantList& a) { return forward(QStringLiteral("QueryData"), a, 4, 5); });
    addMethod(QStringLiteral("QueryMaxSeq"),
              [this](VariantList& a) { return forward(QStringLiteral("QueryMaxSeq"), a, 6, 7); });
    addProperty(
        QStringLiteral("ProductID"), [this] { return productId_; },
        [this](const Variant& v) { productId_ = v; });
    addProperty(
        QStringLiteral("BaseLimited"), [this] { return baseLimited_; },
        [this](const Variant& v) { baseLimited_ = v; });
}

Variant ValidatorService::forward(const QString& method, VariantList& a, int outIndex, int argCount) {
    if (a.size() < outIndex)
        refuse(QStringLiteral("%1: %2 arguments expected, got %3").arg(method).arg(argCount).arg(a.size()));
    VariantList args = a;
    while (args.size() < argCount)
        args.append(Variant());
    args[outIndex] = Variant();
    ServerLink& server = session_->server();
    server.setProperty(QStringLiteral("ProductID"), productId_);
    server.setProperty(QStringLiteral("BaseLimited"), baseLimited_);
    const Variant found = server.invoke(method, args);
    if (outIndex < a.size()) a[outIndex] = args[outIndex];
    return found;
}

// --- lookup windows -----------------------------------------------------------------------------------

F2WindowService::F2WindowService(std::shared_ptr<Session> session)
    : DispatchObject(QStringLiteral("PellanWorkCenter.F2Window")), session_(std::move(session)) {
    addMethod(QStringLiteral("F2GetData"), [this](VariantList& a) { return lookup(arg(a, 0)); });
    addMethod(QStringLiteral("GetPhrase2"), [this](VariantList& a) { return phrase(a); });
    addMethod(QStringLiteral("ShowCharaters"), [this](VariantList& a) { return pickDocument(a); });
    addMethod(QStringLiteral("GetCalcValue"), [this](VariantList& a) { return calculate(a); });
    addProperty(QStringLiteral("LastError"), [this] { return Variant(lastError_); });
}

QWidget* F2WindowService::ownerOf(const Variant& handle) {
    bool ok = false;
    const qint64 h = handle.isString() ? handle.toString().toLongLong(&ok) : handle.toIntDef(0);
    if (h == 0) return nullptr;
    QWidget* w = QWidget::find(WId(h));
    return w ? w->window() : nullptr;
}

// [0] lookup code, [1] selector, [2] condition values (the first is the initial search text), …,
// [5] company, [6] database, [7] window handle; see docs/workcenter.md.
Variant F2WindowService::lookup(const Variant& request) {
    if (!request.isArray() || request.dimCount() != 1 || request.toList().size() < 2)
        refuse(QStringLiteral("F2GetData: the argument must be the lookup parameter array"));
    const VariantList p = request.toList();
    const QString code = textOf(p[0]).trimmed(), selector = textOf(p[1]).trimmed();
    if (code.isEmpty()) refuse(QStringLiteral("F2GetData: no lookup named"));
    const VariantList answer =
        session_->server().call(QStringLiteral("LookupRows"), {code, selector}).toList();
    const QStringList headers = texts(answer.value(1).toList());
    const VariantList rows = answer.value(2).isArray() ? answer[2].toList() : VariantList{};
    QList<QStringList> shown;
    for (const Variant& r : rows)
        shown << texts(r.toList());

    QString search;
    const Variant cond = p.size() > 2 ? p[2] : Variant();
    for (const Variant& v : cond.isArray() ? cond.toList() : VariantList{cond})
        if (!v.isArray() && !v.isEmptyOrNull() && !v.toString().trimmed().isEmpty()) {
            search = v.toString().trimmed();
            break;
        }

    LookupWindow w(QStringLiteral("开窗查询 - %1").arg(code), headers, shown,
                   ownerOf(p.size() > 7 ? p[7] : Variant()));
    w.setSearchText(search);
    if (w.exec() != QDialog::Accepted || w.chosenIndex() < 0) return Variant();
    return Variant::fromList({rows[w.chosenIndex()]});
}

// (user, company, window, var text) → 0 with the chosen phrase in text, -1 when cancelled
Variant F2WindowService::phrase(VariantList& a) {
    const QString user = textOf(arg(a, 0)).trimmed(), company = textOf(arg(a, 1)).trimmed();
    if (user.isEmpty() || company.isEmpty())
        refuse(QStringLiteral("GetPhrase2: user and company are required"));
    while (a.size() < 4)
        a.append(Variant());
    ServerPhraseStore store(session_->server(), company, user);
    // Reading first, so that a server failure is reported to the caller rather than in an empty window.
    store.phrases();
    PhraseWindow w(store, textOf(a[3]), ownerOf(arg(a, 2)));
    if (w.exec() != QDialog::Accepted) return -1;
    a[3] = w.chosenText();
    return 0;
}

// (user, company, mode, flag, window) → [id, version, title, file] or Unassigned; mode 1 lists the
// user's own documents, any other mode all documents. The flag is accepted and not used.
Variant F2WindowService::pickDocument(VariantList& a) {
    const QString user = textOf(arg(a, 0)).trimmed();
    const Variant mode = arg(a, 2);
    const VariantList rows =
        session_->server().call(QStringLiteral("Documents"), {user, mode.toIntDef(2)}).toList();
    QList<QStringList> shown;
    for (const Variant& r : rows)
        shown << texts(r.toList());
    LookupWindow w(QStringLiteral("文档选择"),
                   {QStringLiteral("文档编号"), QStringLiteral("版本"), QStringLiteral("文档名称"),
                    QStringLiteral("文件")},
                   shown, ownerOf(arg(a, 4)));
    w.setObjectName(QStringLiteral("frmDocuments"));
    if (w.exec() != QDialog::Accepted || w.chosenIndex() < 0) return Variant();
    return rows[w.chosenIndex()];
}

// (expression, window) → the value as text. A bad expression is shown to the user with its reason and
// gives an empty text (kept in LastError); a blank expression gives an empty text.
Variant F2WindowService::calculate(VariantList& a) {
    const QString expression = textOf(arg(a, 0));
    lastError_.clear();
    if (expression.trimmed().isEmpty()) return QString();
    const CalcResult r = CalcExpression::evaluate(expression);
    if (r.ok) return r.text;
    lastError_ = QStringLiteral("算式错误 (invalid expression) \"%1\": %2").arg(expression, r.error);
    kvx::MessageRequest m;
    m.type = kvx::MsgDlgType::Error;
    m.buttons = kvx::mbOK;
    m.caption = QStringLiteral("计算器");
    m.text = lastError_;
    m.parent = ownerOf(arg(a, 1));
    kvx::DialogService::instance().showMessage(m);
    return QString();
}

} // namespace pellan
