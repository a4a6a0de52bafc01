// A small program window for the controller tests: records what the controller does to it and keeps a
// journal of its own event handlers, shared with the tests' notification handler.
#pragma once

#include "entry/ProgramWindow.h"

#include <QLabel>
#include <QStringList>
#include <QWidget>

class TestWindow : public QWidget, public TProgramWindow {
public:
    TestWindow();
    ~TestWindow() override;

    QWidget* Widget() override { return this; }
    bool Start(const kvx::Variant& Params) override;
    void UpdateCommands() override;
    void SetBrokerWorkCenter(const kvx::Variant& WorkCenter) override { BrokerWorkCenter = WorkCenter; }
    TLoginInfo GetLoginInfo() const override;

    // Journal of window and controller events in the order they happened ("window:close", "notify:0x140").
    static QStringList& journal();
    static int liveCount();
    // Creates a window as the class registry does.
    static TProgramWindow* Create() { return new TestWindow; }

    // What the controller did.
    kvx::Variant StartParams;
    int StartCalls = 0;
    int UpdateCalls = 0;
    quint16 MaskAtUpdate = 0;
    quint8 ModeAtUpdate = 0;
    kvx::Variant BrokerWorkCenter;
    // How the window behaves.
    bool StartResult = true;
    QString StartError;                // Start raises this when not empty
    TCloseAction CloseAction = caFree; // the action the window's own close handler chooses
    bool ReportOnShow = false;         // show the window's state in a message box when it is first shown

private:
    QLabel* label_;
    bool reported_ = false;

protected:
    void showEvent(QShowEvent* event) override { DoShow(event); }
    void hideEvent(QHideEvent* event) override { DoHide(event); }
    void closeEvent(QCloseEvent* event) override { DoClose(event); }
};
