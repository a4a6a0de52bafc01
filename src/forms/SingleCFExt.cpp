// TfrmSingle, the features beyond editing one table: user-defined fields, drill-down links, colour
// filtering, attachments, the XML import of run mode 11, numbering and the lookup services.
#include "SingleCF.h"

#include "controls/ExtPageControl.h"
#include "controls/FDBGrid.h"
#include "controls/KvDBComboBox.h"
#include "controls/KvDBEdit.h"
#include "data/SingleCD.h"
#include "data/libColormanage.h"
#include "entry/MT_Doc.h"
#include "platform/Automation.h"
#include "platform/ClientDataSet.h"
#include "platform/DataSource.h"
#include "platform/Field.h"
#include "query/KvQBE.h"
#include "server/BuildVariant.h"
#include "server/LibStrs.h"

#include <QApplication>
#include <QDate>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QTableView>
#include <QTimer>
#include <QToolTip>
#include <pugixml.hpp>

namespace kvx {

namespace {

const QChar kLinkSeparator(3);

QString cell(const QStringList& row, int i) {
    return row.value(i).trimmed();
}

// A settings-document value; the marker "<Empty>" (any case) stands for no value.
QString settingValue(TMT_Doc* doc, const QString& component, const QString& name) {
    const QString v = doc ? doc->GetComponentValue(component, name).trimmed() : QString();
    return v.compare(QLatin1String("<Empty>"), Qt::CaseInsensitive) == 0 ? QString() : v;
}

QColor colorOf(const QString& text, const QColor& fallback, bool* ok = nullptr) {
    bool good = false;
    const qint64 v = text.trimmed().toLongLong(&good);
    if (ok) *ok = good;
    if (!good) return fallback;
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

} // namespace

// --- user-defined fields ----------------------------------------------------------------------------------

void TfrmSingle::AfterConnect() {
    TfrmBase::AfterConnect();
    bindUdfFields();
}

void TfrmSingle::bindUdfFields() {
    TdmBase* dm = BaseModule();
    if (!dm) return;
    bool looked = false;
    QList<QStringList> labels;
    int bound = 0;
    const lang::ComponentIndex components(this);
    for (int i = 1; i <= 100; ++i) {
        const QString name = QStringLiteral("UDF%1").arg(i, 2, 10, QLatin1Char('0'));
        auto* edit = components.find<TKvBtnDBEdit*>(QStringLiteral("ed") + name);
        TField* field = edit ? dm->cdsMain->FindField(name) : nullptr;
        if (!field) continue;
        edit->setDataSource(dm->dsMain);
        edit->setDataField(name);
        edit->setVisible(true);
        field->SetVisible(false);
        auto* combo = components.find<TKvDBComboBox*>(QStringLiteral("cbo") + name);
        if (combo) {
            combo->setDataSource(dm->dsMain);
            combo->setDataField(name);
            combo->move(-1000, combo->y());
        }
        if (!looked) {
            looked = true;
            ++admmdLookups_;
            Variant result;
            try {
                if (Broker &&
                    Broker->QueryData(
                        QStringLiteral("ADMMD"), QStringLiteral("03"), result,
                        Variant::fromList({Broker->GetLoginInfo(QStringLiteral("M11_TABLE"))})) &&
                    result.isArray())
                    for (const Variant& r : result.toList()) {
                        QStringList row;
                        for (const Variant& v : r.isArray() ? r.toList() : VariantList{r})
                            row << (v.isEmptyOrNull() ? QString() : v.toString());
                        labels << row;
                    }
            } catch (const std::exception& e) {
                qCWarning(lcForms) << "user-defined field labels not read:" << e.what();
            }
        }
        ++bound;
        QString label;
        for (const QStringList& row : labels)
            if (cell(row, 0).compare(name, Qt::CaseInsensitive) == 0) {
                const bool chinese =
                    UICodePage() == QLatin1String("950") || UICodePage() == QLatin1String("936");
                label = DisplayConvert(chinese ? row.value(1) : row.value(2));
                break;
            }
        if (label.isEmpty())
            label = SingleText(QStringLiteral("sUdfFieldDisplay"), QStringLiteral("自定义项%d"))
                        .replace(QLatin1String("%d"), QString::number(bound));
        field->SetDisplayLabel(label);
        edit->setCaption(label);
        if (combo) combo->setCaption(label);
    }
}

void TfrmSingle::setUdfButtonHints() {
    TClientDataSet* cds = MainDataSet();
    if (!cds) return;
    TMT_Doc* doc = SettingsDocument();
    const lang::ComponentIndex components(this);
    for (TField* f : cds->Fields()) {
        if (!f->FieldName().startsWith(QLatin1String("UDF"), Qt::CaseInsensitive)) continue;
        auto* edit = components.find<TKvBtnDBEdit*>(QStringLiteral("ed") + f->FieldName());
        if (!edit) continue;
        const QString source = settingValue(doc, edit->objectName(), QStringLiteral("DataSource"));
        QString hint;
        if (!source.isEmpty() && source.compare(QLatin1String("Custom"), Qt::CaseInsensitive) != 0)
            hint = SingleText(QStringLiteral("sQuery"), uiText(QStringLiteral("%s查询")))
                       .replace(QLatin1String("%s"), edit->Caption());
        else
            hint = SingleText(QStringLiteral("sHINT_PHRASE"), uiText(QStringLiteral("常用语查询")));
        edit->setButtonHint(hint);
        edit->setHint(QStringLiteral("[F2]") + hint);
    }
}

void TfrmSingle::DoF2Key(int& Key, QObject* Control) {
    TfrmBase::DoF2Key(Key, Control);
    if (!Control || !Control->objectName().startsWith(QLatin1String("edUDF"))) return;
    auto* edit = qobject_cast<TKvBtnDBEdit*>(Control);
    TField* field = edit ? edit->binding()->field() : nullptr;
    TClientDataSet* cds = MainDataSet();
    if (!field || !cds || !Broker) return;
    TMT_Doc* doc = SettingsDocument();
    const QString name = Control->objectName();
    const QString source = settingValue(doc, name, QStringLiteral("DataSource"));
    const auto store = [&](const QString& value) {
        if (!(cds->State() == TDataSetState::dsEdit || cds->State() == TDataSetState::dsInsert)) cds->Edit();
        field->SetAsString(value);
    };
    if (!source.isEmpty() && source.compare(QLatin1String("Custom"), Qt::CaseInsensitive) != 0) {
        const QString ref = settingValue(doc, name, QStringLiteral("RefFileID"));
        const QString part1 = ref.section(QLatin1Char('-'), 0, 0), part2 = ref.section(QLatin1Char('-'), 1);
        Variant definition;
        if (!Broker->CheckValue(QStringLiteral("F2LINK"), QStringLiteral("01"), definition,
                                Variant::fromList({QStringLiteral("1"), part1, part2})))
            return;
        const VariantList def = definition.isArray() ? definition.toList() : VariantList{};
        VariantList conditions;
        for (const QString& f : settingValue(doc, name, QStringLiteral("RefCondID"))
                                    .split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (conditions.size() >= 10) break;
            TField* c = cds->FindField(f.trimmed());
            conditions << (c ? c->AsString() : QString());
        }
        Variant result;
        Broker->LookupData(def.value(0), def.value(1), result,
                           settingValue(doc, name, QStringLiteral("F2Field")),
                           settingValue(doc, name, QStringLiteral("F2FieldID")),
                           settingValue(doc, name, QStringLiteral("RefFieldID")), 0, QString(), false, false,
                           QString(), Variant::fromList(conditions));
        if (!result.isArray() || result.toList().isEmpty()) return;
        const Variant first = result.toList().first();
        QStringList values;
        for (const Variant& v : first.isArray() ? first.toList() : VariantList{first})
            values << (v.isEmptyOrNull() ? QString() : v.toString());
        store(values.join(QLatin1Char(',')));
        return;
    }
    const QString phrase = Broker->GetPhrase(field->AsString());
    if (!phrase.isEmpty()) store(phrase);
}

void TfrmSingle::loadUdfRules() {
    for (TUdfRule& r : UdfRules)
        for (const QPointer<TField>& f : r.sourceFields)
            if (f && udfPreviousHandlers_.contains(f.data()))
                f->OnChange = udfPreviousHandlers_.value(f.data());
    UdfRules.clear();
    udfPreviousHandlers_.clear();
    if (!Broker || !Features().automaticUdfValues) return; // the older build computes no UDF values
    QList<QStringList> rows;
    try {
        rows =
            SimpleSqlRows(single::UdfRulesSql(GetProgramCode()), QString::fromLatin1(single::kUdfRuleFields));
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "user-defined field rules not read:" << e.what();
        return;
    }
    for (const QStringList& row : rows) {
        TUdfRule rule;
        rule.target = cell(row, 0);
        rule.ruleId = cell(row, 1);
        rule.sources = row.value(2).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& s : rule.sources)
            s = s.trimmed();
        for (const QString& s : rule.sources) {
            TField* f = FindUdfSourceField(s);
            rule.sourceFields << QPointer<TField>(f);
            if (f && !udfPreviousHandlers_.contains(f)) {
                udfPreviousHandlers_.insert(f, f->OnChange);
                f->OnChange = [this, previous = f->OnChange](TField* sender) {
                    if (previous) previous(sender);
                    UdfSourceChanged(sender);
                };
            }
        }
        UdfRules << rule;
    }
}

TField* TfrmSingle::FindUdfSourceField(const QString& Name) {
    TClientDataSet* cds = MainDataSet();
    if (!cds || !Broker) return nullptr;
    const QString field = single::UdfSourceFieldName(Name, Broker->GetLoginInfo(QStringLiteral("M11_TABLE")));
    return field.isEmpty() ? nullptr : cds->FindField(field);
}

void TfrmSingle::UdfSourceChanged(TField* Field) {
    TClientDataSet* cds = MainDataSet();
    if (!cds || !Field || Field->DataSet() != cds) return;
    udfErrorShown_ = false;
    for (const TUdfRule& rule : UdfRules) {
        if (!rule.sourceFields.contains(QPointer<TField>(Field))) continue;
        TField* target = cds->FindField(rule.target);
        try {
            const QString value = QueryUdfValue(rule, {});
            if (!target) throw EDatabaseError(QStringLiteral("no field ") + rule.target);
            target->SetAsString(value);
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "automatic value of" << rule.target << "failed:" << e.what();
            if (!udfErrorShown_) {
                udfErrorShown_ = true;
                Broker->ShowMsg(
                    QStringLiteral("E"), QStringLiteral("000032"),
                    {SingleText(QStringLiteral("sUDFError"),
                                QStringLiteral("自定义栏位(%s)赋值错误，可能是类型不匹配！！"))
                         .replace(QLatin1String("%s"), target ? target->DisplayLabel() : rule.target)});
            }
        }
    }
}

QString TfrmSingle::QueryUdfValue(const TUdfRule& Rule, const QStringList& Values) {
    VariantList sources;
    for (int i = 0; i < Rule.sources.size(); ++i) {
        TField* f = Rule.sourceFields.value(i);
        if (f) {
            sources << f->Text();
            continue;
        }
        QString v;
        for (const QString& nv : Values)
            if (nv.section(QLatin1Char('='), 0, 0).compare(Rule.sources[i], Qt::CaseInsensitive) == 0)
                v = nv.section(QLatin1Char('='), 1);
        sources << v;
    }
    const Variant answer = Broker->CallCounter(
        QStringLiteral("QueryUDFData"), Variant::fromList({Rule.ruleId, QString(), Broker->DBName,
                                                           QStringLiteral("N"), Variant::fromList(sources)}));
    if (!answer.isArray() || answer.toList().isEmpty()) return {};
    const Variant row = answer.toList().first();
    const Variant v = row.isArray() ? row.toList().value(0) : row;
    return v.isEmptyOrNull() ? QString() : v.toString();
}

// --- drill-down links -------------------------------------------------------------------------------------

void TfrmSingle::loadLinkFields() {
    LinkFields.clear();
    try {
        for (const QStringList& row : SimpleSqlRows(single::LinkFieldListSql(GetProgramCode()),
                                                    QLatin1String(server::kLinkFieldListFields)))
            for (int i = 0; i < 2; ++i) {
                const QString f = cell(row, i);
                if (!f.isEmpty() && !isLinkField(f)) LinkFields += f + kLinkSeparator;
            }
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "link fields not read:" << e.what();
    }
}

bool TfrmSingle::isLinkField(const QString& name) const {
    for (const QString& f : LinkFields.split(kLinkSeparator, Qt::SkipEmptyParts))
        if (f.compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

void TfrmSingle::gdHeadCalcCellColors(const QString& FieldName, int Row, bool Highlight, QFont& Font,
                                      QColor& Text, QColor& Background) {

    if (EditState != esBrowse) return;
    if (!Highlight) Text = Qt::black;
    Font.setUnderline(false);
    if (isLinkField(FieldName)) {
        if (!Highlight) Text = Qt::blue;
        Font.setUnderline(true);
    }
    TdmBase* dm = BaseModule();
    if (ColorManage && dm && dm->cdsMainColor && dm->cdsMainColor->Active())
        PaintGridCell(FieldName, Row, Font, Text, Background);
}

void TfrmSingle::gdHeadMouseMove(const QPoint& Pos, Qt::KeyboardModifiers Modifiers) {
    QWidget* viewport = gdHead->view()->viewport();
    QString hint;
    bool overLink = false;
    if (EditState == esBrowse) {
        const QModelIndex idx = gdHead->view()->indexAt(Pos);
        if (idx.isValid()) {
            const TColumn* col = gdHead->column(idx.column());
            if (col && isLinkField(col->FieldName()) &&
                !gdHead->cellText(idx.row(), idx.column()).trimmed().isEmpty()) {
                overLink = true;
                hint =
                    SingleText(QStringLiteral("sGridHint"), QStringLiteral("按住CTRL并单击鼠标以跟踪链接"));
            }
        }
    }
    if (overLink) {
        LinkArmed = Modifiers & Qt::ControlModifier;
        viewport->setCursor(LinkArmed ? Qt::PointingHandCursor : Qt::ArrowCursor);
    } else {
        LinkArmed = false;
        viewport->unsetCursor();
        TdmBase* dm = BaseModule();
        TClientDataSet* colors = dm ? dm->cdsMainColor : nullptr;
        if (ColorManage && colors && colors->Active() && colors->FindField(QStringLiteral("gdHead"))) {
            try {
                QStringList keys;
                for (const QString& k : keyFieldNames())
                    keys << (MainDataSet()->FindField(k) ? MainDataSet()->FindField(k)->AsString()
                                                         : QString());
                VariantList values;
                for (const QString& k : keys)
                    values << k;
                if (colors->Locate(keyFieldNames().join(QLatin1Char(';')),
                                   values.size() == 1 ? values.first() : Variant::fromList(values))) {
                    const QString text = colors->FieldByName(QStringLiteral("gdHead"))->AsString();
                    const int at = text.indexOf(QLatin1String("msg"));
                    if (at >= 0) {
                        const int eq = text.indexOf(QLatin1Char('='), at);
                        const int end = text.indexOf(QLatin1Char(';'), eq);
                        if (eq >= 0) hint = DisplayConvert(text.mid(eq + 1, end < 0 ? -1 : end - eq - 1));
                    }
                }
            } catch (const std::exception& e) {
                qCWarning(lcForms) << "colour hint:" << e.what();
            }
        }
    }
    viewport->setToolTip(hint);
}

void TfrmSingle::gdHeadMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Modifiers, const QPoint& Pos) {
    (void)Modifiers, (void)Pos;
    if (Button == Qt::LeftButton && LinkArmed) {
        LinkArmed = false;
        FollowLink(gdHead, MainDataSet());
    }
}

void TfrmSingle::gdHeadKeyUp(int Key) {
    (void)Key;
    LinkArmed = false;
    gdHead->view()->viewport()->unsetCursor();
}

bool TfrmSingle::eventFilter(QObject* watched, QEvent* event) {
    if (gdHead && watched == gdHead->view()->viewport()) {
        if (event->type() == QEvent::MouseMove) {
            auto* m = static_cast<QMouseEvent*>(event);
            lastMouse_ = m->position().toPoint();
            gdHeadMouseMove(lastMouse_, m->modifiers());
        } else if (event->type() == QEvent::MouseButtonPress) {
            auto* m = static_cast<QMouseEvent*>(event);
            // Re-evaluate with the modifiers of the click itself (a click without a move first).
            gdHeadMouseMove(m->position().toPoint(), m->modifiers());
            if (LinkArmed && m->button() == Qt::LeftButton) {
                const QModelIndex idx = gdHead->view()->indexAt(m->position().toPoint());
                if (idx.isValid()) {
                    gdHead->setCurrentRow(idx.row());
                    gdHead->setCurrentColumn(idx.column());
                }
                gdHeadMouseDown(m->button(), m->modifiers(), m->position().toPoint());
                return true;
            }
        }
    } else if (gdHead && watched == gdHead->view() && event->type() == QEvent::KeyRelease) {
        gdHeadKeyUp(static_cast<QKeyEvent*>(event)->key());
    }
    return TfrmBase::eventFilter(watched, event);
}

void TfrmSingle::FollowLink(TFDBGrid* Grid, TClientDataSet* DataSet) {
    if (!Grid || !DataSet || !DataSet->Active()) return;
    const QString fieldName = Grid->SelectedField();
    TField* field = DataSet->FindField(fieldName);
    if (!field || field->AsString().trimmed().isEmpty()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    QList<single::TLinkRow> rows;
    try {
        for (const QStringList& r :
             SimpleSqlRows(single::FollowLinkSql(GetProgramCode(), fieldName),
                           QStringLiteral("MR002,MR003,MR004,MR005,MR006,MR007,MR008,MR009,MR010,MR011"))) {
            single::TLinkRow row{r.value(0), r.value(1), r.value(2), r.value(3), r.value(4),
                                 r.value(5), r.value(6), r.value(7), r.value(8), r.value(9).toInt()};
            rows << row;
        }
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "links of" << fieldName << "not read:" << e.what();
        return;
    }
    QString selectorValue;
    if (!rows.isEmpty() && !rows.first().MR003.trimmed().isEmpty()) {
        TField* selector = DataSet->FindField(rows.first().MR003.trimmed());
        selectorValue = selector ? selector->AsString().trimmed() : QString();
    }
    const int at = single::SelectLinkRow(rows, selectorValue);
    if (at < 0) return;
    const single::TLinkRow& row = rows[at];
    TField* fa = DataSet->FindField(row.MR004.trimmed());
    TField* fb = DataSet->FindField(row.MR005.trimmed());
    const std::optional<QString> condition =
        single::LinkCondition(row, fa ? fa->AsString() : QString(), fb ? fb->AsString() : QString(), SqlType);
    if (!condition) return;
    RunLinkedProgram(row.MR006.trimmed(), *condition);
}

// --- colour filtering -------------------------------------------------------------------------------------

void TfrmSingle::CreateColorComponents() {
    ColorConditions.clear();
    ColorDefinition.clear();
    try {
        const QList<QStringList> rows =
            SimpleSqlRows(single::ColorDefinitionSql(GetProgramCode()), QStringLiteral("NH003"));
        if (!rows.isEmpty()) ColorDefinition = rows.first().value(0);
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "colour definition not read:" << e.what();
    }
    delete colorComponents_.data();
    if (!ColorDefinition.trimmed().isEmpty()) {
        try {
            colorComponents_ = new TColorComponents(this, QStringLiteral("head"), ColorDefinition, this);
            colorComponents_->KeyFields = keyFieldNames().join(QLatin1Char(','));
            colorComponents_->RequiredFields = RequiredFields();
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "colour rules not read:" << e.what();
        }
    }
    // The conditions of the grid's entry feed the colour-filter menu and the colour query form.
    const TColorComponent* entry =
        colorComponents_ ? colorComponents_->FindComponentRule(QStringLiteral("gdHead"), QString()) : nullptr;
    if (entry)
        for (int i = 0; i < entry->Conditions->Count(); ++i) {
            const TColorCondition* c = entry->Conditions->Items(i);
            ColorConditions << TColorMenuCondition{c->Msg, c->Value, c->ColorX, c->BkColor, false};
        }
    rebuildColorMenu();
    createColorQueryForm(entry ? entry->Conditions : nullptr);
    if (btnColorQuery)
        btnColorQuery->setVisible(ColorManage && btnQuery && !btnQuery->isHidden() && HasColorQueryForm());
}

void TfrmSingle::createColorQueryForm(const TColorConditions* gridConditions) {
    delete colorQueryForm_.data();
    if (gridConditions) colorQueryForm_ = TKVForm::Create<TColorQBEForm>(this, this, gridConditions);
}

bool TfrmSingle::ColorQBEIsColorManage() const {
    return UserSetting(QStringLiteral("InputSettings003"), QStringLiteral("IsColorManage"), false);
}

bool TfrmSingle::RunColorQueryForm(bool& ColorManageOff) {
    ColorManageOff = false;
    if (!colorQueryForm_) return false;
    // The form works on the conditions with their selection flags and hands the flags back on OK.
    TColorConditions conditions;
    for (const TColorMenuCondition& m : std::as_const(ColorConditions)) {
        TColorCondition* c = conditions.Add();
        c->Msg = m.caption;
        c->Value = m.value;
        c->ColorX = m.fontColor;
        c->BkColor = m.background;
        c->Tag = m.selected ? 1 : 0;
    }
    if (!colorQueryForm_->Run(ColorManage, &conditions)) return false;
    for (int i = 0; i < ColorConditions.size() && i < conditions.Count(); ++i)
        ColorConditions[i].selected = conditions.Items(i)->Tag != 0;
    ColorManageOff = !colorQueryForm_->ColorManage();
    return true;
}

void TfrmSingle::rebuildColorMenu() {
    if (!pmColorCondition) return;
    pmColorCondition->clear();
    for (int i = 0; i < ColorConditions.size(); ++i) {
        const TColorMenuCondition& c = ColorConditions[i];
        auto* action = new QAction(pmColorCondition);
        action->setObjectName(QStringLiteral("mnuColor%1").arg(i));
        // The menu draws the item (ColorConditionMenu): font colour black and background the menu's
        // colour when the rule's value is no number.
        // A rule's caption is the company's text: the window's packages may word it (ScreenTexts).
        const QString worded = ScreenText(c.caption);
        QString caption = worded.isNull() ? DisplayConvert(c.caption) : worded;
        action->setText(caption.replace(QLatin1Char('&'), QStringLiteral("&&")));
        action->setData(QVariantList{colorOf(c.fontColor, Qt::black), colorOf(c.background, QColor())});
        pmColorCondition->addAction(action);
        connect(action, &QAction::triggered, this, [this, i] { ColorMenuClick(i); });
    }
}

void TfrmSingle::ColorMenuClick(int Item) {
    for (int i = 0; i < ColorConditions.size(); ++i)
        ColorConditions[i].selected = i == Item;
    ApplyColorFilter();
}

void TfrmSingle::switchColorManageOff() {
    ResetColors();
    if (btnColorQuery) btnColorQuery->setVisible(false);
    ColorManage = false;
    ToolBar1->Arrange();
}

void TfrmSingle::btnColorQueryClick() {
    bool off = false;
    // Cancel leaves the selection and the data as they are.
    if (!RunColorQueryForm(off)) return;
    if (off) switchColorManageOff();
    ApplyColorFilter();
}

void TfrmSingle::ApplyColorFilter() {
    TdmBase* dm = BaseModule();
    if (!dm || !Broker) return;
    QStringList selected;
    for (const TColorMenuCondition& c : ColorConditions)
        if (c.selected) selected << c.value;
    const QString previousWhere = LastWhere;
    const QString condition = single::ColorFilterCondition(LastWhere, selected, Broker->DBName);
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        if (SqlType == 0 && queryForm())
            dm->Server()->call(QStringLiteral("SetTopRow"), {Variant(queryForm()->RowLimit())});
        bool opened = false;
        try {
            opened = OpenMainData(dm->cdsMain, condition, LastOrder);
        } catch (const std::exception& e) {
            qCWarning(lcForms) << "colour filter:" << e.what();
        }
        LastWhere = previousWhere;
        if (!opened) {
            Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("000032"),
                            {SingleText(QStringLiteral("sColorFilterError"),
                                        uiText(QStringLiteral("颜色筛选出错！！")))});
            OpenMainData(dm->cdsMain, LastWhere, LastOrder);
            LastWhere = previousWhere;
        }
        SetState(esBrowse);
    } catch (const std::exception& e) {
        ShowError(DisplayConvert(QString::fromUtf8(e.what())));
        Broker->ShowMsg(QStringLiteral("W"), QStringLiteral("000001"));
    }
    pgHead->setActivePage(tbsBrowse);
    gdHead->setFocus(Qt::OtherFocusReason);
}

TColorComponents* TfrmSingle::ColorComponents() const {
    return colorComponents_;
}

void TfrmSingle::SaveColors() {
    if (colorComponents_) colorComponents_->SaveColors();
}

void TfrmSingle::ResetColors() {
    if (colorComponents_) colorComponents_->ResetColors();
}

void TfrmSingle::ApplyColorRules(TClientDataSet* ColorData) {
    if (colorComponents_ && ColorData) colorComponents_->ApplyRecordColors(ColorData);
}

bool TfrmSingle::PaintGridCell(const QString& FieldName, int Row, QFont& Font, QColor& Text,
                               QColor& Background) {
    TdmBase* dm = BaseModule();
    if (!colorComponents_ || !dm || !dm->cdsMainColor || !dm->cdsMainColor->Active()) return false;
    const QString keys = keyFieldNames().join(QLatin1Char(','));
    const int position = Row >= 0 ? Row : dm->cdsMain->RecNo() - 1;
    return colorComponents_->PaintGridCell(gdHead, FieldName, Background, Font, Text, dm->cdsMainColor,
                                           TColorComponents::KeyValuesAt(dm->cdsMain, position, keys), keys);
}

// --- attachments ------------------------------------------------------------------------------------------

void TfrmSingle::LoadAttachmentKeys() {
    AttachmentKeys.clear();
    if (!Broker) return;
    try {
        for (const QStringList& row : SimpleSqlRows(
                 single::AttachmentKeysSql(GetProgramCode(), Broker->CompanyID), QStringLiteral("KeyValues")))
            AttachmentKeys << row.value(0);
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "attachment keys not read:" << e.what();
    }
    AttachmentKeys.sort();
}

bool TfrmSingle::HasAttachment() {
    const QString key = CurrentKeyString();
    return !key.isEmpty() && std::binary_search(AttachmentKeys.cbegin(), AttachmentKeys.cend(), key);
}

void TfrmSingle::OpenAttachments() {
    if (!AttachmentsEnabled || EditState == esAdd || !Broker) return;
    if (EditState != esEdit && !(miLast && miLast->isEnabled())) return;
    LastAttachmentKey = CurrentKeyString();
    try {
        std::shared_ptr<Dispatch> window = CreateOleObject(QStringLiteral("Morvel.Class1"));
        window->call(QStringLiteral("Init"),
                     {Broker->CompanyID, Broker->UserID, GetProgramCode(), LastAttachmentKey,
                      keyFieldNames().join(QStringLiteral("||")), QStringLiteral("1")});
        window->setProperty(QStringLiteral("ParentHandle"), Variant(qint64(winId())));
        window->call(QStringLiteral("ShowModal"));
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
    LoadAttachmentKeys();
}

void TfrmSingle::removeAttachmentsOf(const QString& keyString) {
    LastAttachmentKey.clear();
    if (keyString.isEmpty() || !Broker) return;
    try {
        Broker->CallCounter(
            QStringLiteral("TransactionSQL"),
            Variant::fromList({single::AttachmentDeleteSql(GetProgramCode(), Broker->CompanyID, keyString)}));
    } catch (const std::exception& e) {
        // The record is gone; a failed clean-up leaves orphaned rows only.
        qCWarning(lcForms) << "attachments of" << keyString << "not removed:" << e.what();
    }
    AttachmentKeys.removeAll(keyString);
}

// --- XML import -------------------------------------------------------------------------------------------

void TfrmSingle::ImportXml(const QString& Text) {
    KeepOnAdd = false;
    if (Text.trimmed().isEmpty()) return;
    importing_ = true;
    auto done = qScopeGuard([this] {
        importing_ = false;
        CloseAfterShow = true;
        if (isVisible()) QTimer::singleShot(0, this, [this] { close(); });
    });
    try {
        TdmBase* dm = BaseModule();
        if (!dm) return;
        auto* body = dm->findChild<TClientDataSet*>(QStringLiteral("cdsBody1"));
        for (const single::TImportRecord& record : single::ParseImportXml(Text)) {
            DoAdd(true);
            for (const auto& [name, value] : record.head)
                if (TField* f = dm->cdsMain->FindField(name)) f->SetAsString(value);
            for (const auto& row : record.body) {
                if (!body) break;
                body->Append();
                for (const auto& [name, value] : row)
                    if (TField* f = body->FindField(name)) f->SetAsString(value);
                body->Post();
            }
            if (!DoSave()) break;
        }
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "XML import:" << e.what();
    }
}

// --- numbering and services -------------------------------------------------------------------------------

QString TfrmSingle::GetNextNumber() {
    QString number = QStringLiteral("unknown");
    try {
        TdmSingle* dm = SingleModule();
        if (!dm || !Broker) throw EDatabaseError(QStringLiteral("no data module"));
        TField* dateField =
            dm->NumberingDateField.isEmpty() ? nullptr : dm->cdsMain->FindField(dm->NumberingDateField);
        QString date;
        if (dateField && dateField->IsStringKind())
            date = DateToString(StringToDate(dateField->AsString(), DateFormatKind, DateSeparator),
                                DateFormatKind, DateSeparator);
        else if (dateField)
            date = QDate(1899, 12, 30)
                       .addDays(qint64(dateField->AsDateTime()))
                       .toString(QStringLiteral("yyyyMMdd"));
        else
            date = DateToString(double(QDate(1899, 12, 30).daysTo(QDate::currentDate())), DateFormatKind,
                                DateSeparator);
        Broker->QueryMaxSeq(dm->cdsMain, dm->MainTable, number, date, dm->KeyFields);
        if (number.compare(QLatin1String("unKnow"), Qt::CaseInsensitive) == 0)
            throw EDatabaseError(QStringLiteral("no number"));
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "numbering:" << e.what();
        number = QStringLiteral("unknown");
        if (Broker) Broker->ShowMsg(QStringLiteral("E"), QStringLiteral("000033"));
    }
    return number;
}

QStringList TfrmSingle::GetProgramRule(const QString& Program, const QString& Code) {
    const bool efs = Broker && Broker->GetSysParam(QStringLiteral("SYS174")).trimmed() == QLatin1String("Y");
    const QList<QStringList> rows = SimpleSqlRows(single::ProgramRuleSql(Program, Code, efs),
                                                  efs ? QStringLiteral("MC006") : QStringLiteral("MQ003"));
    if (rows.isEmpty()) return {QStringLiteral("N"), QString()};
    return {QStringLiteral("0"), rows.first().value(0)};
}

QStringList TfrmSingle::GetProgramRuleTop(const QString& Program, const QString& Code) {
    QStringList result{QStringLiteral("N"), QString()};
    if (!Broker || Broker->GetSysParam(QStringLiteral("SYS060")).trimmed() != QLatin1String("Y"))
        return result;
    const bool efs = Broker->GetSysParam(QStringLiteral("SYS174")).trimmed() == QLatin1String("Y");
    try {
        const QList<QStringList> rows =
            SimpleSqlRows(single::ProgramRuleTopSql(Program, Code, efs),
                          efs ? QStringLiteral("MC006,MC009") : QStringLiteral("MQ003,MQ004"));
        if (!rows.isEmpty()) result = {rows.first().value(0), rows.first().value(1)};
    } catch (const std::exception& e) {
        qCWarning(lcForms) << "program rule:" << e.what();
    }
    return result;
}

QString TfrmSingle::GetLinkedData(const QString& P1, const QString& P2, const QString& Cond,
                                  const QString& P4, const QString& P5) {
    QString result;
    if (!Broker) return result;
    for (const QStringList& row :
         SimpleSqlRows(single::LinkedDataRowsSql(P1, P4), QStringLiteral("MR005,MR004,MR007"))) {
        const QString table = cell(row, 0) == P2 ? P2 : P5;
        const QString column = cell(row, 2);
        const Variant answer = Broker->CallCounter(
            QStringLiteral("SimpleSQL"),
            Variant::fromList({single::LinkedDataValueSql(column, Broker->DBName, table, Cond), column,
                               Broker->DBName, QStringLiteral("N")}));
        if (!answer.isArray() || answer.toList().isEmpty()) continue;
        const Variant first = answer.toList().first();
        const Variant v = first.isArray() ? first.toList().value(0) : first;
        result += cell(row, 1) + QLatin1Char(',') +
                  (v.isString() ? QStringLiteral("C,") : QStringLiteral("N,")) +
                  (v.isEmptyOrNull() ? QString() : v.toString()) + QLatin1Char(';');
    }
    return result;
}

} // namespace kvx
