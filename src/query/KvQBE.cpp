#include "KvQBE.h"

#include "DocuConditionCF.h"
#include "Log.h"

#include "controls/CheckBoxes.h"
#include "controls/EditMask.h"
#include "controls/ExtPageControl.h"
#include "controls/KvDBComboBox.h"
#include "controls/SimpleControls.h"
#include "controls/StringAlignGrid.h"
#include "platform/ClientDataSet.h"
#include "platform/DataSource.h"
#include "server/LibStrs.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTextOption>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace kvx {

namespace {

const char* const kPackage = "TQBEForm";
constexpr int kRowLimitHeight = 33;

const QStringList& defaultMessages() {
    static const QStringList m = {QStringLiteral("希望您能够先输入您要找的信息!"),
                                  QStringLiteral("方案保存失败!"),
                                  QStringLiteral("方案名称"),
                                  QStringLiteral("创建时间"),
                                  QStringLiteral("方案载入失败!"),
                                  QStringLiteral("确实要删除此方案吗？"),
                                  QStringLiteral("输入的日期信息错误, 请重新输入!"),
                                  QStringLiteral("输入的年月信息错误, 请重新输入!"),
                                  QStringLiteral("方案名不可空白!"),
                                  QStringLiteral("方案名长度不可大于20!"),
                                  QStringLiteral("此方案名称已经存在！"),
                                  QStringLiteral("更改方案名失败!")};
    return m;
}

const QStringList& attachFields() {
    static const QStringList f = {"Parent",   "KeyValues", "CompanyID", "UserID",  "Type",    "SeqNo",
                                  "FileName", "DocID",     "Revision",  "AddDate", "AddTime", "KeyFields"};
    return f;
}

bool cjkPage(const QString& cp) {
    return cp == QLatin1String("936") || cp == QLatin1String("950");
}

// Field lists drawn as two columns: the label, then the SQL name at the next tab stop.
class TwoColumnDelegate : public QStyledItemDelegate {
public:
    TwoColumnDelegate(QObject* parent, bool cjk) : QStyledItemDelegate(parent), cjk_(cjk) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, p, opt.widget);
        opt.text = text;
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
        const QFontMetrics fm(opt.font);
        const int stop = fm.horizontalAdvance(QLatin1Char('0')) * (cjk_ ? 6 : 10);
        QTextOption to;
        to.setTabStopDistance(stop);
        to.setWrapMode(QTextOption::NoWrap);
        p->save();
        p->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                       : QPalette::Text));
        p->drawText(QRectF(textRect.adjusted(3, 0, 0, 0)), text, to);
        p->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        const QFontMetrics fm(option.font);
        s.setHeight(cjk_ ? fm.height() + 2 : fm.height() + 5);
        return s;
    }

private:
    bool cjk_;
};

QWidget* hbox(QWidget* parent, std::initializer_list<QWidget*> widgets, int stretchAfter = -1) {
    auto* w = new QWidget(parent);
    auto* l = new QHBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    int i = 0;
    for (QWidget* x : widgets) {
        l->addWidget(x);
        if (i++ == stretchAfter) l->addStretch(1);
    }
    return w;
}

} // namespace

// --- catalogue ----------------------------------------------------------------------------------------

void TRecordInfoList::Add(const QString& key, std::unique_ptr<TRecordInfo> info) {
    entries_.emplace_back(key, std::move(info));
}

TRecordInfo* TRecordInfoList::FindByCaption(const QString& caption) const {
    const QString wanted = caption.toUpper();
    for (const auto& e : entries_)
        if (e.second->Caption.toUpper() == wanted) return e.second.get();
    return nullptr;
}

// --- radio group --------------------------------------------------------------------------------------

TQBERadioGroup::TQBERadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent) {
    auto* l = new QHBoxLayout(this);
    l->setContentsMargins(6, 2, 6, 2);
    for (const QString& item : items) {
        auto* b = new QRadioButton(item, this);
        buttons << b;
        l->addWidget(b);
    }
    SetItemIndex(0);
}

int TQBERadioGroup::ItemIndex() const {
    for (int i = 0; i < buttons.size(); ++i)
        if (buttons[i]->isChecked()) return i;
    return -1;
}

void TQBERadioGroup::SetItemIndex(int i) {
    if (i >= 0 && i < buttons.size()) buttons[i]->setChecked(true);
}

QString TQBERadioGroup::ItemText() const {
    const int i = ItemIndex();
    return i < 0 ? QString() : buttons[i]->text();
}

// --- construction ---------------------------------------------------------------------------------

TQBEForm::TQBEForm(QWidget* owner, TQBEOwner* qbeOwner) : TKVForm(owner), owner_(qbeOwner) {
    setObjectName(QStringLiteral("QBEForm"));
    setWindowFlags(Qt::Dialog);
    setCaption(QStringLiteral("设置查询条件"));
    buildPages();
    designedHeight_ = 520;
    resize(760, designedHeight_);
}

TQBEForm::~TQBEForm() = default;

