#include "BaseCF.h"

#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "controls/FieldBinding.h"
#include "controls/ImageLibrary.h"
#include "controls/StatusBar.h"
#include "data/BaseCD.h"
#include "data/KnlBase.h"
#include "entry/MT_Doc.h"
#include "lang/KVForm.h"
#include "platform/Automation.h"
#include "platform/DataSource.h"
#include "platform/DialogService.h"
#include "platform/Field.h"
#include "platform/PropertySetter.h"
#include "query/KvQBE.h"
#include "server/BuildVariant.h"
#include "server/LibStrs.h"
#include "server/StartReads.h"

#include <QApplication>
#include <QChildEvent>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <pugixml.hpp>

namespace kvx {

namespace {

constexpr int kButtonSize = 25;
constexpr int kSeparatorWidth = 8;
constexpr int kToolBarBorder = 1;

template <class Fn> struct ScopeExit {
    Fn fn;
    ~ScopeExit() { fn(); }
};
template <class Fn> ScopeExit(Fn) -> ScopeExit<Fn>;

// "ds:f1,f2;ds2:f3" as (dataset, fields) pairs in their order; items without a dataset or field part
// are dropped and field names are trimmed.
QList<QPair<QString, QStringList>> parseFieldList(const QString& list) {
    QList<QPair<QString, QStringList>> items;
    for (const QString& item : list.split(QLatin1Char(';'))) {
        const int colon = item.indexOf(QLatin1Char(':'));
        if (colon < 0) continue;
        const QString dataSet = item.left(colon).trimmed();
        QStringList fields;
        for (const QString& f : item.mid(colon + 1).split(QLatin1Char(','))) {
            const QString name = f.trimmed();
            if (!name.isEmpty()) fields << name;
        }
        if (dataSet.isEmpty() || fields.isEmpty()) continue;
        items.append({dataSet, fields});
    }
    return items;
}

TClientDataSet* dataSetOfSource(QObject* source) {
    auto* ds = qobject_cast<TDataSource*>(source);
    return ds ? ds->DataSet() : nullptr;
}

TFDBGrid* gridAround(QObject* control) {
    for (QObject* o = control; o; o = o->parent()) {
        if (auto* g = qobject_cast<TFDBGrid*>(o)) return g;
        if (auto* w = qobject_cast<QWidget*>(o); w && w->isWindow()) break;
    }
    return nullptr;
}

// Makes the column of a field the grid's current column; false when the grid does not show it.
bool selectGridField(TFDBGrid* grid, const QString& fieldName) {
    int shown = 0;
    for (int c = 0; c < grid->Columns()->Count(); ++c) {
        const TColumn* col = grid->column(c);
        if (!col || !col->Visible()) continue;
        if (col->FieldName().compare(fieldName, Qt::CaseInsensitive) == 0) {
            grid->setCurrentColumn(shown);
            return true;
        }
        ++shown;
    }
    return false;
}

bool propertyIsTrue(const QObject* o, const char* name) {
    const QMetaProperty p = PropertySetter::findProperty(o, QString::fromLatin1(name));
    return p.isValid() && p.read(o).toBool();
}

} // namespace

// --- images and toolbar ----------------------------------------------------------------------------------

bool TImageList::AddLibraryImage(int libraryNumber, const QPalette& palette) {
    QPixmap bmp;
    if (!ImageLibrary::LoadBmp(bmp, libraryNumber)) {
        qCWarning(lcForms) << "button image" << libraryNumber << "cannot be loaded";
        icons_.append(QIcon());
        return false;
    }
    // A strip holds the normal glyph first; the disabled look is drawn from it.
    QImage normal = bmp.toImage();
    if (normal.width() > normal.height()) normal = normal.copy(0, 0, normal.height(), normal.height());
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(lang::DisabledImage(normal, palette)), QIcon::Disabled);
    icons_.append(icon);
    return true;
}

TToolButton::TToolButton(QWidget* toolBar, const QString& name, bool separator)
    : QToolButton(toolBar), separator_(separator) {
    setObjectName(name);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setIconSize(QSize(18, 18));
    setFixedSize(separator ? kSeparatorWidth : kButtonSize, kButtonSize);
    if (separator) setEnabled(false);
}

void TToolButton::SetImage(const TImageList& images, int index) {
    imageIndex_ = index;
    setIcon(images.Icon(index));
}

void TToolButton::paintEvent(QPaintEvent* event) {
    if (!separator_) {
        QToolButton::paintEvent(event);
        return;
    }
    QPainter p(this);
    const int x = width() / 2 - 1;
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(x, 2, x, height() - 3);
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(x + 1, 2, x + 1, height() - 3);
}

TToolBar::TToolBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("ToolBar1"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(kToolBarBorder);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TToolBar::Arrange() {
    ArrangeToolButtons(this);
    for (QObject* c : children())
        if (auto* b = qobject_cast<QAbstractButton*>(c)) b->move(b->x() + kToolBarBorder, kToolBarBorder);
    setFixedHeight(kButtonSize + 2 * kToolBarBorder);
}

QSize TToolBar::sizeHint() const {
    int w = 2 * kToolBarBorder;
    for (QObject* c : children())
        if (auto* b = qobject_cast<QAbstractButton*>(c); b && !b->isHidden()) w += b->width();
    return {w, kButtonSize + 2 * kToolBarBorder};
}

void TToolBar::showEvent(QShowEvent* event) {
    QFrame::showEvent(event);
    Arrange();
}

void TToolBar::childEvent(QChildEvent* event) {
    QFrame::childEvent(event);
    if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved) Arrange();
}

// --- window ----------------------------------------------------------------------------------------------

int TfrmBase::LibraryImageOf(int imageIndex) {
    // add, query, edit, delete, print, first, prior, next, last, refresh
    static constexpr int kNumbers[] = {13, 29, 25, 26, 4, 17, 18, 19, 20, 15};
    return imageIndex >= 0 && imageIndex < int(std::size(kNumbers)) ? kNumbers[imageIndex] : 0;
}

TfrmBase::TfrmBase(QWidget* parent) : TfrmRadical(parent) {
    setObjectName(QStringLiteral("frmBase"));
    createComponents();
}

TfrmBase::~TfrmBase() {
    // The widgets destroyed after this layer move the focus: the handler must not see them.
    disconnect(focusConnection_);
}

