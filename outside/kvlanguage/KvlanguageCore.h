// The GB/Big5 conversion behind Kvlanguage.so and the mapping-file generator: GBK and Big5 byte strings
// are decoded (glibc iconv tables), converted between Simplified and Traditional script with OpenCC
// (s2tw / tw2s, phrase-aware) and encoded again. Characters the target encoding lacks are kept in their
// source form when the target has that form, otherwise they become '?'. A byte pair shaped like a
// character of the source encoding that is none (GBK AAA1, Big5 8140) becomes one '?'; a single byte
// that starts no pair passes through unchanged.
#pragma once

#include <cstdint>
#include <map>
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
    // The one-character GB -> Big5 choice: a simplified character with several traditional forms gets
    // the form real text needs most often (CharacterChoices.inc), the others OpenCC's single form.
    // Returns the code point, 0 when the target has none. `useChoices` false gives OpenCC's form alone.
    char32_t oneCharToTraditional(char32_t simplified, bool useChoices = true) const;

    // Frequency of the forms the phrase-aware conversion gives each simplified character in `utf8`
    // (a corpus of real text): simplified -> (traditional -> count).
    using FormCounts = std::map<char32_t, std::map<char32_t, long>>;
    FormCounts countForms(std::string_view utf8) const;
    // The choices that differ from OpenCC's single form: the most frequent Big5-encodable form when
    // it is seen at least `minCount` times and more often than the single form.
    std::map<char32_t, char32_t> chooseForms(const FormCounts& counts, long minCount = 20) const;
    // Agreement of a one-character conversion with the phrase-aware one over the Han characters of
    // `utf8` that GBK encodes: {characters, agreeing}. `choices` null: OpenCC's single forms alone.
    struct Agreement {
        long characters = 0;
        long agreeing = 0;
    };
    Agreement measure(std::string_view utf8, const std::map<char32_t, char32_t>* choices) const;
    // The built-in choices.
    static const std::map<char32_t, char32_t>& builtinChoices();

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
