#include "SingleCF.h"

#include "Gauge.h"
#include "ShowStatusCF.h"
#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "controls/StatusBar.h"
#include "data/SingleCD.h"
#include "entry/MT_Doc.h"
#include "platform/ClientDataSet.h"
#include "platform/DataSource.h"
#include "platform/Field.h"
#include "platform/IniFile.h"
#include "platform/PropertySetter.h"
#include "platform/Registry.h"
#include "query/KvQBE.h"
#include "query/OptionsCF.h"
#include "query/UserDefINI.h"
#include "server/BuildVariant.h"
#include "server/LibStrs.h"
#include "server/StartReads.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace kvx {

namespace {

// Controls bound to a field: the data-aware controls of the library publish DataField and DataSource.
QString boundField(const QObject* o) {
    const QVariant v = o->property("DataField");
    return v.isValid() ? v.toString() : QString();
}

bool isNumericType(FieldType t) {
    switch (t) {
    case FieldType::Smallint:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::LargeInt:
        return true;
    default:
        return false;
    }
}

QStringList splitList(const QString& list) {
    QStringList out;
    for (const QString& s : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!s.trimmed().isEmpty()) out << s.trimmed();
    return out;
}

// The fields of one "dataset:field,field" item of a list of such items.
QStringList itemFields(const QString& list, const QString& dataSet) {
    for (const QString& item : list.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int colon = item.indexOf(QLatin1Char(':'));
        if (colon < 0) continue;
        if (item.left(colon).trimmed().compare(dataSet, Qt::CaseInsensitive) == 0)
            return splitList(item.mid(colon + 1));
    }
    return {};
}

// The first control of a page that takes the focus.
void focusFirstControl(QWidget* page) {
    if (!page) return;
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain())
        if (page->isAncestorOf(w) && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
}

// The colour-filter menu draws its items itself: each in its rule's colours (the action's data holds the
// font and the background colour; an invalid background is the menu's colour), the highlighted item on the
// highlight colour, the caption centred.
class ColorConditionMenu : public QMenu {
public:
    using QMenu::QMenu;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QColor menuColor = palette().color(QPalette::Window);
        p.fillRect(rect(), menuColor);
        for (QAction* a : actions()) {
            const QRect r = actionGeometry(a);
            if (!r.isValid() || !a->isVisible()) continue;
            const QVariantList colors = a->data().toList();
            const QColor text = colors.value(0).value<QColor>();
            const QColor back = colors.value(1).value<QColor>();
            p.fillRect(r, a == activeAction() ? palette().color(QPalette::Highlight)
                                              : (back.isValid() ? back : menuColor));
            p.setPen(text.isValid() ? text : QColor(Qt::black));
            p.drawText(r, Qt::AlignCenter | Qt::TextShowMnemonic, a->text());
        }
    }
};

constexpr int kOkImage = 10;
constexpr int kCancelImage = 12;
constexpr int kCalculatorImage = 5;
constexpr int kColorFilterImage = 30;

} // namespace

TfrmSingle::TfrmSingle(QWidget* parent) : TfrmBase(parent) {
    setObjectName(QStringLiteral("frmSingle"));
    createSingleComponents();
}

TfrmSingle::~TfrmSingle() {
    // The focus leaves the children while they are destroyed: no focus handler may reach the window's
    // layers that are already gone.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    // Nor may the data module's field handlers reach them through the link that goes with this layer: a
    // window deleted while shown moves the focus out of its edits only in QWidget's destructor.
    if (TdmSingle* dm = SingleModule()) dm->SetOwnerForm(nullptr);
    for (TUdfRule& r : UdfRules)
        for (const QPointer<TField>& f : r.sourceFields)
            if (f && udfPreviousHandlers_.contains(f.data()))
                f->OnChange = udfPreviousHandlers_.value(f.data());
}

TdmSingle* TfrmSingle::SingleModule() const {
    return qobject_cast<TdmSingle*>(DataModule.data());
}

QString TfrmSingle::SingleText(const QString& Key, const QString& Default) const {
    return PackageText(QStringLiteral("TfrmSingle"), Key, Default);
}

QString TfrmSingle::QBEDatabaseName() const {
    return Broker ? Broker->DBName : QString();
}

// --- layout -----------------------------------------------------------------------------------------------

