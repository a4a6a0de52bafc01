// A fake work-center object and its three services, recording what the broker sends them.
#pragma once

#include "platform/Automation.h"
#include "server/Brokers.h"

#include <QHash>
#include <QWidget>

namespace brokertest {

using kvx::Variant;
using kvx::VariantList;

struct Call {
    QString method;
    VariantList args;
};

class Recorder : public kvx::DispatchObject {
public:
    using kvx::DispatchObject::DispatchObject;
    QList<Call> calls;
    int count(const QString& method) const {
        int n = 0;
        for (const Call& c : calls)
            n += c.method == method;
        return n;
    }
    const Call* last(const QString& method) const {
        for (int i = int(calls.size()) - 1; i >= 0; --i)
            if (calls[i].method == method) return &calls[i];
        return nullptr;
    }

protected:
    // A recorded method: the handler sees and may change the arguments.
    void addRecorded(const QString& name, Method m) {
        addMethod(name, [this, name, m](VariantList& args) {
            calls.append({name, args});
            return m(args);
        });
    }
};

class FakeValidator : public Recorder {
public:
    Variant productId, baseLimited;
    bool throwOnProperties = false;
    bool answer = true;
    bool throwOnCall = false;
    Variant checkResult; // written into the out argument
    QString maxSeq = QStringLiteral("0005");

    FakeValidator() : Recorder(QStringLiteral("Fake.Validator")) {
        auto guard = [this](const Variant& v, Variant& into) {
            if (throwOnProperties) throw kvx::AutomationError("property refused");
            into = v;
        };
        addProperty(
            QStringLiteral("ProductID"), [this] { return productId; },
            [this, guard](const Variant& v) { guard(v, productId); });
        addProperty(
            QStringLiteral("BaseLimited"), [this] { return baseLimited; },
            [this, guard](const Variant& v) { guard(v, baseLimited); });
        auto check = [this](VariantList& args) -> Variant {
            if (throwOnCall) throw kvx::AutomationError("validator down");
            args[4] = checkResult;
            return answer;
        };
        addRecorded(QStringLiteral("CheckValue"), check);
        addRecorded(QStringLiteral("QueryData"), check);
        addRecorded(QStringLiteral("QueryMaxSeq"), [this](VariantList& args) -> Variant {
            if (throwOnCall) throw kvx::AutomationError("validator down");
            args[6] = maxSeq;
            return answer;
        });
    }
};

class FakeCounter : public Recorder {
public:
    // Program master rows by code: MB002, MB011, MB012, MB013.
    QHash<QString, QStringList> programs;
    Variant sysInfo;
    Variant counterAnswer = QStringLiteral("done");

    FakeCounter() : Recorder(QStringLiteral("Fake.Counter")) {
        addRecorded(QStringLiteral("GETCOUNTER"), [this](VariantList& args) -> Variant {
            if (args[0].toString().compare(QLatin1String("SimpleSQL"), Qt::CaseInsensitive) != 0)
                return counterAnswer;
            const QString sql = args[1].at(0).toString();
            for (auto it = programs.begin(); it != programs.end(); ++it) {
                QString quoted = it.key();
                quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
                if (sql.endsWith(QStringLiteral("MB001='") + quoted + QLatin1Char('\''))) {
                    VariantList row;
                    for (const QString& s : it.value())
                        row.append(s);
                    return Variant::fromList({Variant::fromList(row)});
                }
            }
            return Variant(); // no rows
        });
        addRecorded(QStringLiteral("GetSysInfo"), [this](VariantList&) { return sysInfo; });
    }
};

class FakeF2Window : public Recorder {
public:
    Variant lookupAnswer = Variant::fromList({Variant::fromList({QStringLiteral("A01")})});
    int phraseRc = 0;
    bool calcThrows = false;

    FakeF2Window() : Recorder(QStringLiteral("Fake.F2Window")) {
        addRecorded(QStringLiteral("F2GetData"), [this](VariantList&) { return lookupAnswer; });
        addRecorded(QStringLiteral("GetPhrase2"), [this](VariantList& args) -> Variant {
            args[3] = args[3].toString() + QStringLiteral("-phrase");
            return phraseRc;
        });
        addRecorded(QStringLiteral("ShowCharaters"),
                    [](VariantList&) { return Variant::fromList({QStringLiteral("DOC-7")}); });
        addRecorded(QStringLiteral("GetCalcValue"), [this](VariantList& args) -> Variant {
            if (calcThrows) throw kvx::AutomationError("Method 'GetCalcValue' not supported");
            return QString::number(args[0].toString().split(QLatin1Char('+')).first().toInt() +
                                   args[0].toString().split(QLatin1Char('+')).last().toInt());
        });
    }
};

class FakeWorkCenter : public Recorder {
public:
    std::shared_ptr<FakeValidator> validator = std::make_shared<FakeValidator>();
    std::shared_ptr<FakeCounter> counter = std::make_shared<FakeCounter>();
    std::shared_ptr<FakeF2Window> f2 = std::make_shared<FakeF2Window>();
    QHash<QString, QString> catalogue; // "KIND/CODE" -> text
    QString failingService;            // a Com_ method that raises
    bool productIdThrows = false;
    int execRc = 0;

    FakeWorkCenter() : Recorder(QStringLiteral("Fake.WorkCenter")) {
        auto service = [this](const QString& name, std::shared_ptr<kvx::Dispatch> obj) {
            addRecorded(name, [this, name, obj](VariantList&) -> Variant {
                if (failingService == name) throw kvx::AutomationError("service refused");
                return Variant(obj);
            });
        };
        service(QStringLiteral("Com_Validator"), validator);
        service(QStringLiteral("Com_Counter"), counter);
        service(QStringLiteral("Com_F2Window"), f2);
        addRecorded(QStringLiteral("GetMessage"), [this](VariantList& args) -> Variant {
            return catalogue.value(args[0].toString() + QLatin1Char('/') + args[1].toString());
        });
        addRecorded(QStringLiteral("VersionType"), [](VariantList&) { return Variant(2); });
        addRecorded(QStringLiteral("ProductID"), [this](VariantList&) -> Variant {
            if (productIdThrows) throw kvx::AutomationError("no product");
            return 5;
        });
        addRecorded(QStringLiteral("ExecWork"), [this](VariantList& args) -> Variant {
            if (execRc >= 0) args[4] = QStringLiteral("child-result");
            return execRc;
        });
    }
};

// A window that owns a broker, with settable language settings, lookup state and rights.
class FakeWindow : public QWidget, public TBrokerOwner {
public:
    QString sysCodePage = QStringLiteral("936");
    QString uiCodePage = QStringLiteral("936");
    int langMode = 0;
    int lookupPhase = 0;
    Variant lookupParams, lookupResult;
    quint64 rights = 0;
    int afterMessages = 0;

    QString SysCodePage() const override { return sysCodePage; }
    QString UICodePage() const override { return uiCodePage; }
    int UILangMode() const override { return langMode; }
    QString ConvertUIString(const QString& text) const override {
        return langMode == 2 ? QStringLiteral("<tc>") + text : text;
    }
    int LookupPhase() const override { return lookupPhase; }
    void SetLookupParams(const Variant& params) override { lookupParams = params; }
    Variant LookupResult() const override { return lookupResult; }
    bool HasRight(int bit) const override { return (rights >> bit) & 1u; }
    void AfterMessage() override { ++afterMessages; }
};

// A broker that counts its beeps instead of sounding them.
class CountingBroker : public TBrokers {
public:
    using TBrokers::TBrokers;
    int beeps = 0;

protected:
    void Beep() override { ++beeps; }
};

} // namespace brokertest