void TQBEForm::buildPages() {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(6, 6, 6, 6);

    pnlTopRow = new QWidget(this);
    pnlTopRow->setObjectName(QStringLiteral("pnlTopRow"));
    pnlTopRow->setFixedHeight(kRowLimitHeight);
    lblTopRow = new QLabel(QStringLiteral("总信息笔数限制"), pnlTopRow);
    lblTopRow->setObjectName(QStringLiteral("lblTopRow"));
    cbTopRow = new TKvDBComboBox(pnlTopRow);
    cbTopRow->setObjectName(QStringLiteral("cbTopRow"));
    cbTopRow->setStyle(TKvDBComboBox::csDropDown);
    cbTopRow->setMapList(false);
    cbTopRow->setItems({"500", "0", "100", "200", "1000", "1500"});
    cbTopRow->setText(QStringLiteral("500"));
    cbTopRow->setFixedWidth(110);
    cbTopRow->combo()->installEventFilter(this);
    if (QLineEdit* le = cbTopRow->combo()->lineEdit()) le->installEventFilter(this);
    auto* top = new QHBoxLayout(pnlTopRow);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(lblTopRow);
    top->addWidget(cbTopRow);
    top->addStretch(1);
    root->addWidget(pnlTopRow);

    splMain = new QSplitter(Qt::Horizontal, this);
    splMain->setObjectName(QStringLiteral("splMain"));
    root->addWidget(splMain, 1);

    buildSchemePanel();
    splMain->addWidget(pnlScheme);

    pgQBE = new TExtPageControl(splMain);
    pgQBE->setObjectName(QStringLiteral("pgQBE"));
    splMain->addWidget(pgQBE);
    splMain->setSizes({160, 590});
    splMain->setStretchFactor(1, 1);

    // General page.
    tbsGeneral = new TTabSheet(pgQBE);
    tbsGeneral->setObjectName(QStringLiteral("tbsGeneral"));
    tbsGeneral->setCaption(QStringLiteral("一般选项"));
    sg1 = new TStringAlignGrid(tbsGeneral);
    sg1->setObjectName(QStringLiteral("sg1"));
    sg1->setColCount(4);
    sg1->setFixedCols(0);
    sg1->setFixedRows(1);
    sg1->setRowCount(2);
    sg1->setDefaultRowHeight(20);
    // The connector column is wider than designed so that "AND" is not cut in the UI font.
    const int widths[] = {131, 88, 187, 40};
    for (int c = 0; c < 4; ++c)
        sg1->setColWidths(c, widths[c]);
    sg1->setOptions(sg1->Options() | TStringAlignGrid::goEditing | TStringAlignGrid::goTabs |
                    TStringAlignGrid::goAlwaysShowEditor);
    sg1->setColPickList(3, {QStringLiteral("AND"), QStringLiteral("OR")});
    sg1->setColor(TColor(15532027));
    auto* gl = new QVBoxLayout(tbsGeneral);
    gl->setContentsMargins(2, 2, 2, 2);
    gl->addWidget(sg1);
    connect(sg1, &TStringAlignGrid::SelectCell, this, &TQBEForm::gridSelectCell);
    connect(sg1, &TStringAlignGrid::SetEditText, this, &TQBEForm::gridEditText);
    sg1->table()->installEventFilter(this);
    sg1->table()->viewport()->installEventFilter(this);

    // Scratch datasets of the value editors.
    cdsTemp = new TClientDataSet(this);
    cdsTemp->setObjectName(QStringLiteral("cdsTemp"));
    cdsTemp->FieldDefs().Add(QStringLiteral("QBE"), FieldType::String, 255);
    for (int k = 1; k <= 8; ++k)
        cdsTemp->FieldDefs().Add(QStringLiteral("K%1").arg(k), FieldType::String, 60);
    cdsTemp->CreateDataSet();
    cdsTemp2 = new TClientDataSet(this);
    cdsTemp2->setObjectName(QStringLiteral("cdsTemp2"));
    cdsTemp2->FieldDefs().Add(QStringLiteral("QBE"), FieldType::String, 255);
    cdsTemp2->CreateDataSet();
    dsTemp_ = new TDataSource(this);
    dsTemp_->setObjectName(QStringLiteral("dsTemp"));
    dsTemp_->SetDataSet(cdsTemp);
    dsTemp2_ = new TDataSource(this);
    dsTemp2_->setObjectName(QStringLiteral("dsTemp2"));
    dsTemp2_->SetDataSet(cdsTemp2);

    tbsAdvanced = new TTabSheet(pgQBE);
    tbsAdvanced->setObjectName(QStringLiteral("tbsAdvanced"));
    tbsAdvanced->setCaption(QStringLiteral("高级设置"));
    buildEditor(tbsAdvanced, 1);
    tbsDetail = new TTabSheet(pgQBE);
    tbsDetail->setObjectName(QStringLiteral("tbsDetail"));
    tbsDetail->setCaption(QStringLiteral("单身设置"));
    buildEditor(tbsDetail, 2);

    // Key-filter page of the design: never shown or read.
    tbsKey = new TTabSheet(pgQBE);
    tbsKey->setObjectName(QStringLiteral("tbsKey"));
    auto* kl = new QVBoxLayout(tbsKey);
    for (int k = 1; k <= 8; ++k) {
        auto* cap = new QLabel(QStringLiteral("lbKeyField"), tbsKey);
        cap->setObjectName(QStringLiteral("lbKeyField%1").arg(k));
        auto* op = new QComboBox(tbsKey);
        op->setObjectName(QStringLiteral("cbKeyOp%1").arg(k));
        op->addItems({"<", "<=", "=", ">=", ">", "like"});
        auto* ed = new TKvDBComboBox(tbsKey);
        ed->setObjectName(QStringLiteral("edKey%1").arg(k));
        ed->setStyle(TKvDBComboBox::csSimple);
        ed->setDataSource(dsTemp_);
        ed->setDataField(QStringLiteral("K%1").arg(k));
        kl->addWidget(hbox(tbsKey, {cap, op, ed}));
    }
    for (TTabSheet* p : {tbsGeneral, tbsAdvanced, tbsDetail, tbsKey})
        pgQBE->AddPage(p);
    tbsKey->setTabVisible(false);
    tbsDetail->setTabVisible(false);
    connect(pgQBE, &TExtPageControl::Change, this, &TQBEForm::pageChanged);

    btnOK = new QPushButton(QStringLiteral("确定"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnCancel = new QPushButton(QStringLiteral("取消"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    root->addLayout(buttons);
    connect(btnOK, &QPushButton::clicked, this, [this] {
        DoCondition();
        setProperty("ModalResult", int(mrOk));
        close();
    });
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        setProperty("ModalResult", int(mrCancel));
        close();
    });

    hintWindow = new QLabel(this, Qt::ToolTip);
    hintWindow->setObjectName(QStringLiteral("hintWindow"));
    hintWindow->setAutoFillBackground(true);
    QPalette hp = hintWindow->palette();
    hp.setColor(QPalette::Window, toQColor(TColor(14548991), palette()));
    hintWindow->setPalette(hp);
    hintWindow->hide();
    built_ = true;
}

QWidget* TQBEForm::buildEditor(QWidget* page, int n) {
    const QString suffix = n == 1 ? QString() : QString::number(n);
    auto name = [&](const char* base) { return QLatin1String(base) + suffix; };
    auto* fieldBox = new QComboBox(page);
    fieldBox->setObjectName(name("cboField"));
    auto* opBox = new QComboBox(page);
    opBox->setObjectName(name("CbOperator"));
    opBox->addItems(
        {"等于", "大于或等于", "小于或等于", "大于", "小于", "不等于", "起始于", "终止于", "包含"});
    auto* valueBox = new TKvDBComboBox(page);
    valueBox->setObjectName(name("cboValue"));
    valueBox->setStyle(TKvDBComboBox::csDropDown);
    valueBox->setDataSource(n == 1 ? dsTemp_ : dsTemp2_);
    valueBox->setDataField(QStringLiteral("QBE"));
    auto* checkBox = new TFDbCheckBox(page);
    checkBox->setObjectName(name("ckbValue"));
    checkBox->setDataSource(n == 1 ? dsTemp_ : dsTemp2_);
    checkBox->setDataField(QStringLiteral("QBE"));
    checkBox->setValueChecked(QStringLiteral("Y"));
    checkBox->setValueUnchecked(QStringLiteral("N"));
    checkBox->hide();
    auto* logic = new TQBERadioGroup(QStringLiteral("条件关系"), {"AND", "OR"}, page);
    logic->setObjectName(name("rgLogic"));
    logic->setEnabled(false);
    auto* clear = new QPushButton(QStringLiteral("清除(&L)"), page);
    clear->setObjectName(name("BBClear"));
    auto* add = new QPushButton(QStringLiteral("添加(&A)"), page);
    add->setObjectName(name("BbAssign"));
    auto* memo = new QPlainTextEdit(page);
    memo->setObjectName(name("Memo"));
    if (n == 1) memo->setObjectName(QStringLiteral("Memo1"));

    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(4, 4, 4, 4);
    l->addWidget(hbox(page, {fieldBox, opBox}, 1));
    l->addWidget(hbox(page, {valueBox, checkBox}));
    l->addWidget(hbox(page, {logic, add, clear}, 0));
    l->addWidget(memo, 2);

    const bool cjk = cjkPage(UICodePage());
    fieldBox->setItemDelegate(new TwoColumnDelegate(fieldBox, cjk));

    if (n == 1) {
        cboField = fieldBox, CbOperator = opBox, cboValue = valueBox, ckbValue = checkBox, rgLogic = logic;
        BBClear = clear, BbAssign = add, Memo1 = memo;
        connect(fieldBox, &QComboBox::activated, this, &TQBEForm::cboFieldChange);
        connect(add, &QPushButton::clicked, this, &TQBEForm::BbAssignClick);
        connect(clear, &QPushButton::clicked, this, &TQBEForm::BBClearClick);
        connect(memo, &QPlainTextEdit::textChanged, this, &TQBEForm::Memo1Change);

        chkBody = new QCheckBox(QStringLiteral("含单身筛选条件"), page);
        chkBody->setObjectName(QStringLiteral("chkBody"));
        chkBody->hide();
        connect(chkBody, &QCheckBox::clicked, this, &TQBEForm::chkBodyClick);
        l->addWidget(chkBody);

        Label1 = new QLabel(QStringLiteral("设置排序字段"), page);
        Label1->setObjectName(QStringLiteral("Label1"));
        ListBox1 = new TFCheckListBox(page);
        ListBox1->setObjectName(QStringLiteral("ListBox1"));
        ListBox1->setMultiSelect(true);
        ListBox2 = new TFCheckListBox(page);
        ListBox2->setObjectName(QStringLiteral("ListBox2"));
        SpeedButton1 = new QToolButton(page);
        SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
        SpeedButton1->setText(QStringLiteral(">"));
        SpeedButton2 = new QToolButton(page);
        SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
        SpeedButton2->setText(QStringLiteral("<"));
        auto* arrows = new QWidget(page);
        auto* al = new QVBoxLayout(arrows);
        al->setContentsMargins(0, 0, 0, 0);
        al->addStretch(1);
        al->addWidget(SpeedButton1);
        al->addWidget(SpeedButton2);
        al->addStretch(1);
        auto* lists = new QWidget(page);
        auto* ll = new QHBoxLayout(lists);
        ll->setContentsMargins(0, 0, 0, 0);
        ll->addWidget(ListBox1, 1);
        ll->addWidget(arrows);
        ll->addWidget(ListBox2, 1);
        lists->setMinimumHeight(130);
        l->addWidget(Label1);
        l->addWidget(lists, 3);
        connect(ListBox1, &TFCheckListBox::DblClick, this, &TQBEForm::ListBox1DblClick);
        connect(SpeedButton1, &QToolButton::clicked, this, &TQBEForm::ListBox1DblClick);
        connect(ListBox2, &TFCheckListBox::DblClick, this, &TQBEForm::ListBox2DblClick);
        connect(SpeedButton2, &QToolButton::clicked, this, &TQBEForm::ListBox2DblClick);
        QListWidget* target = ListBox2->list();
        target->setDragEnabled(true);
        target->setAcceptDrops(true);
        target->setDragDropMode(QAbstractItemView::DragDrop);
        target->viewport()->installEventFilter(this);
        for (TFCheckListBox* lb : {ListBox1, ListBox2}) {
            lb->list()->setItemDelegate(new TwoColumnDelegate(lb->list(), cjk));
            lb->list()->setMouseTracking(true);
            lb->list()->viewport()->setMouseTracking(true);
            lb->list()->viewport()->installEventFilter(this);
        }
        page->setMouseTracking(true);
        page->installEventFilter(this);
    } else {
        cboField2 = fieldBox, CbOperator2 = opBox, cboValue2 = valueBox, ckbValue2 = checkBox,
        rgLogic2 = logic;
        BBClear2 = clear, BbAssign2 = add, Memo2 = memo;
        connect(fieldBox, &QComboBox::activated, this, &TQBEForm::cboField2Change);
        connect(add, &QPushButton::clicked, this, &TQBEForm::BbAssign2Click);
        connect(clear, &QPushButton::clicked, this, &TQBEForm::BBClear2Click);
        connect(memo, &QPlainTextEdit::textChanged, this,
                [this] { rgLogic2->setEnabled(!Memo2->toPlainText().isEmpty()); });
    }
    for (QLineEdit* le : valueBox->findChildren<QLineEdit*>())
        le->installEventFilter(this);
    return page;
}

void TQBEForm::FormCreate() {
    TKVForm::FormCreate();
    CbOperator->setCurrentIndex(0);
    CbOperator2->setCurrentIndex(0);
    rgLogic->SetItemIndex(0);
    rgLogic2->SetItemIndex(0);
    cdsTemp->Edit();
    cdsTemp2->Edit();
    pgQBE->setActivePage(tbsGeneral);
    tbsDetail->setTabVisible(false);

    QString text;
    GetMessage(QLatin1String(kPackage), QStringLiteral("C_Operators"), text, true,
               qbe::defaultOperators().join(u'\n'));
    operators_ = text.split(u'\n', Qt::SkipEmptyParts);
    for (QString& o : operators_)
        o = o.trimmed();
    QStringList ops;
    for (const QString& o : std::as_const(operators_))
        ops << o;
    sg1->setColPickList(1, ops);
    // The advanced operator lists are the table's first nine lines (no list operator).
    for (QComboBox* box : {CbOperator, CbOperator2}) {
        box->clear();
        for (int i = 0; i < qMin(9, int(operators_.size())); ++i)
            box->addItem(MappedItems::displayPart(operators_[i]));
        box->setCurrentIndex(0);
    }
    const char* heads[] = {"Cells00", "Cells10", "Cells20"};
    const char* defaults[] = {"查询字段", "操作符", "条件"};
    for (int c = 0; c < 3; ++c)
        sg1->setCells(c, 0,
                      GetMessage(QLatin1String(kPackage), QLatin1String(heads[c]), text, false,
                                 QString::fromUtf8(defaults[c])));
    GetMessage(QLatin1String(kPackage), QStringLiteral("moMsgLngLines"), text, true,
               defaultMessages().join(u'\n'));
    messages_ = text.split(u'\n');
    for (QString& m : messages_)
        m = m.trimmed();
    while (messages_.size() < defaultMessages().size())
        messages_ << defaultMessages().at(messages_.size());
}

// --- InitQuery ------------------------------------------------------------------------------------

QString TQBEForm::PaddedLabel(const QString& label, const QString& uiCodePage) {
    return label.leftJustified(cjkPage(uiCodePage) ? 14 : 22, u' ');
}

void TQBEForm::InitQuery(TClientDataSet* mainDataSet, const QString& tableName, bool hideRowLimit,
                         const QString& selectColumns, const QString& keyFields) {
    main_ = mainDataSet;
    tableName_ = tableName;
    hideRowLimit_ = hideRowLimit;
    selectColumns_ = selectColumns.trimmed();
    keyFields_ = keyFields;
    if (tableName_.compare(QLatin1String("ATTACH"), Qt::CaseInsensitive) == 0)
        selectColumns_ = QStringLiteral("KVXMA.MA002 UserName, ADM.MB002 ProgName, KVX.MB002 CompanyName, "
                                        "VOSK.Status, VOSK.DocName, VOSK.DocType, VOSK.Description");

    buildFieldLists();

    const bool wasHidden = pnlTopRow->isHidden();
    pnlTopRow->setVisible(!hideRowLimit_);
    if (hideRowLimit_ != wasHidden)
        resize(width(), height() + (hideRowLimit_ ? -kRowLimitHeight : kRowLimitHeight));
    pgQBE->setActivePage(tbsGeneral);

    lstCondition->SetColumns({Msg(2), Msg(3)});
    LoadSchemes();

    buildCatalogue();
    TranslateOnce();
    initialRows();
}

TField* TQBEForm::datasetField(TClientDataSet* ds, const QString& name) const {
    return ds ? ds->FindField(name) : nullptr;
}

TQBEEditKind TQBEForm::editKindOf(const TField* field) const {
    const QString up = field->FieldName().toUpper();
    if (up == QLatin1String("CREATE_DATE") || up == QLatin1String("MODI_DATE")) return TQBEEditKind::Date;
    return owner_ ? owner_->QBEFieldEditKind(field) : TQBEEditKind::None;
}

void TQBEForm::fillFieldList(QComboBox* box, TFCheckListBox* list, QStringList& names, TClientDataSet* ds,
                             const QString& table, const QString& select) {
    box->clear();
    if (list) list->setItems({});
    names.clear();
    if (!ds) return;
    const QString cp = UICodePage();
    const bool attach = table.compare(QLatin1String("ATTACH"), Qt::CaseInsensitive) == 0;
    QStringList items, audit, auditNames;
    for (TField* f : ds->Fields()) {
        if (f->FieldKind() != TField::fkData) continue;
        const QString fn = f->FieldName();
        const QString label = PaddedLabel(f->DisplayLabel().trimmed(), cp);
        if (qbe::isAuditField(fn)) {
            audit << label + u'\t' + fn;
            auditNames << fn;
            continue;
        }
        QString sqlName;
        if (qbe::endsInColumnNumber(fn)) {
            if (!f->Visible()) continue;
            sqlName = fn;
        } else if (attach && attachFields().contains(fn, Qt::CaseInsensitive)) {
            sqlName = fn;
        } else {
            if (!f->Visible()) continue;
            sqlName = qbe::advancedName(fn, table, select);
            if (sqlName.isEmpty()) continue;
        }
        items << label + u'\t' + sqlName;
        names << fn;
    }
    items << audit;
    names << auditNames;
    box->addItems(items);
    if (list) list->setItems(items);
}

void TQBEForm::buildFieldLists() {
    fillFieldList(cboField, ListBox1, advancedFieldNames_, main_, tableName_, selectColumns_);
    ListBox2->setItems({});
    cboField->setCurrentIndex(cboField->count() > 0 ? 0 : -1);
    cboFieldChange();
    // The detail filter exists only for a window with detail inputs.
    chkBody->setVisible(owner_ && owner_->QBEDetail());
    if (const TQBEDetailInputs* d = owner_ ? owner_->QBEDetail() : nullptr) {
        fillFieldList(cboField2, nullptr, detailFieldNames_, d->dataSet, d->tableName,
                      d->selectColumns.trimmed());
        cboField2->setCurrentIndex(cboField2->count() > 0 ? 0 : -1);
        cboField2Change();
    }
}

void TQBEForm::buildCatalogue() {
    catalogue_.Clear();
    while (sg1->RowCount() > 2)
        sg1->DeleteRow(sg1->RowCount() - 1);
    clearRow(1);
    lastField_.clear();
    QStringList captions;
    if (main_) {
        const bool attach = tableName_.compare(QLatin1String("ATTACH"), Qt::CaseInsensitive) == 0;
        for (TField* f : main_->Fields()) {
            if (f->FieldKind() != TField::fkData || !f->Visible()) continue;
            if (qbe::typeClassOf(f->DataType()) == qbe::TypeClass::Unsupported) continue;
            auto info = std::make_unique<TRecordInfo>();
            info->Caption = f->DisplayLabel().trimmed();
            info->DataType = f->DataType();
            info->FieldName = f->FieldName();
            if (qbe::endsInColumnNumber(f->FieldName()) || attach) {
                info->Expression = tableName_ + u'.' + f->FieldName();
            } else {
                info->Expression = qbe::catalogueExpression(f->FieldName(), tableName_, selectColumns_);
                if (info->Expression.isEmpty()) continue;
            }
            const TQBEEditKind kind = editKindOf(f);
            const QString mask = !owner_                           ? QString()
                                 : kind == TQBEEditKind::Date      ? owner_->QBEDateMask()
                                 : kind == TQBEEditKind::YearMonth ? owner_->QBEYearMonthMask()
                                                                   : QString();
            const QStringList setting = owner_ ? owner_->QBEControlSetting(f->FieldName()) : QStringList();
            if (!setting.isEmpty() &&
                setting.first().trimmed().compare(QLatin1String("CheckBox"), Qt::CaseInsensitive) == 0)
                info->CheckBox = true;
            else
                info->EditMask = mask;
            if (owner_)
                for (TKvDBComboBox* editor : owner_->QBEGridEditors())
                    if (editor && editor->DataField().compare(f->FieldName(), Qt::CaseInsensitive) == 0)
                        info->PickList = editor->Items();
            captions << info->Caption + u'\t' + f->FieldName();
            const QString key = f->FieldName() + u'=' + info->Caption;
            catalogue_.Add(key, std::move(info));
        }
    }
    sg1->setColPickList(0, captions);
    paintRows();
}

void TQBEForm::initialRows() {
    if (!main_) return;
    int row = 1;
    for (const QString& raw : keyFields_.split(u',', Qt::SkipEmptyParts)) {
        TField* f = main_->FindField(raw.trimmed());
        if (!f || !f->Visible()) continue;
        if (row > 1) sg1->setRowCount(row + 1);
        sg1->setCells(0, row, f->DisplayLabel().trimmed());
        fieldPicked(row, f->DisplayLabel().trimmed());
        ++row;
    }
    paintRows();
    sg1->table()->setCurrentCell(1, 2);
}

// --- general grid -------------------------------------------------------------------------------------

int TQBEForm::dataRows() const {
    return sg1->RowCount() - 1;
}

bool TQBEForm::rowEmpty(int row) const {
    return sg1->Cells(0, row).trimmed().isEmpty();
}

void TQBEForm::reopenEditor() {
    QTableWidget* t = sg1->table();
    if (t->currentIndex().isValid()) t->edit(t->currentIndex());
}

void TQBEForm::paintRows() {
    for (int r = 1; r < sg1->RowCount(); ++r)
        for (int c = 0; c < 4; ++c)
            sg1->setCellColor(c, r, toQColor(TColor(r % 2 ? 15532027 : 15202766), palette()), Qt::black);
}

void TQBEForm::clearRow(int row) {
    for (int c = 0; c < 4; ++c) {
        sg1->setCells(c, row, QString());
        sg1->resetCell(c, row);
    }
}

void TQBEForm::gridSelectCell(int col, int row, bool& canSelect) {
    // Leaving a value cell checks what was typed there (the view has stored the editor's text).
    const int prevRow = prevRow_, prevCol = prevCol_;
    if (prevCol == 2 && prevRow >= 1 && (prevRow != row || prevCol != col)) {
        if (!leaveValueCell(prevCol, prevRow)) {
            canSelect = false;
            return;
        }
    }
    prevRow_ = row;
    prevCol_ = col;
    if (row < 1) return;
    if (sg1->Cells(1, row).isEmpty() && !operators_.isEmpty())
        sg1->setCells(1, row, MappedItems::displayPart(operators_.first()));
    if (sg1->Cells(3, row).isEmpty()) sg1->setCells(3, row, QStringLiteral("AND"));
    if (col == 0) {
        const TRecordInfo* info = catalogue_.FindByCaption(sg1->Cells(0, row).trimmed());
        numberRow_ = info && qbe::typeClassOf(info->DataType) == qbe::TypeClass::Number;
        lastField_ = sg1->Cells(0, row);
    }
}

void TQBEForm::gridEditText(int col, int row, const QString& text) {
    if (col == 0) fieldPicked(row, text);
}

void TQBEForm::fieldPicked(int row, const QString& caption) {
    if (caption == lastField_ && !sg1->Cells(2, row).isEmpty()) return;
    lastField_ = caption;
    sg1->setCells(2, row, QString());
    sg1->resetCell(2, row);
    const TRecordInfo* info = catalogue_.FindByCaption(caption.trimmed());
    if (!info) return;
    numberRow_ = qbe::typeClassOf(info->DataType) == qbe::TypeClass::Number;
    if (numberRow_ && info->PickList.isEmpty()) {
        sg1->setCellNumber(2, row, true);
    } else if (info->CheckBox) {
        sg1->setCellCheckBox(2, row, QStringLiteral("Y;N"));
        sg1->setCells(2, row, QStringLiteral("N"));
    } else {
        sg1->setCellEditMask(2, row, info->EditMask);
        if (!info->PickList.isEmpty()) sg1->setCellPickList(2, row, info->PickList);
    }
}

bool TQBEForm::leaveValueCell(int col, int row) {
    if (row >= sg1->RowCount()) return true;
    const QString text = sg1->Cells(col, row);
    if (text.isEmpty()) return true;
    if (sg1->isCellNumber(col, row) && !qbe::isNumber(text)) {
        sg1->setCells(col, row, QString());
        return true;
    }
    const QString mask = sg1->cellEditMask(col, row);
    if (mask.isEmpty() || !owner_) return true;
    if (text == EditMask(mask).emptyMaskedText()) return true;
    if (mask == owner_->QBEDateMask()) {
        const QString stored = qbe::dateToStored(text, owner_->QBEDateFormat(), owner_->QBEDateSeparator());
        if (stored.isEmpty() || !CheckDate(stored)) {
            MessageDlg(Msg(6), MsgDlgType::Error, MsgDlgButtons(mbOK));
            return false;
        }
    } else if (mask == owner_->QBEYearMonthMask()) {
        const QString stored =
            qbe::yearMonthToStored(text, owner_->QBEDateFormat(), owner_->QBEDateSeparator());
        if (!qbe::validYearMonth(stored)) {
            MessageDlg(Msg(7), MsgDlgType::Error, MsgDlgButtons(mbOK));
            return false;
        }
    }
    return true;
}

bool TQBEForm::removeEmptyRows() {
    if (dataRows() == 1) {
        if (rowEmpty(1) &&
            !(sg1->Cells(1, 1).isEmpty() && sg1->Cells(2, 1).isEmpty() && sg1->Cells(3, 1).isEmpty())) {
            clearRow(1);
            return true;
        }
        return false;
    }
    bool removed = false;
    for (int r = sg1->RowCount() - 1; r >= 1; --r) {
        if (!rowEmpty(r)) continue;
        if (dataRows() == 1) {
            clearRow(r);
        } else {
            sg1->DeleteRow(r);
        }
        removed = true;
    }
    if (removed) paintRows();
    return removed;
}

bool TQBEForm::mayAddRow() const {
    if (catalogue_.Count() == 0) return false;
    for (int r = 1; r < sg1->RowCount(); ++r)
        if (rowEmpty(r)) return false;
    if (dataRows() == 1 && (sg1->Cells(1, 1).isEmpty() || sg1->Cells(3, 1).isEmpty())) return false;
    return true;
}

void TQBEForm::appendRow(bool withDefaults) {
    const int row = sg1->RowCount();
    sg1->setRowCount(row + 1);
    paintRows();
    if (withDefaults) {
        if (!operators_.isEmpty()) sg1->setCells(1, row, MappedItems::displayPart(operators_.first()));
        sg1->setCells(3, row, QStringLiteral("AND"));
    }
}

QString TQBEForm::RowCondition(int row) const {
    if (row < 1 || row >= sg1->RowCount()) return {};
    const QString caption = sg1->Cells(0, row).trimmed();
    const QString op = qbe::operatorValue(operators_, sg1->Cells(1, row).trimmed());
    const QString value = sg1->Cells(2, row);
    if (caption.isEmpty() || op.isEmpty() || value.trimmed().isEmpty()) return {};
    const TRecordInfo* info = catalogue_.FindByCaption(caption);
    if (!info) return {};
    qbe::RowField f;
    f.expression = info->Expression;
    f.typeClass = qbe::typeClassOf(info->DataType);
    f.pickList = info->PickList;
    f.editMask = info->EditMask;
    if (owner_ && !f.editMask.isEmpty()) {
        f.dateMask = f.editMask == owner_->QBEDateMask();
        f.yearMonthMask = !f.dateMask && f.editMask == owner_->QBEYearMonthMask();
    }
    return qbe::rowCondition(f, op, value, sg1->Cells(3, row), owner_ ? owner_->QBEDateFormat() : 1,
                             owner_ ? owner_->QBEDateSeparator() : QStringLiteral("/"));
}

QString TQBEForm::GridCondition() const {
    QStringList rows;
    for (int r = 1; r < sg1->RowCount(); ++r)
        rows << RowCondition(r);
    return qbe::gridCondition(rows);
}

bool TQBEForm::FormKeyDown(QKeyEvent* e) {
    QWidget* focus = QApplication::focusWidget();
    auto* watched = qobject_cast<QWidget*>(focus);
    // The scheme list's caption editor keeps its own Enter and Escape.
    if (watched && lstCondition->isAncestorOf(watched)) return false;
    if (e->key() == Qt::Key_Escape) {
        btnCancel->click();
        return true;
    }
    if (!watched || !sg1->isAncestorOf(watched)) {
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && pgQBE->ActivePage() != tbsGeneral &&
            !qobject_cast<QPlainTextEdit*>(watched)) {
            btnOK->click();
            return true;
        }
        return false;
    }
    const int key = e->key();
    const int row = sg1->Row(), col = sg1->Col();
    if (key == Qt::Key_Delete && (e->modifiers() & Qt::ControlModifier)) {
        if (dataRows() >= 2) {
            sg1->table()->closePersistentEditor(sg1->table()->currentItem());
            sg1->DeleteRow(row);
            paintRows();
        } else {
            clearRow(1);
        }
        return true;
    }
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
        sg1->commitEditor();
        if (removeEmptyRows()) {
            reopenEditor();
            return true;
        }
        if (key == Qt::Key_Down && row == sg1->RowCount() - 1) {
            if (mayAddRow()) {
                appendRow(true);
                sg1->table()->setCurrentCell(row + 1, col);
            } else {
                reopenEditor();
            }
            return true;
        }
        sg1->table()->setCurrentCell(qBound(1, row + (key == Qt::Key_Down ? 1 : -1), sg1->RowCount() - 1),
                                     col);
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        sg1->commitEditor();
        if (col < 3) {
            sg1->table()->setCurrentCell(row, col + 1);
        } else if (row < sg1->RowCount() - 1) {
            sg1->table()->setCurrentCell(row + 1, 0);
        } else if (mayAddRow()) {
            appendRow(false);
            sg1->table()->setCurrentCell(row + 1, 0);
        } else {
            sg1->table()->setCurrentCell(row, 0);
        }
        return true;
    }
    if (numberRow_ && !e->text().isEmpty() && e->text().at(0).isPrint()) {
        const QChar c = e->text().at(0);
        if (!c.isDigit() && c != u'.') return true;
    }
    return false;
}

