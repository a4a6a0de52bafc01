// Extended Big5 mapping: Big5 byte pairs outside the standard code page 950 (trail bytes 0x80..0xA0 after
// any lead byte, and the 0xA3 row from 0xC0 to 0xFE) map to characters of their own, so that they survive
// a conversion to Unicode and back unchanged. It is applied in the platform's code-page layer
// (kvx::codepage::encode/decode for 950), which every conversion between Big5 text and Unicode uses.
#pragma once

#include "platform/CodePage.h"

#include <memory>

namespace kvx::lang {

// The mapping itself, as a code-page extension.
class ExtendedBig5 : public codepage::Extension {
public:
    // 0x81..0xFE + 0x80..0xA0 -> ((trail + 0x20) << 8) + (lead - 0x80), i.e. U+A001..U+C07E;
    // 0xA3 + 0xC0..0xDF or 0xE1..0xFE -> 0xC041 + trail, i.e. U+C101..U+C120 and U+C122..U+C13F.
    int decodePair(unsigned char lead, unsigned char trail) const override;
    // The reverse: high byte 0xA0..0xC0 with low byte 1..126, and high byte 0xC1 with low byte 1..32 or
    // 34..63.
    bool encodeChar(char32_t c, char out[2]) const override;
};

// Installs the extended mapping for the life of the object when the system code page is 950 and the
// registry value "UseKBIG5" of Software\KVX\Stavelo is not "0" (a missing key or value counts as on).
// The module creates one at start-up and frees it at shutdown; removal restores what was installed before.
class TFixWideCharCodepage {
public:
    TFixWideCharCodepage();
    ~TFixWideCharCodepage();
    TFixWideCharCodepage(const TFixWideCharCodepage&) = delete;
    TFixWideCharCodepage& operator=(const TFixWideCharCodepage&) = delete;

    bool installed() const { return installed_; }
    // Whether the settings ask for the mapping (system code page and registry value).
    static bool wanted();

private:
    bool installed_ = false;
    std::shared_ptr<const codepage::Extension> previous_;
};

} // namespace kvx::lang