void TfrmSingle::createSingleComponents() {
    const auto tagged = [](QObject* o, const char* name, int tag = kSingleTag) {
        o->setObjectName(QString::fromLatin1(name));
        o->setProperty("Tag", tag);
    };
    // Toolbar: OK and Cancel after the framework's buttons; drop-down query and print buttons.
    // Images 10 (OK) and 11 (cancel) of ImageList1 follow the framework's ten.
    ImageList1->AddLibraryImage(kOkImage, palette());
    ImageList1->AddLibraryImage(kCancelImage, palette());
    btnOK = new TToolButton(ToolBar1, QStringLiteral("btnOK"));
    btnOK->setTag(kSingleTag);
    btnOK->setToolTip(QStringLiteral("保存"));
    btnOK->SetImage(*ImageList1, 10);
    btnCancel = new TToolButton(ToolBar1, QStringLiteral("btnCancel"));
    btnCancel->setTag(kSingleTag);
    btnCancel->setToolTip(QStringLiteral("取消"));
    btnCancel->SetImage(*ImageList1, 11);
    connect(btnOK, &QToolButton::clicked, this, &TfrmSingle::miOKClick);
    connect(btnCancel, &QToolButton::clicked, this, &TfrmSingle::miCancelClick);
    if (btnReFresh) btnReFresh->setEnabled(false);

    mnCondition = new QMenu(this);
    tagged(mnCondition, "mnCondition");
    popPrint = new QMenu(this);
    tagged(popPrint, "popPrint", 0);
    miDirectPrint = popPrint->addAction(QStringLiteral("直接打印"));
    tagged(miDirectPrint, "miDirectPrint", 0);
    miPriewPrint = popPrint->addAction(QStringLiteral("打印预览"));
    tagged(miPriewPrint, "miPriewPrint", 0);
    miBreak = popPrint->addSeparator();
    tagged(miBreak, "miBreak", 0);
    miVoucherFormatsPrint = popPrint->addMenu(QStringLiteral("凭证格式"));
    tagged(miVoucherFormatsPrint, "miVoucherFormatsPrint", 0);
    connect(miDirectPrint, &QAction::triggered, this, &TfrmSingle::miPrintClick);
    connect(miPriewPrint, &QAction::triggered, this, &TfrmSingle::miPreviewClick);
    connect(popPrint, &QMenu::aboutToShow, this, &TfrmSingle::popPrintPopup);
    if (btnPrint) {
        btnPrint->setMenu(popPrint);
        btnPrint->setPopupMode(QToolButton::MenuButtonPopup);
        disconnect(btnPrint, &QToolButton::clicked, nullptr, nullptr);
        connect(btnPrint, &QToolButton::clicked, this, &TfrmSingle::miPrintClick);
    }

    // Menus: 资料 gains preview, print and the voucher formats; 功能 gains OK and Cancel.
    miPreview = new QAction(QStringLiteral("预览(&B)"), this);
    tagged(miPreview, "miPreview", 0);
    miPreview->setEnabled(false);
    miPrint = new QAction(ImageList1->Icon(4), QStringLiteral("打印(&T)"), this);
    tagged(miPrint, "miPrint", 0);
    miPrint->setEnabled(false);
    miVoucherFormats = new QMenu(QStringLiteral("凭证格式"), this);
    tagged(miVoucherFormats, "miVoucherFormats", 0);
    miVoucherFormats->menuAction()->setEnabled(false);
    QAction* before = shit ? shit : nullptr;
    MenuItem1->insertAction(before, miPreview);
    MenuItem1->insertAction(before, miPrint);
    MenuItem1->insertMenu(before, miVoucherFormats);
    connect(miPreview, &QAction::triggered, this, &TfrmSingle::miPreviewClick);
    connect(miPrint, &QAction::triggered, this, &TfrmSingle::miPrintClick);
    connect(MenuItem1, &QMenu::aboutToShow, this, &TfrmSingle::MenuItem1Click);
    if (miPrior) miPrior->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    if (miNext) miNext->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));

    N1 = MenuItem11->addSeparator();
    tagged(N1, "N1", 0);
    miOK = MenuItem11->addAction(ImageList1->Icon(10), QStringLiteral("确定"));
    tagged(miOK, "miOK", 0);
    miOK->setShortcut(QKeySequence(Qt::Key_F12));
    miOK->setShortcutContext(Qt::WindowShortcut);
    miCancel = MenuItem11->addAction(ImageList1->Icon(11), QStringLiteral("取消"));
    tagged(miCancel, "miCancel", 0);
    connect(miOK, &QAction::triggered, this, &TfrmSingle::miOKClick);
    connect(miCancel, &QAction::triggered, this, &TfrmSingle::miCancelClick);

    QAction* exitMenu = MenuItem16 ? MenuItem16->menuAction() : nullptr;
    miExport = new QMenu(QStringLiteral("汇出(&E)"), this);
    tagged(miExport, "miExport", 0);
    miTable2Excel = miExport->addAction(QStringLiteral("资料转Excel(含格式)"));
    tagged(miTable2Excel, "miTable2Excel", 0);
    miTable2Excel->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F1));
    miTable2Excel2 = miExport->addAction(QStringLiteral("资料转Excel(不含格式)"));
    tagged(miTable2Excel2, "miTable2Excel2", 0);
    miTable2Excel2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F2));
    connect(miTable2Excel, &QAction::triggered, this, &TfrmSingle::miTable2ExcelClick);
    connect(miTable2Excel2, &QAction::triggered, this, &TfrmSingle::miTable2Excel2Click);

    P1 = new QMenu(QStringLiteral("整批处理(&P)"), this);
    tagged(P1, "P1", 0);
    miBBPrint = P1->addAction(QStringLiteral("整批打印"));
    tagged(miBBPrint, "miBBPrint", 0);
    mmm = P1->addSeparator();
    tagged(mmm, "mmm", 0);
    miBBSelectAll = P1->addAction(QStringLiteral("全选"));
    tagged(miBBSelectAll, "miBBSelectAll", 0);
    miBBUnSelectAll = P1->addAction(QStringLiteral("全不选"));
    tagged(miBBUnSelectAll, "miBBUnSelectAll", 0);
    connect(P1, &QMenu::aboutToShow, this, &TfrmSingle::P1Click);
    connect(miBBPrint, &QAction::triggered, this, &TfrmSingle::miBBPrintClick);
    connect(miBBSelectAll, &QAction::triggered, this, &TfrmSingle::miBBSelectAllClick);
    connect(miBBUnSelectAll, &QAction::triggered, this, &TfrmSingle::miBBUnSelectAllClick);

    miTools = new QMenu(QStringLiteral("工具(&T)"), this);
    tagged(miTools, "miTools", 0);
    miCacl = miTools->addAction(QStringLiteral("计算器"));
    tagged(miCacl, "miCacl", 0);
    miOptions = miTools->addAction(QStringLiteral("选项(&O)"));
    tagged(miOptions, "miOptions", 0);
    connect(miCacl, &QAction::triggered, this, &TfrmSingle::miCaclClick);
    connect(miOptions, &QAction::triggered, this, &TfrmSingle::miOptionsClick);
    for (QMenu* m : {miExport, P1, miTools})
        MainMenu->insertMenu(exitMenu, m);

    popOpenF2Window = new QMenu(this);
    tagged(popOpenF2Window, "popOpenF2Window");
    miOpenF2Window = popOpenF2Window->addAction(QStringLiteral("F2 查询窗口"));
    tagged(miOpenF2Window, "miOpenF2Window", 0);
    miOpenF3Window = popOpenF2Window->addAction(QStringLiteral("F3 查询窗口"));
    tagged(miOpenF3Window, "miOpenF3Window", 0);
    miOpenF4Window = popOpenF2Window->addAction(QStringLiteral("F4 查询窗口"));
    tagged(miOpenF4Window, "miOpenF4Window", 0);
    pmMultiSelect = new QMenu(this);
    tagged(pmMultiSelect, "pmMultiSelect", 0);
    miSelectAll = pmMultiSelect->addAction(QStringLiteral("全选"));
    tagged(miSelectAll, "miSelectAll", 0);
    miUnSelectAll = pmMultiSelect->addAction(QStringLiteral("全不选"));
    tagged(miUnSelectAll, "miUnSelectAll", 0);
    connect(miSelectAll, &QAction::triggered, this, &TfrmSingle::miBBSelectAllClick);
    connect(miUnSelectAll, &QAction::triggered, this, &TfrmSingle::miBBUnSelectAllClick);
    if (Features().colourManagement) { // the older build has no colour filter, so no menu or button
        pmColorCondition = new ColorConditionMenu(this);
        tagged(pmColorCondition, "pmColorCondition");
        pmColorCondition->setMinimumWidth(96);
    }

    imgSingle = new TImageList(this);
    imgSingle->setObjectName(QStringLiteral("imgSingle"));
    // The sort arrows of the grid titles: a small triangle pointing up (ascending) and down.
    for (bool up : {true, false}) {
        QPixmap arrow(9, 9);
        arrow.fill(Qt::transparent);
        QPainter p(&arrow);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(70, 70, 70));
        p.drawPolygon(up ? QPolygonF({{4.5, 1.5}, {8, 7.5}, {1, 7.5}})
                         : QPolygonF({{1, 1.5}, {8, 1.5}, {4.5, 7.5}}));
        SortMapList << arrow;
    }

    // Page area: the head panel and the page control with the edit, user-defined and browse pages.
    pnlHead = new QWidget(ClientArea);
    tagged(pnlHead, "pnlHead");
    pnlHead->setVisible(false);
    pgHead = new TExtPageControl(ClientArea);
    tagged(pgHead, "pgHead");
    pgHead->setTabHeight(20);
    pgHead->setTabWidth(80);
    tbsHead1 = new TTabSheet(pgHead);
    tagged(tbsHead1, "tbsHead1", 3000);
    tbsHead1->setCaption(QStringLiteral("详细字段"));
    tbsUDF = new TTabSheet(pgHead);
    tagged(tbsUDF, "tbsUDF", 0);
    tbsUDF->setCaption(QStringLiteral("自定义信息"));
    tbsBrowse = new TTabSheet(pgHead);
    tagged(tbsBrowse, "tbsBrowse", 0);
    tbsBrowse->setCaption(QStringLiteral("信息浏览"));
    ClientLayout->addWidget(pnlHead);
    ClientLayout->addWidget(pgHead, 1);
    connect(pgHead, &TExtPageControl::Change, this, [this] { pgHeadChange(); });
    connect(pgHead, &TExtPageControl::Changing, this, &TfrmSingle::pgHeadChanging);
    createUdfControls();

    gdHead = new TFDBGrid(tbsBrowse);
    gdHead->setObjectName(QStringLiteral("gdHead"));
    auto* browseLayout = new QVBoxLayout(tbsBrowse);
    browseLayout->setContentsMargins(0, 0, 0, 0);
    browseLayout->addWidget(gdHead);
    gdHead->setColor(kGridColor);
    gdHead->setTitleColor(colors::clBtnFace);
    gdHead->setFixedCols(0);
    gdHead->setIndicator(true);
    gdHead->setMultiSelect(true);
    gdHead->setReadOnly(true);
    gdHead->setTitleAlignment(TFDBGrid::taCenter);
    gdHead->TitleFont()->setName(QStringLiteral("宋体"));
    gdHead->TitleFont()->setHeight(-13);
    gdHead->setTitleLines(1);
    gdHead->setTitleButtons(true);
    gdHead->setLayoutDelimiter(QStringLiteral(";;"));
    connect(gdHead, &TFDBGrid::CalcCellColors, this, &TfrmSingle::gdHeadCalcCellColors);
    connect(gdHead, &TFDBGrid::CalcTitleAttributes, this, &TfrmSingle::gdHeadCalcTitleAttributes);
    connect(gdHead, &TFDBGrid::TitleButtonClick, this, &TfrmSingle::gdHeadTitleButtonClick);
    connect(gdHead, &TFDBGrid::ColEnter, this, &TfrmSingle::gdHeadColEnter);
    connect(gdHead, &TFDBGrid::DblClick, this, &TfrmSingle::gdHeadDblClick);
    connect(gdHead, &TFDBGrid::KeyDown, this, &TfrmSingle::gdHeadKeyDown);
    connect(gdHead, &TFDBGrid::MouseDown, this, &TfrmSingle::gdHeadMouseDown);
    connect(gdHead, &TFDBGrid::CalcTitleImage, this, &TfrmSingle::gdHeadCalcTitleImage);
    gdHead->view()->viewport()->setMouseTracking(true);
    gdHead->view()->viewport()->installEventFilter(this);
    gdHead->view()->installEventFilter(this);
}