// --- row limit ----------------------------------------------------------------------------------------

void TQBEForm::SetRowLimit(int n) {
    const QString text = QString::number(n);
    QStringList items = cbTopRow->Items();
    if (!items.contains(text)) {
        items.prepend(text);
        cbTopRow->setItems(items);
    }
    cbTopRow->setText(text);
}

int TQBEForm::RowLimit() const {
    bool ok = false;
    const int n = cbTopRow->Text().trimmed().toInt(&ok);
    return ok ? n : 500;
}

// --- pages, show and results --------------------------------------------------------------------------

void TQBEForm::pageChanged() {
    btnOK->setDefault(pgQBE->ActivePage() != tbsGeneral);
}

void TQBEForm::FormShow() {
    TKVForm::FormShow();
    if (firstActivation_) {
        firstActivation_ = false;
        pgQBE->setActivePage(tbsGeneral);
        Memo1->setMinimumHeight(Memo1->minimumHeight() + 10);
    }
    if (!chkBody->isHidden()) {
        if (pgQBE->ActivePage() == tbsDetail) pgQBE->setActivePage(tbsAdvanced);
        tbsDetail->setTabVisible(false);
        chkBody->setChecked(false);
    }
    fitDropDowns();
    pageChanged();
}

void TQBEForm::fitDropDowns() {
    for (QComboBox* box : {cboField, cboField2, CbOperator, CbOperator2}) {
        const bool field = box == cboField || box == cboField2;
        const QFontMetrics fm(box->font());
        const int tab = fm.horizontalAdvance(QLatin1Char('0')) * (cjkPage(UICodePage()) ? 6 : 10);
        int widest = 0;
        for (int i = 0; i < box->count(); ++i) {
            const QString t = box->itemText(i);
            int w = fm.horizontalAdvance(t.section(u'\t', 0, 0));
            if (t.contains(u'\t')) w = ((w / tab) + 1) * tab + fm.horizontalAdvance(t.section(u'\t', 1));
            widest = qMax(widest, w);
        }
        const int wanted = widest + (field ? 60 : 5);
        if (box->minimumWidth() < wanted) box->setMinimumWidth(wanted);
        box->view()->setMinimumWidth(wanted);
    }
}

