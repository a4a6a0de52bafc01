// TfrmQldi05: the document transmission settings window ("文档传输设置作业"). A single-table window over
// QLDMB whose records are predefined: users edit the transmission mode and the remark only, never add or
// delete. A change of mode to or from export is reported to the server service "QLDI06" with the record's
// item list, and "设置初始化" (BtnClear) asks the server to reset the routine-transmission information of
// every record, with a progress window per class of records. The window's own texts live in the hidden
// memo memLNG, so that they are translated with the window.
#pragma once

#include "forms/SingleCF.h"

#include <QPointer>
#include <QStringList>
#include <memory>

class QPlainTextEdit;

namespace kvx {

class TdmQldi05;
class TfrmStatus;
class TKvBtnDBEdit;
class TKvDBComboBox;
class TKvDBEdit;

// A memo: lines of text, published as Lines so that language packages and the code converter reach them.
// While the memo is hidden its lines are kept as a list (read as the editor would give them back) and the
// editor is filled when the memo is shown: laying text out in an editor nobody sees is wasted.
class TMemo : public TControl {
    Q_OBJECT
    Q_PROPERTY(QStringList Lines READ Lines WRITE setLines)
public:
    explicit TMemo(QWidget* parent = nullptr);
    QStringList Lines() const;
    void setLines(const QStringList& lines);
    // The editor's text as it reads back after taking `text` (line breaks and spaces of its own).
    static QString PlainTextAsEdited(QString text);
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    // The editor is built when the memo is first shown.
    void ensureEditor();
    void fillEditor();

    QPlainTextEdit* edit_ = nullptr;
    QString pending_;            // the text the editor is to take
    bool editorCurrent_ = false; // false while pending_ holds the memo's text
};

class TfrmQldi05 : public TfrmSingle {
    Q_OBJECT
public:
    static constexpr const char* kVersion = "881213-1.00.00";
    // Lines of memLNG.
    enum TMemoLine {
        mlWarning1 = 0, // 系统初始化会将例行传输的信息档清空,
        mlWarning2,     // 通常是在要做同步化传输前做此动作!
        mlConfirm,      // 确定要运行传输系统初始化?
        mlRerun,        // 运行完毕请重新做一次同步化传输!!
        mlProgressName, // 设置信息初始化
        mlExportClass,  // 汇出类
        mlOtherClass,   // 非汇出类
        mlDone          // 运行系统初始化完毕!
    };

    explicit TfrmQldi05(QWidget* parent = nullptr);
    ~TfrmQldi05() override;

    // --- components ---
    TToolButton* ToolButton2 = nullptr; // separator before BtnClear
    TToolButton* BtnClear = nullptr;
    TKvDBEdit* edMB001 = nullptr;
    TKvDBEdit* edMB001C = nullptr;
    TKvDBComboBox* cboMB002 = nullptr;
    TKvDBComboBox* cboMB004 = nullptr;
    TKvBtnDBEdit* edMB005 = nullptr;
    TMemo* memLNG = nullptr;
    TKvDBComboBox* cboMB002G = nullptr;
    TKvDBComboBox* cboMB004G = nullptr;

    // --- state ---
    QString OldMB002;                      // MB002 when editing started
    std::unique_ptr<TfrmStatus> frmStatus; // progress of the settings initialisation (no owner)
    // The progress window, created at the first settings initialisation.
    TfrmStatus* ProgressForm();

    TdmQldi05* dm() const;
    // Line n of memLNG (empty when the memo has fewer lines).
    QString MemoLine(int n) const;

    // --- overrides ---
    void DoF2Key(int& Key, QObject* Control) override;
    void ApplyFieldRights() override;
    void InitSettings() override;
    void UpdateCommands() override;
    bool DoEdit() override;
    bool DoSave() override;

    // --- published handlers ---
    void BtnClearClick();

protected:
    void FormCreate() override;
    // Applies the data module's language package (field labels) before the inherited show opens the data.
    void FormShow() override;
    void FormClose(TCloseAction& Action) override;

private:
    bool clearing_ = false; // the settings initialisation is running
    bool closed_ = false;   // the window closed while it was running
    // Calls "QLDI06" with [item list, mode, category]; a returned text is shown. False when nothing was
    // sent (empty list).
    bool ResetTransmission(const QString& content, const QString& mode, const QString& category);
    // Runs the progress of one class of records: rows of [MB003, MB004] sent with `mode`.
    void ResetClass(const Variant& rows, int classLine, const QString& mode);
};

} // namespace kvx
