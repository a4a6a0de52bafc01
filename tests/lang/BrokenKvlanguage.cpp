// A conversion library with GBtoBIG5 only.
#include <cstring>

extern "C" __attribute__((visibility("default"))) int GBtoBIG5(const char* src, int srcLen, char* dst,
                                                               int dstSize) {
    if (dstSize >= srcLen) std::memcpy(dst, src, size_t(srcLen));
    return srcLen;
}
