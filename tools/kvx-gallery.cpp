// kvx-gallery: every control of the library bound to a sample dataset, for looking at them.
//   kvx-gallery [--screenshot FILE]
#include "controls/CheckBoxes.h"
#include "controls/EditMask.h"
#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "controls/ImageLibrary.h"
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "controls/SelectPanel.h"
#include "controls/SimpleControls.h"
#include "controls/StatusBar.h"
#include "controls/StringAlignGrid.h"
#include "platform/DataSource.h"
#include "platform/DialogService.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFontDatabase>
#include <QGroupBox>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

using namespace kvx;

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

const QStringList kModes = {u("1:不处理\t1"), u("2:汇出\t2"), u("3.汇入\t3")};
const QStringList kKinds = {u("1:基本信息\t1"), u("2:单据\t2")};

// The sample data: a few transmission settings.
void fill(TClientDataSet& ds) {
    auto& defs = ds.FieldDefs();
    defs.Add("MB001", FieldType::String, 10);
    defs.Add("MB001C", FieldType::String, 20);
    defs.Add("MB002", FieldType::String, 1);
    defs.Add("MB004", FieldType::String, 1);
    defs.Add("MB005", FieldType::String, 60);
    defs.Add("MB006", FieldType::String, 1);
    defs.Add("MB007", FieldType::Integer);
    defs.Add("MB008", FieldType::Currency);
    defs.Add("MB009", FieldType::String, 5);
    ds.CreateDataSet();
    const char* rows[][9] = {
        {"ACRMA", "ACRMA001.XML", "2", "1", "客户基本信息", "Y", "3", "125000.5", "08:30"},
        {"COPTC", "COPTC001.XML", "3", "2", "客户订单", "N", "1", "-2300", "09:15"},
        {"INVMB", "INVMB001.XML", "1", "1", "品号信息", "Y", "0", "0", "12:00"},
        {"PURTA", "PURTA001.XML", "2", "2", "请购单", "N", "5", "88888.88", "17:45"},
        {"MOCTA", "MOCTA001.XML", "1", "2", "工单", "Y", "2", "1024", "20:00"},
    };
    for (const auto& r : rows) {
        ds.Append();
        for (int i = 0; i < 9; ++i)
            ds.Fields()[i]->SetText(QString::fromUtf8(r[i]));
        ds.Post();
    }
    ds.First();
    const char* labels[] = {"文档编号", "文件名", "传输方式", "类别", "备注", "启用", "选项", "金额", "时间"};
    const int widths[] = {10, 14, 9, 9, 16, 4, 4, 11, 6};
    for (int i = 0; i < 9; ++i) {
        ds.Fields()[i]->SetDisplayLabel(QString::fromUtf8(labels[i]));
        ds.Fields()[i]->SetDisplayWidth(widths[i]);
    }
    ds.FindField("MB009")->SetEditMask("99:99;1; ");
}

