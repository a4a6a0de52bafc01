#include "KvColorQBE.h"

#include "Log.h"
#include "controls/CheckBoxes.h"
#include "server/Brokers.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace kvx {

namespace {
// Program code that stands for every program in a user setting.
const char* const kAllPrograms = "********************";
} // namespace

TColorQBEForm::TColorQBEForm(QWidget* owner, TColorQBEOwner* colorOwner,
                             const TColorConditions* gridConditions)
    : TKVForm(owner), colorOwner_(colorOwner), conditions_(new TColorConditions(this)) {
    setObjectName(QStringLiteral("ColorQBEForm"));
    setWindowFlag(Qt::Dialog);
    setCaption(QStringLiteral("颜色筛选"));
    resize(320, 415);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    pnlHead = new QFrame(this);
    pnlHead->setObjectName(QStringLiteral("pnlHead"));
    auto* head = new QHBoxLayout(pnlHead);
    head->setContentsMargins(8, 6, 8, 6);
    chkColorManage = new TKVCheckBox(pnlHead);
    chkColorManage->setObjectName(QStringLiteral("chkColorManage"));
    chkColorManage->setCaption(QStringLiteral("启用颜色管理"));
    head->addWidget(chkColorManage);
    head->addStretch(1);
    root->addWidget(pnlHead);
    connect(chkColorManage, &TKVCheckBox::Click, this, &TColorQBEForm::chkColorManageClick);

    pnlMain = new QFrame(this);
    pnlMain->setObjectName(QStringLiteral("pnlMain"));
    auto* main = new QVBoxLayout(pnlMain);
    main->setContentsMargins(0, 0, 0, 0);
    boxMain = new QScrollArea(pnlMain);
    boxMain->setObjectName(QStringLiteral("boxMain"));
    boxMain->setWidgetResizable(false);
    boxContents_ = new QWidget;
    boxContents_->setObjectName(QStringLiteral("boxMainContents"));
    boxMain->setWidget(boxContents_);
    main->addWidget(boxMain);
    root->addWidget(pnlMain, 1);

    pnlFoot = new QFrame(this);
    pnlFoot->setObjectName(QStringLiteral("pnlFoot"));
    auto* foot = new QHBoxLayout(pnlFoot);
    foot->setContentsMargins(8, 6, 8, 8);
    BBOK = new QPushButton(QStringLiteral("确定(&O)"), pnlFoot);
    BBOK->setObjectName(QStringLiteral("BBOK"));
    BBOK->setDefault(true);
    BBCancel = new QPushButton(QStringLiteral("取消(&C)"), pnlFoot);
    BBCancel->setObjectName(QStringLiteral("BBCancel"));
    foot->addStretch(1);
    foot->addWidget(BBOK);
    foot->addWidget(BBCancel);
    root->addWidget(pnlFoot);
    connect(BBOK, &QPushButton::clicked, this, [this] {
        okPressed_ = true;
        close();
    });
    connect(BBCancel, &QPushButton::clicked, this, [this] {
        okPressed_ = false;
        close();
    });

    setKeyPreview(true);
    if (gridConditions) conditions_->Assign(*gridConditions);
    buildRuleBoxes();
    const bool on = colorOwner_ && colorOwner_->ColorQBEIsColorManage();
    chkColorManage->setChecked(on);
    startColorManage_ = on;
    boxMain->setEnabled(on);
}

bool TColorQBEForm::ColorManage() const {
    return chkColorManage->Checked();
}

void TColorQBEForm::buildRuleBoxes() {
    qDeleteAll(ruleBoxes_);
    ruleBoxes_.clear();
    const QFontMetrics fm(boxContents_->font());
    int right = 0, bottom = 0;
    for (int i = 0; i < conditions_->Count(); ++i) {
        const TColorCondition* c = conditions_->Items(i);
        auto* box = new TKVCheckBox(boxContents_);
        box->setObjectName(QStringLiteral("chkColor%1").arg(i));
        box->setCaption(c->Msg);
        // The caption's width plus room for the box itself.
        const int width = fm.horizontalAdvance(c->Msg) + 3 * fm.horizontalAdvance(QLatin1Char('0')) + 4;
        box->setGeometry(20, i * 20 + 5, width, 17);
        if (const auto bk = ColorSettingColor(c->BkColor)) box->setColor(*bk);
        if (const auto fc = ColorSettingColor(c->ColorX)) box->Font()->setColor(*fc);
        box->show();
        ruleBoxes_ << box;
        right = qMax(right, 20 + width);
        bottom = i * 20 + 5 + 20;
    }
    boxContents_->resize(qMax(right + 10, 10), qMax(bottom + 5, 10));
}

void TColorQBEForm::chkColorManageClick() {
    const bool on = chkColorManage->Checked();
    boxMain->setEnabled(on);
    if (!on)
        for (TKVCheckBox* b : std::as_const(ruleBoxes_))
            b->setChecked(false);
}

bool TColorQBEForm::Run(bool colorManage, TColorConditions* gridConditions) {
    chkColorManage->setChecked(colorManage);
    startColorManage_ = colorManage;
    boxMain->setEnabled(colorManage);
    if (gridConditions) {
        conditions_->Assign(*gridConditions);
        buildRuleBoxes();
    }
    for (int i = 0; i < ruleBoxes_.size(); ++i)
        ruleBoxes_[i]->setChecked(conditions_->Items(i)->Tag != 0);

    okPressed_ = false;
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose, false);
    QEventLoop loop;
    struct HideWatch : QObject {
        QEventLoop* loop = nullptr;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Hide) loop->quit();
            return false;
        }
    } watch;
    watch.loop = &loop;
    installEventFilter(&watch);
    show();
    if (isVisible()) loop.exec();
    removeEventFilter(&watch);
    if (!okPressed_) return false;
    if (gridConditions) gridConditions->Assign(*conditions_);
    return true;
}

void TColorQBEForm::FormCloseQuery(bool& canClose) {
    canClose = true;
    if (!okPressed_) return;
    for (int i = 0; i < ruleBoxes_.size() && i < conditions_->Count(); ++i)
        conditions_->Items(i)->Tag = ruleBoxes_[i]->Checked() ? 1 : 0;
    if (ColorManage() != startColorManage_) {
        storeColorManage(ColorManage());
        startColorManage_ = ColorManage();
    }
}

void TColorQBEForm::storeColorManage(bool on) {
    TBrokers* broker = colorOwner_ ? colorOwner_->ColorQBEBroker() : nullptr;
    if (!broker) {
        qCInfo(lcQuery) << "colour management switch not stored: the window has no broker";
        return;
    }
    try {
        broker->CallCounter(
            QStringLiteral("SetUserDefine"),
            Variant::fromList({broker->CompanyID, broker->UserID, QString::fromLatin1(kAllPrograms),
                               QStringLiteral("InputSettings003/IsColorManage"),
                               on ? QStringLiteral("True") : QStringLiteral("False")}));
    } catch (const std::exception& e) {
        // Not shown: the switch still holds for this run.
        qCWarning(lcQuery) << "colour management switch not stored:" << e.what();
    }
}

void TColorQBEForm::FormShow() {
    TKVForm::FormShow();
    TranslateOnce();
}

bool TColorQBEForm::FormKeyDown(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        BBCancel->click();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        else
            BBOK->click();
        return true;
    default:
        return false;
    }
}

void TColorQBEForm::keyPressEvent(QKeyEvent* event) {
    if (!FormKeyDown(event)) TKVForm::keyPressEvent(event);
}

void TColorQBEForm::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    TKVForm::closeEvent(event);
}

} // namespace kvx
