#include "WidgetDump.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEngine>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSaveFile>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTextItem>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <dlfcn.h>

namespace pellan {

namespace {

constexpr int kMaxRowsInView = 200;

bool definedByQt(const QMetaObject* mo) {
    Dl_info info{};
    if (!dladdr(mo, &info) || !info.dli_fname) return false;
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).fileName().startsWith(QLatin1String("libQt"));
}

QJsonArray rectArray(const QRect& r) {
    return QJsonArray{r.x(), r.y(), r.width(), r.height()};
}

QJsonArray sizeArray(const QSize& s) {
    return QJsonArray{s.width(), s.height()};
}

QJsonObject describeFont(const QFont& f) {
    QJsonObject o;
    o["family"] = f.family();
    o["resolved"] = QFontInfo(f).family();
    if (f.pointSizeF() > 0) o["pointSize"] = f.pointSizeF();
    if (f.pixelSize() > 0) o["pixelSize"] = f.pixelSize();
    o["bold"] = f.bold();
    o["italic"] = f.italic();
    return o;
}

// Colours a widget was given (not inherited from the application), by role name.
QJsonObject describePalette(const QWidget* w) {
    static const std::pair<const char*, QPalette::ColorRole> roles[] = {
        {"window", QPalette::Window}, {"windowText", QPalette::WindowText},
        {"base", QPalette::Base},     {"text", QPalette::Text},
        {"button", QPalette::Button}, {"buttonText", QPalette::ButtonText},
    };
    QJsonObject o;
    const QPalette& p = w->palette();
    for (const auto& [name, role] : roles)
        if (p.isBrushSet(QPalette::Active, role))
            o[QLatin1String(name)] = p.color(QPalette::Active, role).name(QColor::HexArgb);
    return o;
}

// The actions of a menu bar, menu or tool bar; an action opening a menu of the widget's own gives the menu's
// place among the widget's child widgets ("menuChild").
QJsonArray describeActions(const QWidget* w) {
    QList<const QWidget*> childWidgets;
    for (const QObject* child : w->children())
        if (child->isWidgetType()) childWidgets.append(static_cast<const QWidget*>(child));
    QJsonArray list;
    for (const QAction* a : w->actions()) {
        QJsonObject o;
        o["text"] = a->text();
        if (a->isSeparator()) o["separator"] = true;
        if (!a->isVisible()) o["hidden"] = true;
        if (!a->isEnabled()) o["disabled"] = true;
        if (const QMenu* menu = a->menu()) {
            o["menu"] = true;
            if (const qsizetype i = childWidgets.indexOf(menu); i >= 0) o["menuChild"] = int(i);
        }
        if (!a->icon().isNull()) o["icon"] = true;
        list.append(o);
    }
    return list;
}

// The texts a widget paints itself, with where: a paint engine that keeps the text items it is given.
class TextRecorder : public QPaintDevice {
public:
    explicit TextRecorder(QSize size) : size_(size), engine_(this) {}
    QPaintEngine* paintEngine() const override { return &engine_; }
    QJsonArray texts() const { return texts_; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
        case PdmWidth:
            return size_.width();
        case PdmHeight:
            return size_.height();
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return INT_MAX;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    class Engine : public QPaintEngine {
    public:
        explicit Engine(TextRecorder* owner) : QPaintEngine(AllFeatures), owner_(owner) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState& state) override {
            if (state.state() & DirtyTransform) transform_ = state.transform();
        }
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF& p, const QTextItem& item) override {
            const QString text = item.text();
            if (text.trimmed().isEmpty()) return;
            const QFontMetricsF fm(item.font());
            const QRectF r(p.x(), p.y() - fm.ascent(), fm.horizontalAdvance(text), fm.height());
            QJsonObject o;
            o["text"] = text;
            o["rect"] = rectArray(transform_.mapRect(r).toAlignedRect());
            o["font"] = describeFont(item.font());
            owner_->texts_.append(o);
        }
        Type type() const override { return User; }

    private:
        TextRecorder* owner_;
        QTransform transform_;
    };

    QSize size_;
    mutable Engine engine_;
    QJsonArray texts_;
};

