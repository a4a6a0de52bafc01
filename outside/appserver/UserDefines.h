// Per-user settings behind GetUserDefine / SetUserDefine, kept in USRDEF as one XML section per
// (company, user, program scope, section name).
//
// A path names a section and optionally an element below it ("InputSettings003/IsColorManage"); the path
// "." takes the value as a whole section document, stored under its root element's name. The
// all-programs scope "********************" is stored as "*"; a read for a program whose section is not
// stored falls back to the all-programs section. A read of a section gives its XML text; a read of an
// element gives the element's text.
#pragma once

#include "Storage.h"

namespace kvxsrv {

class UserDefines {
public:
    static constexpr const char* kAllPrograms = "********************";

    explicit UserDefines(Storage& s) : s_(s) {}

    // Empty when nothing is stored.
    QString get(const QString& company, const QString& user, const QString& program, const QString& path);
    // Empty on success, otherwise the reason (nothing is written then).
    QString set(const QString& company, const QString& user, const QString& program, const QString& path,
                const QString& value);

private:
    Storage& s_;
    QString section(const QString& company, const QString& user, const QString& scope, const QString& name,
                    bool* found);
};

} // namespace kvxsrv