void TfrmSingle::createUdfControls() {
    // Four columns of six button edits (01-06, 51-56, 07-12, 57-62), then the twelve combo boxes. They
    // start hidden, so each builds its editor, label and button when first shown or used.
    const int columns[4][2] = {{1, 6}, {51, 56}, {7, 12}, {57, 62}};
    int caption = 1;
    for (int c = 0; c < 4; ++c) {
        for (int n = columns[c][0], row = 0; n <= columns[c][1]; ++n, ++row) {
            auto* e = new TKvBtnDBEdit(tbsUDF, TControl::Parts::OnDemand);
            e->setObjectName(QStringLiteral("edUDF%1").arg(n, 2, 10, QLatin1Char('0')));
            e->setCaption(QStringLiteral("自定义项%1").arg(caption++));
            e->setGeometry(8 + c * 190, 8 + row * 26, 184, 22);
            e->setVisible(false);
            UdfEdits << e;
        }
    }
    for (int n = 1; n <= 12; ++n) {
        auto* b = new TKvDBComboBox(tbsUDF, TKvDBComboBox::csDropDownList, TControl::Parts::OnDemand);
        b->setObjectName(QStringLiteral("cboUDF%1").arg(n, 2, 10, QLatin1Char('0')));
        b->setCaption(QStringLiteral("自定义项%1").arg(n));
        b->setGeometry(8 + ((n - 1) % 4) * 190, 170 + ((n - 1) / 4) * 26, 184, 22);
        b->setVisible(false);
        UdfCombos << b;
    }
}

// --- creation, showing, closing --------------------------------------------------------------------------

void TfrmSingle::FormCreate() {
    // The descendant has created the data module: it reaches this window through the link.
    if (TdmSingle* dm = SingleModule()) dm->SetOwnerForm(&moduleLink_);
    if (TdmBase* dm = BaseModule()) gdHead->setDataSource(dm->dsMain);
    PageEndNames.clear();
    AttachmentKeys.clear();
    // The two tool images (library 5 the calculator, 30 the colour filter), appended to ImageList1.
    imgSingle->AddLibraryImage(kCalculatorImage, palette());
    imgSingle->AddLibraryImage(kColorFilterImage, palette());
    const int first = ImageList1->Count();
    ImageList1->AddImageOf(*imgSingle, imgSingle->Count() - 2);
    ImageList1->AddImageOf(*imgSingle, imgSingle->Count() - 1);
    gdHead->setTitleImages(SortMapList);

    // Run-time buttons after ToolButton6, in creation order: colour filter, then calculator.
    if (pmColorCondition) {
        btnColorQuery = new TToolButton(ToolBar1, QStringLiteral("btnColorQuery"));
        btnColorQuery->setTag(kSingleTag);
        btnColorQuery->SetImage(*ImageList1, first + 1);
        btnColorQuery->setMenu(pmColorCondition);
        btnColorQuery->setPopupMode(QToolButton::MenuButtonPopup);
        btnColorQuery->setVisible(false);
        connect(btnColorQuery, &QToolButton::clicked, this, &TfrmSingle::btnColorQueryClick);
    }
    btnCalc = new TToolButton(ToolBar1, QStringLiteral("btnCalc"));
    btnCalc->setTag(kSingleTag);
    btnCalc->SetImage(*ImageList1, first);
    connect(btnCalc, &QToolButton::clicked, this, &TfrmSingle::btnCalcClick);
    // After ToolButton6 in the row: move OK/Cancel ahead of the run-time buttons.
    ToolBar1->Arrange();
    TfrmBase::FormCreate();
}

void TfrmSingle::InitSettings() {
    TfrmBase::InitSettings();
    AttachmentsEnabled = false;
    gdHead->setMultiSelect(false);
}

void TfrmSingle::ConnectDataModule() {
    TfrmBase::ConnectDataModule();
    pgHead->setActivePageIndex(0);
    ComputePageEnds();
    loadUdfRules();
    AfterConnect();
}

void TfrmSingle::ApplyFieldRights() {
    TfrmBase::ApplyFieldRights();
    AddComboRequirements();
    reinitQueryForm();
    tbsUDF->setTabVisible(false);
    if (TdmSingle* dm = SingleModule()) dm->ApplyBaseCurrencyDigits();
    ColorManage = Features().colourManagement && GetUserDefine(QLatin1String(server::kColourManageSection),
                                                               QStringLiteral("IsColorManage"), false);
    FastInputEnabled =
        GetUserDefine(QLatin1String(server::kFastInputSection), QStringLiteral("FastInputEnabled"), true);
}

void TfrmSingle::reinitQueryForm() {
    TdmBase* dm = BaseModule();
    if (!dm || !QueryForm) return;
    QueryForm->InitQuery(dm->cdsMain, dm->MainTable, SqlType != 0, dm->MainSelect, dm->KeyFields);
}

TQBEForm* TfrmSingle::queryForm() {
    if (!QueryForm && BaseModule()) {
        QueryForm = new TQBEForm(this, this);
        reinitQueryForm();
    }
    return QueryForm;
}

void TfrmSingle::LoadRequiredFields() {
    TfrmBase::LoadRequiredFields();
    if (TMT_Doc* doc = SettingsDocument()) doc->ApplyToGrid(gdHead);
}

void TfrmSingle::FormShow() {
    if (ColorManage) CreateColorComponents();
    TfrmBase::FormShow();
    // The language packages are applied now: the drop-downs hold the texts the grid shows.
    if (gdHead) gdHead->FitMappedColumns();
    BuildSavedConditionMenu();
    SaveColors();
    if (InitialCondition)
        if (TdmSingle* dm = SingleModule()) dm->RefreshColorMark();
    if (btnColorQuery)
        btnColorQuery->setToolTip(
            SingleText(QStringLiteral("sColorQueryHint"), uiText(QStringLiteral("颜色筛选"))));
    btnCalc->setToolTip(SingleText(QStringLiteral("sCalcHint"), uiText(QStringLiteral("计算器"))));
    ToolBar1->Arrange();
    if (CloseAfterShow) QTimer::singleShot(0, this, [this] { close(); });
    loadLinkFields();
}

void TfrmSingle::resizeEvent(QResizeEvent* event) {
    TfrmBase::resizeEvent(event);
    FormResize();
}

void TfrmSingle::FormResize() {
    if (Status && Status->panel(1)) Status->panel(1)->setWidth(std::max(0, width() - 290));
}

void TfrmSingle::FormClose(TCloseAction& Action) {
    TfrmBase::FormClose(Action);
    Action = caFree;
}

// --- run modes --------------------------------------------------------------------------------------------

