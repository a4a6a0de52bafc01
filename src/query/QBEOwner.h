// TQBEOwner: what the query-by-example dialog needs from the window that owns it. The dialog never
// reaches the data module or the window class itself; the window implements this interface (the data
// module's field kinds, date settings, the browse grid's editors and control settings, detail inputs).
// Defaults cover windows without those features; date handlers of the value field are built here from
// the date style and separator unless the window supplies the data module's own.
#pragma once

#include "QBESchemes.h"
#include "platform/ClientDataSet.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace kvx {

class TClientDataSet;
class TKvDBComboBox;

// How a field's value is typed: as a date, a year-month, a year, or as it is.
enum class TQBEEditKind { None, Date, YearMonth, Year };

// A detail dataset of a master-detail window, filtered by a counting subquery.
struct TQBEDetailInputs {
    TClientDataSet* dataSet = nullptr;
    QString tableName;
    QString keyFields;     // comma-separated, read in parallel with the master key fields
    QString selectColumns; // normalised like the master's
    QString extraClause;   // placed after the detail table (joins, hints)
};

class TQBEOwner {
public:
    virtual ~TQBEOwner() = default;

    // The server's SQL dialect: 0 uses SUBSTRING on the audit dates and sends the row limit.
    virtual int QBESqlType() const { return 0; }
    // Date style 1-5 and separator of the system parameters.
    virtual int QBEDateFormat() const { return 1; }
    virtual QString QBEDateSeparator() const { return QStringLiteral("/"); }
    // The database name of the window's environment record (detail subquery).
    virtual QString QBEDatabaseName() const { return {}; }

    // The kind of a field by the data module's handlers; CREATE_DATE and MODI_DATE are dates anyway.
    virtual TQBEEditKind QBEFieldEditKind(const TField* field) const;
    virtual QString QBEDateMask() const;
    virtual QString QBEYearMonthMask() const;
    // Puts the data module's mask and handlers of a kind on the dialog's value field (None clears them).
    virtual void QBEPrepareValueField(TField* value, TQBEEditKind kind) const;

    // Control settings of the main dataset's fields: "FIELD;CustomEdit;cboName", "FIELD;CheckBox;Y;N".
    virtual QStringList QBEControlTypes() const { return {}; }
    // A drop-down editor of the window by name (CustomEdit settings); null when none.
    virtual TKvDBComboBox* QBEFindCombo(const QString& name) const;
    // The drop-down editors placed inside the browse grid gdHead.
    virtual QList<TKvDBComboBox*> QBEGridEditors() const { return {}; }
    // Detail inputs; null for a window without a detail dataset.
    virtual const TQBEDetailInputs* QBEDetail() const { return nullptr; }
    // Where the user's saved schemes are kept (the data module's saved conditions); null: none.
    virtual TQBESchemeStore* QBESchemeStore() const { return nullptr; }
    // The window's menu of saved schemes; null when the window has none.
    virtual TQBESchemeMenu* QBESchemeMenu() const { return nullptr; }

    // The control setting of one field: {"CustomEdit", "cboName"} or {"CheckBox", "Y", "N"}; empty when none.
    QStringList QBEControlSetting(const QString& fieldName) const;
};

} // namespace kvx
