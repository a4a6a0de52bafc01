// A window that owns a query-by-example dialog the way a maintenance window does: a main dataset shaped
// like the transmission settings (plus a few fields of other kinds), the browse grid's drop-down editors
// cboMB002G/cboMB004G, control settings, and optionally detail inputs.
#pragma once

#include "controls/KvDBComboBox.h"
#include "platform/ClientDataSet.h"
#include "query/KvQBE.h"
#include "query/QBEOwner.h"

#include <QWidget>

class TestQBEWindow : public QWidget, public kvx::TQBEOwner {
public:
    struct Options {
        bool extraFields = true; // number, date, year-month, check-box and joined fields
        bool detail = false;
    };
    TestQBEWindow() : TestQBEWindow(Options{}) {}
    explicit TestQBEWindow(Options o);

    kvx::TClientDataSet* cdsMain = nullptr;
    kvx::TClientDataSet* cdsDetail = nullptr;
    QWidget* gdHead = nullptr;
    kvx::TKvDBComboBox* cboMB002G = nullptr;
    kvx::TKvDBComboBox* cboMB004G = nullptr;
    int dateFormat = 1;
    QString dateSeparator = QStringLiteral("/");
    int sqlType = 0;
    kvx::TQBEDetailInputs detailInputs;
    bool withDetail = false;

    int QBESqlType() const override { return sqlType; }
    int QBEDateFormat() const override { return dateFormat; }
    QString QBEDateSeparator() const override { return dateSeparator; }
    QString QBEDatabaseName() const override { return QStringLiteral("DEMO"); }
    kvx::TQBEEditKind QBEFieldEditKind(const kvx::TField* field) const override;
    QStringList QBEControlTypes() const override;
    kvx::TKvDBComboBox* QBEFindCombo(const QString& name) const override;
    QList<kvx::TKvDBComboBox*> QBEGridEditors() const override;
    const kvx::TQBEDetailInputs* QBEDetail() const override { return withDetail ? &detailInputs : nullptr; }
};

// Fields of the transmission settings in the order the program's select statement lists them.
void addSettingsFields(kvx::TClientDataSet* ds);
// Chinese display labels of those fields (and of the extra test fields).
void labelSettingsFields(kvx::TClientDataSet* ds);