void TQBEForm::hideEvent(QHideEvent* event) {
    hintWindow->hide();
    TKVForm::hideEvent(event);
}

bool TQBEForm::Execute(QString& condition, QString& ordering) {
    setProperty("ModalResult", int(mrNone));
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    QMetaObject::Connection quit = connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    setAttribute(Qt::WA_DeleteOnClose, false);
    show();
    struct CloseWatch : QObject {
        QEventLoop* loop;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Hide) loop->quit();
            return false;
        }
    } watch;
    watch.loop = &loop;
    installEventFilter(&watch);
    if (isVisible()) loop.exec();
    removeEventFilter(&watch);
    disconnect(quit);
    if (property("ModalResult").toInt() != mrOk) return false;
    ordering = sortText_.trimmed().isEmpty() ? keyFields_ : sortText_;
    const QString text = chkBody->isChecked() ? combined_ : condition_;
    condition = KvConverter()->RecoverUIString(Variant(text)).toString();
    return true;
}

QString TQBEForm::CurrentCondition() const {
    return chkBody->isChecked() ? combined_ : condition_;
}

void TQBEForm::DoCondition() {
    TTabSheet* page = pgQBE->ActivePage();
    if (page == tbsGeneral || !page) {
        sg1->commitEditor();
        if (sg1->Col() == 2 && sg1->Row() >= 1) leaveValueCell(2, sg1->Row());
        condition_ = GridCondition();
        sortText_.clear();
        combined_ = condition_;
        return;
    }
    condition_ = Memo1->toPlainText();
    if (chkBody->isChecked()) {
        qbe::DetailFilter f;
        f.masterTable = tableName_;
        f.masterKeys = keyFields_;
        // The detail filter exists only for a window with detail inputs.
        chkBody->setVisible(owner_ && owner_->QBEDetail());
        if (const TQBEDetailInputs* d = owner_ ? owner_->QBEDetail() : nullptr) {
            f.detailTable = d->tableName;
            f.detailKeys = d->keyFields;
            f.extraClause = d->extraClause;
        }
        f.databaseName = owner_ ? owner_->QBEDatabaseName() : QString();
        combined_ = qbe::combinedCondition(Memo1->toPlainText(), Memo2->toPlainText(), f);
    } else {
        combined_ = condition_;
    }
    QList<bool> desc;
    for (int i = 0; i < ListBox2->count(); ++i)
        desc << ListBox2->isChecked(i);
    sortText_ = qbe::sortText(ListBox2->Items(), desc, tableName_, selectColumns_);
}

