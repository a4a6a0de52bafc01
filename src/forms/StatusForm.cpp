#include "StatusForm.h"

#include "Gauge.h"

#include "platform/Font.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>

namespace kvx {

namespace {
constexpr auto kPackage = "TfrmStatus";
constexpr int kClientWidth = 424;
constexpr int kClientHeight = 55;
constexpr int kLabelLeft = 17;
} // namespace

TfrmStatus::TfrmStatus(QWidget* owner) : TKVForm(owner) {
    setObjectName(QStringLiteral("frmStatus"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setCaption(QStringLiteral("批处理进度显示"));
    Font()->setName(QStringLiteral("宋体"));
    Font()->setHeight(-11);
    setFixedSize(kClientWidth, kClientHeight);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(10, 10, 405, 37);

    StatusBar = new TGauge(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setGeometry(17, 22, 389, 18);
    StatusBar->setBackColor(colors::clWindow);
    StatusBar->setForeColor(colors::clBlue);
    StatusBar->Font()->setName(QStringLiteral("宋体"));
    StatusBar->Font()->setHeight(-13);
    StatusBar->Font()->setColor(colors::clBlue);
    StatusBar->setProgress(0);

    // The label sits on the bevel's top edge like a group title, so it paints the window's background.
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAutoFillBackground(true);
    QFont lf(QStringLiteral("宋体"));
    lf.setPixelSize(13);
    Label1->setFont(lf);
    Label1->move(kLabelLeft, 3);
    setLabelText(QStringLiteral("批处理处理进度"));
}

void TfrmStatus::FormCreate() {
    TKVForm::FormCreate();
    TranslateOnce();
}

QString TfrmStatus::text(const QString& key, const QString& def) {
    QString out;
    return GetMessage(QLatin1String(kPackage), key, out, true, def);
}

void TfrmStatus::setLabelText(const QString& text) {
    // A long name is elided rather than running past the window; the whole text stays in the tool tip.
    const int room = kClientWidth - 2 * kLabelLeft;
    const QString shown = Label1->fontMetrics().elidedText(text, Qt::ElideMiddle, room);
    Label1->setText(shown);
    Label1->setToolTip(shown == text ? QString() : text);
    Label1->adjustSize();
}

void TfrmStatus::Start(const QString& kind, const QString& name, int min, int max) {
    const QString up = kind.toUpper();
    QString caption, label;
    if (up == QLatin1String("B")) {
        caption = text(QStringLiteral("CaptionB"), QStringLiteral("批处理进度显示"));
        label = text(QStringLiteral("LblB"), QStringLiteral("批处理处理进度"));
    } else if (up == QLatin1String("R")) {
        caption = text(QStringLiteral("CaptionR"), QStringLiteral("报表作业进度显示"));
        label = text(QStringLiteral("LblR"), QStringLiteral("报表作业处理进度"));
    } else if (up == QLatin1String("T")) {
        caption = text(QStringLiteral("CaptionT"), QStringLiteral("审核作业进度显示"));
        label = text(QStringLiteral("LblT"), QStringLiteral("审核作业处理进度"));
    } else {
        caption = kind + text(QStringLiteral("CaptionO"), QStringLiteral("作业进度显示"));
        label = kind + text(QStringLiteral("LblO"), QStringLiteral("作业处理进度"));
    }
    setCaption(caption);
    setLabelText(label + QStringLiteral("-[") + name + QStringLiteral("]"));

    StatusBar->setMinValue(min);
    StatusBar->setMaxValue(max);
    StatusBar->setProgress(0);

    show();
    raise();
    repaint();
}

void TfrmStatus::Step() {
    StatusBar->addProgress(1);
    QApplication::processEvents();
}

void TfrmStatus::HideStatus() {
    hide();
}

} // namespace kvx
