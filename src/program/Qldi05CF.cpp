#include "Qldi05CF.h"

#include "Log.h"
#include "Qldi05CD.h"
#include "Qldi05Items.h"

#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "entry/DLLFunc.h"
#include "forms/StatusForm.h"
#include "platform/ClientDataSet.h"
#include "platform/DialogService.h"
#include "platform/Field.h"
#include "server/Brokers.h"

#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace kvx {

namespace {

constexpr int kClearImage = 15;  // library image of BtnClear: the circular arrow
constexpr int kPhraseGlyph = 11; // library image of the common-phrase button
constexpr int kLabelWidth = 96;

const QStringList kModeItems = {QStringLiteral("1:不处理\t1"), QStringLiteral("2:汇出\t2"),
                                QStringLiteral("3.汇入\t3")};
const QStringList kCategoryItems = {QStringLiteral("1:基本信息\t1"), QStringLiteral("2:单据\t2")};

const QStringList kMemoLines = {QStringLiteral("系统初始化会将例行传输的信息档清空,"),
                                QStringLiteral("通常是在要做同步化传输前做此动作!"),
                                QStringLiteral("确定要运行传输系统初始化?"),
                                QStringLiteral("运行完毕请重新做一次同步化传输!!"),
                                QStringLiteral("设置信息初始化"),
                                QStringLiteral("汇出类"),
                                QStringLiteral("非汇出类"),
                                QStringLiteral("运行系统初始化完毕!")};

const QString kExportSql = QStringLiteral("Select * from $$QLDMB where MB002='2' ");
const QString kOtherSql = QStringLiteral("Select * from $$QLDMB where MB002<>'2' ");
const QString kRowFields = QStringLiteral("MB003,MB004");

// The program window unit registers its class when the program library loads.
TProgramWindow* NewQldi05Window() {
    return TKVForm::Create<TfrmQldi05>();
}
const bool kRegistered = (frmRadicalClass = &NewQldi05Window, true);

} // namespace

// --- TMemo ------------------------------------------------------------------------------------------------

TMemo::TMemo(QWidget* parent) : TControl(parent) {
    setFocusPolicy(Qt::StrongFocus); // what the editor gives the memo
}

void TMemo::ensureEditor() {
    if (edit_) return;
    edit_ = new QPlainTextEdit(this);
    tightRow()->addWidget(edit_);
    placePartsInFocusChain();
    setFocusProxy(edit_);
}

void TMemo::setVisible(bool visible) {
    if (visible) ensureEditor();
    TControl::setVisible(visible);
}

QString TMemo::PlainTextAsEdited(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QChar& c : text) {
        switch (c.unicode()) {
        case u'\r':
        case QChar::LineSeparator:
        case QChar::ParagraphSeparator:
        case 0xfdd0: // frame marks of the text document
        case 0xfdd1:
            c = QLatin1Char('\n');
            break;
        case QChar::Nbsp:
            c = QLatin1Char(' ');
            break;
        default:
            break;
        }
    }
    return text;
}

