// MemoryPrefault: the pages the main thread is about to touch, mapped ahead by another thread.
//
// A start touches some 2.5 MB of fresh heap and the code of a dozen large libraries for the first time;
// each first touch is a page fault the main thread pays (a fresh heap page costs several microseconds on
// a virtual machine: the kernel allocates and clears it). Page tables belong to the process, not to a
// thread, so a page that another thread populated faults no more. reserveHeap(), at the top of main, makes
// the main heap grow ahead of its use in one step; populate(), on a thread that is otherwise idle,
// populates that reserve (MADV_POPULATE_WRITE) and the executable segments of the loaded libraries
// (MADV_POPULATE_READ; their pages are in the page cache, only the mappings are missing). Neither changes
// what any page holds. On a kernel without the populate advice (before Linux 5.14) nothing happens.
//
// Opt-in (KVX_STARTUP_PREFAULT=1): on the machine it was measured on, it took some 700 faults off the main
// thread (about 1,940 to 1,230) without changing the main thread's CPU time to the first paint, and cost
// the start-up thread 2 to 3 ms; docs/architecture.md "Start-up" has the figures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pellan {

struct PrefaultCounts {
    std::size_t heapBytes = 0; // main heap range populated for writing
    std::size_t codeBytes = 0; // executable segments populated for reading
    int libraries = 0;         // loaded objects whose code was populated
    bool heapSupported = true; // false when the kernel refused the advice
};

class MemoryPrefault {
public:
    // The heap reserve: what one QLDI05 start uses of the main heap after main, with some room.
    static constexpr std::size_t kHeapReserve = std::size_t(3) << 20;

    // On the main thread, before anything allocates much: the main heap grows by at least `reserve` beyond
    // each request (M_TOP_PAD, which also keeps that much when the heap shrinks). Returns the heap's
    // current end: where populate() starts.
    static std::uintptr_t reserveHeap(std::size_t reserve = kHeapReserve);

    // On any thread: populates the main heap from `heapStart` (what reserveHeap() returned; 0 for none) to
    // its current end, and the executable segments of the loaded objects whose file name contains one of
    // `libraries` (all loaded objects when null). Safe while the main thread allocates: a page it touched
    // first is left as it is.
    static PrefaultCounts populate(std::uintptr_t heapStart, const char* const* libraries = nullptr);

    // The executable segments populate() maps for `libraries`: page-aligned [begin, end) ranges.
    struct Range {
        std::uintptr_t begin;
        std::uintptr_t end;
    };
    static std::vector<Range> codeSegments(const char* const* libraries, int* objects = nullptr);
    // The range of the main heap populate() maps now from `heapStart`; empty for 0.
    static Range heapRange(std::uintptr_t heapStart);

    // On with KVX_STARTUP_PREFAULT=1 while the start-up thread runs (not KVX_STARTUP_PRELOAD=0).
    static bool enabled();
};

} // namespace pellan
