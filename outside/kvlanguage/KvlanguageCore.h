// The GB/Big5 conversion behind Kvlanguage.so and the mapping-file generator: GBK and Big5 byte strings
// are decoded (glibc iconv tables), converted between Simplified and Traditional script with OpenCC
// (s2tw / tw2s, phrase-aware) and encoded again. Characters the target encoding lacks are kept in their
// source form when the target has that form, otherwise they become '?'; bytes that are no character of
// the source encoding pass through unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvlanguage {

class Core {
public:
    // Opens the OpenCC configurations and builds the code tables once; throws std::runtime_error when
    // OpenCC's data cannot be opened.
    static Core& instance();

    std::string gbToBig5(std::string_view gb) const;
    std::string big5ToGb(std::string_view big5) const;

    // The tables of the mapping file "Language": GB index -> Big5 code, Big5 index -> GB code (0: none).
    const std::vector<uint16_t>& gbTable() const;
    const std::vector<uint16_t>& big5Table() const;
    // Writes the mapping file; false when it cannot be written.
    bool writeMappingFile(const std::string& path) const;

    // The pair of a table index (0 when the index has no pair).
    static uint16_t gbPairOfIndex(int index);
    static uint16_t big5PairOfIndex(int index);
    static constexpr int kGbEntries = 22535 + 2 * 97;
    static constexpr int kBig5Entries = 94 * 157;

    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;
    ~Core();

private:
    Core();
    struct Impl;
    Impl* d;
};

} // namespace kvlanguage