void TfrmBase::createComponents() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ImageList1 = new TImageList(this);
    ImageList1->setObjectName(QStringLiteral("ImageList1"));
    ImageList1->setTag(kFrameworkTag);
    for (int i = imAdd; i <= imReFresh; ++i)
        ImageList1->AddLibraryImage(LibraryImageOf(i), palette());

    // Main menu.
    auto* mainMenu = new TMainMenu(this);
    mainMenu->setObjectName(QStringLiteral("MainMenu"));
    mainMenu->setTag(kFrameworkTag);
    MainMenu = mainMenu;
    layout->setMenuBar(MainMenu);
    auto menu = [this](const QString& name, const QString& caption, int group) {
        auto* m = new TPopupMenu(caption, MainMenu);
        m->setObjectName(name);
        m->setTag(kFrameworkTag);
        m->setGroupIndex(group);
        m->menuAction()->setObjectName(name + QStringLiteral("Action"));
        MainMenu->addMenu(m);
        return m;
    };
    MenuItem1 = menu(QStringLiteral("MenuItem1"), QStringLiteral("资料(&D)"), 11);
    MenuItem11 = menu(QStringLiteral("MenuItem11"), QStringLiteral("功能(&F)"), 12);
    MenuItem16 = menu(QStringLiteral("MenuItem16"), QStringLiteral("退出(&X)"), 100);

    auto item = [this](QMenu* m, const QString& name, const QString& caption, const QKeySequence& key,
                       int image, void (TfrmBase::*handler)()) {
        auto* a = new TMenuItem(this);
        a->setObjectName(name);
        a->setText(caption);
        a->setTag(kFrameworkTag);
        if (!key.isEmpty()) a->setShortcut(key);
        if (image >= 0) a->setIcon(ImageList1->Icon(image));
        if (handler) connect(a, &QAction::triggered, this, [this, handler] { runCommand(handler); });
        m->addAction(a);
        return a;
    };
    auto separator = [this](QMenu* m, const QString& name) {
        auto* a = new TMenuItem(this);
        a->setObjectName(name);
        a->setSeparator(true);
        a->setTag(kFrameworkTag);
        m->addAction(a);
        return a;
    };
    miAdd = item(MenuItem1, QStringLiteral("miAdd"), QStringLiteral("新增(&A)"), Qt::Key_F5, imAdd,
                 &TfrmBase::miAddClick);
    miQuery = item(MenuItem1, QStringLiteral("miQuery"), QStringLiteral("查询(&Q)"), Qt::Key_F6, imQuery,
                   &TfrmBase::miQueryClick);
    miEdit = item(MenuItem1, QStringLiteral("miEdit"), QStringLiteral("更改(&E)"), Qt::Key_F7, imEdit,
                  &TfrmBase::miEditClick);
    miDelete = item(MenuItem1, QStringLiteral("miDelete"), QStringLiteral("删除(&D)"), Qt::Key_F8, imDelete,
                    &TfrmBase::miDeleteClick);
    miViewItem = item(MenuItem1, QStringLiteral("miViewItem"), QStringLiteral("查看文档(&V)"), Qt::Key_F10,
                      -1, &TfrmBase::miViewItemClick);
    miViewItem->setVisible(false);
    shit = separator(MenuItem1, QStringLiteral("shit"));
    miFirst = item(MenuItem1, QStringLiteral("miFirst"), QStringLiteral("第一个(&F)"),
                   QKeySequence(Qt::CTRL | Qt::Key_H), imFirst, &TfrmBase::miFirstClick);
    miPrior = item(MenuItem1, QStringLiteral("miPrior"), QStringLiteral("上一个(&P)"), {}, imPrior,
                   &TfrmBase::miPriorClick);
    miNext = item(MenuItem1, QStringLiteral("miNext"), QStringLiteral("下一个(&N)"), {}, imNext,
                  &TfrmBase::miNextClick);
    miLast = item(MenuItem1, QStringLiteral("miLast"), QStringLiteral("最后一个(&L)"),
                  QKeySequence(Qt::CTRL | Qt::Key_E), imLast, &TfrmBase::miLastClick);

    miToolBar = item(MenuItem11, QStringLiteral("miToolBar"), QStringLiteral("工具栏(&S)"),
                     QKeySequence(Qt::CTRL | Qt::Key_S), -1, nullptr);
    miToolBar->setCheckable(true);
    miToolBar->setChecked(true);
    connect(miToolBar, &QAction::triggered, this, [this] { miToolBarClick(); });
    miManager = item(MenuItem11, QStringLiteral("miManager"), QStringLiteral("管理字段(&M)"),
                     QKeySequence(Qt::CTRL | Qt::Key_M), -1, nullptr);
    miManager->setCheckable(true);
    connect(miManager, &QAction::triggered, this, [this] { miManagerClick(); });
    N9 = separator(MenuItem11, QStringLiteral("N9"));
    NG = item(MenuItem11, QStringLiteral("NG"), QStringLiteral("保存视图(&G)"), {}, -1, &TfrmBase::NGClick);
    if (Features().findDialog) { // the older build has no find dialog, so no item and no Ctrl+F
        mnSp = separator(MenuItem11, QStringLiteral("mnSp"));
        mnSearch = item(MenuItem11, QStringLiteral("mnSearch"), QStringLiteral("快速定位(&F)"),
                        QKeySequence(Qt::CTRL | Qt::Key_F), -1, &TfrmBase::mnSearchClick);
    }
    connect(MenuItem11, &QMenu::aboutToShow, this, [this] { MenuItem11Click(); });

    miExit = item(MenuItem16, QStringLiteral("miExit"), QStringLiteral("退出(&X)"), {}, -1,
                  &TfrmBase::miExitClick);

    // Toolbar.
    ToolBar1 = new TToolBar(this);
    ToolBar1->setTag(kFrameworkTag);
    auto button = [this](const QString& name, const QString& hint, int image, QAction* item) {
        auto* b = new TToolButton(ToolBar1, name);
        b->setTag(kFrameworkTag);
        b->setToolTip(hint);
        b->SetImage(*ImageList1, image);
        if (item) connect(b, &QToolButton::clicked, item, &QAction::trigger);
        return b;
    };
    auto toolSeparator = [this](const QString& name) {
        auto* b = new TToolButton(ToolBar1, name, true);
        b->setTag(kFrameworkTag);
        return b;
    };
    btnAdd = button(QStringLiteral("btnAdd"), QStringLiteral("新增"), imAdd, miAdd);
    btnAdd->setEnabled(false);
    btnQuery = button(QStringLiteral("btnQuery"), QStringLiteral("查询"), imQuery, miQuery);
    btnEdit = button(QStringLiteral("btnEdit"), QStringLiteral("更改"), imEdit, miEdit);
    btnDelete = button(QStringLiteral("btnDelete"), QStringLiteral("删除"), imDelete, miDelete);
    btnPrint = button(QStringLiteral("btnPrint"), QStringLiteral("打印"), imPrint, nullptr);
    ToolButton1 = toolSeparator(QStringLiteral("ToolButton1"));
    btnFirst = button(QStringLiteral("btnFirst"), QStringLiteral("第一个"), imFirst, miFirst);
    btnPrior = button(QStringLiteral("btnPrior"), QStringLiteral("上一个"), imPrior, miPrior);
    btnNext = button(QStringLiteral("btnNext"), QStringLiteral("下一个"), imNext, miNext);
    btnLast = button(QStringLiteral("btnLast"), QStringLiteral("最后一个"), imLast, miLast);
    btnReFresh = button(QStringLiteral("btnReFresh"), QStringLiteral("重取"), imReFresh, nullptr);
    ToolButton6 = toolSeparator(QStringLiteral("ToolButton6"));
    ToolBar1->Arrange();
    layout->addWidget(ToolBar1);

    ClientArea = new QWidget(this);
    ClientArea->setObjectName(QStringLiteral("ClientArea"));
    ClientLayout = new QVBoxLayout(ClientArea);
    ClientLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ClientArea, 1);

    Status = new TStatusBar(this);
    Status->setObjectName(QStringLiteral("Status"));
    Status->setTag(kFrameworkTag);
    Status->Panels()->BeginUpdate(); // the bar is laid out once, with all five panels
    Status->addPanel(QStringLiteral("浏览"), 40);
    Status->addPanel(QString(), 400);
    Status->addPanel(QStringLiteral("单据笔数"), 50);
    Status->addPanel(QStringLiteral("0/0"), 50);
    Status->addPanel(QString(), 60);
    Status->Panels()->EndUpdate();
    layout->addWidget(Status);

    if (mnSearch) createSearchDialog();
    resize(640, 480);
}

