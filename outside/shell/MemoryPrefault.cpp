#include "MemoryPrefault.h"

#include <QByteArray>
#include <cstdint>
#include <cstring>
#include <link.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22
#endif
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace pellan {

namespace {

std::uintptr_t pageSize() {
    static const std::uintptr_t size = std::uintptr_t(sysconf(_SC_PAGESIZE));
    return size;
}

std::uintptr_t pageDown(std::uintptr_t a) {
    return a & ~(pageSize() - 1);
}

std::uintptr_t pageUp(std::uintptr_t a) {
    return pageDown(a + pageSize() - 1);
}

// The kernel's program break: safe to ask from any thread, unlike the C library's cached copy.
std::uintptr_t currentBreak() {
    return std::uintptr_t(syscall(SYS_brk, 0));
}

using Range = MemoryPrefault::Range;

struct Collect {
    const char* const* names;
    std::vector<Range>* ranges;
    int objects = 0;
};

bool wanted(const char* path, const char* const* names) {
    if (!names) return true;
    for (; *names; ++names)
        if (std::strstr(path, *names)) return true;
    return false;
}

int collectSegments(dl_phdr_info* info, std::size_t, void* data) {
    auto* c = static_cast<Collect*>(data);
    // The executable itself has an empty name; the vDSO has no file behind it.
    if (!info->dlpi_name || !*info->dlpi_name || !wanted(info->dlpi_name, c->names)) return 0;
    bool any = false;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        // Code only: the constants of the large libraries are mostly tables that a start never reads (ICU's
        // data alone is 30 MB), and a writable segment is the object's private copy, which mapping the
        // file's pages would not spare its first write.
        if (ph.p_type != PT_LOAD || !(ph.p_flags & PF_X) || (ph.p_flags & PF_W) || ph.p_memsz == 0) continue;
        const std::uintptr_t begin = pageDown(info->dlpi_addr + ph.p_vaddr);
        const std::uintptr_t end = pageUp(info->dlpi_addr + ph.p_vaddr + ph.p_memsz);
        c->ranges->push_back({begin, end});
        any = true;
    }
    if (any) ++c->objects;
    return 0;
}

} // namespace

bool MemoryPrefault::enabled() {
    return qgetenv("KVX_STARTUP_PRELOAD") != "0" && qgetenv("KVX_STARTUP_PREFAULT") == "1";
}

std::uintptr_t MemoryPrefault::reserveHeap(std::size_t reserve) {
    mallopt(M_TOP_PAD, int(reserve));
    return currentBreak();
}

std::vector<Range> MemoryPrefault::codeSegments(const char* const* libraries, int* objects) {
    std::vector<Range> ranges;
    Collect collect{libraries, &ranges};
    dl_iterate_phdr(collectSegments, &collect);
    if (objects) *objects = collect.objects;
    return ranges;
}

Range MemoryPrefault::heapRange(std::uintptr_t heapStart) {
    if (!heapStart) return {0, 0};
    const std::uintptr_t begin = pageDown(heapStart);
    const std::uintptr_t end = pageUp(currentBreak());
    return {begin, end > begin ? end : begin};
}

PrefaultCounts MemoryPrefault::populate(std::uintptr_t heapStart, const char* const* libraries) {
    PrefaultCounts counts;
    if (const Range heap = heapRange(heapStart); heap.end > heap.begin) {
        if (madvise(reinterpret_cast<void*>(heap.begin), heap.end - heap.begin, MADV_POPULATE_WRITE) == 0)
            counts.heapBytes = heap.end - heap.begin;
        else
            counts.heapSupported = false;
    }
    // The ranges are gathered under the loader's lock and populated after it, so that a library the main
    // thread loads meanwhile does not wait for the populating.
    for (const Range& r : codeSegments(libraries, &counts.libraries)) {
        // A library unloaded since leaves an unmapped range: the advice fails there and changes nothing.
        if (madvise(reinterpret_cast<void*>(r.begin), r.end - r.begin, MADV_POPULATE_READ) == 0)
            counts.codeBytes += r.end - r.begin;
    }
    return counts;
}

} // namespace pellan
