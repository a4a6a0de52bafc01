// A small program window on the radical layer, for the window tests and the sample program library:
// three edits bound to cdsMain of a base data module, a browse grid, a toolbar, and a journal of the
// lookup keys it receives (with the lookup phase at that moment).
#pragma once

#include "controls/FDBGrid.h"
#include "controls/KvDBEdit.h"
#include "data/BaseCD.h"
#include "forms/RadicalCF.h"

#include <QStringList>

class TfrmRadicalSample : public kvx::TfrmRadical {
    Q_OBJECT
public:
    explicit TfrmRadicalSample(QWidget* parent = nullptr);

    kvx::TKvDBEdit* edMB001 = nullptr;
    kvx::TKvDBEdit* edMB002 = nullptr;
    kvx::TKvDBEdit* edMB005 = nullptr;
    kvx::TKvDBEdit* edMB001C = nullptr;
    kvx::TFDBGrid* gdHead = nullptr;
    QWidget* tbMain = nullptr;

    // "F2 <control> <phase>" per lookup key; phase 1 fills the lookup parameters, phase 2 takes the result.
    QStringList KeyJournal;
    kvx::Variant TakenResult;
    // Shows a message box with the session state when first shown (the sample program library).
    bool ReportOnShow = false;
    // Applies the company's screen settings from the server when first shown, as the base maintenance
    // window does.
    bool ApplyScreenSettings = false;
    // Prints "painted" on standard output at the first paint and closes (start-up measurement).
    bool ReportFirstPaint = false;

    kvx::TdmBase* dm() const;

    void DoF2Key(int& Key, QObject* Control) override;
    void DoF3Key(int& Key, QObject* Control) override;
    void AfterShow() override;
    // A program window frees itself when it closes.
    void FormClose(TCloseAction& Action) override;

protected:
    void FormCreate() override;
    void paintEvent(QPaintEvent* event) override;
    // The data module the window works on (a base data module by default).
    virtual kvx::TdmBase* CreateDataModule();

private:
    bool reported_ = false;
    bool painted_ = false;
    bool screenApplied_ = false;
    void journal(const char* key, QObject* control);
};
