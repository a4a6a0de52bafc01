#include "SampleForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

TfrmLangBase::TfrmLangBase(QWidget* parent) : TKVForm(parent) {
    setObjectName(QStringLiteral("frmLangBase"));
}

namespace {
QPixmap findGlyph() {
    QPixmap p(16, 16);
    p.fill(QColor(255, 0, 255)); // transparent colour: the bottom-left pixel
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing, false);
    g.setPen(QPen(QColor(0, 0, 128), 2));
    g.setBrush(QColor(200, 230, 255));
    g.drawEllipse(2, 2, 8, 8);
    g.drawLine(9, 9, 14, 14);
    return p;
}

QPixmap clearGlyph() {
    QPixmap p(16, 16);
    p.fill(QColor(0, 128, 128));
    QPainter g(&p);
    g.setPen(QPen(QColor(192, 0, 0), 3));
    g.drawLine(3, 3, 12, 12);
    g.drawLine(12, 3, 3, 12);
    return p;
}

template <class T> T* named(T* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}
} // namespace

TfrmLangSample::TfrmLangSample(QWidget* parent) : TfrmLangBase(parent) {
    setObjectName(QStringLiteral("frmLangSample"));
    setWindowTitle(QStringLiteral("文档传输设置"));
    resize(520, 380);

    lblTitle = named(new QLabel(QStringLiteral("请选择单据的传输方式"), this), "lblTitle");
    lblName = named(new TTestFontLabel(QStringLiteral("单据性质"), this), "lblName");
    edName = named(new QLineEdit(this), "edName");
    edName->setPlaceholderText(QStringLiteral("输入单据性质"));
    lblMode = named(new QLabel(QStringLiteral("传输方式"), this), "lblMode");
    cboMode = named(new TTestComboBox(this), "cboMode");
    cboMode->SetItems(
        {QStringLiteral("1:不处理\t1"), QStringLiteral("2:汇出\t2"), QStringLiteral("3:汇入\t3")});
    cboMode->setCurrentIndex(1);
    btnFind = named(new TTestGlyphButton(this), "btnFind");
    btnFind->SetGlyph(findGlyph());
    btnFind->setToolTip(QStringLiteral("查找"));
    btnClear = named(new TTestGlyphButton(this), "btnClear");
    btnClear->SetGlyph(clearGlyph());
    btnClear->setToolTip(QStringLiteral("清除"));
    btnClear->setEnabled(false);

    gbOptions = named(new QGroupBox(QStringLiteral("选项"), this), "gbOptions");
    chkAll = named(new QCheckBox(QStringLiteral("显示全部记录"), gbOptions), "chkAll");
    auto* optLayout = new QHBoxLayout(gbOptions);
    optLayout->addWidget(chkAll);

    gdMain = named(new TTestGrid(this), "gdMain");
    gdMain->AddColumn(QStringLiteral("单据性质"));
    gdMain->AddColumn(QStringLiteral("文件名称"));
    gdMain->AddColumn(QStringLiteral("传输方式"));
    gdMain->setRowCount(2);
    gdMain->setItem(0, 0, new QTableWidgetItem(QStringLiteral("COPTC")));
    gdMain->setItem(0, 1, new QTableWidgetItem(QStringLiteral("COPTC.xml")));
    gdMain->setItem(0, 2, new QTableWidgetItem(QStringLiteral("2")));
    gdMain->setItem(1, 0, new QTableWidgetItem(QStringLiteral("PURTA")));
    gdMain->setItem(1, 1, new QTableWidgetItem(QStringLiteral("PURTA.xml")));
    gdMain->setItem(1, 2, new QTableWidgetItem(QStringLiteral("1")));

    btnOK = named(new QPushButton(QStringLiteral("确定"), this), "btnOK");
    btnCancel = named(new QPushButton(QStringLiteral("取消"), this), "btnCancel");
    stbMain = named(new TTestStatusBar(this), "stbMain");
    stbMain->AddPanel(QStringLiteral("浏览"), 120);
    stbMain->AddPanel(QStringLiteral("记录：1/2"), 160);

    auto* fields = new QGridLayout;
    fields->addWidget(lblName, 0, 0);
    fields->addWidget(edName, 0, 1);
    fields->addWidget(btnFind, 0, 2);
    fields->addWidget(btnClear, 0, 3);
    fields->addWidget(lblMode, 1, 0);
    fields->addWidget(cboMode, 1, 1, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* main = new QVBoxLayout(this);
    main->addWidget(lblTitle);
    main->addLayout(fields);
    main->addWidget(gbOptions);
    main->addWidget(gdMain, 1);
    main->addLayout(buttons);
    main->addWidget(stbMain);
}
