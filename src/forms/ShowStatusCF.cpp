#include "ShowStatusCF.h"

#include "Gauge.h"
#include "Log.h"

#include "platform/Variant.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>

namespace kvx {

namespace {
constexpr int kClientWidth = 501;
constexpr int kClientHeight = 65;
constexpr int kCancelRow = 34; // height added below the bevel for the Cancel button
constexpr int kLabelLeft = 20;
} // namespace

TfrmShowStatus::TfrmShowStatus(QWidget* owner) : TKVForm(owner) {
    setObjectName(QStringLiteral("frmShowStatus"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setCaption(QStringLiteral("Status"));
    setFixedSize(kClientWidth, kClientHeight);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(12, 12, 478, 43);

    StatusBar = new TGauge(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setGeometry(20, 26, 460, 21);
    StatusBar->setBackColor(colors::clWindow);
    StatusBar->setForeColor(colors::clBlue);
    StatusBar->setProgress(0);

    Label1 = new QLabel(QStringLiteral("处理进度"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAutoFillBackground(true);
    Label1->move(kLabelLeft, 4);
    Label1->adjustSize();

    btnCancel = new QPushButton(QStringLiteral("取消"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(kClientWidth - 12 - 90, kClientHeight + 2, 90, 26);
    btnCancel->hide();
    connect(btnCancel, &QPushButton::clicked, this, &TfrmShowStatus::btnCancelClick);
}

void TfrmShowStatus::FormCreate() {
    TKVForm::FormCreate();
    TranslateOnce();
}

void TfrmShowStatus::setCancelEnabled(bool on) {
    cancelEnabled_ = on;
    btnCancel->setVisible(on);
    btnCancel->setEnabled(on && !cancelled_);
    setFixedSize(kClientWidth, kClientHeight + (on ? kCancelRow : 0));
}

void TfrmShowStatus::Start(const QString& text, int min, int max) {
    const QString shown = KvConverter()->ConvertUIString(Variant(text)).toString();
    setCaption(shown);
    // The label's font follows the interface language (a Chinese font unless the interface is English).
    QFont f = Label1->font();
    if (TCodeConverter::SetUIFont(UILangMode(), f)) Label1->setFont(f);
    // A long text is elided rather than running past the window; the whole text stays in the tool tip.
    const QString label =
        Label1->fontMetrics().elidedText(shown, Qt::ElideMiddle, kClientWidth - 2 * kLabelLeft);
    Label1->setText(label);
    Label1->setToolTip(label == shown ? QString() : shown);
    Label1->adjustSize();

    cancelled_ = false;
    btnCancel->setEnabled(cancelEnabled_);

    if (min != max || max != 0) {
        StatusBar->setMinValue(min);
        StatusBar->setMaxValue(max);
        StatusBar->setProgress(min);
        StatusBar->show();
    } else {
        StatusBar->hide();
    }
    show();
    raise();
    repaint();
}

void TfrmShowStatus::Step() {
    if (StatusBar->Progress() < StatusBar->MaxValue()) StatusBar->addProgress(1);
    QApplication::processEvents();
}

void TfrmShowStatus::CloseStatus() {
    QScopedValueRollback<bool> guard(closing_, true);
    close();
}

void TfrmShowStatus::btnCancelClick() {
    if (!cancelEnabled_ || cancelled_) return;
    cancelled_ = true;
    btnCancel->setEnabled(false);
    qCDebug(lcForms) << "progress window" << windowTitle() << "cancelled by the user";
    emit CancelRequested();
}

void TfrmShowStatus::closeEvent(QCloseEvent* event) {
    // The close box stops cancellable work like the Cancel button; work that cannot stop keeps its window.
    if (!closing_) {
        if (!cancelEnabled_) {
            event->ignore();
            return;
        }
        btnCancelClick();
    }
    TKVForm::closeEvent(event);
}

// --- TShowStatusProgress ---

TShowStatusProgress::TShowStatusProgress(QWidget* owner) : window_(TKVForm::Create<TfrmShowStatus>(owner)) {
    window_->setCancelEnabled(true);
}

TShowStatusProgress::~TShowStatusProgress() {
    delete window_.data();
}

void TShowStatusProgress::Start(const QString& text, int min, int max) {
    if (window_) window_->Start(text, min, max);
}

void TShowStatusProgress::SetMax(int max) {
    if (window_ && max > 0) {
        window_->StatusBar->setMaxValue(max);
        window_->StatusBar->show();
    }
}

void TShowStatusProgress::Step() {
    if (window_) window_->Step();
}

bool TShowStatusProgress::Cancelled() const {
    return window_ && window_->Cancelled();
}

void TShowStatusProgress::Close() {
    if (window_) window_->CloseStatus();
}

} // namespace kvx