void TfrmBase::createSearchDialog() {
    kvSearchDialog1 = new TkvSearchDialog(this);
    kvSearchDialog1->setObjectName(QStringLiteral("kvSearchDialog1"));
    SetupWindowSearch(*kvSearchDialog1, *this);
    // The window's handlers run the configured ones.
    searchInit_ = kvSearchDialog1->OnInitDialog;
    searchBefore_ = kvSearchDialog1->BeforeSearch;
    searchAfter_ = kvSearchDialog1->AfterSearch;
    searchSelect_ = kvSearchDialog1->OnSelectField;
    kvSearchDialog1->OnInitDialog = [this](TfrmSearchDlg* d) { kvSearchDialog1InitDialog(d); };
    kvSearchDialog1->BeforeSearch = [this](TfrmSearchDlg* d) { kvSearchDialog1BeforeSearch(d); };
    kvSearchDialog1->AfterSearch = [this](TfrmSearchDlg* d, bool& found) {
        kvSearchDialog1AfterSearch(d, found);
    };
    kvSearchDialog1->OnSelectField = [this](TfrmSearchDlg* d, const QString& f, const QString& l) {
        kvSearchDialog1SelectField(d, f, l);
    };

    // The find command follows the focus: it is offered while a grid holds it.
    focusConnection_ = connect(qApp, &QApplication::focusChanged, this, [this] { MenuItem11Click(); });
}

void TfrmBase::runCommand(void (TfrmBase::*handler)()) {
    // A command that fails never leaves the window with command states that disagree with it.
    try {
        (this->*handler)();
    } catch (const EAbort&) {
        UpdateCommands();
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "command failed:" << e.what();
        UpdateCommands();
        MessageDlg(QString::fromUtf8(e.what()), MsgDlgType::Error, mbOK);
    }
}

TdmBase* TfrmBase::BaseModule() const {
    return qobject_cast<TdmBase*>(DataModule.data());
}

TClientDataSet* TfrmBase::MainDataSet() const {
    TdmBase* dm = BaseModule();
    return dm ? dm->cdsMain : nullptr;
}

bool TfrmBase::HasRows() const {
    const TClientDataSet* ds = MainDataSet();
    return ds && ds->Active() && !(ds->Bof() && ds->Eof());
}

bool TfrmBase::HasUserChanges(const TClientDataSet* ds) {
    if (!ds || !ds->Modified()) return false;
    if (ds->State() != TDataSetState::dsEdit) return true;
    // The audit stamp of starting an edit is no change of the user's.
    for (const TField* f : ds->Fields()) {
        if (f->FieldKind() != TField::fkData || TdmRadical::IsAuditField(f->FieldName())) continue;
        const Variant old = f->OldValue();
        const Variant now = f->Value();
        if (old.isEmptyOrNull() != now.isEmptyOrNull() || old.toString() != now.toString()) return true;
    }
    return false;
}

bool TfrmBase::IsEditing() const {
    const TClientDataSet* ds = MainDataSet();
    return ds && (ds->State() == TDataSetState::dsEdit || ds->State() == TDataSetState::dsInsert);
}

// --- creation --------------------------------------------------------------------------------------------

void TfrmBase::FormCreate() {
    TfrmRadical::FormCreate();
    LoadRights();
}

void TfrmBase::FormShow() {
    const QFontMetrics metrics(Status->font());
    for (int i = 0; i < Status->Panels()->Count(); ++i) {
        TStatusPanel* p = Status->panel(i);
        const int needed = metrics.horizontalAdvance(p->Text()) + 8;
        if (!p->Text().isEmpty() && p->Width() < needed) p->setWidth(needed);
    }
    TfrmRadical::FormShow();
}

void TfrmBase::InitSettings() {
    TfrmRadical::InitSettings();
    ItemDocument = true;
    SaveFailed = false;
    PrintPreview = false;
}

void TfrmBase::ConnectDataModule() {
    TfrmRadical::ConnectDataModule();
    TdmBase* dm = BaseModule();
    if (!dm) return;
    dm->ShowManagementFields(false);
    // Controls bound to a data source of the same name elsewhere are rebound to the module's own.
    const QList<TDataSource*> sources = dm->findChildren<TDataSource*>();
    for (QObject* c : lang::OwnedComponents(this)) {
        QObject* current = nullptr;
        auto* bound = dynamic_cast<DataAwareControl*>(c);
        auto* grid = qobject_cast<TFDBGrid*>(c);
        if (bound)
            current = bound->DataSource();
        else if (grid)
            current = grid->DataSource();
        if (!current) continue;
        for (TDataSource* s : sources) {
            if (s == current || s->objectName().compare(current->objectName(), Qt::CaseInsensitive) != 0)
                continue;
            if (bound) bound->setDataSource(s);
            if (grid) grid->setDataSource(s);
            break;
        }
    }
    dm->SetupFields();
    SetStatusMode(smBrowse);
    UpdateRecordInfo(dm->cdsMain);
    if (dm->MIDAS)
        Status->panel(4)->setText(dm->MIDAS->address() + QStringLiteral(" - ") +
                                  QString::number(dm->MIDAS->port()));
}

void TfrmBase::AfterShow() {
    TfrmRadical::AfterShow();
    if (RunMode != 10) LoadRequiredFields();
    LoadGridViews();
    InitGrids();
    if (TdmBase* dm = BaseModule(); dm && Broker) {
        for (const char* name : {"M11_TABLE", "D11_TABLE", "H11_TABLE", "F11_TABLE"}) {
            const QString table = Broker->GetLoginInfo(QString::fromLatin1(name)).trimmed();
            if (!table.isEmpty()) dm->LoadNumberFieldWidths(table);
        }
    }
}

// --- edit state and commands -----------------------------------------------------------------------------

void TfrmBase::SetState(TEditState State) {
    EditState = State;
    SetStatusMode(State == esBrowse ? smBrowse : State == esEdit ? smEdit : smInsert);
}