// --- advanced page ------------------------------------------------------------------------------------

void TQBEForm::prepareValueEditor(QComboBox* fieldBox, const QStringList& names, TClientDataSet* ds,
                                  TClientDataSet* temp, TKvDBComboBox* valueBox, TFDbCheckBox* checkBox) {
    TField* qbeField = temp->FieldByName(QStringLiteral("QBE"));
    if (temp->State() != TDataSetState::dsEdit && temp->State() != TDataSetState::dsInsert) temp->Edit();
    qbeField->Clear();
    const int i = fieldBox->currentIndex();
    TField* f = i >= 0 ? datasetField(ds, names.value(i)) : nullptr;
    const TQBEEditKind kind = f ? editKindOf(f) : TQBEEditKind::None;
    if (owner_) owner_->QBEPrepareValueField(qbeField, kind);
    const bool number = f && qbe::isAdvancedNumber(f->DataType());
    valueBox->setProperty("NumberKeys", number);
    const QStringList setting = f && owner_ ? owner_->QBEControlSetting(f->FieldName()) : QStringList();
    const QString kindName = setting.value(0).trimmed();
    checkBox->hide();
    valueBox->show();
    valueBox->setMapList(false);
    valueBox->setItems({});
    valueBox->setStyle(TKvDBComboBox::csSimple);
    if (kindName.compare(QLatin1String("CustomEdit"), Qt::CaseInsensitive) == 0) {
        if (TKvDBComboBox* source = owner_->QBEFindCombo(setting.value(1).trimmed())) {
            valueBox->setStyle(source->Style());
            valueBox->setMapList(source->MapList());
            valueBox->setItems(source->Items());
        } else {
            qCWarning(lcQuery) << "control setting of" << f->FieldName() << "names no drop-down editor"
                               << setting.value(1);
        }
    } else if (kindName.compare(QLatin1String("CheckBox"), Qt::CaseInsensitive) == 0) {
        checkBox->setValueChecked(setting.value(1, QStringLiteral("Y")));
        checkBox->setValueUnchecked(setting.value(2, QStringLiteral("N")));
        valueBox->hide();
        checkBox->show();
    }
    const QString mask = qbeField->EditMask();
    for (QLineEdit* le : valueBox->findChildren<QLineEdit*>()) {
        EditMask(mask).applyTo(le);
        le->installEventFilter(this);
    }
    valueBox->setValue(QString());
}

