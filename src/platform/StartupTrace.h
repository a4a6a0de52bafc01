// Opt-in start-up timeline. With KVX_STARTUP_TRACE set (to anything but "0") every checkpoint logs one line
// through the kvx.startup category: wall milliseconds since the process started, the step since the
// previous checkpoint, the CPU the process (all its threads) used in that step, and the CPU the marking
// thread has used in all. Off, a checkpoint costs a test of a flag. Any layer and any thread may mark a
// phase; lines come out in the order they are marked.
//
// The process start is taken as the first checkpoint's time minus the CPU the process had used by then:
// before main the process runs one thread loading its libraries, which is CPU-bound once the files are
// cached, so that CPU is the time since exec.
#pragma once

namespace kvx {

bool startupTraceEnabled();
// Logs that `phase` has ended, when the trace is on.
void startupCheckpoint(const char* phase);

} // namespace kvx
