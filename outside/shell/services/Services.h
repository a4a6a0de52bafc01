// The work center's service objects, handed out by Com_Counter, Com_Validator and Com_F2Window. They are
// late-bound objects like the work center itself and share its session.
//
// Counter   GETCOUNTER(name, params, [company, database]), GetSysInfo(company) — run by the application
//           server's counter object; UseReadAhead(answers) / UseReadAhead() there when it runs in process.
// Validator CheckValue / QueryData (table, key, database, params, out result) → found;
//           QueryMaxSeq(table, field list, values, prefix, program, database, out number) → found;
//           properties ProductID and BaseLimited, passed on to the server with each call.
// F2Window  F2GetData(parameter array) → [[chosen row]] or Unassigned; GetPhrase2(user, company,
//           window, var text) → 0 or -1; ShowCharaters(user, company, mode, flag, window) → the chosen
//           document [id, version, title, file] or Unassigned; GetCalcValue(expression, window) → text.
#pragma once

#include "Session.h"
#include "platform/Automation.h"

#include <memory>

class QWidget;

namespace pellan {

class CounterService : public kvx::DispatchObject {
public:
    explicit CounterService(std::shared_ptr<Session> session);

private:
    std::shared_ptr<Session> session_;
};

class ValidatorService : public kvx::DispatchObject {
public:
    explicit ValidatorService(std::shared_ptr<Session> session);

private:
    std::shared_ptr<Session> session_;
    kvx::Variant productId_ = 3;
    kvx::Variant baseLimited_ = QStringLiteral("N");

    kvx::Variant forward(const QString& method, kvx::VariantList& args, int outIndex, int argCount);
};

class F2WindowService : public kvx::DispatchObject {
public:
    explicit F2WindowService(std::shared_ptr<Session> session);

    // The window a dialog is shown over: the widget of the given handle, else none.
    static QWidget* ownerOf(const kvx::Variant& handle);

private:
    std::shared_ptr<Session> session_;
    QString lastError_;

    kvx::Variant lookup(const kvx::Variant& request);
    kvx::Variant phrase(kvx::VariantList& args);
    kvx::Variant pickDocument(kvx::VariantList& args);
    kvx::Variant calculate(kvx::VariantList& args);
};

} // namespace pellan