void TQBEForm::cboFieldChange() {
    prepareValueEditor(cboField, advancedFieldNames_, main_, cdsTemp, cboValue, ckbValue);
}

void TQBEForm::cboField2Change() {
    const TQBEDetailInputs* d = owner_ ? owner_->QBEDetail() : nullptr;
    prepareValueEditor(cboField2, detailFieldNames_, d ? d->dataSet : nullptr, cdsTemp2, cboValue2,
                       ckbValue2);
}

void TQBEForm::assign(QComboBox* fieldBox, const QStringList& names, TClientDataSet* ds, const QString& table,
                      const QString& select, TClientDataSet* temp, TKvDBComboBox* valueBox,
                      TFDbCheckBox* checkBox, QComboBox* opBox, TQBERadioGroup* logic, QPlainTextEdit* memo) {
    // What the value editor holds: a check box's text, a list's stored value, or the typed text as the
    // value field's handlers store it.
    QString value;
    if (!checkBox->isHidden()) {
        value =
            (checkBox->Checked() ? checkBox->ValueChecked() : checkBox->ValueUnchecked()).section(u';', 0, 0);
    } else if (!valueBox->isEditable()) {
        value = valueBox->Value();
    } else {
        if (!valueBox->UpdateRecord()) return;
        const Variant v = temp->FieldByName(QStringLiteral("QBE"))->Value();
        value = v.isNull() || v.isUnassigned() ? QString() : v.toString();
    }
    const int i = fieldBox->currentIndex();
    TField* f = i >= 0 ? datasetField(ds, names.value(i)) : nullptr;
    qbe::AdvancedTerm t;
    t.name = fieldBox->itemText(i).section(u'\t', 1);
    t.fieldName = f ? f->FieldName() : names.value(i);
    t.tableName = table;
    t.selectColumns = select;
    t.number = f && qbe::isAdvancedNumber(f->DataType());
    t.operatorIndex = opBox->currentIndex();
    t.value = value;
    t.sqlType = owner_ ? owner_->QBESqlType() : 0;
    const QString cond = i < 0 || value.isEmpty() ? QString() : qbe::advancedCondition(t);
    if (cond.isEmpty()) {
        MessageDlg(Msg(0), MsgDlgType::Error, MsgDlgButtons(mbOK));
        valueBox->setFocus();
        return;
    }
    memo->setPlainText(qbe::appendAdvancedLine(memo->toPlainText(), cond, logic->ItemText()));
}

