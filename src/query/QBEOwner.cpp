#include "QBEOwner.h"

#include "QBECondition.h"
#include "controls/EditMask.h"
#include "server/LibStrs.h"

namespace kvx {

TQBEEditKind TQBEOwner::QBEFieldEditKind(const TField* field) const {
    const QString name = field->FieldName().toUpper();
    if (name == QLatin1String("CREATE_DATE") || name == QLatin1String("MODI_DATE")) return TQBEEditKind::Date;
    return TQBEEditKind::None;
}

QString TQBEOwner::QBEDateMask() const {
    const QString sep = QBEDateSeparator();
    return EditMask::dateMask(QBEDateFormat(), sep.isEmpty() ? QChar() : sep.at(0));
}

QString TQBEOwner::QBEYearMonthMask() const {
    const QString sep = QBEDateSeparator();
    return EditMask::yearMonthMask(QBEDateFormat(), sep.isEmpty() ? QChar() : sep.at(0));
}

TKvDBComboBox* TQBEOwner::QBEFindCombo(const QString&) const {
    return nullptr;
}

void TQBEOwner::QBEPrepareValueField(TField* value, TQBEEditKind kind) const {
    const int style = QBEDateFormat();
    const QString sep = QBEDateSeparator();
    value->OnGetText = nullptr;
    value->OnSetText = nullptr;
    value->SetEditMask(QString());
    switch (kind) {
    case TQBEEditKind::None:
        return;
    case TQBEEditKind::Date:
        value->SetEditMask(QBEDateMask());
        // Shown by date style, stored as "YYYYMMDD"; an empty or unreadable text clears the value.
        value->OnGetText = [style, sep](TField* f, QString& text, bool) {
            const QString stored = f->AsString();
            text = stored.isEmpty() ? QString() : DateToString(TransDateIn(stored), style, sep);
        };
        value->OnSetText = [style, sep](TField* f, const QString& text) {
            const QString stored = qbe::dateToStored(text, style, sep);
            if (!stored.isEmpty() && !CheckDate(stored))
                throw EConvertError(QStringLiteral("%1 is not a valid date").arg(text));
            f->SetAsString(stored);
        };
        return;
    case TQBEEditKind::YearMonth:
        value->SetEditMask(QBEYearMonthMask());
        value->OnSetText = [style, sep](TField* f, const QString& text) {
            f->SetAsString(qbe::yearMonthToStored(text, style, sep));
        };
        value->OnGetText = [style, sep](TField* f, QString& text, bool) {
            const QString s = f->AsString();
            if (s.size() < 6) {
                text.clear();
                return;
            }
            int year = s.left(4).toInt();
            if (style == 4 || style == 5) year -= 1911;
            const QString y =
                QString::number(year).rightJustified(style == 5 ? 3 : (style == 4 ? 2 : 4), u'0');
            const QString m = s.mid(4, 2);
            text = (style == 2 || style == 3) ? m + sep + y : y + sep + m;
        };
        return;
    case TQBEEditKind::Year:
        value->SetEditMask(EditMask::yearMask(style));
        value->OnSetText = [style](TField* f, const QString& text) {
            bool ok = false;
            int year = text.trimmed().toInt(&ok);
            if (ok && year > 0 && (style == 4 || style == 5)) year += 1911;
            f->SetAsString(ok && year > 0 ? QString::number(year).rightJustified(4, u'0') : QString());
        };
        return;
    }
}

QStringList TQBEOwner::QBEControlSetting(const QString& fieldName) const {
    for (const QString& entry : QBEControlTypes()) {
        QStringList parts = entry.split(u';');
        if (parts.size() < 2 || parts[0].trimmed().compare(fieldName, Qt::CaseInsensitive) != 0) continue;
        parts.removeFirst();
        return parts;
    }
    return {};
}

} // namespace kvx
