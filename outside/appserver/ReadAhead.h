// ReadAhead: answers of read-only counter calls computed ahead of time, on another thread and by another
// counter object, for the counter object that will be asked them a few milliseconds later (a program's
// start: its window is built on the main thread meanwhile; docs/appserver.md "Read-ahead").
//
// ReadAheadAnswers::compute runs the calls on a counter object of its own (on the calling thread, so on
// that thread's own connection, opened without migrations). Only calls whose answer depends on nothing but
// their arguments and the database, and which write nothing, are run (isReadOnly); and only on a SQLite
// database that exists and has the latest schema (a read-ahead never creates, migrates or logs in to a
// database). The answers are plain values: the set is handed to the counter object that will take them
// (CounterServer's UseReadAhead), on any thread, once compute has returned.
//
// take() hands an answer out once, when the method (without case) and every argument are identical to a
// call of the set. It is not handed out, and the caller runs the call itself, when
// - the call raised an error (the caller's own call raises it, and logs, where it always did),
// - this process wrote to a database after the call began (Storage::writeGeneration), or
// - the answer is older than kMaxAge (the answers belong to the start that asked for them).
#pragma once

#include "Storage.h"
#include "platform/Dispatch.h"
#include "platform/Variant.h"

#include <chrono>
#include <memory>
#include <mutex>

namespace kvxsrv {

class ReadAheadAnswers : public kvx::Dispatch {
public:
    struct Call {
        QString method;
        kvx::VariantList args;
    };

    // Far beyond a start (a start under valgrind takes seconds); a host that shows the window late
    // drops the answers itself (UseReadAhead()).
    static constexpr std::chrono::milliseconds kMaxAge{10000};

    // Runs the read-only calls of `calls` now, on a counter object of this configuration; an empty set
    // when the database is not read ahead (see above). Raises nothing: a failed call is not answered.
    static std::shared_ptr<ReadAheadAnswers> compute(const StorageConfig& config, const QList<Call>& calls);

    // The answer of (method, args): the result, and in `args` the arguments as the call left them.
    bool take(const QString& method, kvx::VariantList& args, kvx::Variant& result);
    // Answers kept (not failed), answers handed out.
    int answered() const;
    int taken() const;

    static bool isReadOnly(const Call& call);

    // Dispatch: a value with no members (it only travels between the counter objects).
    kvx::Variant invoke(const QString& name, kvx::VariantList& args) override;
    kvx::Variant getProperty(const QString& name) override;
    void setProperty(const QString& name, const kvx::Variant& value) override;
    QString className() const override;

private:
    struct Answer {
        Call call;
        kvx::Variant result;
        kvx::VariantList argsAfter;
        quint64 generation = 0; // Storage::writeGeneration() when the call began
        std::chrono::steady_clock::time_point began;
        bool taken = false;
    };
    mutable std::mutex mutex_;
    QList<Answer> answers_;
    int taken_ = 0;
};

} // namespace kvxsrv