void TQBEForm::BbAssignClick() {
    assign(cboField, advancedFieldNames_, main_, tableName_, selectColumns_, cdsTemp, cboValue, ckbValue,
           CbOperator, rgLogic, Memo1);
}

void TQBEForm::BbAssign2Click() {
    const TQBEDetailInputs* d = owner_ ? owner_->QBEDetail() : nullptr;
    if (!d) return;
    assign(cboField2, detailFieldNames_, d->dataSet, d->tableName, d->selectColumns.trimmed(), cdsTemp2,
           cboValue2, ckbValue2, CbOperator2, rgLogic2, Memo2);
}

void TQBEForm::BBClearClick() {
    Memo1->clear();
    rgLogic->setEnabled(false);
}

void TQBEForm::BBClear2Click() {
    Memo2->clear();
    rgLogic2->setEnabled(false);
}

void TQBEForm::Memo1Change() {
    rgLogic->setEnabled(!Memo1->toPlainText().isEmpty());
}

void TQBEForm::ListBox1DblClick() {
    const QStringList chosen = ListBox2->Items();
    for (int i = 0; i < ListBox1->count(); ++i) {
        if (!ListBox1->isSelected(i)) continue;
        const QString item = ListBox1->Items().at(i);
        if (!chosen.contains(item) && !ListBox2->Items().contains(item)) ListBox2->addItem(item);
    }
}

