#include "ReadAhead.h"
#include "CounterServer.h"
#include "ServerEnv.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <thread>

using namespace kvxsrv;
using kvx::Variant;
using kvx::VariantList;

namespace {
using Calls = QList<ReadAheadAnswers::Call>;

StorageConfig inProcess(const apptest::ServerEnv& env) {
    StorageConfig c = env.config;
    c.shareInProcess = true;
    return c;
}

Variant context() {
    return Variant::fromList({"DEMO", "DEMO"});
}

ReadAheadAnswers::Call userDefine(const QString& section) {
    return {"GETCOUNTER", {"GetUserDefine", Variant::fromList({"DEMO", "DS", "QLDI05", section}), context()}};
}

ReadAheadAnswers::Call simpleSql(const QString& sql, const QString& fields) {
    return {"GETCOUNTER", {"SimpleSQL", Variant::fromList({sql, fields, "DEMO", "N"}), context()}};
}

// What a program start reads of the seeded demo data.
Calls startCalls() {
    return {
        {"CheckValue", {"ADMMB", "06", "DEMO", Variant::fromList({"QLDI05", "DEMO"}), Variant()}},
        {"GetSysInfo", {"DEMO"}},
        userDefine("InputSettings003"),
        userDefine("NumberFieldsSetting"),
        simpleSql("SELECT MR004,MR005 FROM ADMMR WHERE MR001= 'QLDI05'", "MR004,MR005"),
        simpleSql("SELECT MB001,MB002 FROM ADMMB ORDER BY MB001", "MB001,MB002"),
    };
}

// Computed as the controller does: on a thread of its own, which closes its connection when done.
std::shared_ptr<ReadAheadAnswers> computeOnThread(const StorageConfig& config, const Calls& calls) {
    std::shared_ptr<ReadAheadAnswers> set;
    std::thread t([&] { set = ReadAheadAnswers::compute(config, calls); });
    t.join();
    return set;
}

int useReadAhead(CounterServer& s, const std::shared_ptr<ReadAheadAnswers>& set) {
    VariantList args{Variant(std::shared_ptr<kvx::Dispatch>(set))};
    return int(s.invoke("UseReadAhead", args).toInt());
}

int endReadAhead(CounterServer& s) {
    VariantList none;
    return int(s.invoke("UseReadAhead", none).toInt());
}

std::string errorOf(CounterServer& s, const ReadAheadAnswers::Call& call) {
    VariantList args = call.args;
    try {
        s.invoke(call.method, args);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}
} // namespace

TEST(ReadAhead, AnswersAreTheDirectCallsAnswersFieldByFieldWithoutThisThreadsConnection) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    { Storage migrated(env.config); }
    const Calls calls = startCalls();
    const auto set = computeOnThread(inProcess(env), calls);
    ASSERT_EQ(set->answered(), calls.size());
    ASSERT_EQ(sharedInProcessConnections(), 0); // the thread's connection is closed

    CounterServer taker(inProcess(env));
    EXPECT_EQ(useReadAhead(taker, set), calls.size());
    QList<Variant> results;
    QList<VariantList> argsAfter;
    for (const auto& c : calls) {
        VariantList args = c.args;
        results << taker.invoke(c.method, args);
        argsAfter << args;
    }
    // Every answer came from the set: this thread has not opened the database.
    EXPECT_EQ(sharedInProcessConnections(), 0);
    EXPECT_EQ(endReadAhead(taker), calls.size());

    CounterServer direct(inProcess(env));
    for (int i = 0; i < calls.size(); ++i) {
        VariantList args = calls[i].args;
        const Variant expected = direct.invoke(calls[i].method, args);
        EXPECT_TRUE(results[i].identical(expected)) << calls[i].method.toStdString() << " " << i;
        ASSERT_EQ(argsAfter[i].size(), args.size());
        for (int j = 0; j < args.size(); ++j)
            EXPECT_TRUE(argsAfter[i][j].identical(args[j])) << "call " << i << " argument " << j;
    }
    // The program record really was read (found, its title in the by-reference result).
    EXPECT_TRUE(results[0].toBool());
    EXPECT_EQ(argsAfter[0][4].toList().value(0).toString(), QStringLiteral("文档传输设置作业"));
}

TEST(ReadAhead, AnswersServeOnceAndOnlyIdenticalArguments) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    { Storage migrated(env.config); }
    const auto set = computeOnThread(inProcess(env), {{"GetSysInfo", {"DEMO"}}});
    ASSERT_EQ(set->answered(), 1);
    CounterServer taker(inProcess(env));
    useReadAhead(taker, set);

    // Another company (here one that does not exist) is asked for real, and raises as it would.
    VariantList other{"NOSUCH"};
    EXPECT_THROW(taker.invoke("GetSysInfo", other), std::exception);
    // 1 is not the text "DEMO"; a method in another case still is the same method.
    VariantList number{1};
    EXPECT_THROW(taker.invoke("GetSysInfo", number), std::exception);
    EXPECT_EQ(set->taken(), 0);
    VariantList same{"DEMO"};
    const Variant first = taker.invoke("getsysinfo", same);
    EXPECT_EQ(set->taken(), 1);
    VariantList again{"DEMO"};
    const Variant second = taker.invoke("GetSysInfo", again); // run for real
    EXPECT_EQ(set->taken(), 1);
    EXPECT_TRUE(first.identical(second));
    EXPECT_EQ(first.at(0, 0).toString(), second.at(0, 0).toString());
}

