#include "TestWindow.h"

#include "platform/DialogService.h"

#include <QFileInfo>
#include <QVBoxLayout>
#include <stdexcept>

namespace {
int live = 0;
}

QStringList& TestWindow::journal() {
    static QStringList entries;
    return entries;
}

int TestWindow::liveCount() {
    return live;
}

TestWindow::TestWindow() : label_(new QLabel(QStringLiteral("Test program window"), this)) {
    ++live;
    ProgramVersion = QStringLiteral("990101-1.00.00");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    resize(320, 120);
    // The window's own handlers, as a form framework would assign them.
    OnShow = [this](QObject* sender) {
        journal() << (sender == this ? "window:show" : "window:show(foreign sender)");
        if (ReportOnShow && !reported_) {
            reported_ = true;
            kvx::DialogService::instance().inform(
                QStringLiteral("RunMode=%1 CommandMask=0x%2 InitCondition=%3 Caption=%4")
                    .arg(RunMode)
                    .arg(CommandMask, 0, 16)
                    .arg(InitCondition, windowTitle()));
        }
    };
    OnHide = [](QObject*) { journal() << "window:hide"; };
    OnClose = [this](QObject*, TCloseAction& action) {
        journal() << "window:close";
        ModalResult = (RunMode == 7 || RunMode == 8) ? 1 : 2;
        ReturnValue = QStringLiteral("returned");
        action = CloseAction;
    };
    OnDestroy = [](QObject*) { journal() << "window:destroy"; };
}

TestWindow::~TestWindow() {
    --live;
}

bool TestWindow::Start(const kvx::Variant& Params) {
    ++StartCalls;
    StartParams = Params;
    journal() << "window:start";
    if (!StartError.isEmpty()) throw std::runtime_error(StartError.toStdString());
    setWindowTitle(QStringLiteral("Test [%1]").arg(Params.at(0).toString()));
    label_->setText(QStringLiteral("User %1, company %2, database %3")
                        .arg(Params.at(0).toString(), Params.at(1).toString(), Params.at(2).toString()));
    return StartResult;
}

void TestWindow::UpdateCommands() {
    ++UpdateCalls;
    MaskAtUpdate = CommandMask;
    ModeAtUpdate = RunMode;
}

TLoginInfo TestWindow::GetLoginInfo() const {
    TLoginInfo info;
    if (StartParams.isArray()) {
        info.UserID = StartParams.at(0).toString();
        info.CompanyID = StartParams.at(1).toString();
    }
    info.ProgID = QFileInfo(ModulePath).completeBaseName().toUpper();
    info.ProgramName = QStringLiteral("Test program");
    return info;
}
