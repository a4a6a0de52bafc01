// TDataModuleOwner: what a data module asks of the window that owns it.
//
// The window layer implements this interface beside its QWidget base; the data module finds it by a
// cross-cast of its parent (or is given one with SetOwnerForm). A module without an owner uses the
// defaults below, so data modules run and are tested before any window exists.
#pragma once

#include <QString>

namespace kvx {

class TClientDataSet;

class TDataModuleOwner {
public:
    enum TEditingMode { emBrowse = 0, emModify = 1, emAdd = 2 };

    virtual ~TDataModuleOwner() = default;

    // The window's editing mode: browse 0, modify 1, add 2.
    virtual int EditingMode() const { return emBrowse; }
    // The window's record check before a post; false cancels the post silently.
    virtual bool BeforePostCheck(TClientDataSet* dataSet) {
        (void)dataSet;
        return true;
    }
    // Told after the current record of a dataset changed.
    virtual void RecordChanged(TClientDataSet* dataSet) { (void)dataSet; }
    // The window's interface code page: "936", "950" or another.
    virtual QString CodePage() const { return QStringLiteral("936"); }
    // Data code page to display, and display to data.
    virtual QString DisplayConvert(const QString& text) const { return text; }
    virtual QString InputConvert(const QString& text) const { return text; }
    // A text of the language packages by package and key, with its default.
    virtual QString PackageText(const QString& package, const QString& key, const QString& def) const {
        (void)package;
        (void)key;
        return def;
    }
};

} // namespace kvx
