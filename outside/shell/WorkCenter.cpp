#include "WorkCenter.h"

#include "services/Services.h"
#include "services/Session.h"

using kvx::Variant;
using kvx::VariantList;
using pellan::Session;

using kvx::refuse;
using kvx::textArg;

TPellanWorkCenter::TPellanWorkCenter()
    : DispatchObject(QStringLiteral("PellanWorkCenter.Manager")),
      session_(std::make_shared<Session>(std::make_unique<pellan::ServerLink>())), ownsSession_(true) {
    std::weak_ptr<Session> weak = session_;
    session_->newWorkCenter = [weak]() -> Variant {
        auto s = weak.lock();
        if (!s) return {};
        return Variant(std::shared_ptr<kvx::Dispatch>(std::make_shared<TPellanWorkCenter>(s)));
    };
    addMembers();
}

TPellanWorkCenter::TPellanWorkCenter(std::shared_ptr<Session> session)
    : DispatchObject(QStringLiteral("PellanWorkCenter.Manager")), session_(std::move(session)) {
    addMembers();
}

TPellanWorkCenter::~TPellanWorkCenter() {
    // The windows of started programs hold work centers of this session: close them with their shell.
    if (ownsSession_) session_->closePrograms();
}

void TPellanWorkCenter::addMembers() {
    addMethod(QStringLiteral("DependencyVersion"), [](VariantList&) { return Variant(InterfaceVersion); });
    addMethod(QStringLiteral("VersionType"), [](VariantList&) { return Variant(Edition); });
    addMethod(QStringLiteral("ProductID"), [](VariantList&) { return Variant(Product); });
    addMethod(QStringLiteral("GetMessage"), [this](VariantList& a) -> Variant {
        const QString kind = textArg(a, 0), code = textArg(a, 1);
        if (kind.isEmpty() || code.isEmpty())
            refuse(QStringLiteral("GetMessage: a kind and a code are required"));
        return session_->server().call(QStringLiteral("GetMessage"), {kind, code, Session::language()});
    });
    // Connect([user, company, database]): opens the connection to the application server; with a
    // company, checks that the database is the company's. 0 on success; failures raise with the reason.
    addMethod(QStringLiteral("Connect"), [this](VariantList& a) -> Variant {
        const VariantList v = a.size() == 1 && a[0].isArray() ? a[0].toList() : a;
        const QString user = textArg(v, 0), company = textArg(v, 1), db = textArg(v, 2);
        session_->server().connect();
        if (!company.isEmpty()) {
            const QString actual =
                session_->server().call(QStringLiteral("CompanyDatabase"), {company}).toString();
            if (!db.isEmpty() && actual.compare(db, Qt::CaseInsensitive) != 0)
                refuse(QStringLiteral("公司 %1 的数据库是 %2, 不是 %3 (wrong database)")
                           .arg(company, actual, db));
            session_->login = {user, company, actual};
        }
        return 0;
    });
    // ExecWork([user, company, program, window], param, options, caller, var result) → code
    addMethod(QStringLiteral("ExecWork"), [this](VariantList& a) -> Variant {
        while (a.size() < 5)
            a.append(Variant());
        Variant result;
        int rc = pellan::kExecUnexpected;
        try {
            rc = session_->programs().run(a[0], a[1], a[2], result);
        } catch (const std::exception&) {
            rc = pellan::kExecUnexpected;
        }
        a[4] = result;
        return rc;
    });
    addProperty(QStringLiteral("LastExecError"),
                [this] { return Variant(session_->programs().lastError()); });
    addMethod(QStringLiteral("CallHelp"), [this](VariantList& a) -> Variant {
        return session_->help().show(textArg(a, 0), textArg(a, 1));
    });
    addMethod(QStringLiteral("Com_Validator"), [this](VariantList&) {
        return Variant(std::shared_ptr<kvx::Dispatch>(std::make_shared<pellan::ValidatorService>(session_)));
    });
    addMethod(QStringLiteral("Com_F2Window"), [this](VariantList&) {
        return Variant(std::shared_ptr<kvx::Dispatch>(std::make_shared<pellan::F2WindowService>(session_)));
    });
    addMethod(QStringLiteral("Com_Counter"), [this](VariantList&) {
        return Variant(std::shared_ptr<kvx::Dispatch>(std::make_shared<pellan::CounterService>(session_)));
    });
}

kvx::Dispatch* CreatePellanWorkCenter(const char*) {
    return new TPellanWorkCenter;
}
