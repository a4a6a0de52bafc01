// A maintenance window on the base layer for the window tests: a browse grid over cdsMain and two tab
// sheets of edits (MB001 and MB002 on the first, MB005 on the second), a test save that posts and applies
// cdsMain, and a journal of the lookup keys that reach the program's own step.
#pragma once

#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "controls/KvDBEdit.h"
#include "data/BaseCD.h"
#include "forms/BaseCF.h"

#include <functional>

class TfrmBaseTest : public kvx::TfrmBase {
    Q_OBJECT
public:
    explicit TfrmBaseTest(QWidget* parent = nullptr);

    kvx::TFDBGrid* gdHead = nullptr;
    kvx::TExtPageControl* pgMain = nullptr;
    kvx::TTabSheet* tbsMain = nullptr;
    kvx::TTabSheet* tbsOther = nullptr;
    kvx::TKvDBEdit* edMB001 = nullptr;
    kvx::TKvDBEdit* edMB002 = nullptr;
    kvx::TKvDBEdit* edMB005 = nullptr;

    // Builds the data module in FormCreate (a TdmBase by default).
    std::function<kvx::TdmBase*(QObject* owner)> ModuleFactory;
    QStringList KeyJournal; // "F2 <control>" for each lookup key the program's step saw
    int Saves = 0;
    bool FailQuery = false; // DoQuery raises

    bool DoQuery() override;

    kvx::TdmBase* dm() const { return BaseModule(); }
    bool DoSave() override;
    void DoF2Key(int& Key, QObject* Control) override;
    // The grid takes the screen settings (labels, widths, order).
    void InitGrids() override;

protected:
    void FormCreate() override;
};