QStringList TMemo::Lines() const {
    const QString text = editorCurrent_ ? edit_->toPlainText() : pending_;
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void TMemo::setLines(const QStringList& lines) {
    const QString text = lines.join(QLatin1Char('\n'));
    if (isVisible()) {
        ensureEditor();
        edit_->setPlainText(text);
        editorCurrent_ = true;
        return;
    }
    pending_ = PlainTextAsEdited(text);
    editorCurrent_ = false;
}

void TMemo::fillEditor() {
    if (editorCurrent_) return;
    ensureEditor();
    edit_->setPlainText(pending_);
    pending_.clear();
    editorCurrent_ = true;
}

void TMemo::showEvent(QShowEvent* e) {
    fillEditor();
    TControl::showEvent(e);
}

// --- TfrmQldi05 -------------------------------------------------------------------------------------------

TfrmQldi05::TfrmQldi05(QWidget* parent) : TfrmSingle(parent) {
    setObjectName(QStringLiteral("frmQldi05"));
    setCaption(QStringLiteral("文档传输设置作业"));
    resize(555, 319);

    ToolButton2 = new TToolButton(ToolBar1, QStringLiteral("ToolButton2"), true);
    ToolButton2->setFixedWidth(8);
    BtnClear = new TToolButton(ToolBar1, QStringLiteral("BtnClear"));
    BtnClear->setToolTip(QStringLiteral("设置初始化"));
    connect(BtnClear, &QToolButton::clicked, this, &TfrmQldi05::BtnClearClick);

    auto disabledKey = [](TControl* c) {
        c->setEnabled(false);
        c->setColor(colors::clBtnFace);
    };
    edMB001 = new TKvDBEdit(tbsHead1);
    edMB001->setObjectName(QStringLiteral("edMB001"));
    edMB001->setCaption(QStringLiteral("文档编号"));
    edMB001->setDataField(QStringLiteral("MB001"));
    edMB001->setGeometry(16, 16, 300, 22);
    disabledKey(edMB001);

    edMB001C = new TKvDBEdit(tbsHead1);
    edMB001C->setObjectName(QStringLiteral("edMB001C"));
    edMB001C->setCaption(QStringLiteral("文件名"));
    edMB001C->setDataField(QStringLiteral("MB001C"));
    edMB001C->setGeometry(16, 46, 300, 22);
    disabledKey(edMB001C);

    cboMB002 = new TKvDBComboBox(tbsHead1, TKvDBComboBox::csDropDownList);
    cboMB002->setObjectName(QStringLiteral("cboMB002"));
    cboMB002->setCaption(QStringLiteral("传输方式"));
    cboMB002->setDataField(QStringLiteral("MB002"));
    cboMB002->setMapList(true);
    cboMB002->setItems(kModeItems);
    cboMB002->setGeometry(16, 76, 300, 22);

    cboMB004 = new TKvDBComboBox(tbsHead1, TKvDBComboBox::csDropDownList);
    cboMB004->setObjectName(QStringLiteral("cboMB004"));
    cboMB004->setCaption(QStringLiteral("类别"));
    cboMB004->setDataField(QStringLiteral("MB004"));
    cboMB004->setShowButton(false);
    cboMB004->setMapList(true);
    cboMB004->setItems(kCategoryItems);
    cboMB004->setGeometry(16, 106, 300, 22);
    disabledKey(cboMB004);

    edMB005 = new TKvBtnDBEdit(tbsHead1);
    edMB005->setObjectName(QStringLiteral("edMB005"));
    edMB005->setCaption(QStringLiteral("备注"));
    edMB005->setDataField(QStringLiteral("MB005"));
    edMB005->setHint(QStringLiteral("[F2] 常用语开窗"));
    edMB005->setShowHint(true);
    edMB005->setButtonHint(QStringLiteral("常用语开窗"));
    edMB005->setGlyphIndex(kPhraseGlyph);
    edMB005->setGeometry(16, 136, 520, 22);

    const QList<TControl*> order = {edMB001, edMB001C, cboMB002, cboMB004, edMB005};
    for (int i = 0; i < order.size(); ++i)
        order[i]->setTabOrder(i);
    // Room for the longest caption of the three interface languages ("Transfer mode").
    for (TKvDBEdit* e : {edMB001, edMB001C, static_cast<TKvDBEdit*>(edMB005)})
        e->setLabelWidth(kLabelWidth);
    for (TKvDBComboBox* c : {cboMB002, cboMB004})
        c->setLabelWidth(kLabelWidth);

    memLNG = new TMemo(tbsHead1);
    memLNG->setObjectName(QStringLiteral("memLNG"));
    memLNG->setLines(kMemoLines);
    memLNG->setGeometry(300, 16, 200, 60);
    memLNG->setVisible(false);

    // The grid's editors of the mode and category columns: children of the grid, shown only as it edits
    // (and built then).
    auto gridCombo = [this](const char* name, const char* field, const QStringList& items) {
        auto* c = new TKvDBComboBox(gdHead, TKvDBComboBox::csDropDownList, TControl::Parts::OnDemand);
        c->setObjectName(QString::fromLatin1(name));
        c->setDataField(QString::fromLatin1(field));
        c->setMapList(true);
        c->setItems(items);
        c->setVisible(false);
        return c;
    };
    cboMB002G = gridCombo("cboMB002G", "MB002", kModeItems);
    cboMB004G = gridCombo("cboMB004G", "MB004", kCategoryItems);

    pgHead->setActivePage(tbsHead1);
}

TfrmQldi05::~TfrmQldi05() {
    // Hidden while the whole window still exists: hiding moves the focus, and the edits that lose or
    // gain it read their fields through the window's conversions.
    if (isVisible()) hide();
}

TdmQldi05* TfrmQldi05::dm() const {
    return qobject_cast<TdmQldi05*>(DataModule.data());
}

QString TfrmQldi05::MemoLine(int n) const {
    const QStringList lines = memLNG->Lines();
    return n >= 0 && n < lines.size() ? lines.at(n) : QString();
}

void TfrmQldi05::FormCreate() {
    try {
        DataModule = new TdmQldi05(this);
    } catch (const std::exception& e) {
        // Start-up goes on without a data module; the window reports the missing connection later.
        qCWarning(lcProgram) << "TdmQldi05 not created:" << e.what();
        DataModule = nullptr;
    }
    if (TdmQldi05* m = dm()) {
        for (TKvDBEdit* e : {edMB001, edMB001C, static_cast<TKvDBEdit*>(edMB005)})
            e->setDataSource(m->dsMain);
        for (TKvDBComboBox* c : {cboMB002, cboMB004, cboMB002G, cboMB004G})
            c->setDataSource(m->dsMain);
        gdHead->setDataSource(m->dsMain);
        QStringList types = gdHead->ControlType();
        for (const QString& entry : m->MainControlType)
            if (!types.contains(entry)) types << entry;
        gdHead->setControlType(types);
    }
    TfrmSingle::FormCreate();
    const int image = ImageList1->Count();
    ImageList1->AddLibraryImage(kClearImage, palette());
    BtnClear->SetImage(*ImageList1, image);
    ToolBar1->Arrange();
    ProgramVersion = QString::fromLatin1(kVersion);
}

void TfrmQldi05::FormShow() {
    if (TdmQldi05* m = dm()) LoadLanguage(m, false);
    TfrmSingle::FormShow();
}

void TfrmQldi05::FormClose(TCloseAction& Action) {
    TfrmSingle::FormClose(Action);
    // Closed from inside the settings initialisation (its progress processes events): the loop stops at
    // the next row and frees the progress window itself, which is still on the stack.
    if (clearing_) {
        closed_ = true;
        frmStatus->HideStatus();
        return;
    }
    frmStatus.reset();
}

// --- overrides --------------------------------------------------------------------------------------------

void TfrmQldi05::DoF2Key(int& Key, QObject* Control) {
    TfrmSingle::DoF2Key(Key, Control);
    if (!Control || !Broker) return;
    if (Control->property("DataField").toString().trimmed() != QLatin1String("MB005")) return;
    TdmQldi05* m = dm();
    if (!m || !m->cdsMain->Active()) return;
    TField* field = m->cdsMainMB005;
    // Only a record being edited takes a phrase; a cancelled phrase window keeps the remark.
    const TDataSetState state = m->cdsMain->State();
    if (state != TDataSetState::dsEdit && state != TDataSetState::dsInsert) return;
    const QString phrase = Broker->GetPhrase(field->AsString());
    if (!phrase.isEmpty()) field->SetAsString(phrase);
}

void TfrmQldi05::ApplyFieldRights() {
    TfrmSingle::ApplyFieldRights();
    // Adding (36), deleting (39) and the record-level deleting in the user's groups (48) and in other
    // groups (55): the records of this table are predefined.
    RightsSet &= ~(rights::bit(36) | rights::bit(39) | rights::bit(48) | rights::bit(55));
}

void TfrmQldi05::InitSettings() {
    TfrmSingle::InitSettings();
    FirstAddControl = edMB001;
    FirstEditControl = cboMB002;
    SetRequiredFields(QStringLiteral("cdsMain:MB002,MB004"));
}

void TfrmQldi05::UpdateCommands() {
    TfrmSingle::UpdateCommands();
    if (btnAdd) btnAdd->setEnabled(false);
    if (miAdd) miAdd->setEnabled(false);
}

bool TfrmQldi05::DoEdit() {
    if (!TfrmSingle::DoEdit()) return false;
    if (TdmQldi05* m = dm()) OldMB002 = m->cdsMainMB002->AsString();
    return true;
}

bool TfrmQldi05::DoSave() {
    if (!TfrmSingle::DoSave()) return false;
    TdmQldi05* m = dm();
    if (!m || !m->cdsMain->Active() || m->cdsMain->IsEmpty()) return true;
    const QString mode = m->cdsMainMB002->AsString();
    const QString before = std::exchange(OldMB002, mode); // a second save of the same state calls nothing
    if (mode == before) return true;
    if (before != QLatin1String("2") && mode != QLatin1String("2")) return true;
    try {
        ResetTransmission(m->cdsMainMB003->AsString(), mode, m->cdsMainMB004->AsString());
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        // The record is saved; only the report to the server failed.
        qCWarning(lcProgram) << "QLDI06 after save failed:" << e.what();
        MessageRequest req;
        req.type = MsgDlgType::Error;
        req.caption = windowTitle();
        req.text = QString::fromUtf8(e.what());
        req.parent = this;
        DialogService::instance().showMessage(req);
    }
    return true;
}

// --- settings initialisation ------------------------------------------------------------------------------

bool TfrmQldi05::ResetTransmission(const QString& content, const QString& mode, const QString& category) {
    const QString list = TransmissionItemList(content);
    if (list.isEmpty()) return false;
    const Variant answer =
        Broker->CallCounter(QStringLiteral("QLDI06"), Variant::fromList({list, mode, category}));
    const QString text = answer.isArray() || answer.isEmptyOrNull() ? QString() : answer.toString();
    if (!text.isEmpty()) {
        MessageRequest req;
        req.type = MsgDlgType::Custom;
        req.caption = windowTitle();
        req.text = text;
        req.parent = this;
        DialogService::instance().showMessage(req);
    }
    return true;
}

void TfrmQldi05::ResetClass(const Variant& rows, int classLine, const QString& mode) {
    if (!rows.isArray()) return;
    const VariantList list = rows.toList();
    if (list.isEmpty()) return;
    frmStatus->Start(KvConverter()->RecoverDataString(MemoLine(mlProgressName)).toString(),
                     KvConverter()->RecoverDataString(MemoLine(classLine)).toString(), 0, int(list.size()));
    for (const Variant& row : list) {
        if (closed_) return;
        frmStatus->Step();
        if (closed_) return;
        ResetTransmission(row.at(0).toString(), mode, row.at(1).toString());
    }
}

TfrmStatus* TfrmQldi05::ProgressForm() {
    if (!frmStatus) frmStatus.reset(TKVForm::CreateWith<TfrmStatus>(settings()));
    return frmStatus.get();
}

void TfrmQldi05::BtnClearClick() {
    if (!Broker) return;
    ProgressForm();
    closed_ = false;
    try {
        const QString warning =
            QStringList{MemoLine(mlWarning1), MemoLine(mlWarning2), MemoLine(mlConfirm)}.join(
                QLatin1Char('\r'));
        if (Broker->ShowMsg(QStringLiteral("W"), QStringLiteral("100079"), {warning}) != mrOk) return;
        if (Broker->ShowMsg(QStringLiteral("W"), QStringLiteral("100079"), {MemoLine(mlRerun)}) != mrOk)
            return;
        auto select = [this](const QString& sql) {
            return Broker->CallCounter(
                QStringLiteral("SimpleSql"),
                Variant::fromList({sql, kRowFields, Broker->DBName, QStringLiteral("N")}));
        };
        const Variant exports = select(kExportSql);
        const Variant others = select(kOtherSql);
        {
            clearing_ = true;
            auto done = qScopeGuard([this] {
                clearing_ = false;
                frmStatus->HideStatus();
            });
            ResetClass(exports, mlExportClass, QStringLiteral("2"));
            ResetClass(others, mlOtherClass, QStringLiteral("1"));
        }
        if (closed_) {
            frmStatus.reset();
            return;
        }
        Broker->ShowMsg(QStringLiteral("W"), QStringLiteral("200010"), {MemoLine(mlDone)});
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        // A failed server call ends the command; the rows already sent stay reset.
        qCWarning(lcProgram) << "settings initialisation stopped:" << e.what();
        MessageRequest req;
        req.type = MsgDlgType::Error;
        req.caption = windowTitle();
        req.text = QString::fromUtf8(e.what());
        req.parent = this;
        DialogService::instance().showMessage(req);
    }
}

} // namespace kvx
