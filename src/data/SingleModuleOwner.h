// TSingleModuleOwner: what the single-table data module asks of its window beyond TDataModuleOwner.
//
// The single-table window implements it; every operation has a neutral default so that the module runs
// (and is tested) without a window. Colour rules and user-defined fields are reached only through these
// hooks, so the data module does not depend on how the window keeps them.
#pragma once

#include "DataModuleOwner.h"

#include "platform/ClientDataSet.h"
#include "platform/Variant.h"

#include <QColor>
#include <QStringList>
#include <memory>

class QWidget;

namespace kvx {

// One user-defined field whose value the server computes on a new record: the target field, the
// server-side definition and the fields the computation reads.
struct TUdfDefault {
    QString TargetField;
    QString DefinitionName;
    QStringList RelatedFields;
};

// Colours of one exported cell, taken from the colour rules of the current record.
struct TCellColors {
    QColor Background; // invalid: no fill
    QColor Font;       // invalid: default font colour
    bool Bold = false;
    bool Italic = false;
};

// A progress window for the exports: Start shows it, Step advances it and processes pending events,
// Cancelled reports a cancel request of the user.
class TExportProgress {
public:
    virtual ~TExportProgress() = default;
    virtual void Start(const QString& text, int min, int max) = 0;
    virtual void SetMax(int max) = 0;
    virtual void Step() = 0;
    virtual bool Cancelled() const = 0;
    virtual void Close() = 0;
};

class TSingleModuleOwner : public TDataModuleOwner {
public:
    // --- colour rules ---
    virtual bool ColorManagement() const { return false; }
    // Whether the module's after-scroll handler leaves the colour marks alone.
    virtual bool SuppressColorMark() const { return false; }
    virtual void ResetColorRules() {}
    // Colours the window from the current record of the colour dataset.
    virtual void ApplyColorRules(TClientDataSet* colorData) { (void)colorData; }
    // After a save: the colour data of the new record (add mode), else reopened with the last condition.
    virtual void ReloadColorData(bool newRecord) { (void)newRecord; }
    // Colours of a field's cell for the current record of the main dataset; false for none.
    virtual bool CellColors(TField* field, TCellColors& colors) {
        (void)field;
        (void)colors;
        return false;
    }

    // --- keys, sorting and the grid ---
    // The key values of the window's current record (one value or an array); Unassigned: take them from
    // the main dataset.
    virtual Variant CurrentKeyValues() const { return {}; }
    virtual bool SortAllowed() const { return true; }
    // Whether the main grid has the record of that bookmark selected.
    virtual bool GridRowSelected(TBookmark bookmark) const {
        (void)bookmark;
        return false;
    }
    // The grid's control declarations ("FIELD;CustomEdit;cboName", "FIELD;CheckBox;Y;N").
    virtual QStringList ControlTypes(TClientDataSet* dataSet) const {
        (void)dataSet;
        return {};
    }
    // Declares a control of the grid for a field ("CheckBox;Y;N").
    virtual void SetControlType(TClientDataSet* dataSet, const QString& field, const QString& control) {
        (void)dataSet;
        (void)field;
        (void)control;
    }
    // Brings the grid in line with a changed field list.
    virtual void RefreshGridLayout() {}
    // Items ("display\tvalue") of the window's combo box of that name; empty when there is no such combo box.
    virtual QStringList ComboItems(const QString& componentName) const {
        (void)componentName;
        return {};
    }

    // --- new records ---
    // The screen settings' default values, written into the window's fields.
    virtual void ApplyUserDefaults() {}
    // The user-defined fields of the program whose values the server computes (kind, flag as asked).
    virtual QList<TUdfDefault> UdfDefaults(const QString& kind, const QString& flag) const {
        (void)kind;
        (void)flag;
        return {};
    }

    // --- exports ---
    // The client working directory (ending with "/"); empty: the installation's client folder.
    virtual QString ClientWorkPath() const { return {}; }
    // The window message boxes belong to; null for none.
    virtual QWidget* DialogParent() const { return nullptr; }
    // A progress window for an export; null for none.
    virtual std::unique_ptr<TExportProgress> CreateExportProgress() { return nullptr; }
    // Opens a file with the desktop's default program.
    virtual void OpenDocument(const QString& fileName);
};

} // namespace kvx