// The tabs of a tab widget or bar: texts, the hidden ones and the current one.
template <class Tabs> void describeTabs(QJsonObject& o, const Tabs& t) {
    QJsonArray tabs, hiddenTabs;
    for (int i = 0; i < t.count(); ++i) {
        tabs.append(t.tabText(i));
        if (!t.isTabVisible(i)) hiddenTabs.append(i);
    }
    o["tabs"] = tabs;
    o["hiddenTabs"] = hiddenTabs;
    o["current"] = t.currentIndex();
}

QJsonObject describeItemView(QAbstractItemView* v) {
    QJsonObject o;
    QAbstractItemModel* m = v->model();
    if (!m) return o;
    const int rows = m->rowCount(), columns = m->columnCount();
    o["rows"] = rows;
    o["columns"] = columns;
    QJsonArray headers;
    for (int c = 0; c < columns; ++c)
        headers.append(m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    o["headers"] = headers;
    // The rows in view (of a view that is not a table: from the rows at its top and bottom edges).
    int first = v->indexAt(QPoint(1, 1)).row();
    int last = v->indexAt(QPoint(1, v->viewport()->height() - 2)).row();
    if (auto* t = qobject_cast<QTableView*>(v)) {
        QJsonArray widths, hidden;
        for (int c = 0; c < columns; ++c) {
            widths.append(t->columnWidth(c));
            if (t->isColumnHidden(c)) hidden.append(c);
        }
        o["widths"] = widths;
        o["hiddenColumns"] = hidden;
        o["showGrid"] = t->showGrid();
        QHeaderView* hh = t->horizontalHeader();
        QHeaderView* vh = t->verticalHeader();
        o["horizontalHeader"] = QJsonObject{
            {"hidden", hh->isHidden()}, {"height", hh->height()}, {"font", describeFont(hh->font())}};
        o["verticalHeader"] = QJsonObject{
            {"hidden", vh->isHidden()}, {"width", vh->width()}, {"rowHeight", vh->defaultSectionSize()}};
        first = t->rowAt(0);
        last = t->rowAt(t->viewport()->height() - 1);
    }
    if (first < 0) first = rows > 0 ? 0 : -1;
    if (last < 0) last = rows - 1;
    last = std::min(last, first + kMaxRowsInView - 1); // a view never laid out counts all rows as in view
    o["alternatingRowColors"] = v->alternatingRowColors();
    o["selectionBehavior"] = int(v->selectionBehavior());
    o["selectionMode"] = int(v->selectionMode());
    const QModelIndex current = v->currentIndex();
    o["current"] = QJsonArray{current.row(), current.column()};
    o["firstRow"] = first;
    QJsonArray cells, rowHeaders;
    for (int r = first; r >= 0 && r <= last; ++r) {
        QJsonObject row;
        QJsonArray texts, foreground, background;
        bool colored = false;
        for (int c = 0; c < columns; ++c) {
            const QModelIndex i = m->index(r, c);
            texts.append(i.data(Qt::DisplayRole).toString());
            const QVariant fg = i.data(Qt::ForegroundRole), bg = i.data(Qt::BackgroundRole);
            const auto colorName = [](const QVariant& value) {
                if (value.canConvert<QBrush>()) {
                    const QBrush b = value.value<QBrush>();
                    if (b.style() != Qt::NoBrush) return b.color().name(QColor::HexArgb);
                }
                return QString();
            };
            foreground.append(colorName(fg));
            background.append(colorName(bg));
            colored = colored || fg.isValid() || bg.isValid();
        }
        row["texts"] = texts;
        if (colored) {
            row["foreground"] = foreground;
            row["background"] = background;
        }
        cells.append(row);
        rowHeaders.append(m->headerData(r, Qt::Vertical, Qt::DisplayRole).toString());
    }
    o["cells"] = cells;
    o["rowHeaders"] = rowHeaders;
    return o;
}

struct Totals {
    int widgets = 0;
    int shown = 0;
};

// `parentFont`: the description of the parent's font; a widget whose font is described alike leaves it out.
QJsonObject describeWidget(QWidget* w, Totals& totals, const QJsonObject& parentFont = {}) {
    QJsonObject o;
    const QString qtClass = nearestQtClass(w);
    const QString ownClass = QString::fromLatin1(w->metaObject()->className());
    o["class"] = qtClass;
    if (ownClass != qtClass) o["ownClass"] = ownClass;
    if (!w->objectName().isEmpty()) o["name"] = w->objectName();
    o["hidden"] = w->isHidden();
    o["shown"] = w->isVisible();
    if (!w->isEnabled()) o["enabled"] = false;
    o["geometry"] = rectArray(w->geometry());
    const QJsonObject font = describeFont(w->font());
    if (font != parentFont) o["font"] = font;
    ++totals.widgets;
    if (w->isVisible()) ++totals.shown;
    if (w->isWindow()) o["windowTitle"] = w->windowTitle();
    if (w->autoFillBackground()) o["autoFillBackground"] = true;
    if (const QJsonObject pal = describePalette(w); !pal.isEmpty()) o["palette"] = pal;

    if (auto* f = qobject_cast<QFrame*>(w)) {
        if (f->frameShape() != QFrame::NoFrame) {
            o["frameShape"] = int(f->frameShape());
            o["frameShadow"] = int(f->frameShadow());
            o["lineWidth"] = f->lineWidth();
        }
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        o["text"] = l->text();
        o["alignment"] = int(l->alignment());
        if (l->wordWrap()) o["wordWrap"] = true;
        if (const QPixmap pm = l->pixmap(); !pm.isNull()) o["pixmapSize"] = sizeArray(pm.size());
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        o["text"] = b->text();
        if (b->isCheckable()) {
            o["checkable"] = true;
            o["checked"] = b->isChecked();
        }
        if (auto* c = qobject_cast<QCheckBox*>(w)) o["checkState"] = int(c->checkState());
        if (!b->icon().isNull()) o["iconSize"] = sizeArray(b->iconSize());
        if (auto* t = qobject_cast<QToolButton*>(w)) {
            o["toolButtonStyle"] = int(t->toolButtonStyle());
            o["autoRaise"] = t->autoRaise();
            if (t->arrowType() != Qt::NoArrow) o["arrowType"] = int(t->arrowType());
            if (const QMenu* menu = t->menu()) {
                o["menuName"] = menu->objectName();
                o["popupMode"] = int(t->popupMode());
            }
        }
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        o["text"] = e->text();
        if (!e->placeholderText().isEmpty()) o["placeholder"] = e->placeholderText();
        o["readOnly"] = e->isReadOnly();
        o["frame"] = e->hasFrame();
        o["alignment"] = int(e->alignment());
        if (e->echoMode() != QLineEdit::Normal) o["echoMode"] = int(e->echoMode());
        if (e->maxLength() != 32767) o["maxLength"] = e->maxLength();
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        QJsonArray items;
        for (int i = 0; i < c->count(); ++i)
            items.append(c->itemText(i));
        o["items"] = items;
        o["current"] = c->currentIndex();
        o["editable"] = c->isEditable();
        if (c->isEditable()) o["text"] = c->currentText();
        o["frame"] = c->hasFrame();
    } else if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) {
        o["text"] = s->text();
    } else if (auto* t = qobject_cast<QTabWidget*>(w)) {
        describeTabs(o, *t);
        o["tabPosition"] = int(t->tabPosition());
    } else if (auto* t = qobject_cast<QTabBar*>(w)) {
        describeTabs(o, *t);
        o["shape"] = int(t->shape());
        o["expanding"] = t->expanding();
        o["drawBase"] = t->drawBase();
        o["documentMode"] = t->documentMode();
        o["usesScrollButtons"] = t->usesScrollButtons();
        o["elideMode"] = int(t->elideMode());
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        o["title"] = g->title();
        if (g->isCheckable()) o["checked"] = g->isChecked();
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        o["text"] = p->toPlainText();
        o["readOnly"] = p->isReadOnly();
    } else if (auto* t = qobject_cast<QTextEdit*>(w)) {
        o["text"] = t->toPlainText();
        o["readOnly"] = t->isReadOnly();
    } else if (auto* p = qobject_cast<QProgressBar*>(w)) {
        o["range"] = QJsonArray{p->minimum(), p->maximum()};
        o["value"] = p->value();
        o["textVisible"] = p->isTextVisible();
    } else if (auto* s = qobject_cast<QStackedWidget*>(w)) {
        // The pages in their order, as places among the child widgets (which need not be in that order).
        QList<const QWidget*> childWidgets;
        for (const QObject* child : w->children())
            if (child->isWidgetType()) childWidgets.append(static_cast<const QWidget*>(child));
        QJsonArray pages;
        for (int i = 0; i < s->count(); ++i)
            pages.append(int(childWidgets.indexOf(s->widget(i))));
        o["pages"] = pages;
        o["current"] = s->currentIndex();
    } else if (auto* h = qobject_cast<QHeaderView*>(w)) {
        o["orientation"] = int(h->orientation());
    } else if (auto* s = qobject_cast<QScrollBar*>(w)) {
        o["orientation"] = int(s->orientation());
        o["range"] = QJsonArray{s->minimum(), s->maximum()};
        o["value"] = s->value();
    }
    if (qobject_cast<QMenuBar*>(w) || qobject_cast<QMenu*>(w) || qobject_cast<QToolBar*>(w))
        o["actions"] = describeActions(w);
    if (auto* v = qobject_cast<QAbstractItemView*>(w); v && !qobject_cast<QHeaderView*>(w))
        o["view"] = describeItemView(v);

    // A widget of ours on a plain Qt container paints any text of its own by hand.
    if (ownClass != qtClass && (qtClass == QLatin1String("QWidget") || qtClass == QLatin1String("QFrame")) &&
        w->isVisible() && !w->size().isEmpty()) {
        TextRecorder recorder(w->size());
        w->render(&recorder, QPoint(), QRegion(), QWidget::RenderFlags());
        if (const QJsonArray texts = recorder.texts(); !texts.isEmpty()) o["painted"] = texts;
    }

    QJsonArray children;
    for (QObject* child : w->children())
        if (child->isWidgetType())
            children.append(describeWidget(static_cast<QWidget*>(child), totals, font));
    if (!children.isEmpty()) o["children"] = children;
    return o;
}

} // namespace

