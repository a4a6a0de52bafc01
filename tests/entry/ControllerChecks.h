// What the controller tests of both builds check with: a work center without `DependencyVersion`, the
// text of the exception a call raises, and the texts of the message boxes shown so far.
#pragma once

#include "platform/Automation.h"
#include "platform/DialogService.h"

#include <QProcess>
#include <QSet>
#include <QStringList>
#include <functional>

namespace kvxtest {

class EmptyWorkCenter : public kvx::DispatchObject {
public:
    EmptyWorkCenter() : DispatchObject("Empty.WorkCenter") {}
};

inline const QString kFailed = "PellanWorkCenter version too old,please update!";

// The exception text `f` raises, or "<no exception>".
inline QString messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("<no exception>");
}

inline QStringList shownTexts() {
    QStringList out;
    for (const kvx::MessageRequest& r : kvx::DialogService::instance().shown())
        out << r.text;
    return out;
}

// The dynamic symbols a shared library defines (nm -D --defined-only); {"<nm failed>"} when nm fails.
inline QSet<QString> definedDynamicSymbols(const QString& library) {
    QProcess nm;
    nm.start("nm", {"-D", "--defined-only", library});
    if (!nm.waitForFinished(30000) || nm.exitCode() != 0) return {QStringLiteral("<nm failed>")};
    QSet<QString> defined;
    for (const QString& line :
         QString::fromLocal8Bit(nm.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(' ', Qt::SkipEmptyParts);
        if (parts.size() >= 3) defined.insert(parts.at(2));
    }
    return defined;
}

} // namespace kvxtest