void TfrmSingle::AfterShow() {
    TfrmBase::AfterShow();
    TdmBase* dm = BaseModule();
    if (!HostCondition.isEmpty() && RunMode != 11 && dm) {
        InitialCondition = true;
        if (!OpenMainData(dm->cdsMain, HostCondition, QString())) {
            const QString why = QStringLiteral("initial condition failed: ") + HostCondition;
            WriteToAlertFile(GetProgramCode(), QStringLiteral("Class BaseCF-476 ") + why,
                             QStringLiteral("D"));
            throw EDatabaseError(why);
        }
    }
    reinitQueryForm();
    AfterInitialCondition();
    const QString condition = HostCondition;
    HostCondition.clear();
    switch (RunMode) {
    case 1:
        DoAdd(true);
        break;
    case 3:
        DoEdit();
        break;
    case 5:
        PrintPreview = false;
        DoPrint();
        break;
    case 7:
        AddOne(HostValue);
        break;
    case 8:
        EditOne(HostValue);
        break;
    case 11:
        if (Features().xmlImport) ImportXml(condition); // the older build imports nothing
        break;
    default:
        break;
    }
    if (RunMode != 10) setUdfButtonHints();
}

bool TfrmSingle::AddOne(const Variant& Values) {
    OneShot = true;
    if (TdmSingle* dm = SingleModule()) dm->HostDefaults = Values;
    return DoAdd(true);
}

bool TfrmSingle::EditOne(const Variant& Values) {
    OneShot = true;
    if (TdmSingle* dm = SingleModule()) dm->HostDefaults = Values;
    return DoEdit();
}

// --- commands ---------------------------------------------------------------------------------------------

void TfrmSingle::UpdateCommands() {
    TfrmBase::UpdateCommands();
    TClientDataSet* cds = MainDataSet();
    const bool active = cds && cds->Active();
    const bool editingDs =
        active && (cds->State() == TDataSetState::dsEdit || cds->State() == TDataSetState::dsInsert);
    if (btnPrint) {
        const bool print = btnPrint->isEnabled() && !PrintID.trimmed().isEmpty() && EditState == esBrowse &&
                           active && cds->RecordCount() > 0 && CanPrint && (CommandMask & 16);
        btnPrint->setEnabled(print);
        miPrint->setEnabled(print);
        miPreview->setEnabled(print);
        miVoucherFormats->menuAction()->setEnabled(print);
    }
    const bool editing = EditState == esEdit || EditState == esAdd;
    for (QAction* a : {miOK, miCancel})
        a->setEnabled(editing);
    btnOK->setEnabled(editing);
    btnCancel->setEnabled(editing);
    const bool canExport = active && !cds->IsEmpty() && !editingDs && CanPrint;
    miTable2Excel->setEnabled(canExport);
    miTable2Excel2->setEnabled(canExport);
    UpdateBatchCommands();
    tbsBrowse->setTabVisible(EditState == esBrowse);
    if (btnColorQuery) btnColorQuery->setEnabled(btnQuery && btnQuery->isEnabled() && !btnQuery->isHidden());
}

void TfrmSingle::UpdateBatchCommands() {
    miBBPrint->setEnabled(miDirectPrint->isEnabled() && btnPrint && btnPrint->isEnabled() &&
                          !PrintID.trimmed().isEmpty());
    miBBSelectAll->setEnabled(EditState == esBrowse && miBBPrint->isEnabled());
    miBBUnSelectAll->setEnabled(miBBSelectAll->isEnabled());
    if (TdmSingle* dm = SingleModule()) dm->SetSelectionVisible(miBBSelectAll->isEnabled());
}

void TfrmSingle::SetStatusMode(int Mode) {
    const bool browse = Mode == smBrowse;
    // Buttons placed directly on the edit pages or on pnlHead work only while editing.
    QList<QWidget*> holders{pnlHead};
    for (TTabSheet* p : EditPages())
        holders << p;
    for (QWidget* h : holders)
        for (QAbstractButton* b : h->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
            b->setEnabled(!browse);
    for (QWidget* w : holders) {
        for (QWidget* c : w->findChildren<QWidget*>()) {
            const QString f = boundField(c);
            if (!f.isEmpty() && keyField(f)) c->setEnabled(Mode != smEdit);
        }
    }
    const int last = pgHead->PageCount() - 1;
    for (int k = 0; k < pgHead->PageCount(); ++k) {
        TTabSheet* p = pgHead->Pages(k);
        if (browse)
            p->setEnabled(k == last);
        else
            p->setEnabled(k == last ? false : (k <= 14 && HasRightBit(k)));
    }
    pnlHead->setEnabled(!browse && HasRightBit(0));
    TfrmBase::SetStatusMode(Mode);
}

// --- pages ------------------------------------------------------------------------------------------------

void TfrmSingle::pgHeadChanging(bool& AllowChange) {
    (void)AllowChange;
    PreviousPage = pgHead->ActivePageIndex();
}

void TfrmSingle::pgHeadChange() {
    const int k = pgHead->ActivePageIndex();
    const bool editing = EditState == esEdit || EditState == esAdd;
    const bool toBrowse = pgHead->Pages(k) == tbsBrowse;
    if ((editing && toBrowse && FocusPageOne) || (k >= 1 && k <= 14 && HasRightBit(15 + k))) {
        if (PreviousPage != k) {
            QSignalBlocker block(pgHead);
            pgHead->setActivePageIndex(PreviousPage);
        }
    }
}

QList<TTabSheet*> TfrmSingle::EditPages() const {
    QList<TTabSheet*> pages;
    for (int i = 0; i < pgHead->PageCount(); ++i)
        pages << pgHead->Pages(i);
    if (!pages.isEmpty() && pages.last() == tbsBrowse) pages.removeLast();
    if (!pages.isEmpty() && pages.last() == tbsUDF) pages.removeLast();
    while (pages.size() > kMaxEditPages)
        pages.removeLast();
    return pages;
}

void TfrmSingle::ComputePageEnds() {
    PageEndNames.clear();
    LastControlName.clear();
    for (TTabSheet* page : EditPages()) {
        // The visible, enabled control of the highest tab order: the last one the focus chain reaches
        // (judged within the page: the pages themselves are disabled while browsing).
        QWidget* last = nullptr;
        for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain())
            if (page->isAncestorOf(w) && w->isEnabledTo(page) && w->isVisibleTo(page) &&
                (w->focusPolicy() & Qt::TabFocus))
                last = w;
        // The control around an inner widget: its outermost library control below the page.
        QWidget* control = last;
        for (QWidget* p = last; p && p != page; p = p->parentWidget())
            if (qobject_cast<TControl*>(p)) control = p;
        PageEndNames << (control ? control->objectName() : QString());
    }
    for (int i = PageEndNames.size() - 1; i >= 0; --i)
        if (!PageEndNames[i].isEmpty()) {
            LastControlName = PageEndNames[i];
            break;
        }
}

void TfrmSingle::gotoPage(int step) {
    const int count = pgHead->PageCount();
    if (count == 0) return;
    const bool editing = EditState == esEdit || EditState == esAdd;
    int k = pgHead->ActivePageIndex();
    const int browse = pgHead->indexOf(tbsBrowse);
    for (int tries = 0; tries < count; ++tries) {
        k += step;
        if (editing) {
            const int lastEdit = browse > 0 ? browse - 1 : count - 1;
            if (k > lastEdit) k = 0;
            if (k < 0) k = lastEdit;
        } else {
            if (k >= count) k = 0;
            if (k < 0) k = count - 1;
        }
        TTabSheet* p = pgHead->Pages(k);
        if (p->TabVisible() && p->isEnabled()) break;
    }
    pgHead->setActivePageIndex(k);
}

bool TfrmSingle::FormKeyDown(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if ((mods == (Qt::ControlModifier | Qt::ShiftModifier) &&
         (key == Qt::Key_Backtab || key == Qt::Key_Tab)) ||
        (mods == Qt::ControlModifier && key == Qt::Key_PageUp)) {
        gotoPage(-1);
        return true;
    }
    if ((mods == Qt::ControlModifier && key == Qt::Key_Tab) ||
        (mods == Qt::ControlModifier && key == Qt::Key_PageDown)) {
        gotoPage(1);
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::NoModifier &&
        pgHead->ActivePage() == tbsBrowse) {
        QWidget* focused = QApplication::focusWidget();
        if (focused && (focused == gdHead || gdHead->isAncestorOf(focused))) {
            pgHead->setActivePageIndex(0);
            return true;
        }
    }
    return TfrmBase::FormKeyDown(event);
}

