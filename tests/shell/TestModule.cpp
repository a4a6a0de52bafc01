// Program window unit of the test program library QLDI99C.so: registers the test window class, which
// reports its state in a message box when it is first shown. With QLDI99C_WINDOW=widgets the window
// holds a small set of controls instead (hidden edit, bold label, combo box, pages, grid, icon button, text
// painted by hand) and reports nothing: the window the widget description tests read.
#include "../entry/TestWindow.h"

#include "entry/DLLFunc.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>

namespace {

// A panel of ours that paints its caption itself.
class CaptionPanel : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {200, 24}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawText(QRect(10, 0, 180, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("手绘标题"));
    }
};

TestWindow* NewWidgetsWindow() {
    auto* w = new TestWindow;
    QLayout* layout = w->layout();
    auto* hidden = new QLineEdit(QStringLiteral("secret"), w);
    hidden->setObjectName(QStringLiteral("edHidden"));
    hidden->hide();
    layout->addWidget(hidden);

    auto* bold = new QLabel(QStringLiteral("粗体"), w);
    bold->setObjectName(QStringLiteral("lblBold"));
    QFont font = bold->font();
    font.setBold(true);
    bold->setFont(font);
    layout->addWidget(bold);

    auto* combo = new QComboBox(w);
    combo->setObjectName(QStringLiteral("cboMode"));
    combo->addItems({QStringLiteral("1:不处理"), QStringLiteral("2:汇出"), QStringLiteral("3.汇入")});
    combo->setCurrentIndex(1);
    layout->addWidget(combo);

    auto* button = new QToolButton(w);
    button->setObjectName(QStringLiteral("btnRun"));
    QPixmap image(20, 20);
    image.fill(Qt::darkGreen);
    button->setIcon(QIcon(image));
    button->setIconSize(QSize(20, 20));
    layout->addWidget(button);
    auto* action = new QAction(QStringLiteral("Run"), w);
    w->addAction(action);

    auto* panel = new CaptionPanel(w);
    panel->setObjectName(QStringLiteral("pnlCaption"));
    layout->addWidget(panel);

    auto* pages = new QTabWidget(w);
    pages->setObjectName(QStringLiteral("pgMain"));
    auto* first = new QWidget;
    first->setObjectName(QStringLiteral("tbsGrid"));
    auto* second = new QWidget;
    second->setObjectName(QStringLiteral("tbsOptions"));
    auto* check = new QCheckBox(QStringLiteral("启用"), second);
    check->setObjectName(QStringLiteral("chkOn"));
    check->setChecked(true);
    pages->addTab(first, QStringLiteral("浏览"));
    pages->addTab(second, QStringLiteral("选项"));
    layout->addWidget(pages);

    auto* grid = new QTableView(first);
    grid->setObjectName(QStringLiteral("gdMain"));
    auto* model = new QStandardItemModel(40, 3, grid);
    model->setHorizontalHeaderLabels(
        {QStringLiteral("编号"), QStringLiteral("名称"), QStringLiteral("备注")});
    for (int r = 0; r < 40; ++r)
        for (int c = 0; c < 3; ++c)
            model->setItem(r, c, new QStandardItem(QStringLiteral("R%1C%2").arg(r).arg(c)));
    grid->setModel(model);
    grid->setColumnWidth(1, 120);
    grid->verticalHeader()->setDefaultSectionSize(20);
    grid->setGeometry(0, 0, 400, 150);
    grid->verticalScrollBar()->setRange(0, 39); // scrolled to the eleventh row before it is shown
    grid->verticalScrollBar()->setValue(10);
    w->resize(420, 400);
    return w;
}

TProgramWindow* NewWindow() {
    if (qEnvironmentVariable("QLDI99C_WINDOW") == QLatin1String("widgets")) return NewWidgetsWindow();
    auto* w = new TestWindow;
    w->ReportOnShow = true;
    return w;
}
const bool registered = (frmRadicalClass = &NewWindow, true);
} // namespace

#include "TestModule.moc"
