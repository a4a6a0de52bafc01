// kvlanguage-gen FILE: writes the GB/Big5 mapping file "Language" from the same data as Kvlanguage.so.
#include "KvlanguageCore.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    try {
        if (!kvlanguage::Core::instance().writeMappingFile(argv[1])) {
            std::fprintf(stderr, "cannot write %s\n", argv[1]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