bool TfrmSingle::FormKeyPress(QKeyEvent* event) {
    const QString text = event->text();
    if (text == QLatin1String("+") || text == QLatin1String("*") || text == QLatin1String("/")) {
        QWidget* control = FocusedControl();
        TField* field = nullptr;
        if (control && isNumericControlField(control, &field)) {
            RunCalculator(control);
            return true;
        }
        return false;
    }
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        TClientDataSet* cds = MainDataSet();
        QWidget* focused = QApplication::focusWidget();
        const bool memo = qobject_cast<QPlainTextEdit*>(focused) || qobject_cast<QTextEdit*>(focused);
        if (cds && cds->Active() && cds->State() != TDataSetState::dsBrowse && !memo) {
            QWidget* control = FocusedControl();
            const QString name = control ? control->objectName() : QString();
            if (!name.isEmpty() && name == LastControlName) {
                DoSave();
                return true;
            }
            if (!name.isEmpty() && PageEndNames.contains(name)) {
                gotoPage(1);
                focusFirstControl(pgHead->ActivePage());
                return true;
            }
            if (auto* radio = qobject_cast<QRadioButton*>(focused)) {
                QWidget* group = radio->parentWidget();
                while (group && !qobject_cast<QGroupBox*>(group))
                    group = group->parentWidget();
                if (group && PageEndNames.contains(group->objectName())) {
                    gotoPage(1);
                    return true;
                }
                focusNextChild();
                return true;
            }
        }
    }
    return TfrmBase::FormKeyPress(event);
}

// --- editing ----------------------------------------------------------------------------------------------

bool TfrmSingle::DoAdd(bool Fresh) {
    if (Fresh)
        if (TdmSingle* dm = SingleModule()) dm->ClearCarryOver();
    pgHead->setActivePageIndex(0);
    const bool ok = TfrmBase::DoAdd(Fresh);
    if (FirstAddControl && FirstAddControl->isVisible() && FirstAddControl->isEnabled())
        FirstAddControl->setFocus(Qt::OtherFocusReason);
    return ok;
}

bool TfrmSingle::DoEdit() {
    if (FocusPageOne || pgHead->ActivePage() == tbsBrowse) pgHead->setActivePageIndex(0);
    if (ColorManage) {
        try {
            ResetColors();
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "colours not reset:" << e.what();
        }
    }
    const bool ok = TfrmBase::DoEdit();
    if (ok && FirstEditControl && FirstEditControl->isVisible() && FirstEditControl->isEnabled())
        FirstEditControl->setFocus(Qt::OtherFocusReason);
    return ok;
}

bool TfrmSingle::DoSave() {
    TdmSingle* dm = SingleModule();
    TClientDataSet* cds = MainDataSet();
    if (!dm || !cds) return false;
    bool result = false;
    auto flag = qScopeGuard([&] { SaveFailed = !result; });
    if (cds->State() == TDataSetState::dsEdit || cds->State() == TDataSetState::dsInsert) {
        try {
            cds->Post();
        } catch (const EAbort&) {
            return false; // refused by CheckRequired: the state stays
        } catch (const std::exception& e) {
            ShowError(QString::fromUtf8(e.what()));
            return false;
        }
    }
    if (EditState == esAdd) dm->BeforeSaveNew();
    const bool wasAdd = EditState == esAdd;
    bool applied = false;
    try {
        applied = dm->ApplyMain(cds);
    } catch (const EAbort&) {
        applied = false;
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "save failed:" << e.what();
        applied = false;
    }
    if (applied) {
        result = true;
        if (OneShot) {
            SetState(esBrowse);
            QTimer::singleShot(0, this, [this] { close(); });
        } else if (KeepOnAdd && wasAdd) {
            DoAdd(false);
        } else {
            SetState(esBrowse);
        }
        return true;
    }
    Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("000008"));
    if (cds->Active() && cds->State() == TDataSetState::dsBrowse && !cds->IsEmpty()) {
        try {
            cds->Edit();
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "record not put back into edit state:" << e.what();
        }
    }
    return false;
}

bool TfrmSingle::DoCancel(bool Ask) {
    const bool done = TfrmBase::DoCancel(Ask);
    if (done) LastWhere = QStringLiteral("1=1");
    if (TdmSingle* dm = SingleModule()) dm->RefreshColorMark();
    return done;
}

bool TfrmSingle::DoDelete(bool Ask) {
    const QString key = CurrentKeyString();
    TClientDataSet* cds = MainDataSet();
    const bool ok = TfrmBase::DoDelete(Ask);
    // The attachments go only when the record delete reached the server.
    if (ok) {
        if (Features().attachmentCleanUp) removeAttachmentsOf(key);
        if (cds) UpdateRecordInfo(cds);
    }
    return ok;
}

bool TfrmSingle::CheckRequired(TClientDataSet* DataSet) {
    TdmBase* dm = BaseModule();
    if (dm && DataSet == dm->cdsMain &&
        (DataSet->State() == TDataSetState::dsEdit || DataSet->State() == TDataSetState::dsInsert) &&
        (EditState == esEdit || EditState == esAdd)) {
        // The key fields first, as if they were the first required item.
        const QString saved = RequiredFields();
        SetRequiredFields(QStringLiteral("cdsMain:") + keyFieldNames().join(QLatin1Char(',')));
        const bool keysOk = TfrmBase::CheckRequired(DataSet);
        SetRequiredFields(saved);
        if (!keysOk) return false;
    }
    return TfrmBase::CheckRequired(DataSet);
}

// --- queries ----------------------------------------------------------------------------------------------

bool TfrmSingle::DoQuery() {
    TQBEForm* form = queryForm();
    if (!form) return false;
    form->SetRowLimit(int(Broker->GetSysParam(QStringLiteral("SYS151")).trimmed().toInt()));
    QString condition, order;
    if (form->Execute(condition, order)) applyQueryResult(condition, order);
    pgHead->setActivePage(tbsBrowse);
    gdHead->setFocus(Qt::OtherFocusReason);
    return true;
}

void TfrmSingle::applyQueryResult(const QString& condition, const QString& order) {
    TdmBase* dm = BaseModule();
    if (!dm) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto cursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    try {
        if (SqlType == 0 && queryForm())
            dm->Server()->call(QStringLiteral("SetTopRow"), {Variant(queryForm()->RowLimit())});
        if (!OpenMainData(dm->cdsMain, AdjustCondition(condition), order))
            throw EDatabaseError(QStringLiteral("the query could not be opened"));
        SetState(esBrowse);
    } catch (const std::exception& e) {
        cursor.dismiss();
        QApplication::restoreOverrideCursor();
        ShowError(DisplayConvert(QString::fromUtf8(e.what())));
        Broker->ShowMsg(QStringLiteral("W"), QStringLiteral("000001"));
    }
}

bool TfrmSingle::OpenMainData(TClientDataSet* DataSet, const QString& Where, const QString& Order) {
    const bool ok = TfrmBase::OpenMainData(DataSet, Where, Order);
    TdmSingle* dm = SingleModule();
    if (dm && DataSet == dm->cdsMain && !DataSet->IndexFieldNames().isEmpty())
        dm->DefaultIndexFields = DataSet->IndexFieldNames();
    return ok;
}