void TfrmBase::SetStatusMode(int Mode) {
    const QString cp = UICodePage();
    QString text;
    if (cp != QLatin1String("950") && cp != QLatin1String("936")) {
        text = Mode == smEdit     ? QStringLiteral("Edit")
               : Mode == smInsert ? QStringLiteral("Insert")
                                  : QStringLiteral("Browse");
    } else {
        text = Mode == smEdit     ? QStringLiteral("更改")
               : Mode == smInsert ? QStringLiteral("新增")
                                  : QStringLiteral("浏览");
        text = ConvertUIString(text);
    }
    Status->panel(0)->setText(text);
    const bool chinese = cp == QLatin1String("950") || cp == QLatin1String("936");
    Status->panel(2)->setText(chinese ? ConvertUIString(QStringLiteral("单据笔数"))
                                      : QStringLiteral("Records"));
    UpdateCommands();
}

void TfrmBase::EnableCommand(QAction* item, QAbstractButton* button, bool on) {
    if (item) item->setEnabled(on);
    if (button) button->setEnabled(on);
}

void TfrmBase::UpdateCommands() {
    const bool rows = HasRows();
    const bool idle = !IsEditing();
    const quint16 mask = CommandMask;
    EnableCommand(miAdd, btnAdd, idle && CanAdd && (mask & 1));
    EnableCommand(miQuery, btnQuery, idle && CanQuery && (mask & 4));
    EnableCommand(miEdit, btnEdit, rows && idle && CanEdit && (mask & 2));
    EnableCommand(miDelete, btnDelete, rows && idle && CanDelete && (mask & 8));
    EnableCommand(nullptr, btnPrint, rows && idle && CanPrint && (mask & 16));
    const bool document = rows && !DocumentField.isEmpty();
    miViewItem->setVisible(document);
    miViewItem->setEnabled(document);
    EnableCommand(miFirst, btnFirst, rows && idle);
    EnableCommand(miPrior, btnPrior, rows && idle);
    EnableCommand(miNext, btnNext, rows && idle);
    EnableCommand(miLast, btnLast, rows && idle);
    miExit->setEnabled(idle);
    SaveFailed = false;
    ApplyExtraRights();
}

void TfrmBase::ApplyExtraRights() {
    if (ExtraRights.isEmpty()) return;
    const QList<QObject*> components = lang::OwnedComponents(this);
    for (const QString& item : ExtraRights.split(QLatin1Char(';'))) {
        const int eq = item.indexOf(QLatin1Char('='));
        if (eq < 0) continue;
        const QString name = item.left(eq).trimmed();
        if (name.isEmpty()) continue;
        const bool on = item.mid(eq + 1).trimmed() == QLatin1String("Y");
        for (QObject* c : components) {
            if (c->objectName().compare(name, Qt::CaseInsensitive) != 0) continue;
            if (!PropertySetter::findProperty(c, QStringLiteral("Enabled")).isValid()) continue;
            PropertySetter::set(c, QStringLiteral("Enabled"),
                                on ? QStringLiteral("True") : QStringLiteral("False"));
        }
    }
}

void TfrmBase::SetRecordRights(int group) {
    int editBit = rights::CanEdit, deleteBit = rights::CanDelete, pos4 = rights::Position4,
        pos5 = rights::Position5, pos12 = rights::Position12;
    if (group != 0) {
        // Characters 2-7 of a group element: edit, delete, 4, 5, print, 12.
        const int first = group == 1 ? rights::SameGroupFirst : rights::OtherGroupFirst;
        editBit = first + 1;
        deleteBit = first + 2;
        pos4 = first + 3;
        pos5 = first + 4;
        pos12 = first + 6;
    }
    this->CanEdit = HasRightBit(editBit);
    this->CanDelete = HasRightBit(deleteBit);
    Right4 = HasRightBit(pos4);
    Right5 = HasRightBit(pos5);
    Right12 = HasRightBit(pos12);
}

void TfrmBase::LoadRights() {
    this->CanQuery = HasRightBit(rights::CanQuery);
    this->CanAdd = HasRightBit(rights::CanAdd);
    this->CanPrint = HasRightBit(rights::CanPrint);
    Right7Y = HasRightBit(rights::FieldListA);
    Right7R = HasRightBit(rights::FieldListAReadOnly);
    Right8Y = HasRightBit(rights::FieldListB);
    Right8R = HasRightBit(rights::FieldListBReadOnly);
    Right10 = HasRightBit(rights::Position10);
    Right11 = HasRightBit(rights::Position11);
    if (!HasRightBit(rights::RecordLevel)) SetRecordRights(0);
    UpdateCommands();
}

void TfrmBase::UpdateRecordInfo(TClientDataSet* DataSet) {
    TClientDataSet* ds = DataSet ? DataSet : MainDataSet();
    if (HasRightBit(rights::RecordLevel)) {
        QString creator, group;
        if (ds && ds->Active()) {
            if (TField* f = ds->FindField(QStringLiteral("CREATOR"))) creator = f->AsString().trimmed();
            if (TField* f = ds->FindField(QStringLiteral("USR_GROUP"))) group = f->AsString().trimmed();
        }
        const QString user = Broker ? Broker->UserID.trimmed() : QString();
        if (creator.isEmpty() || creator == user)
            SetRecordRights(0);
        else if (GroupList.contains(QLatin1Char('\'') + group + QLatin1Char('\'')) ||
                 GroupList.contains(QLatin1Char('"') + group + QLatin1Char('"')))
            SetRecordRights(1);
        else
            SetRecordRights(2);
    }
    LoadRights();
    TdmBase* dm = BaseModule();
    const int total = dm ? dm->RecordCount : 0;
    const int recNo = ds && ds->Active() ? ds->RecNo() : -1;
    Status->panel(3)->setText(recNo > 0 ? QStringLiteral("%1/%2").arg(recNo).arg(total)
                                        : QString::number(total));
}

void TfrmBase::RecordChanged(TClientDataSet* dataSet) {
    if (dataSet && dataSet == MainDataSet()) UpdateRecordInfo(dataSet);
}

// --- commands ---------------------------------------------------------------------------------------------

bool TfrmBase::DoAdd(bool) {
    TdmBase* dm = BaseModule();
    if (!dm || !dm->cdsMain) return false;
    dm->RefreshServerDate();
    if (!OpenMainData(dm->cdsMain, QStringLiteral("1=2"), dm->KeyFields)) {
        UpdateRecordInfo(dm->cdsMain);
        return false;
    }
    SetState(esAdd);
    try {
        dm->cdsMain->Append();
    } catch (...) {
        SetState(esBrowse);
        throw;
    }
    SetState(esAdd);
    return true;
}

bool TfrmBase::DoEdit() {
    TdmBase* dm = BaseModule();
    if (!dm || !dm->CanModify()) return false;
    TClientDataSet* ds = dm->cdsMain;
    if (!ds || !ds->Active() || ds->State() != TDataSetState::dsBrowse || ds->IsEmpty()) return false;
    dm->RefreshServerDate();
    SetState(esEdit);
    try {
        ds->Edit();
    } catch (...) {
        SetState(esBrowse);
        throw;
    }
    SetState(esEdit);
    return true;
}

