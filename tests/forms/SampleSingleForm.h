// A single-table window for the tests: a key edit, a mode combo and a remark on the first page, a
// number and a percent edit on a second page inserted before the user-defined page, a user-defined edit
// bound by name, and journals of what the framework asked of the program (prints, linked programs).
#pragma once

#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "data/SingleCD.h"
#include "forms/SingleCF.h"

#include <functional>

class TfrmSingleSample : public kvx::TfrmSingle {
    Q_OBJECT
public:
    explicit TfrmSingleSample(QWidget* parent = nullptr);

    kvx::TTabSheet* tbsHead2 = nullptr;
    kvx::TKvDBEdit* edMB001 = nullptr;
    kvx::TKvDBComboBox* cboMB002 = nullptr;
    kvx::TKvDBEdit* edMB005 = nullptr;
    kvx::TKvDBEdit* edN = nullptr;
    kvx::TKvDBEdit* edRATE = nullptr;

    // Builds the data module in FormCreate.
    std::function<kvx::TdmSingle*(QObject* owner)> ModuleFactory;
    QStringList PrintJournal; // "print" or "preview" per DoPrint
    QStringList LinkJournal;  // "<program>|<condition>" per linked program
    int OptionsShown = 0;
    kvx::TSingleOptions OptionsAnswer;
    bool OptionsOk = false;
    bool DefaultOptions = false; // the window's own options dialog instead of the answer above

    kvx::TdmSingle* dm() const { return SingleModule(); }
    bool DoPrint() override;
    int RunLinkedProgram(const QString& ProgramCode, const QString& Condition) override;
    void InitSettings() override;

protected:
    void FormCreate() override;
    bool RunOptionsDialog(kvx::TSingleOptions& Options) override;
};