void TfrmSingle::BuildSavedConditionMenu() {
    mnCondition->clear();
    TdmBase* dm = BaseModule();
    bool any = false;
    if (dm && dm->cdsSaveCondition) {
        try {
            // LoadTable reopens the conditions when the server prepared them; only after a refusal are
            // they reopened here (one query of the saved conditions per menu build).
            TClientDataSet* sc = dm->cdsSaveCondition;
            if (!dm->LoadTable().isEmpty() || !sc->Active()) {
                if (sc->Active()) sc->Close();
                sc->Open();
            }
            int i = 0;
            for (sc->First(); !sc->Eof(); sc->Next(), ++i) {
                QAction* a = mnCondition->addAction(
                    DisplayConvert(sc->FieldByName(QStringLiteral("NCONDITION"))->AsString().trimmed()));
                a->setObjectName(QStringLiteral("mnu%1").arg(i));
                connect(a, &QAction::triggered, this, [this, i] { SavedConditionClick(i); });
                any = true;
            }
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "saved conditions not loaded:" << e.what();
        }
    }
    if (btnQuery) {
        btnQuery->setMenu(any ? mnCondition : nullptr);
        btnQuery->setPopupMode(any ? QToolButton::MenuButtonPopup : QToolButton::DelayedPopup);
    }
}

void TfrmSingle::SavedConditionClick(int Item) {
    TdmBase* dm = BaseModule();
    const QList<QAction*> items = mnCondition->actions();
    if (!dm || Item < 0 || Item >= items.size()) return;
    const QString name = InputConvert(items[Item]->text());
    TClientDataSet* sc = dm->cdsSaveCondition;
    QString condition, order;
    bool found = false;
    try {
        found = sc && sc->Locate(QStringLiteral("NCONDITION;CREATOR;PROGRAMME"),
                                 Variant::fromList({name, Broker->UserID, GetProgramCode()}));
        if (found)
            found =
                ApplySavedScheme(int(sc->FieldByName(QStringLiteral("ActivePage"))->AsInteger()),
                                 sc->FieldByName(QStringLiteral("VCONDITION"))->AsString(), condition, order);
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "saved condition" << name << "not applied:" << e.what();
        found = false;
    }
    if (found) applyQueryResult(condition, order);
    pgHead->setActivePage(tbsBrowse);
    gdHead->setFocus(Qt::OtherFocusReason);
}

bool TfrmSingle::ApplySavedScheme(int Page, const QString& Text, QString& Condition, QString& Order) {
    TQBEForm* form = queryForm();
    if (!form || !form->ApplyScheme(Page, Text)) return false;
    form->SchemeCondition(Condition, Order);
    return true;
}

void TfrmSingle::ShowError(const QString& text) {
    MessageRequest r;
    r.type = MsgDlgType::Error;
    r.text = text;
    r.caption = windowTitle();
    r.parent = this;
    DialogService::instance().showMessage(r);
}

// --- numbers: the calculator ------------------------------------------------------------------------------

bool TfrmSingle::isNumericControlField(QWidget* control, TField** field) const {
    *field = nullptr;
    if (auto* grid = qobject_cast<TFDBGrid*>(control)) {
        TClientDataSet* cds = MainDataSet();
        if (cds && grid == gdHead) *field = cds->FindField(grid->SelectedField());
    } else if (auto* aware = dynamic_cast<DataAwareControl*>(control)) {
        *field = aware->binding()->field();
    }
    return *field && isNumericType((*field)->DataType());
}

void TfrmSingle::RunCalculator(QWidget* Control) {
    try {
        TField* field = nullptr;
        if (Control && isNumericControlField(Control, &field)) {
            const QString result = Broker->GetCalcValue(field->Text());
            if (result.trimmed().isEmpty() || field->ReadOnly()) return;
            TClientDataSet* ds = field->DataSet();
            if (!ds || !(ds->State() == TDataSetState::dsEdit || ds->State() == TDataSetState::dsInsert))
                return;
            QString stored = result;
            if (field->Text() != field->DisplayText() && field->DisplayText().endsWith(QLatin1Char('%')))
                stored = QString::number(result.toDouble() * 100, 'g', 15);
            field->SetAsString(stored);
            return;
        }
        if (auto* edit = qobject_cast<QLineEdit*>(
                Control ? Control->focusProxy() ? Control->focusProxy() : Control : nullptr)) {
            const QString result = Broker->GetCalcValue(edit->text());
            if (!result.trimmed().isEmpty() && !edit->isReadOnly()) edit->setText(result);
            return;
        }
        Broker->GetCalcValue(QString());
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "calculator:" << e.what();
    }
}

// --- required fields and grid colours ---------------------------------------------------------------------

void TfrmSingle::AddComboRequirements() {
    if (KvConverter()->DBCodePage() == QLatin1String("936") && UICodePage() == QLatin1String("936")) return;
    TdmBase* dm = BaseModule();
    if (!dm) return;
    const QStringList already = itemFields(RequiredFields(), QStringLiteral("cdsMain"));
    QStringList fields;
    for (TKvDBComboBox* box : findChildren<TKvDBComboBox*>()) {
        if (box->objectName().contains(QLatin1String("cboUDF"))) continue;
        if (box->isHidden() || box->ReadOnly() || !box->Enabled()) continue; // own settings, not the page's
        TField* f = box->binding()->field();
        if (!f || f->DataSet() != dm->cdsMain || f->ReadOnly()) continue;
        if (already.contains(f->FieldName(), Qt::CaseInsensitive) || fields.contains(f->FieldName()))
            continue;
        fields << f->FieldName();
    }
    if (!fields.isEmpty()) AddRequiredFields(QStringLiteral("cdsMain:") + fields.join(QLatin1Char(',')));
}

void TfrmSingle::InitGrids() {
    TfrmBase::InitGrids();
    const QStringList required = itemFields(RequiredFields(), QStringLiteral("cdsMain"));
    const QStringList keys = keyFieldNames();
    for (QWidget* w : findChildren<QWidget*>()) {
        const QString f = boundField(w);
        if (f.isEmpty() || w == gdHead) continue;
        if (keys.contains(f, Qt::CaseInsensitive)) {
            PropertySetter::setValue(w, QStringLiteral("Color"), int(kKeyColor));
        } else if (required.contains(f, Qt::CaseInsensitive)) {
            if (qobject_cast<TKvDBComboBox*>(w) || qobject_cast<QCheckBox*>(w) ||
                w->inherits("kvx::TFDbCheckBox") || w->inherits("kvx::TDBRadioGroup"))
                continue;
            PropertySetter::setValue(w, QStringLiteral("Color"), int(kRequiredColor));
        }
    }
    // Widen the columns evenly when together they are narrower than the grid.
    int total = 0, visible = 0;
    for (int i = 0; i < gdHead->Columns()->Count(); ++i)
        if (TColumn* c = gdHead->column(i); c && c->Visible()) {
            total += c->Width();
            ++visible;
        }
    const int room = gdHead->view()->viewport()->width() - total - 4;
    if (visible > 0 && room > 0)
        for (int i = 0; i < gdHead->Columns()->Count(); ++i)
            if (TColumn* c = gdHead->column(i); c && c->Visible()) c->setWidth(c->Width() + room / visible);
}

void TfrmSingle::gdHeadCalcTitleAttributes(const QString& FieldName, QFont& Font, QColor& Color,
                                           Qt::Alignment& Alignment) {
    (void)Font, (void)Alignment;
    if (keyFieldNames().contains(FieldName, Qt::CaseInsensitive)) Color = QColor(0, 200, 200);
}

// --- grid -------------------------------------------------------------------------------------------------

void TfrmSingle::gdHeadTitleButtonClick(const QString& FieldName) {
    TdmSingle* dm = SingleModule();
    if (!dm) return;
    if (dm->SelectionField && FieldName.compare(dm->SelectionField->FieldName(), Qt::CaseInsensitive) == 0)
        return;
    dm->SortByField(FieldName);
}

void TfrmSingle::gdHeadCalcTitleImage(const QString& FieldName, int& ImageIndex) {
    TdmSingle* dm = SingleModule();
    if (!dm || !dm->SortField || dm->SortField->FieldName().compare(FieldName, Qt::CaseInsensitive) != 0)
        return;
    ImageIndex = SortDescending() ? 1 : 0;
}

