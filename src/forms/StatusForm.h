// TfrmStatus: the modeless progress window of a program's batch jobs. The caller shows it with Start
// (a kind letter chooses the texts of the language package TfrmStatus), advances it with Step once per item
// and hides it with HideStatus; the window is kept for the next Start.
// Everything runs in the caller's thread, so Step processes pending events to keep the window painted
// while the caller works.
#pragma once

#include "lang/KVForm.h"

class QFrame;
class QLabel;

namespace kvx {

class TGauge;

class TfrmStatus : public TKVForm {
    Q_OBJECT
public:
    explicit TfrmStatus(QWidget* owner = nullptr);

    // Kind (compared in upper case): "B" batch, "R" report, "T" approval, anything else a job named by
    // the kind itself. Name is shown in the label; the gauge runs from Min to Max starting at 0.
    void Start(const QString& kind, const QString& name, int min, int max);
    // Progress + 1 (never past the maximum), then pending events are processed.
    void Step();
    void HideStatus();

    QFrame* Bevel1 = nullptr;
    TGauge* StatusBar = nullptr;
    QLabel* Label1 = nullptr;

protected:
    void FormCreate() override;

private:
    QString text(const QString& key, const QString& def);
    void setLabelText(const QString& text);
};

} // namespace kvx
