#include "BrokerStopgaps.h"

#include "platform/CodePage.h"

namespace server::stopgap {

QString ButtonCaption(const QString& name) {
    static const struct {
        const char* name;
        const char* caption;
    } kCaptions[] = {
        {"Yes", "是(&Y)"},       {"No", "否(&N)"},         {"OK", "确定"},         {"Cancel", "取消"},
        {"Abort", "中断(&A)"},   {"Retry", "重试(&R)"},    {"Ignore", "忽略(&I)"}, {"All", "全部(&A)"},
        {"NoToAll", "全否(&o)"}, {"YesToAll", "全是(&A)"}, {"Help", "帮助(&H)"},
    };
    for (const auto& c : kCaptions)
        if (name == QLatin1String(c.name)) return QString::fromUtf8(c.caption);
    return name;
}

QString TableGBToBig5(const QString& text) {
    if (text.isEmpty()) return text;
    return kvx::codepage::decode(kvx::codepage::encode(text, 950), 950);
}

QString TableBig5ToGB(const QString& text) {
    if (text.isEmpty()) return text;
    return kvx::codepage::decode(kvx::codepage::encode(text, 936), 936);
}

} // namespace server::stopgap