bool TfrmSingle::SortDescending() const {
    TdmSingle* dm = SingleModule();
    if (!dm || !dm->cdsMain || !dm->cdsMain->IndexFieldNames().isEmpty()) return false;
    const QString name = dm->cdsMain->IndexName();
    if (name.isEmpty()) return false;
    const TIndexDef* def = dm->cdsMain->IndexDefs().Find(name);
    return def && (def->Options & ixDescending);
}

void TfrmSingle::gdHeadColEnter() {
    TdmSingle* dm = SingleModule();
    const bool selection =
        dm && dm->SelectionField &&
        gdHead->SelectedField().compare(dm->SelectionField->FieldName(), Qt::CaseInsensitive) == 0;
    gdHead->setReadOnly(!selection);
}

void TfrmSingle::gdHeadDblClick() {
    TdmSingle* dm = SingleModule();
    const bool selection =
        dm && dm->SelectionField &&
        gdHead->SelectedField().compare(dm->SelectionField->FieldName(), Qt::CaseInsensitive) == 0;
    if (!selection) {
        pgHead->setActivePageIndex(0);
        return;
    }
    const QPoint p = gdHead->view()->viewport()->mapFromGlobal(QCursor::pos());
    const int row = gdHead->view()->rowAt(p.y());
    gdHead->ToggleSelected(row >= 0 ? row : gdHead->currentRow());
    UpdateCommands();
}

void TfrmSingle::gdHeadKeyDown(int& Key, Qt::KeyboardModifiers Modifiers) {
    if (Key == Qt::Key_Control && EditState == esBrowse && !gdHead->view()->viewport()->toolTip().isEmpty())
        gdHead->view()->viewport()->setCursor(Qt::PointingHandCursor);
    TdmSingle* dm = SingleModule();
    if (Key == Qt::Key_Space && Modifiers == Qt::NoModifier && dm && dm->SelectionField &&
        gdHead->SelectedField().compare(dm->SelectionField->FieldName(), Qt::CaseInsensitive) == 0) {
        gdHead->ToggleSelected(gdHead->currentRow());
        Key = 0;
        UpdateCommands();
    }
}

// --- printing ---------------------------------------------------------------------------------------------

void TfrmSingle::miPrintClick() {
    PrintPreview = false;
    DoPrint();
}

void TfrmSingle::miPreviewClick() {
    PrintPreview = true;
    auto reset = qScopeGuard([this] { PrintPreview = false; });
    DoPrint();
}

void TfrmSingle::miBBPrintClick() {
    TClientDataSet* cds = MainDataSet();
    if (!cds || gdHead->SelectedCount() == 0) return;
    const QList<qint64> marks = gdHead->SelectedBookmarks();
    setEnabled(false);
    auto restore = qScopeGuard([this] {
        setEnabled(true);
        gdHead->UnselectAll();
    });
    for (qint64 b : marks) {
        cds->GotoBookmark(TBookmark(b));
        DoPrint();
    }
}

void TfrmSingle::miBBSelectAllClick() {
    pgHead->setActivePage(tbsBrowse);
    TdmBase* dm = BaseModule();
    const bool fetch = dm ? dm->FetchOnScroll : false;
    if (dm) dm->FetchOnScroll = false;
    auto restore = qScopeGuard([dm, fetch] {
        if (dm) dm->FetchOnScroll = fetch;
    });
    gdHead->SelectAll();
}

void TfrmSingle::miBBUnSelectAllClick() {
    gdHead->UnselectAll();
}

void TfrmSingle::MenuItem1Click() {
    FillVoucherFormats(miVoucherFormats, false);
}

void TfrmSingle::popPrintPopup() {
    FillVoucherFormats(miVoucherFormatsPrint, false);
}

QString TfrmSingle::GetVoucherKey() {
    TClientDataSet* cds = MainDataSet();
    QString name = VoucherKeyField;
    if (name.isEmpty()) name = keyFieldNames().value(0);
    TField* f = cds && !name.isEmpty() ? cds->FindField(name) : nullptr;
    return f ? f->AsString() : QString();
}

void TfrmSingle::FillVoucherFormats(QMenu* Menu, bool Force) {
    if (!Menu) return;
    if (Force || Menu->actions().isEmpty()) {
        Menu->clear();
        auto* group = new QActionGroup(Menu);
        group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        QList<QStringList> rows;
        try {
            rows = SimpleSqlRows(single::VoucherFormatSql(PrintID), QStringLiteral("NT001,NT002"));
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "voucher formats not read:" << e.what();
        }
        for (const QStringList& r : rows) {
            QAction* a = Menu->addAction(DisplayConvert(r.value(1)));
            a->setCheckable(true);
            group->addAction(a);
            // The check is toggled by MenuItemVoucherFormatClick after asking, not by the click itself.
            connect(a, &QAction::triggered, this, [this, a] {
                a->setChecked(!a->isChecked());
                MenuItemVoucherFormatClick(a);
            });
        }
        if (rows.isEmpty()) {
            QAction* none = Menu->addAction(
                SingleText(QStringLiteral("sNoFormat"), uiText(QString::fromUtf8(single::kNoVoucherFormat))));
            none->setEnabled(false);
        }
    }
    const QString def = VoucherDefault(PrintID, GetVoucherKey());
    for (QAction* a : Menu->actions()) {
        if (!a->isCheckable()) continue;
        a->setChecked(def != QLatin1String(single::kNewVoucherDefault) && a->text() == def);
    }
}

void TfrmSingle::MenuItemVoucherFormatClick(QAction* Item) {
    const bool checked = Item->isChecked();
    const QString question =
        checked
            ? SingleText(QStringLiteral("sCancelDefaultFormat"), QStringLiteral("是否要取消本机默认格式?"))
            : SingleText(QStringLiteral("sSetDefaultFormat"), QStringLiteral("将格式[%s]设为本机默认格式?"))
                  .replace(QLatin1String("%s"), Item->text());
    if (Broker->ShowMsg(QStringLiteral("W"), QStringLiteral("100079"), {question}) != mrOk) return;
    const QString key = GetVoucherKey();
    const bool stored = checked ? ClearVoucherDefault(PrintID.toUpper(), key)
                                : SetVoucherDefault(PrintID.toUpper(), key, Item->text());
    if (!stored) {
        Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("000032"),
                        {SingleText(QStringLiteral("sUpdError"), QStringLiteral("更新失败!"))});
        return;
    }
    if (!checked)
        for (QAction* a : Item->actionGroup() ? Item->actionGroup()->actions() : QList<QAction*>{})
            a->setChecked(false);
    Item->setChecked(!checked);
}

// The per-machine default store: UserDef.ini of the client folder (the registry's ClientPath when the
// window's settings name none).
QString TfrmSingle::userDefFolder() const {
    QString folder = settings().clientPath;
    if (folder.isEmpty()) {
        Registry reg;
        if (reg.openKeyReadOnly(QStringLiteral("Software\\KVX\\Stavelo")))
            folder = reg.readString(QStringLiteral("ClientPath"));
    }
    return folder.isEmpty() ? QDir::homePath() : folder;
}

QString TfrmSingle::VoucherDefault(const QString& PrintId, const QString& Key) {
    return TUserDefIni(userDefFolder()).Get(PrintId, Key);
}

bool TfrmSingle::SetVoucherDefault(const QString& PrintId, const QString& Key, const QString& Caption) {
    return TUserDefIni(userDefFolder()).Set(PrintId, Key, Caption);
}

bool TfrmSingle::ClearVoucherDefault(const QString& PrintId, const QString& Key) {
    return TUserDefIni(userDefFolder()).Delete(PrintId, Key);
}

// --- exports and options ----------------------------------------------------------------------------------

void TfrmSingle::miTable2ExcelClick() {
    if (TdmSingle* dm = SingleModule()) dm->ExportToExcel(dm->cdsMain, this, true);
}

