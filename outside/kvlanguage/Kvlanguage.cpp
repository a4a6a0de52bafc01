// Kvlanguage.so: the GB/Big5 conversion library loaded at run time by name.
//
//   int GBtoBIG5(const char* src, int srcLen, char* dst, int dstSize);
//   int BIG5toGB(const char* src, int srcLen, char* dst, int dstSize);
//       convert srcLen bytes (GBK <-> Big5), write at most dstSize bytes to dst and return the full
//       length of the result; a caller whose buffer was too small calls again. -1 on failure.
//   int GetGBData(unsigned short* table, int size);   GB index -> Big5 code (0: none); returns the count
//   int GetBIG5Data(unsigned short* table, int size); Big5 index -> GB code (0: none); returns the count
//       fill at most size entries (table may be null to ask for the count).
//   int SaveOrder(const char* fileName);              writes the mapping file "Language"; 0 on success
#include "KvlanguageCore.h"

#include <algorithm>
#include <cstring>
#include <exception>

#define KV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int deliver(const std::string& result, char* dst, int dstSize) {
    if (dst && dstSize > 0) std::memcpy(dst, result.data(), std::min(result.size(), size_t(dstSize)));
    return int(result.size());
}

int copyTable(const std::vector<uint16_t>& t, unsigned short* table, int size) {
    if (table && size > 0) std::copy_n(t.begin(), std::min(t.size(), size_t(size)), table);
    return int(t.size());
}

} // namespace

KV_EXPORT int GBtoBIG5(const char* src, int srcLen, char* dst, int dstSize) {
    if (!src || srcLen < 0) return -1;
    try {
        return deliver(kvlanguage::Core::instance().gbToBig5({src, size_t(srcLen)}), dst, dstSize);
    } catch (const std::exception&) {
        return -1;
    }
}

KV_EXPORT int BIG5toGB(const char* src, int srcLen, char* dst, int dstSize) {
    if (!src || srcLen < 0) return -1;
    try {
        return deliver(kvlanguage::Core::instance().big5ToGb({src, size_t(srcLen)}), dst, dstSize);
    } catch (const std::exception&) {
        return -1;
    }
}

KV_EXPORT int GetGBData(unsigned short* table, int size) {
    try {
        return copyTable(kvlanguage::Core::instance().gbTable(), table, size);
    } catch (const std::exception&) {
        return -1;
    }
}

KV_EXPORT int GetBIG5Data(unsigned short* table, int size) {
    try {
        return copyTable(kvlanguage::Core::instance().big5Table(), table, size);
    } catch (const std::exception&) {
        return -1;
    }
}

KV_EXPORT int SaveOrder(const char* fileName) {
    if (!fileName) return -1;
    try {
        return kvlanguage::Core::instance().writeMappingFile(fileName) ? 0 : -1;
    } catch (const std::exception&) {
        return -1;
    }
}