bool TfrmBase::DoDelete(bool Ask) {
    TdmBase* dm = BaseModule();
    if (!dm || !HasRows() || !dm->CanModify()) return false;
    TClientDataSet* ds = dm->cdsMain;
    if (Ask && Broker->ShowMsg(QStringLiteral("C"), QStringLiteral("000001"), {}, 936, false,
                               TBrokers::dbCancel) != mrOk)
        return false;
    // The key of the record, to find it again when the server refuses the delete.
    QStringList keyNames;
    QVariantList keyValues;
    for (const QString& k : dm->KeyFields.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (TField* f = ds->FindField(k.trimmed())) {
            keyNames << f->FieldName();
            keyValues << f->AsString();
        }
    bool ok = true;
    QString error;
    try {
        DeleteRecordCascade(ds, false, true);
        if (ds->ApplyUpdates(0) > 0) {
            ok = false;
            error = QStringLiteral("the server refused the delete");
        }
    } catch (const EAbort&) {
        ok = false;
        error = QStringLiteral("the delete was aborted");
    } catch (const std::exception& e) {
        ok = false;
        error = QString::fromUtf8(e.what());
    }
    if (!ok) {
        if (!WriteToAlertFile(QStringLiteral("BaseCF-484"), error, QStringLiteral("D")))
            qCWarning(lcForms) << "alert log not written:" << error;
        qCWarning(lcForms) << "delete failed:" << error;
        // The record comes back: nothing is deleted on the screen only.
        try {
            if (ds->State() != TDataSetState::dsBrowse) ds->Cancel();
            ds->CancelUpdates();
            if (!keyNames.isEmpty()) {
                Variant values = Variant::array(0, int(keyValues.size()) - 1);
                for (int i = 0; i < keyValues.size(); ++i)
                    values[i] = keyValues[i].toString();
                ds->Locate(keyNames.join(QLatin1Char(';')),
                           keyValues.size() == 1 ? Variant(keyValues[0].toString()) : values);
            }
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "the deleted record could not be restored:" << e.what();
        }
        Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("000007"));
    } else if (dm->RecordCount > 0) {
        --dm->RecordCount;
    }
    SetState(esBrowse);
    UpdateRecordInfo(ds);
    return ok;
}

bool TfrmBase::DoQuery() {
    return true;
}

bool TfrmBase::DoPrint() {
    return true;
}

bool TfrmBase::DoCancel(bool Ask) {
    TClientDataSet* ds = MainDataSet();
    if (!ds) return false;
    auto cancelNow = [&] {
        if (ds->State() == TDataSetState::dsEdit || ds->State() == TDataSetState::dsInsert) ds->Cancel();
        ds->CancelUpdates();
        SetState(esBrowse);
        if (OneShot) {
            ReturnValue = Variant();
            ds->Close();
        }
        UpdateRecordInfo(ds);
    };
    const bool changed = ds->ChangeCount() > 0 || HasUserChanges(ds);
    if (changed && Ask) {
        const QString code = EditState == esAdd ? QStringLiteral("000004") : QStringLiteral("000002");
        if (Broker->ShowMsg(QStringLiteral("C"), code, {}, 936, false, TBrokers::dbOK) != mrOk) {
            if (EditState == esEdit && SaveFailed && !KeepEditing())
                cancelNow();
            else
                UpdateCommands();
            return false;
        }
    }
    cancelNow();
    return true;
}

bool TfrmBase::DoExit() {
    close();
    return true;
}

bool TfrmBase::KeepEditing() {
    return false;
}

// --- close and keys ---------------------------------------------------------------------------------------

void TfrmBase::FormCloseQuery(bool& CanClose) {
    CanClose = true;
    if (EditState == esBrowse) return;
    const QString code = EditState == esEdit ? QStringLiteral("000002") : QStringLiteral("000001");
    const int answer = Broker->ShowMsg(QStringLiteral("D"), code, {}, 936, false, -1);
    if (answer == mrYes)
        CanClose = DoSave();
    else if (answer == mrNo)
        CanClose = DoCancel(false);
    else
        CanClose = false;
    if (!CanClose) UpdateCommands();
}

void TfrmBase::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->ignore();
        return;
    }
    bool canClose = true;
    {
        closing_ = true;
        ScopeExit reset{[this] { closing_ = false; }};
        try {
            FormCloseQuery(canClose);
        } catch (const EAbort&) {
            canClose = false;
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "close query failed:" << e.what();
            MessageDlg(QString::fromUtf8(e.what()), MsgDlgType::Error, mbOK);
            canClose = false;
        }
    }
    if (!canClose) {
        event->ignore();
        return;
    }
    TfrmRadical::closeEvent(event);
}

void TfrmBase::FormClose(TCloseAction& Action) {
    TfrmRadical::FormClose(Action);
    if (QueryForm && QueryForm->parent() == this) delete QueryForm.data();
}

bool TfrmBase::FormKeyDown(QKeyEvent* event) {
    try {
        if (TfrmRadical::FormKeyDown(event)) return true;
        if (event->key() == Qt::Key_Escape && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (EditState == esBrowse)
                DoExit();
            else
                DoCancel(true);
            return true;
        }
    } catch (const EAbort&) {
        UpdateCommands();
        return true;
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "key handling failed:" << e.what();
        UpdateCommands();
        MessageDlg(QString::fromUtf8(e.what()), MsgDlgType::Error, mbOK);
        return true;
    }
    return false;
}

bool TfrmBase::event(QEvent* e) {
    try {
        return TfrmRadical::event(e);
    } catch (const EAbort&) {
        return true;
    }
}

QString TfrmBase::GetHelpKey(const QString& Base) {
    if (EditState == esBrowse) return Base + QStringLiteral("0000");
    return TfrmRadical::GetHelpKey(Base);
}

void TfrmBase::DoF2Key(int& Key, QObject* Control) {
    TfrmRadical::DoF2Key(Key, Control);
    if (Control && propertyIsTrue(Control, "ReadOnly")) {
        Key = 0;
        Abort();
    }
}

void TfrmBase::DoF3Key(int& Key, QObject* Control) {
    TfrmRadical::DoF3Key(Key, Control);
    if (Control && propertyIsTrue(Control, "ReadOnly")) {
        Key = 0;
        Abort();
    }
}

void TfrmBase::DoF4Key(int& Key, QObject* Control) {
    TfrmRadical::DoF4Key(Key, Control);
    if (Control && propertyIsTrue(Control, "ReadOnly")) {
        Key = 0;
        Abort();
    }
}