void TfrmSingle::miTable2Excel2Click() {
    TdmSingle* dm = SingleModule();
    if (!dm) return;
    // The older build exports the displayed texts through the spreadsheet application.
    if (Features().xlsFileExport)
        dm->ExportToXlsFile(dm->cdsMain, this, true);
    else
        dm->ExportToExcelText(dm->cdsMain, this, true);
}

bool TfrmSingle::RunOptionsDialog(TSingleOptions& Options) {
    std::unique_ptr<TfrmOptions> dialog(TKVForm::Create<TfrmOptions>(this, this));
    if (!dialog->Execute()) return false;
    Options.keepOnAdd = dialog->KeepOnAdd();
    Options.focusPageOne = dialog->FocusPageOne();
    Options.colorManage = dialog->ColorManage();
    Options.moneyAutoZero = dialog->MoneyAutoZero();
    Options.moneyThousand = dialog->MoneyThousand();
    Options.quantityAutoZero = dialog->NumberAutoZero();
    Options.quantityThousand = dialog->NumberThousand();
    return true;
}

bool TfrmSingle::UserSetting(const QString& section, const QString& key, bool def) const {
    return const_cast<TfrmSingle*>(this)->GetUserDefine(section, key, def);
}

int TfrmSingle::MoneyDigits() const {
    TdmBase* dm = BaseModule();
    if (!dm || !Broker) return -1;
    return dm->GetCurrencyDigits(Broker->GetSysParam(QStringLiteral("SYS003")), cdtMoney);
}

void TfrmSingle::miOptionsClick() {
    TSingleOptions o;
    o.keepOnAdd = KeepOnAdd;
    o.focusPageOne = FocusPageOne;
    o.colorManage = ColorManage;
    TdmBase* dm = BaseModule();
    if (dm) {
        o.moneyAutoZero = dm->MoneyAutoZero;
        o.moneyThousand = dm->MoneyThousand;
        o.quantityAutoZero = dm->QuantityAutoZero;
        o.quantityThousand = dm->QuantityThousand;
    }
    if (!RunOptionsDialog(o)) return;
    KeepOnAdd = o.keepOnAdd;
    FocusPageOne = o.focusPageOne;
    if (ColorManage && !o.colorManage) switchColorManageOff();
    if (!dm) return;
    dm->MoneyAutoZero = o.moneyAutoZero;
    dm->MoneyThousand = o.moneyThousand;
    dm->QuantityAutoZero = o.quantityAutoZero;
    dm->QuantityThousand = o.quantityThousand;
    // Detach and re-attach every data source so that the controls show the new formats.
    for (TDataSource* ds : dm->findChildren<TDataSource*>()) {
        TClientDataSet* set = ds->DataSet();
        ds->SetDataSet(nullptr);
        ds->SetDataSet(set);
    }
}

// --- keys and fields --------------------------------------------------------------------------------------

QStringList TfrmSingle::keyFieldNames() const {
    TdmBase* dm = BaseModule();
    return dm ? splitList(dm->KeyFields) : QStringList();
}

TField* TfrmSingle::keyField(const QString& name) const {
    TClientDataSet* cds = MainDataSet();
    if (!cds || !keyFieldNames().contains(name, Qt::CaseInsensitive)) return nullptr;
    return cds->FindField(name);
}

QString TfrmSingle::CurrentKeyString() const {
    TClientDataSet* cds = MainDataSet();
    if (!cds || !cds->Active() || cds->IsEmpty()) return {};
    QStringList values;
    for (const QString& k : keyFieldNames()) {
        TField* f = cds->FindField(k);
        values << (f ? f->AsString() : QString());
    }
    return single::KeyString(values);
}

TField* TfrmSingle::GetTableField(const QString& Table, const QString& Field) {
    TClientDataSet* cds = MainDataSet();
    if (!cds || !Broker) return nullptr;
    if (Table.compare(Broker->GetLoginInfo(QStringLiteral("M11_TABLE")), Qt::CaseInsensitive) != 0)
        return nullptr;
    return cds->FindField(Field);
}

QList<QStringList> TfrmSingle::SimpleSqlRows(const QString& Sql, const QString& Fields) {
    QList<QStringList> rows;
    if (!Broker) return rows;
    const Variant answer = Broker->CallCounter(QStringLiteral("SimpleSQL"),
                                               server::SimpleSqlParams(Sql, Fields, Broker->DBName));
    if (!answer.isArray()) return rows;
    for (const Variant& r : answer.toList()) {
        QStringList row;
        for (const Variant& v : r.isArray() ? r.toList() : VariantList{r})
            row << (v.isEmptyOrNull() ? QString() : v.toString());
        rows << row;
    }
    return rows;
}

// --- the data module's view of the window ----------------------------------------------------------------

int TSingleFormLink::EditingMode() const {
    return form_.EditState;
}
bool TSingleFormLink::BeforePostCheck(TClientDataSet* dataSet) {
    return form_.BeforePostCheck(dataSet);
}
void TSingleFormLink::RecordChanged(TClientDataSet* dataSet) {
    form_.RecordChanged(dataSet);
}
QString TSingleFormLink::CodePage() const {
    return form_.CodePage();
}
QString TSingleFormLink::DisplayConvert(const QString& text) const {
    return form_.DisplayConvert(text);
}
QString TSingleFormLink::InputConvert(const QString& text) const {
    return form_.InputConvert(text);
}
QString TSingleFormLink::PackageText(const QString& package, const QString& key, const QString& def) const {
    return form_.PackageText(package, key, def);
}
bool TSingleFormLink::ColorManagement() const {
    return form_.ColorManage;
}
void TSingleFormLink::ResetColorRules() {
    form_.ResetColors();
}
void TSingleFormLink::ApplyColorRules(TClientDataSet* colorData) {
    form_.ApplyColorRules(colorData);
}
void TSingleFormLink::ReloadColorData(bool newRecord) {
    if (newRecord)
        form_.RefreshColorRecord();
    else
        form_.ApplyColorCondition(form_.LastWhere, form_.LastOrder);
}
bool TSingleFormLink::CellColors(TField* field, TCellColors& colors) {
    if (!field) return false;
    QColor text, back;
    QFont font;
    if (!form_.PaintGridCell(field->FieldName(), -1, font, text, back)) return false;
    colors.Font = text;
    colors.Background = back;
    colors.Bold = font.bold();
    colors.Italic = font.italic();
    return true;
}
bool TSingleFormLink::GridRowSelected(TBookmark bookmark) const {
    return form_.gdHead && form_.gdHead->SelectedBookmarks().contains(qint64(bookmark));
}
QStringList TSingleFormLink::ControlTypes(TClientDataSet* dataSet) const {
    (void)dataSet;
    return form_.gdHead ? form_.gdHead->ControlType() : QStringList();
}
void TSingleFormLink::SetControlType(TClientDataSet* dataSet, const QString& field, const QString& control) {
    (void)dataSet;
    if (!form_.gdHead) return;
    QStringList types;
    for (const QString& t : form_.gdHead->ControlType())
        if (t.section(QLatin1Char(';'), 0, 0).compare(field, Qt::CaseInsensitive) != 0) types << t;
    types << field + QLatin1Char(';') + control;
    form_.gdHead->setControlType(types);
}
void TSingleFormLink::RefreshGridLayout() {
    if (form_.gdHead) form_.gdHead->RebuildColumns();
}
QStringList TSingleFormLink::ComboItems(const QString& componentName) const {
    auto* box = form_.findChild<TKvDBComboBox*>(componentName);
    return box ? box->Items() : QStringList();
}
void TSingleFormLink::ApplyUserDefaults() {
    if (TMT_Doc* doc = form_.SettingsDocument()) doc->ApplyDefaults(&form_);
}
QWidget* TSingleFormLink::DialogParent() const {
    return &form_;
}
std::unique_ptr<TExportProgress> TSingleFormLink::CreateExportProgress() {
    return std::make_unique<TShowStatusProgress>(&form_);
}

} // namespace kvx
