// Shared set-up of the work-center tests: a temporary installation tree whose registry knows the built
// classes (work center, counter server), a database seeded on first use, late-bound access to the work
// center as the broker has it, and a helper that answers the next modal window.
#pragma once

#include "Storage.h"
#include "TempTree.h"
#include "platform/Automation.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace wctest {

using kvx::Variant;
using kvx::VariantList;

inline void registerBuiltClasses(kvxtest::TempTree& tree) {
    QFile classes(qEnvironmentVariable("KVX_BUILD_DIR") + "/classes.ini");
    ASSERT_TRUE(classes.open(QIODevice::ReadOnly));
    QFile reg(tree.registryPath());
    ASSERT_TRUE(reg.open(QIODevice::Append));
    reg.write("\n" + classes.readAll());
}

struct Env {
    kvxtest::TempTree tree;
    kvxsrv::StorageConfig config;
    std::unique_ptr<kvxsrv::Storage> db; // the test's own connection, for checking what was written

    Env() {
        registerBuiltClasses(tree);
        config.serverPath = tree.serverPath();
        db = std::make_unique<kvxsrv::Storage>(config);
    }

    std::shared_ptr<kvx::Dispatch> workCenter() { return kvx::CreateOleObject("PellanWorkCenter.Manager"); }
    static std::shared_ptr<kvx::Dispatch> service(const std::shared_ptr<kvx::Dispatch>& wc,
                                                  const char* name) {
        return wc->call(QString::fromLatin1(name)).toDispatch();
    }
    QVariant scalar(const QString& sql, const QVariantList& binds = {}) { return db->scalar(sql, binds); }
    int count(const QString& sql, const QVariantList& binds = {}) { return scalar(sql, binds).toInt(); }
};

// The broker's counter call: GETCOUNTER(name, params, [company, database]).
inline Variant counter(const std::shared_ptr<kvx::Dispatch>& c, const QString& name, const Variant& params,
                       const QString& company = "DEMO", const QString& db = "DEMO") {
    VariantList args{name, params, Variant::fromList({company, db})};
    return c->invoke("GETCOUNTER", args);
}

inline QString errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

// Runs `act` on the next modal window as soon as it is shown (polling the event loop).
inline void onNextModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    QObject::connect(timer, &QTimer::timeout, [timer, act, elapsed] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w && elapsed->elapsed() < 5000) return;
        timer->stop();
        timer->deleteLater();
        if (!w) return;
        act(w);
        // A window the test left open is closed, so that a failing test cannot hang.
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
    });
    timer->start(10);
}

} // namespace wctest
