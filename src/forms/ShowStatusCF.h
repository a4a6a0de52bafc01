// TfrmShowStatus: the modeless progress window of long data-module work such as the spreadsheet exports.
// Start shows a text in the caption and the label and a gauge from Min to Max (no gauge for 0/0); Step
// advances the gauge up to its maximum; CloseStatus closes the window.
// A caller that can stop its work turns the Cancel button on (setCancelEnabled) and polls Cancelled()
// after each Step: Step processes pending events, which is how a click on Cancel (or the close box)
// reaches the window while the caller's loop runs in the same thread.
#pragma once

#include "data/SingleModuleOwner.h"
#include "lang/KVForm.h"

#include <QPointer>

class QFrame;
class QLabel;
class QPushButton;

namespace kvx {

class TGauge;

class TfrmShowStatus : public TKVForm {
    Q_OBJECT
public:
    explicit TfrmShowStatus(QWidget* owner = nullptr);

    // Also clears an earlier cancel request.
    void Start(const QString& text, int min, int max);
    // Progress + 1 unless the maximum is reached; then pending events are processed.
    void Step();
    void CloseStatus();

    // Off by default; on shows the Cancel button below the gauge.
    void setCancelEnabled(bool on);
    bool cancelEnabled() const { return cancelEnabled_; }
    // True once the user pressed Cancel or closed the window while cancelling was enabled.
    bool Cancelled() const { return cancelled_; }

    QFrame* Bevel1 = nullptr;
    TGauge* StatusBar = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* btnCancel = nullptr;

signals:
    void CancelRequested();

protected:
    void FormCreate() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void btnCancelClick();
    bool cancelEnabled_ = false;
    bool cancelled_ = false;
    bool closing_ = false;
};

// The progress of a data-module export shown in a TfrmShowStatus with its Cancel button on. The window
// is created with the given owner and freed with the adapter.
class TShowStatusProgress : public TExportProgress {
public:
    explicit TShowStatusProgress(QWidget* owner);
    ~TShowStatusProgress() override;
    void Start(const QString& text, int min, int max) override;
    void SetMax(int max) override;
    void Step() override;
    bool Cancelled() const override;
    void Close() override;
    TfrmShowStatus* window() const { return window_; }

private:
    QPointer<TfrmShowStatus> window_;
};

} // namespace kvx