void TQBEForm::ListBox2DblClick() {
    const int i = ListBox2->ItemIndex();
    if (i >= 0) ListBox2->deleteItem(i);
}

void TQBEForm::ListBox2DragDrop(int sourceIndex, const QPoint& pos) {
    const int n = ListBox2->count();
    if (sourceIndex < 0 || sourceIndex >= n) return;
    QListWidgetItem* under = ListBox2->list()->itemAt(pos);
    const int target = under ? ListBox2->list()->row(under) : n - 1;
    if (target == sourceIndex) return;
    ListBox2->moveItem(sourceIndex, target);
    ListBox2->setItemIndex(target);
}

void TQBEForm::chkBodyClick() {
    tbsDetail->setTabVisible(chkBody->isChecked());
    pgQBE->setActivePage(chkBody->isChecked() ? tbsDetail : tbsAdvanced);
}

void TQBEForm::showHintFor(TFCheckListBox* list, const QPoint& pos) {
    QListWidgetItem* item = list->list()->itemAt(pos);
    if (!item) {
        hintWindow->hide();
        return;
    }
    QString text = item->text();
    text.replace(u'\t', u' ');
    const QFontMetrics fm(list->list()->font());
    const QRect r = list->list()->visualItemRect(item);
    if (fm.horizontalAdvance(text) + 24 <= list->list()->viewport()->width()) {
        hintWindow->hide();
        return;
    }
    hintWindow->setText(text);
    hintWindow->adjustSize();
    if (UICodePage() == QLatin1String("437"))
        hintWindow->resize(hintWindow->width(), hintWindow->height() + 4);
    QPoint at = list->list()->viewport()->mapToGlobal(r.topLeft());
    const QScreen* screen = this->screen();
    const int right = screen ? screen->geometry().right() : at.x() + hintWindow->width();
    if (at.x() + hintWindow->width() > right) at.setX(qMax(0, right - hintWindow->width()));
    hintWindow->move(at);
    hintWindow->show();
}

bool TQBEForm::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type t = event->type();
    // The window's filter sees the application's events from construction on.
    if (!built_) return TKVForm::eventFilter(watched, event);
    // Row limit: digits and backspace only.
    if (t == QEvent::KeyPress && (watched == cbTopRow->combo() || watched == cbTopRow->combo()->lineEdit())) {
        auto* k = static_cast<QKeyEvent*>(event);
        const QString s = k->text();
        if (!s.isEmpty() && s.at(0).isPrint() && !s.at(0).isDigit()) return true;
    }
    // Number fields of the advanced page: digits, "-", one ".".
    if (t == QEvent::KeyPress) {
        auto* le = qobject_cast<QLineEdit*>(watched);
        QWidget* box = le ? le->parentWidget() : nullptr;
        while (box && !qobject_cast<TKvDBComboBox*>(box))
            box = box->parentWidget();
        if (box && box->property("NumberKeys").toBool()) {
            const QString s = static_cast<QKeyEvent*>(event)->text();
            if (!s.isEmpty() && s.at(0).isPrint()) {
                const QChar c = s.at(0);
                if (!(c.isDigit() || c == u'-' || c == u'.')) return true;
                if (c == u'.' && le->text().contains(u'.')) return true;
            }
        }
    }
    // Mouse wheel and clicks in the general grid remove empty rows.
    if (watched == sg1->table()->viewport()) {
        if (t == QEvent::Wheel) {
            if (removeEmptyRows()) return true;
        } else if (t == QEvent::MouseButtonPress) {
            const QPoint p = static_cast<QMouseEvent*>(event)->position().toPoint();
            const int row = sg1->table()->rowAt(p.y()), col = sg1->table()->columnAt(p.x());
            if (row >= 1 && col >= 1 && !rowEmpty(row)) {
                sg1->commitEditor();
                if (removeEmptyRows()) {
                    // The row under the mouse may have moved up.
                    return true;
                }
            }
        }
    }
    if (ListBox2 && watched == ListBox2->list()->viewport()) {
        if (t == QEvent::DragEnter || t == QEvent::DragMove) {
            auto* d = static_cast<QDropEvent*>(event);
            if (d->source() == ListBox2->list()) {
                d->setDropAction(Qt::MoveAction);
                d->accept();
            } else {
                d->ignore();
            }
            return true;
        }
        if (t == QEvent::Drop) {
            auto* d = static_cast<QDropEvent*>(event);
            if (d->source() == ListBox2->list()) {
                ListBox2DragDrop(ListBox2->ItemIndex(), d->position().toPoint());
                d->setDropAction(Qt::IgnoreAction);
                d->accept();
            }
            return true;
        }
    }
    if (t == QEvent::MouseMove) {
        for (TFCheckListBox* lb : {ListBox1, ListBox2})
            if (lb && watched == lb->list()->viewport())
                showHintFor(lb, static_cast<QMouseEvent*>(event)->position().toPoint());
        if (watched == tbsAdvanced) hintWindow->hide();
    }
    if (t == QEvent::Leave && ListBox1 &&
        (watched == ListBox1->list()->viewport() || watched == ListBox2->list()->viewport()))
        hintWindow->hide();
    return TKVForm::eventFilter(watched, event);
}

} // namespace kvx