QString nearestQtClass(const QWidget* w) {
    for (const QMetaObject* mo = w->metaObject(); mo; mo = mo->superClass())
        if (definedByQt(mo)) return QString::fromLatin1(mo->className());
    return QStringLiteral("QWidget");
}

QJsonObject describeWindow(QWidget* window) {
    Totals totals;
    QJsonObject doc;
    doc["format"] = 1;
    doc["window"] = describeWidget(window, totals);
    doc["widgets"] = totals.widgets;
    doc["shown"] = totals.shown;

    QJsonObject objects, classes;
    int all = 1, widgets = 1, actions = 0, menus = 0, layouts = 0;
    for (QObject* o : window->findChildren<QObject*>()) {
        ++all;
        if (o->isWidgetType()) {
            ++widgets;
            if (qobject_cast<QMenu*>(o)) ++menus;
            continue;
        }
        if (qobject_cast<QAction*>(o))
            ++actions;
        else if (qobject_cast<QLayout*>(o))
            ++layouts;
        const QString name = QString::fromLatin1(o->metaObject()->className());
        classes[name] = classes.value(name).toInt() + 1;
    }
    objects["total"] = all;
    objects["widgets"] = widgets;
    objects["menus"] = menus;
    objects["actions"] = actions;
    objects["layouts"] = layouts;
    objects["other"] = all - widgets - actions - layouts;
    objects["classes"] = classes;
    doc["objects"] = objects;
    return doc;
}

QString dumpWidgets(QWidget* window, const QString& file) {
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(file, out.errorString());
    out.write(QJsonDocument(describeWindow(window)).toJson(QJsonDocument::Compact));
    if (!out.commit()) return QStringLiteral("cannot write %1: %2").arg(file, out.errorString());
    return {};
}

} // namespace pellan