class Gallery : public QWidget {
public:
    Gallery() {
        setWindowTitle(u("控件一览"));
        fill(ds_);
        src_.SetDataSet(&ds_);
        auto* col = new QVBoxLayout(this);
        col->setContentsMargins(6, 6, 6, 0);

        auto* top = new QHBoxLayout;
        col->addLayout(top, 0);
        pg_ = new TExtPageControl(this);
        pg_->setTabWidth(90);
        pg_->setTabHeight(22);
        top->addWidget(pg_, 3);
        pg_->setMinimumHeight(300);
        buildDetail(new TTabSheet(pg_));
        auto* udf = new TTabSheet(pg_);
        udf->setCaption(u("自定义信息"));
        auto* hidden = new TTabSheet(pg_);
        hidden->setCaption(u("隐藏页"));
        hidden->setTabVisible(false);
        auto* browse = new TTabSheet(pg_);
        browse->setCaption(u("信息浏览"));
        pg_->setOwnerDraw(true);
        QObject::connect(pg_, &TExtPageControl::DrawTab,
                         [this](QPainter* p, int i, const QRect& r, bool active) {
                             p->setPen(active ? QColor(0, 90, 170) : palette().color(QPalette::WindowText));
                             QFont f = font();
                             f.setBold(active);
                             p->setFont(f);
                             p->drawText(r, Qt::AlignCenter, pg_->Pages(i)->Caption());
                         });

        auto* side = new QVBoxLayout;
        top->addLayout(side, 2);
        auto* panelBox = new QGroupBox(u("选择面板 TSelectPanel"), this);
        auto* pl = new QVBoxLayout(panelBox);
        auto* sel = new TSelectPanel(panelBox);
        sel->setHintWord(u("可选字段"));
        sel->setItems({u("文档编号"), u("文件名"), u("传输方式"), u("类别"), u("备注")});
        sel->setSelected({u("传输方式")});
        pl->addWidget(sel);
        side->addWidget(panelBox);
        auto* listBox = new QGroupBox(u("排序字段 TFCheckListBox"), this);
        auto* ll = new QVBoxLayout(listBox);
        auto* chkList = new TFCheckListBox(listBox);
        chkList->setItems({u("文档编号"), u("传输方式"), u("类别"), u("修改日期")});
        chkList->setItemChecked(1, true);
        chkList->setMinimumHeight(80);
        ll->addWidget(chkList);
        side->addWidget(listBox);

        auto* mid = new QHBoxLayout;
        col->addLayout(mid, 1);
        grid_ = new TFDBGrid(this);
        grid_->setDataSource(&src_);
        grid_->setColor(tcolorRGB(251, 255, 236));
        grid_->setTitleButtons(true);
        grid_->setMultiSelect(true);
        grid_->setCurrencyDisplay(true);
        grid_->Font()->setName(font().family());
        auto* cboG = new TKvDBComboBox(grid_);
        cboG->setObjectName("cboMB002G");
        cboG->setMapList(true);
        cboG->setItems(kModes);
        cboG->hide();
        auto* cbo4G = new TKvDBComboBox(grid_);
        cbo4G->setObjectName("cboMB004G");
        cbo4G->setMapList(true);
        cbo4G->setItems(kKinds);
        cbo4G->hide();
        grid_->setControlType(
            {"MB002;CustomEdit;cboMB002G", "MB004;CustomEdit;cboMB004G", "MB006;CheckBox;Y;N"});
        QPixmap up, down;
        ImageLibrary::LoadBmp(up, 9);
        ImageLibrary::LoadBmp(down, 19);
        grid_->setTitleImages({up, down});
        QObject::connect(grid_, &TFDBGrid::CalcTitleImage, [](const QString& f, int& image) {
            if (f == "MB001") image = 0;
        });
        QObject::connect(grid_, &TFDBGrid::CalcTitleAttributes,
                         [](const QString& f, QFont&, QColor& color, Qt::Alignment&) {
                             if (f == "MB001") color = QColor(0, 200, 200);
                         });
        QObject::connect(
            grid_, &TFDBGrid::CalcCellColors,
            [this](const QString& f, int row, bool highlight, QFont& font, QColor& text, QColor& back) {
                if (highlight) return;
                if (row == 1) back = QColor(255, 255, 175);
                if (f == "MB001C") {
                    text = QColor(Qt::blue);
                    font.setUnderline(true);
                }
                Q_UNUSED(this);
            });
        grid_->SetSelected(3, true);
        mid->addWidget(grid_, 5);

        auto* sg = new TStringAlignGrid(this);
        sg->setColCount(4);
        sg->setRowCount(4);
        sg->setOptions(sg->Options() | TStringAlignGrid::goEditing);
        sg->setColWidths(0, 100);
        sg->setColWidths(1, 80);
        sg->setColWidths(2, 110);
        sg->setColWidths(3, 40);
        sg->setDefaultRowHeight(22);
        const QStringList heads = {u("查询字段"), u("操作符"), u("条件"), ""};
        for (int c = 0; c < 4; ++c) {
            sg->setCells(c, 0, heads[c]);
            sg->setAlignCell(c, 0, TStringAlignGrid::taCenter);
        }
        sg->setCells(0, 1, u("传输方式"));
        sg->setCells(1, 1, u("等于"));
        sg->setCells(2, 1, u("2:汇出"));
        sg->setCellPickList(2, 1, kModes);
        sg->setCells(3, 1, "AND");
        sg->setCells(0, 2, u("启用"));
        sg->setCells(1, 2, u("等于"));
        sg->setCellCheckBox(2, 2, "Y;N");
        sg->setCells(2, 2, "Y");
        sg->setCells(3, 2, "OR");
        sg->setCells(0, 3, u("金额"));
        sg->setCells(1, 3, u("大于"));
        sg->setCells(2, 3, "1000");
        sg->setCellNumber(2, 3, true);
        sg->setAlignCell(2, 3, TStringAlignGrid::taRightJustify);
        sg->setCells(3, 3, "AND");
        for (int r = 1; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                sg->setCellColor(c, r, r % 2 ? QColor(236, 255, 251) : QColor(206, 250, 231));
        mid->addWidget(sg, 3);

        bar_ = new TStatusBar(this);
        bar_->addPanel(u("浏览"), 90);
        bar_->addPanel(u("第 1 笔 / 共 5 笔"), 160);
        bar_->addPanel(u("控件库示例"), 200);
        col->addWidget(bar_);
        resize(1180, 720);
    }

private:
    void buildDetail(TTabSheet* page) {
        page->setCaption(u("详细字段"));
        auto* g = new QGridLayout(page);
        g->setContentsMargins(10, 10, 10, 10);
        g->setHorizontalSpacing(16);

        auto* ed1 = new TKvDBEdit(page);
        ed1->setCaption(u("文档编号"));
        ed1->setDataSource(&src_);
        ed1->setDataField("MB001");
        ed1->setColor(tcolorRGB(0, 200, 200));
        ed1->setEnabled(false);
        g->addWidget(ed1, 0, 0);
        auto* ed2 = new TKvDBEdit(page);
        ed2->setCaption(u("文件名"));
        ed2->setDataSource(&src_);
        ed2->setDataField("MB001C");
        ed2->setColor(colors::clBtnFace);
        g->addWidget(ed2, 0, 1);

        auto* cbo = new TKvDBComboBox(page);
        cbo->setCaption(u("传输方式"));
        cbo->setStyle(TKvDBComboBox::csDropDownList);
        cbo->setMapList(true);
        cbo->setItems(kModes);
        cbo->setDataSource(&src_);
        cbo->setDataField("MB002");
        cbo->setColor(tcolorRGB(255, 255, 175));
        g->addWidget(cbo, 1, 0);
        auto* cbo4 = new TKvDBComboBox(page);
        cbo4->setCaption(u("类别"));
        cbo4->setStyle(TKvDBComboBox::csDropDownList);
        cbo4->setShowButton(false);
        cbo4->setMapList(true);
        cbo4->setItems(kKinds);
        cbo4->setDataSource(&src_);
        cbo4->setDataField("MB004");
        cbo4->setColor(colors::clBtnFace);
        g->addWidget(cbo4, 1, 1);

        auto* btn = new TKvBtnDBEdit(page);
        btn->setCaption(u("备注"));
        btn->setHint(u("[F2] 常用语开窗"));
        btn->setButtonHint(u("常用语开窗"));
        btn->setGlyphIndex(11);
        btn->setDataSource(&src_);
        btn->setDataField("MB005");
        g->addWidget(btn, 2, 0, 1, 2);

        auto* tm = new TKvDBEdit(page);
        tm->setCaption(u("时间"));
        tm->setDataSource(&src_);
        tm->setDataField("MB009");
        g->addWidget(tm, 3, 0);
        auto* pct = new TKvDBEdit(page);
        pct->setCaption(u("比率"));
        pct->setEditMask("###.##%;1; ");
        pct->setText("012.50%");
        g->addWidget(pct, 3, 1);

        auto* chk = new TFDbCheckBox(page);
        chk->setCaption(u("启用传输 (TFDbCheckBox)"));
        chk->setDataSource(&src_);
        chk->setDataField("MB006");
        g->addWidget(chk, 4, 0);
        auto* bit = new TBitCheckBox(page);
        bit->setCaption(u("选项位 1 (TBitCheckBox)"));
        bit->setBit(0);
        bit->setDataSource(&src_);
        bit->setDataField("MB007");
        g->addWidget(bit, 4, 1);
        auto* kv = new TKVCheckBox(page);
        kv->setCaption(u("区分大小写(&C)"));
        kv->setChecked(true);
        g->addWidget(kv, 5, 0);
        auto* rbRow = new QWidget(page);
        auto* rl = new QHBoxLayout(rbRow);
        rl->setContentsMargins(0, 0, 0, 0);
        auto* r1 = new TKvRadioButton(rbRow);
        r1->setCaption(u("向前"));
        r1->setChecked(true);
        auto* r2 = new TKvRadioButton(rbRow);
        r2->setCaption(u("向后"));
        rl->addWidget(r1);
        rl->addWidget(r2);
        g->addWidget(rbRow, 5, 1);

        auto* lblRow = new QWidget(page);
        auto* ll = new QHBoxLayout(lblRow);
        ll->setContentsMargins(0, 0, 0, 0);
        auto* cap = new TDBLabel(lblRow);
        cap->setCaption(u("金额 (TDBLabel):"));
        auto* amt = new TDBLabel(lblRow);
        amt->setDataSource(&src_);
        amt->setDataField("MB008");
        amt->Font()->setStyle(TFont::fsBold);
        amt->Font()->setColor(tcolorRGB(200, 0, 0));
        ll->addWidget(cap);
        ll->addWidget(amt, 1);
        g->addWidget(lblRow, 6, 0);

        auto* btnRow = new QWidget(page);
        auto* bl = new QHBoxLayout(btnRow);
        bl->setContentsMargins(0, 0, 0, 0);
        for (int n : {4, 5, 6, 10, 12, 15}) {
            auto* sb = new TGSpeedButton(btnRow);
            sb->setGlyphIndex(n);
            sb->setHint(QString::number(n));
            bl->addWidget(sb);
        }
        auto* f2 = new TF2Button(btnRow);
        f2->setControl(btn);
        bl->addWidget(f2);
        bl->addStretch();
        g->addWidget(btnRow, 6, 1);
        g->setRowStretch(7, 1);
        page->setMinimumHeight(260);
    }

    TClientDataSet ds_;
    TDataSource src_;
    TExtPageControl* pg_ = nullptr;
    TFDBGrid* grid_ = nullptr;
    TStatusBar* bar_ = nullptr;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser cl;
    cl.addHelpOption();
    QCommandLineOption shot("screenshot", "Renders the window to FILE and exits.", "FILE");
    cl.addOption(shot);
    cl.process(app);
    // CJK text needs a font that has it; the window font of the system is "宋体", replaced here.
    const QStringList cjk = {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "AR PL UMing CN"};
    for (const QString& family : cjk)
        if (QFontDatabase::hasFamily(family)) {
            QFont f(family);
            f.setPixelSize(13);
            QApplication::setFont(f);
            break;
        }
    if (cl.isSet(shot)) DialogService::instance().setScripted(true);
    Gallery g;
    g.show();
    if (cl.isSet(shot)) {
        const QString file = cl.value(shot);
        QTimer::singleShot(200, [&] {
            const bool ok = g.grab().save(file);
            QCoreApplication::exit(ok ? 0 : 1);
        });
    }
    return app.exec();
}
