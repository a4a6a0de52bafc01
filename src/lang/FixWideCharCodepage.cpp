#include "FixWideCharCodepage.h"

#include "platform/Registry.h"

namespace kvx::lang {

int ExtendedBig5::decodePair(unsigned char lead, unsigned char trail) const {
    if (lead > 0x80 && lead < 0xFF && trail >= 0x80 && trail <= 0xA0)
        return ((trail + 0x20) << 8) + (lead - 0x80);
    // A3E1 is the euro sign of code page 950 and stays it.
    if (lead == 0xA3 && ((trail >= 0xC0 && trail <= 0xDF) || (trail >= 0xE2 && trail <= 0xFE)))
        return 0xC041 + trail;
    return -1;
}

bool ExtendedBig5::encodeChar(char32_t c, char out[2]) const {
    if (c > 0xFFFF) return false;
    const unsigned high = unsigned(c) >> 8;
    const unsigned low = unsigned(c) & 0xFF;
    if (high >= 0xA0 && high <= 0xC0 && low >= 1 && low <= 126) {
        out[0] = char(low + 0x80);
        out[1] = char(high - 0x20);
        return true;
    }
    if (high == 0xC1 && ((low >= 1 && low <= 32) || (low >= 35 && low <= 63))) {
        out[0] = char(0xA3);
        out[1] = char(low + 0xBF);
        return true;
    }
    return false;
}

bool TFixWideCharCodepage::wanted() {
    if (codepage::systemCodePage() != 950) return false;
    Registry reg;
    if (!reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo"))) return true;
    if (!reg.valueExists(QStringLiteral("UseKBIG5"))) return true;
    return reg.readString(QStringLiteral("UseKBIG5")) != QLatin1String("0");
}

TFixWideCharCodepage::TFixWideCharCodepage() {
    if (!wanted()) return;
    previous_ = codepage::setExtension(950, std::make_shared<ExtendedBig5>());
    installed_ = true;
}

TFixWideCharCodepage::~TFixWideCharCodepage() {
    if (installed_) codepage::setExtension(950, previous_);
}

} // namespace kvx::lang