void TfrmBase::DoF11Key(int& Key, QObject* Control) {
    TfrmRadical::DoF11Key(Key, Control);
    if (RunMode == 10) return;
    Key = 0;
    if (!Control || DocumentField.isEmpty() || !Broker) return;
    if (propertyIsTrue(Control, "ReadOnly")) return;
    // The control's dataset and field.
    TClientDataSet* ds = nullptr;
    QString fieldName;
    if (TFDBGrid* grid = gridAround(Control)) {
        ds = dataSetOfSource(grid->DataSource());
        fieldName = grid->SelectedField();
    } else if (auto* bound = dynamic_cast<DataAwareControl*>(Control)) {
        ds = dataSetOfSource(bound->DataSource());
        fieldName = bound->DataField();
    }
    if (!ds || fieldName.isEmpty()) return;
    TField* field = ds->FindField(fieldName);
    if (!field || field->ReadOnly() || !ds->CanModify()) return;
    QString lines = DocumentField;
    lines.remove(QLatin1Char(' '));
    bool listed = false;
    for (const QString& line : lines.split(QLatin1Char(';'))) {
        const int eq = line.indexOf(QLatin1Char(':'));
        if (eq < 0 || line.left(eq).compare(ds->objectName(), Qt::CaseInsensitive) != 0) continue;
        if (line.mid(eq + 1).split(QLatin1Char(',')).contains(field->FieldName())) listed = true;
    }
    if (!listed) return;
    Variant result;
    Broker->ShowCharacters(2, false, result, Broker->OwnerHandle());
    if (!result.isArray() || result.toList().isEmpty()) return;
    if (EditState != esEdit && EditState != esAdd) return;
    if (ds->State() == TDataSetState::dsBrowse) ds->Edit();
    field->SetAsString(result.toList().first().toString());
}

void TfrmBase::DateFieldDBComboDlgExit(QObject* Sender) {
    auto* bound = dynamic_cast<DataAwareControl*>(Sender);
    TdmBase* dm = BaseModule();
    if (!bound || !dm) return;
    const QMetaProperty textProperty = PropertySetter::findProperty(Sender, QStringLiteral("Text"));
    if (!textProperty.isValid()) return;
    QString text = textProperty.read(Sender).toString();
    const QString separator = Broker ? Broker->GetSysParam(QStringLiteral("SYS002")) : QString();
    if (!separator.isEmpty()) text.remove(separator);
    if (!text.trimmed().isEmpty()) return;
    TField* field = bound->binding()->field();
    if (!field || field->ReadOnly() || field->IsNull() || field->AsString().isEmpty()) return;
    TClientDataSet* ds = dataSetOfSource(bound->DataSource());
    if (!ds || (ds->State() != TDataSetState::dsEdit && ds->State() != TDataSetState::dsInsert)) return;
    if (field->EditMask() != dm->EditMaskOf(TFieldKindHandler::Date)) return;
    field->Clear();
}

// --- navigation -------------------------------------------------------------------------------------------

void TfrmBase::miAddClick() {
    DoAdd(true);
}

void TfrmBase::miQueryClick() {
    DoQuery();
}

void TfrmBase::miEditClick() {
    DoEdit();
}

void TfrmBase::miDeleteClick() {
    DoDelete(true);
}

void TfrmBase::miFirstClick() {
    if (TClientDataSet* ds = MainDataSet(); ds && ds->Active()) ds->First();
}

void TfrmBase::miPriorClick() {
    if (TClientDataSet* ds = MainDataSet(); ds && ds->Active() && !ds->Bof()) ds->Prior();
}

void TfrmBase::miNextClick() {
    TClientDataSet* ds = MainDataSet();
    if (!ds || !ds->Active()) return;
    ds->Next();
    if (ds->Eof()) ds->Next();
}

void TfrmBase::miLastClick() {
    if (TClientDataSet* ds = MainDataSet(); ds && ds->Active()) NextPacketOrLast(ds);
}

void TfrmBase::miExitClick() {
    close();
}

void TfrmBase::miToolBarClick() {
    // The action has already flipped its check mark.
    ToolBar1->setVisible(miToolBar->isChecked());
}

void TfrmBase::miManagerClick() {
    if (TdmBase* dm = BaseModule()) dm->ShowManagementFields(miManager->isChecked());
}

void TfrmBase::miViewItemClick() {
    DoViewDocument();
}

void TfrmBase::NGClick() {
    SaveGridViews();
}

// --- required fields --------------------------------------------------------------------------------------

void TfrmBase::SetRequiredFields(const QString& List) {
    if (List == requiredFields_) return;
    QList<QPair<QString, QStringList>> merged;
    for (const auto& [dataSet, fields] : parseFieldList(List)) {
        QStringList names;
        QString name = dataSet;
        for (int i = 0; i < merged.size(); ++i) {
            if (merged[i].first.compare(dataSet, Qt::CaseInsensitive) != 0) continue;
            // A repeated dataset merges into one item (named as first written), which moves to the end.
            names = merged[i].second;
            name = merged[i].first;
            merged.removeAt(i);
            break;
        }
        for (const QString& f : fields)
            if (!names.contains(f, Qt::CaseInsensitive)) names << f;
        merged.append({name, names});
    }
    QStringList items;
    for (const auto& [dataSet, fields] : merged)
        items << dataSet + QLatin1Char(':') + fields.join(QLatin1Char(','));
    requiredFields_ = items.join(QLatin1Char(';'));
}

void TfrmBase::AddRequiredFields(const QString& List) {
    SetRequiredFields(requiredFields_ + QLatin1Char(';') + List);
}

TMT_Doc* TfrmBase::SettingsDocument() {
    if (settingsDoc_) return settingsDoc_.get();
    QString xml;
    TdmBase* dm = BaseModule();
    if (dm && dm->Server() && Broker) {
        try {
            xml = KVStrToWideString(
                      dm->Server()->call(QStringLiteral("GetFormat"), {Broker->CompanyID, GetProgramCode()}),
                      936)
                      .toString();
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "screen settings not read:" << e.what();
        }
    }
    settingsDoc_ = xml.trimmed().isEmpty() ? std::make_unique<TMT_Doc>() : TMT_Doc::CreateFromXml(xml);
    settingsDoc_->SetConverter(KvConverter());
    // Labels a company gave its screens: the window's packages may word them for the interface language;
    // an English interface keeps its own text rather than show one it cannot translate.
    const bool english = kvx::lang::LanguageCode(UICodePage()) == QLatin1String("ENG");
    settingsDoc_->SetTextTranslator([this, english](const QString& text,
                                                    const QString& converted) -> std::optional<QString> {
        const QString own = ScreenText(text);
        if (!own.isNull()) return own;
        if (english && kvx::lang::HasHanCharacters(converted)) {
            qCInfo(lcForms) << "screen-settings text" << text << "not shown: no wording for the interface";
            return std::nullopt;
        }
        return converted;
    });
    return settingsDoc_.get();
}

void TfrmBase::LoadRequiredFields() {
    if (RunMode == 10) return;
    TMT_Doc* doc = SettingsDocument();
    try {
        doc->ApplyToForm(this);
        const QString names = doc->ListIDs(QStringLiteral("Components/*[Required='-1']"));
        SetRequiredFields(requiredFields_ + QStringLiteral(";cdsMain:") + names);
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "required fields of the screen settings not read:" << e.what();
    }
}

