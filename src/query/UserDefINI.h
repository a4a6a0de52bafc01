// TUserDefIni: the default voucher (print) format of each print setting on this machine, kept in
// "UserDef.ini" of the client folder, section "VoucherFormatDef". A key is the print setting, "_" and the
// voucher key with every "=" written as "$EQUAL$"; its value is the caption of the default format.
// "<New>" stands for no default. Keys are compared without regard to case.
#pragma once

#include <QString>
#include <QStringList>

namespace kvx {

class TUserDefIni {
public:
    static constexpr const char* kNoDefault = "<New>";
    static constexpr const char* kSection = "VoucherFormatDef";

    // clientPath: the client installation folder; "UserDef.ini" is looked for in it.
    explicit TUserDefIni(const QString& clientPath);

    const QString& FileName() const { return fileName_; }
    // "key=value" lines of the section as last read.
    const QStringList& Values() const { return values_; }

    QString Get(const QString& printSetting, const QString& voucherKey) const;
    // A caption equal to "<New>" in any case deletes the key. Returns false when the file cannot be
    // written.
    bool Set(const QString& printSetting, const QString& voucherKey, const QString& caption);
    bool Delete(const QString& printSetting, const QString& voucherKey);

    static QString KeyOf(const QString& printSetting, const QString& voucherKey);

private:
    QString fileName_;
    QStringList values_;
    void reload();
};

} // namespace kvx
