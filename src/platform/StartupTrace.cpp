#include "StartupTrace.h"

#include <QLoggingCategory>
#include <ctime>
#include <mutex>

namespace kvx {
namespace {

Q_LOGGING_CATEGORY(lcStartup, "kvx.startup")

double clockMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Timeline {
    std::mutex mutex;
    bool started = false;
    double startWall = 0; // the process start, on the monotonic clock
    double lastWall = 0;
    double lastCpu = 0;
};

Timeline& timeline() {
    static Timeline t;
    return t;
}

} // namespace

bool startupTraceEnabled() {
    static const bool enabled = [] {
        const QByteArray v = qgetenv("KVX_STARTUP_TRACE");
        return !v.isEmpty() && v != "0";
    }();
    return enabled;
}

void startupCheckpoint(const char* phase) {
    if (!startupTraceEnabled()) return;
    Timeline& t = timeline();
    std::lock_guard lock(t.mutex);
    const double wall = clockMs(CLOCK_MONOTONIC);
    const double cpu = clockMs(CLOCK_PROCESS_CPUTIME_ID);
    if (!t.started) {
        t.started = true;
        t.startWall = wall - cpu;
        t.lastWall = t.startWall;
    }
    qCInfo(lcStartup, "%7.1f ms  (+%5.1f, cpu +%5.1f, thread %5.1f)  %s", wall - t.startWall,
           wall - t.lastWall, cpu - t.lastCpu, clockMs(CLOCK_THREAD_CPUTIME_ID), phase);
    t.lastWall = wall;
    t.lastCpu = cpu;
}

} // namespace kvx