bool TfrmBase::CheckRequired(TClientDataSet* DataSet) {
    if (EditState != esEdit && EditState != esAdd) return true;
    if (!DataSet) return true;
    TField* field = nullptr;
    if (!FindEmptyRequiredField(DataSet, requiredFields_, field) || !field) return true;
    Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("000003"), {Variant(field->DisplayLabel())});
    bringIntoView(DataSet, field);
    return false;
}

void TfrmBase::bringIntoView(TClientDataSet* dataSet, TField* field) {
    if (dataSet != MainDataSet()) {
        if (auto* grid = qobject_cast<TFDBGrid*>(FocusedControl())) {
            selectGridField(grid, field->FieldName());
            return;
        }
    }
    TdmBase* dm = BaseModule();
    if (!dm) return;
    QWidget* target = nullptr;
    for (TDataSource* source : dm->findChildren<TDataSource*>()) {
        if (source->DataSet() != dataSet) continue;
        for (QObject* c : lang::OwnedComponents(this)) {
            auto* bound = dynamic_cast<DataAwareControl*>(c);
            auto* w = qobject_cast<QWidget*>(c);
            if (!bound || !w || w->isHidden() || bound->DataSource() != source) continue;
            if (bound->DataField().compare(field->FieldName(), Qt::CaseInsensitive) != 0) continue;
            target = w;
            break;
        }
        if (target) break;
    }
    if (!target) return;
    // Every tab sheet on the way up becomes its page control's active page.
    for (QWidget* w = target->parentWidget(); w && w != this; w = w->parentWidget()) {
        auto* sheet = qobject_cast<TTabSheet*>(w);
        if (!sheet || !sheet->TabVisible()) continue;
        TExtPageControl* pc = sheet->pageControl();
        if (!pc || pc->isHidden() || !pc->isEnabled()) break;
        pc->setActivePage(sheet);
    }
    target->setFocus(Qt::OtherFocusReason);
}

// --- field rights -----------------------------------------------------------------------------------------

void TfrmBase::ApplyFieldRights() {
    TfrmRadical::ApplyFieldRights();
    if (HasRightBit(rights::FieldListAReadOnly))
        ApplyFieldList(FieldListA, true);
    else if (!HasRightBit(rights::FieldListA))
        ApplyFieldList(FieldListA, false);
    if (HasRightBit(rights::FieldListBReadOnly))
        ApplyFieldList(FieldListB, true);
    else if (!HasRightBit(rights::FieldListB))
        ApplyFieldList(FieldListB, false);
    const QString sys024 = Broker ? Broker->GetSysParam(QStringLiteral("SYS024")).trimmed() : QString();
    if (sys024 == QLatin1String("1") || sys024 == QLatin1String("3")) ApplyFieldList(FieldListC, false);
    if (sys024 == QLatin1String("1") || sys024 == QLatin1String("2")) ApplyFieldList(FieldListD, false);
    // A control without a hint of its own does not show its parent's.
    for (QObject* c : children()) {
        auto* w = qobject_cast<QWidget*>(c);
        if (!w) continue;
        const QString hint = w->toolTip();
        if (hint.section(QLatin1Char('|'), 0, 0).trimmed().isEmpty()) w->setToolTip(QLatin1Char(' ') + hint);
    }
    if (TdmBase* dm = BaseModule()) dm->LoadNumberDisplayOptions();
    FocusPageOne =
        GetUserDefine(QLatin1String(server::kFocusPageOneSection), QStringLiteral("IsFocusPageOne"), true);
    KeepOnAdd = GetUserDefine(QLatin1String(server::kKeepOnAddSection), QStringLiteral("IsKeepOnAdd"), true);
}

void TfrmBase::ApplyFieldList(const QString& List, bool ReadOnly) {
    TdmBase* dm = BaseModule();
    if (!dm || List.trimmed().isEmpty()) return;
    const QString windowColor = QStringLiteral("clBtnFace");
    for (const auto& [dataSetName, fields] : parseFieldList(List)) {
        TClientDataSet* ds = nullptr;
        for (TClientDataSet* c : dm->findChildren<TClientDataSet*>())
            if (c->objectName().compare(dataSetName, Qt::CaseInsensitive) == 0) {
                ds = c;
                break;
            }
        if (!ds) continue;
        for (const QString& name : fields) {
            if (TField* f = ds->FindField(name)) {
                if (ReadOnly)
                    f->SetReadOnly(true);
                else
                    f->SetVisible(false);
            }
            // Unbinding a control may free objects of its own: the list is taken afresh and guarded.
            QList<QPointer<QObject>> components;
            for (QObject* c : lang::OwnedComponents(this))
                components << c;
            for (QObject* c : components) {
                if (!c) continue;
                const QMetaProperty dataField = PropertySetter::findProperty(c, QStringLiteral("DataField"));
                if (!dataField.isValid() ||
                    dataField.read(c).toString().compare(name, Qt::CaseInsensitive) != 0)
                    continue;
                auto setIf = [c](const QString& property, const QString& value) {
                    if (PropertySetter::findProperty(c, property).isValid())
                        PropertySetter::set(c, property, value);
                };
                if (ReadOnly) {
                    setIf(QStringLiteral("ReadOnly"), QStringLiteral("True"));
                    setIf(QStringLiteral("TabStop"), QStringLiteral("False"));
                } else {
                    setIf(QStringLiteral("DataField"), QString());
                    setIf(QStringLiteral("Enabled"), QStringLiteral("False"));
                }
                setIf(QStringLiteral("Color"), windowColor);
            }
        }
    }
}

bool TfrmBase::GetUserDefine(const QString& Section, const QString& Name, bool Default) {
    if (!Broker) return Default;
    try {
        const QString xml = Broker
                                ->CallCounter(QStringLiteral("GetUserDefine"),
                                              server::UserDefineParams(Broker->CompanyID, Broker->UserID,
                                                                       GetProgramCode(), Section))
                                .toString();
        if (xml.trimmed().isEmpty()) return Default;
        pugi::xml_document doc;
        const QByteArray bytes = xml.toUtf8();
        if (!doc.load_buffer(bytes.constData(), size_t(bytes.size()), pugi::parse_default,
                             pugi::encoding_utf8))
            return Default;
        const pugi::xml_node n = doc.document_element().child(Name.toUtf8().constData());
        if (!n) return Default;
        return QString::fromUtf8(n.text().get()) == QLatin1String("True");
    } catch (const std::exception& e) {
        qCInfo(lcForms) << "user default" << Section << Name << "not read:" << e.what();
        return Default;
    }
}

// --- grid views, query and colour -------------------------------------------------------------------------

void TfrmBase::SaveGridViews() {
    TdmBase* dm = BaseModule();
    if (!dm || !Broker) return;
    for (TClientDataSet* ds : dm->findChildren<TClientDataSet*>()) {
        try {
            SaveGridView(Broker->UserID, GetProgramCode() + QLatin1Char('C'), ds, -1);
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "grid view of" << ds->objectName() << "not saved:" << e.what();
        }
    }
}