TEST(ReadAhead, AFailedCallIsNotAnsweredAndRaisesItsOwnErrorWhenMade) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    { Storage migrated(env.config); }
    const ReadAheadAnswers::Call refused = simpleSql("DELETE FROM ADMMB", "MB001");
    const ReadAheadAnswers::Call unknownField = simpleSql("SELECT MB001 FROM ADMMB", "NOFIELD");
    const int programs = Storage(env.config).scalar("SELECT COUNT(*) FROM ADMMB").toInt();
    ASSERT_GT(programs, 0);
    const auto set = computeOnThread(inProcess(env), {refused, unknownField, {"GetSysInfo", {"DEMO"}}});
    EXPECT_EQ(set->answered(), 1);

    CounterServer direct(inProcess(env));
    const std::string refusedText = errorOf(direct, refused), fieldText = errorOf(direct, unknownField);
    ASSERT_NE(refusedText, "no error");
    ASSERT_NE(fieldText, "no error");
    CounterServer taker(inProcess(env));
    useReadAhead(taker, set);
    EXPECT_EQ(errorOf(taker, refused), refusedText);
    EXPECT_EQ(errorOf(taker, unknownField), fieldText);
    EXPECT_EQ(Storage(env.config).scalar("SELECT COUNT(*) FROM ADMMB").toInt(), programs); // nothing deleted
}

TEST(ReadAhead, AWriteOfThisProcessMakesEveryAnswerStale) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    { Storage migrated(env.config); }
    const ReadAheadAnswers::Call read = userDefine("InputSettings001");
    const auto set = computeOnThread(inProcess(env), {read});
    ASSERT_EQ(set->answered(), 1);

    CounterServer taker(inProcess(env));
    useReadAhead(taker, set);
    VariantList write{
        "SetUserDefine",
        Variant::fromList({"DEMO", "DS", "QLDI05", "InputSettings001", "<Settings>changed</Settings>"}),
        context()};
    ASSERT_EQ(taker.invoke("GETCOUNTER", write).toString(), QString());
    VariantList args = read.args;
    // The setting as stored now, not as read before the write.
    EXPECT_TRUE(taker.invoke(read.method, args).toString().contains(QStringLiteral("changed")));
    EXPECT_EQ(set->taken(), 0);
}

TEST(ReadAhead, RunsNoWritingCallAndWritesNothing) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    { Storage migrated(env.config); }
    const Calls writes = {
        {"GETCOUNTER",
         {"SetUserDefine", Variant::fromList({"DEMO", "DS", "QLDI05", "InputSettings001", "<x/>"}),
          context()}},
        {"GETCOUNTER", {"TransactionSQL", Variant::fromList({"DELETE FROM USRDEF"}), context()}},
        {"AddPhrase", {"DEMO", "DS", "phrase"}},
        {"QueryMaxSeq", {"ADMMB", "MB001,", Variant::fromList({""}), "Q", "QLDI05", "DEMO", Variant()}},
    };
    for (const auto& c : writes)
        EXPECT_FALSE(ReadAheadAnswers::isReadOnly(c)) << c.method.toStdString();
    const quint64 before = Storage::writeGeneration();
    const auto set = computeOnThread(inProcess(env), writes);
    EXPECT_EQ(set->answered(), 0);
    EXPECT_EQ(Storage::writeGeneration(), before);
    CounterServer direct(inProcess(env));
    VariantList args = userDefine("InputSettings001").args;
    EXPECT_NE(direct.invoke("GETCOUNTER", args).toString(), QStringLiteral("<x/>"));
}

TEST(ReadAhead, NeverCreatesOrMigratesADatabase) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    QTemporaryDir dir;
    StorageConfig missing = inProcess(env);
    missing.databaseFile = dir.filePath("none.db");
    EXPECT_EQ(computeOnThread(missing, startCalls())->answered(), 0);
    EXPECT_FALSE(QFileInfo::exists(missing.databaseFile));

    StorageConfig older = inProcess(env);
    older.databaseFile = dir.filePath("older.db");
    older.migrateUpTo = 10;
    { Storage made(older); }
    older.migrateUpTo = -1;
    EXPECT_EQ(computeOnThread(older, startCalls())->answered(), 0);
    older.runMigrations = false;
    EXPECT_EQ(Storage(older).schemaVersion(), 10);
}

TEST(ReadAhead, ADaemonsCounterNeitherReadsAheadNorTakesAnswers) {
    APPTEST_SQLITE_ONLY();
    apptest::ServerEnv env;
    { Storage migrated(env.config); }
    StorageConfig socket = env.config; // a session's objects: no in-process sharing
    socket.boundUser = "DS";
    CounterServer s(socket);
    VariantList list{Variant::fromList({Variant::fromList({"GetSysInfo", Variant::fromList({"DEMO"})})})};
    EXPECT_TRUE(s.invoke("ReadAhead", list).isEmptyOrNull());
    const auto set = computeOnThread(inProcess(env), {{"GetSysInfo", {"DEMO"}}});
    EXPECT_EQ(useReadAhead(s, set), 0);
    VariantList args{"DEMO"};
    s.invoke("GetSysInfo", args);
    EXPECT_EQ(set->taken(), 0);

    // In process the same method computes on the calling thread and hands back the set.
    CounterServer local(inProcess(env));
    const Variant made = local.invoke("ReadAhead", list);
    auto computed = std::dynamic_pointer_cast<ReadAheadAnswers>(made.toDispatch());
    ASSERT_TRUE(computed);
    EXPECT_EQ(computed->answered(), 1);
    VariantList malformed{Variant::fromList({"GetSysInfo"})};
    EXPECT_THROW(local.invoke("ReadAhead", malformed), std::exception);
}