void TfrmBase::LoadGridViews() {
    TdmBase* dm = BaseModule();
    if (!dm || !Broker) return;
    for (TClientDataSet* ds : dm->findChildren<TClientDataSet*>()) {
        try {
            LoadGridView(Broker->UserID, GetProgramCode() + QLatin1Char('C'), ds, -1);
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "grid view of" << ds->objectName() << "not loaded:" << e.what();
        }
    }
}

void TfrmBase::InitGrids() {}

QString TfrmBase::AdjustCondition(const QString& Condition) {
    return Condition;
}

void TfrmBase::ApplyQBE() {
    const QString where = QueryForm ? QueryForm->CurrentCondition() : QString();
    const QString order = QueryForm ? QueryForm->SortText() : QString();
    OpenMainData(MainDataSet(), where, order);
}

bool TfrmBase::OpenMainData(TClientDataSet* DataSet, const QString& Where, const QString& Order) {
    if (!DataSet) return false;
    if (DataSet == MainDataSet()) {
        LastWhere = Where;
        LastOrder = Order;
        ApplyColorCondition(Where, Order);
    }
    QString error;
    const bool ok = OpenWithCondition(DataSet, Where, Order, &error);
    if (!ok) qCWarning(lcForms) << "reopening" << DataSet->objectName() << "failed:" << error;
    return ok;
}

bool TfrmBase::ApplyColorCondition(const QString&, const QString&) {
    // Colour rules are not kept yet: there is no colour dataset to reopen.
    AfterColorCondition();
    return true;
}

QString TfrmBase::ColorKeyCondition() const {
    TdmBase* dm = BaseModule();
    TClientDataSet* ds = MainDataSet();
    if (!dm || !ds || !ds->Active()) return {};
    const QString table = Broker ? Broker->GetLoginInfo(QStringLiteral("M11_TABLE")).trimmed() : QString();
    QStringList terms;
    for (const QString& k : dm->KeyFields.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        TField* f = ds->FindField(k.trimmed());
        if (!f) continue;
        const FieldType t = f->DataType();
        const bool number = t == FieldType::Smallint || t == FieldType::Integer || t == FieldType::Word ||
                            t == FieldType::Float || t == FieldType::Bytes;
        const QString value = number ? f->AsString() : QuotedSql(f->AsString());
        terms << (table.isEmpty() ? QString() : table + QLatin1Char('.')) + f->FieldName() +
                     QLatin1Char('=') + value;
    }
    return terms.join(QStringLiteral(" and "));
}

bool TfrmBase::RefreshColorRecord() {
    try {
        LastWhere = ColorKeyCondition();
        AfterColorCondition();
        return true;
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "colour record not refreshed:" << e.what();
        return false;
    }
}

void TfrmBase::AfterColorCondition() {}

// --- view document ----------------------------------------------------------------------------------------

bool TfrmBase::DoViewDocument() {
    TdmBase* dm = BaseModule();
    if (!dm || !Broker || DocumentField.isEmpty()) return false;
    const int colon = DocumentField.indexOf(QLatin1Char(':'));
    if (colon < 0) return false;
    TClientDataSet* ds = nullptr;
    for (TClientDataSet* c : dm->findChildren<TClientDataSet*>())
        if (c->objectName().compare(DocumentField.left(colon).trimmed(), Qt::CaseInsensitive) == 0) ds = c;
    TField* field = ds && ds->Active() ? ds->FindField(DocumentField.mid(colon + 1).trimmed()) : nullptr;
    if (!field) return false;
    Variant found;
    const bool checked = ItemDocument ? Broker->CheckValue(QStringLiteral("INVMB"), QStringLiteral("12"),
                                                           found, Variant(field->AsString()))
                                      : Broker->CheckValue(QStringLiteral("CMSMV"), QStringLiteral("07"),
                                                           found, Variant(field->AsString()));
    if (!checked || !found.isArray()) return false;
    const VariantList row = found.toList();
    if (row.isEmpty() || row.first().isEmptyOrNull() || row.first().toString().isEmpty()) return false;
    std::shared_ptr<Dispatch> server;
    try {
        server = CreateOleObject(QStringLiteral("VoskC.VOSKClass1"));
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "document server not available:" << e.what();
        MessageRequest req;
        req.type = MsgDlgType::Error;
        req.buttons = mbOK;
        req.caption = Caption();
        req.text = QStringLiteral("无法查看文档：文档管理服务 VoskC.VOSKClass1 没有注册（%1）")
                       .arg(QString::fromUtf8(e.what()));
        DialogService::instance().showMessage(req);
        return false;
    }
    try {
        VariantList args{Broker->UserID, QStringLiteral("R"), row.value(0), row.value(1), QString()};
        const Variant rc = server->invoke(QStringLiteral("CheckOut"), args);
        if (rc.toIntDef(-1) < 0) return false;
        const QString path = args[4].toString();
        if (path.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
            qCWarning(lcForms) << "document not opened:" << path;
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "document check-out failed:" << e.what();
        MessageDlg(QString::fromUtf8(e.what()), MsgDlgType::Error, mbOK);
        return false;
    }
}

// --- find -------------------------------------------------------------------------------------------------

void TfrmBase::MenuItem11Click() {
    QWidget* focused = QApplication::focusWidget();
    const bool inWindow = focused && (focused == this || isAncestorOf(focused));
    if (mnSearch) mnSearch->setEnabled(inWindow && gridAround(focused) != nullptr);
}

void TfrmBase::mnSearchClick() {
    QWidget* focused = QApplication::focusWidget();
    if (!focused || !isAncestorOf(focused)) return;
    TFDBGrid* grid = gridAround(focused);
    if (!grid || !kvSearchDialog1) return;
    kvSearchDialog1->SetSearchGrid(grid);
    TdmBase* dm = BaseModule();
    const bool fetch = dm ? dm->FetchOnScroll : false;
    if (dm) dm->FetchOnScroll = false;
    ScopeExit restore{[dm, fetch] {
        if (dm) dm->FetchOnScroll = fetch;
    }};
    try {
        kvSearchDialog1->Execute();
    } catch (const ESearchError& e) {
        qCWarning(lcForms) << "find not started:" << e.what();
    }
}

void TfrmBase::kvSearchDialog1InitDialog(TfrmSearchDlg* Dialog) {
    if (searchInit_) searchInit_(Dialog);
}

void TfrmBase::kvSearchDialog1BeforeSearch(TfrmSearchDlg* Dialog) {
    if (searchBefore_) searchBefore_(Dialog);
}

void TfrmBase::kvSearchDialog1AfterSearch(TfrmSearchDlg* Dialog, bool& Found) {
    if (searchAfter_) searchAfter_(Dialog, Found);
}

void TfrmBase::kvSearchDialog1SelectField(TfrmSearchDlg* Dialog, const QString& FieldName,
                                          const QString& DisplayLabel) {
    if (searchSelect_) searchSelect_(Dialog, FieldName, DisplayLabel);
}

QString TfrmBase::SearchUIText(const QString& text) const {
    return ConvertUIString(text);
}

QFont TfrmBase::SearchDialogFont() const {
    return ToolBar1->font();
}

} // namespace kvx
