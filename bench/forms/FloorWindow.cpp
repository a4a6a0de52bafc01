// The "floor" peer of the start-up benchmark: a plain Qt widgets program that rebuilds a window from the
// widget description pellan writes (`pellan --dump-widgets FILE`, outside/shell/WidgetDump.h) with the same
// Qt classes, geometry, fonts, texts, visibility and grid cells, shows it and prints "painted" once it has
// painted itself, then closes. What it spends is what any Qt widgets program showing that window spends.
//
//   forms_floor_window FILE [--visible-only] [--print-tree] [--screenshot PNG]
//
// --visible-only  builds only the widgets that were shown (nothing hidden, no hidden page, no pop-up menu).
// --print-tree    prints at the first paint the tree it built: "widgets W shown V", then one line per
//                 widget, tab-separated: depth, class, name, "hidden" or "-", "shown" or "-", font
//                 (resolved family, size, bold), text (line breaks as "\n").
// --screenshot    writes the painted window to a PNG.
//
// Widgets that Qt itself creates inside another (a view's headers and scroll bars, a tab bar's scroll
// buttons, a menu bar's extension button) are not built again: the description's entry is matched to the
// one Qt made. Fonts take the family the description resolved to, so both programs draw with the same
// engines. Item views get a QStandardItemModel of the recorded size holding the cells of the rows in view;
// icons are plain pixmaps of the recorded size. Text that a widget of ours painted by hand becomes a label.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QHash>
#include <QHeaderView>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

// The menu bar's extension arrow read as PNG without asking every image-format plugin first, as any
// program that cares about its start would (the default style probes them all).
class FloorStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                       const QWidget* widget) const override {
        if (icon == SP_ToolBarHorizontalExtensionButton && QIcon::themeName().isEmpty()) {
            QIcon own;
            for (int size : {8, 16, 32}) {
                QImageReader png(
                    QStringLiteral(":/qt-project.org/styles/commonstyle/images/toolbar-ext-h-%1.png")
                        .arg(size),
                    QByteArrayLiteral("png"));
                png.setAutoDetectImageFormat(false);
                const QImage image = png.read();
                if (image.isNull()) return QProxyStyle::standardIcon(icon, option, widget);
                own.addPixmap(QPixmap::fromImage(image));
            }
            return own;
        }
        return QProxyStyle::standardIcon(icon, option, widget);
    }
};

QRect toRect(const QJsonValue& v) {
    const QJsonArray a = v.toArray();
    return {a.at(0).toInt(), a.at(1).toInt(), a.at(2).toInt(), a.at(3).toInt()};
}

QSize toSize(const QJsonValue& v) {
    const QJsonArray a = v.toArray();
    return {a.at(0).toInt(), a.at(1).toInt()};
}

QStringList toStrings(const QJsonValue& v) {
    QStringList list;
    for (const QJsonValue& s : v.toArray())
        list.append(s.toString());
    return list;
}

// A font as recorded, in the family it resolved to.
QFont toFont(const QJsonObject& f) {
    QFont font(f.value("resolved").toString(f.value("family").toString()));
    if (f.contains("pixelSize"))
        font.setPixelSize(f.value("pixelSize").toInt());
    else if (f.contains("pointSize"))
        font.setPointSizeF(f.value("pointSize").toDouble());
    font.setBold(f.value("bold").toBool());
    font.setItalic(f.value("italic").toBool());
    return font;
}

bool sameFont(const QJsonObject& a, const QJsonObject& b) {
    for (const char* key : {"resolved", "pixelSize", "pointSize", "bold", "italic"})
        if (a.value(QLatin1String(key)) != b.value(QLatin1String(key))) return false;
    return true;
}

// The text a widget shows, for --print-tree (and the tests that compare it with the description).
QString shownText(QWidget* w) {
    if (w->isWindow() && !qobject_cast<QMenu*>(w)) return w->windowTitle();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        QStringList items;
        for (int i = 0; i < c->count(); ++i)
            items.append(c->itemText(i));
        return items.join('|') + QStringLiteral(" @%1").arg(c->currentIndex());
    }
    if (auto* t = qobject_cast<QTabWidget*>(w)) {
        QStringList tabs;
        for (int i = 0; i < t->count(); ++i)
            tabs.append(t->tabText(i));
        return tabs.join('|') + QStringLiteral(" @%1").arg(t->currentIndex());
    }
    if (auto* t = qobject_cast<QTabBar*>(w)) {
        QStringList tabs;
        for (int i = 0; i < t->count(); ++i)
            tabs.append(t->tabText(i));
        return tabs.join('|') + QStringLiteral(" @%1").arg(t->currentIndex());
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
    if (auto* t = qobject_cast<QTextEdit*>(w)) return t->toPlainText();
    if (auto* v = qobject_cast<QAbstractItemView*>(w); v && v->model() && !qobject_cast<QHeaderView*>(w)) {
        const QAbstractItemModel* m = v->model();
        QStringList parts{QStringLiteral("%1x%2").arg(m->rowCount()).arg(m->columnCount())};
        for (int c = 0; c < m->columnCount(); ++c)
            parts.append(m->headerData(c, Qt::Horizontal).toString());
        for (int r = 0; r < m->rowCount(); ++r)
            for (int c = 0; c < m->columnCount(); ++c)
                if (const QString t = m->index(r, c).data().toString(); !t.isEmpty()) parts.append(t);
        if (auto* t = qobject_cast<QTableView*>(w))
            parts.append(QStringLiteral("@first %1").arg(t->rowAt(0)));
        return parts.join('|');
    }
    return {};
}

void printTree(QWidget* w, int depth, QStringList& lines, int& widgets, int& shown) {
    ++widgets;
    if (w->isVisible()) ++shown;
    const QFont f = w->font();
    const QString font = QStringLiteral("%1 %2%3")
                             .arg(QFontInfo(f).family())
                             .arg(f.pixelSize() > 0 ? QStringLiteral("%1px").arg(f.pixelSize())
                                                    : QStringLiteral("%1pt").arg(f.pointSizeF()))
                             .arg(f.bold() ? QStringLiteral(" bold") : QString());
    lines.append(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7")
                     .arg(depth)
                     .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(),
                          w->isHidden() ? QStringLiteral("hidden") : QStringLiteral("-"),
                          w->isVisible() ? QStringLiteral("shown") : QStringLiteral("-"), font,
                          shownText(w).replace(QLatin1Char('\n'), QLatin1String("\\n"))));
    for (QObject* child : w->children())
        if (child->isWidgetType()) printTree(static_cast<QWidget*>(child), depth + 1, lines, widgets, shown);
}

class FloorBuilder {
public:
    explicit FloorBuilder(bool visibleOnly) : visibleOnly_(visibleOnly) {}

    // The window of the description; nullptr with error() set when it cannot be built.
    QWidget* buildWindow(const QJsonObject& node) {
        QWidget* w = build(node, nullptr, {}, QStringLiteral("window"), {});
        if (!error_.isEmpty()) {
            delete w;
            return nullptr;
        }
        // A tool button's menu, wherever in the window it was built; one not built (--visible-only): an
        // action of the button's own, which shows the same arrow.
        for (const auto& [button, name] : buttonMenus_) {
            QMenu* menu = name.isEmpty() ? nullptr : w->findChild<QMenu*>(name);
            if (menu)
                button->setMenu(menu);
            else
                button->addAction(new QAction(button));
        }
        return w;
    }
    QString error() const { return error_; }

private:
    bool visibleOnly_;
    QString error_;
    QHash<quint64, QIcon> icons_;                         // by width << 32 | height
    QHash<QWidget*, QList<QWidget*>> pages_;              // of each stacked widget, in their order
    QList<std::pair<QToolButton*, QString>> buttonMenus_; // menus of tool buttons, by name

    QIcon plainIcon(QSize size) {
        const quint64 key = quint64(quint32(size.width())) << 32 | quint32(size.height());
        auto it = icons_.find(key);
        if (it == icons_.end()) {
            QPixmap pm(size);
            pm.fill(QColor(0x40, 0x70, 0xb0));
            it = icons_.insert(key, QIcon(pm));
        }
        return *it;
    }

    bool check(const QJsonObject& node, const QString& path) {
        if (!node.value("class").isString()) {
            error_ = QStringLiteral("%1: no class").arg(path);
            return false;
        }
        const QJsonArray g = node.value("geometry").toArray();
        if (g.size() != 4 || !g.at(2).isDouble() || !g.at(3).isDouble()) {
            error_ = QStringLiteral("%1 (%2): no geometry [x, y, width, height]")
                         .arg(path, node.value("class").toString());
            return false;
        }
        if (node.contains("children") && !node.value("children").isArray()) {
            error_ = QStringLiteral("%1: children is not a list").arg(path);
            return false;
        }
        return true;
    }

    static QWidget* create(const QJsonObject& node, QWidget* parent) {
        const QString c = node.value("class").toString();
        const auto orientation = Qt::Orientation(node.value("orientation").toInt(Qt::Horizontal));
        static const QHash<QString, std::function<QWidget*(QWidget*, Qt::Orientation)>> factories = {
            {"QFrame", [](QWidget* p, Qt::Orientation) { return new QFrame(p); }},
            {"QLabel", [](QWidget* p, Qt::Orientation) { return new QLabel(p); }},
            {"QPushButton", [](QWidget* p, Qt::Orientation) { return new QPushButton(p); }},
            {"QToolButton", [](QWidget* p, Qt::Orientation) { return new QToolButton(p); }},
            {"QCheckBox", [](QWidget* p, Qt::Orientation) { return new QCheckBox(p); }},
            {"QRadioButton", [](QWidget* p, Qt::Orientation) { return new QRadioButton(p); }},
            {"QLineEdit", [](QWidget* p, Qt::Orientation) { return new QLineEdit(p); }},
            {"QComboBox", [](QWidget* p, Qt::Orientation) { return new QComboBox(p); }},
            {"QSpinBox", [](QWidget* p, Qt::Orientation) { return new QSpinBox(p); }},
            {"QDoubleSpinBox", [](QWidget* p, Qt::Orientation) { return new QDoubleSpinBox(p); }},
            {"QTabWidget", [](QWidget* p, Qt::Orientation) { return new QTabWidget(p); }},
            {"QTabBar", [](QWidget* p, Qt::Orientation) { return new QTabBar(p); }},
            {"QStackedWidget", [](QWidget* p, Qt::Orientation) { return new QStackedWidget(p); }},
            {"QGroupBox", [](QWidget* p, Qt::Orientation) { return new QGroupBox(p); }},
            {"QPlainTextEdit", [](QWidget* p, Qt::Orientation) { return new QPlainTextEdit(p); }},
            {"QTextEdit", [](QWidget* p, Qt::Orientation) { return new QTextEdit(p); }},
            {"QProgressBar", [](QWidget* p, Qt::Orientation) { return new QProgressBar(p); }},
            {"QMenuBar", [](QWidget* p, Qt::Orientation) { return new QMenuBar(p); }},
            {"QMenu", [](QWidget* p, Qt::Orientation) { return new QMenu(p); }},
            {"QToolBar", [](QWidget* p, Qt::Orientation) { return new QToolBar(p); }},
            {"QStatusBar", [](QWidget* p, Qt::Orientation) { return new QStatusBar(p); }},
            {"QTableView", [](QWidget* p, Qt::Orientation) { return new QTableView(p); }},
            {"QTreeView", [](QWidget* p, Qt::Orientation) { return new QTreeView(p); }},
            {"QListView", [](QWidget* p, Qt::Orientation) { return new QListView(p); }},
            {"QScrollArea", [](QWidget* p, Qt::Orientation) { return new QScrollArea(p); }},
            {"QHeaderView", [](QWidget* p, Qt::Orientation o) { return new QHeaderView(o, p); }},
            {"QScrollBar", [](QWidget* p, Qt::Orientation o) { return new QScrollBar(o, p); }},
            {"QSplitter", [](QWidget* p, Qt::Orientation o) { return new QSplitter(o, p); }},
        };
        const auto f = factories.constFind(c);
        // QWidget, and classes of Qt's own that only Qt builds (a view's corner button, ...).
        return f == factories.constEnd() ? new QWidget(parent) : (*f)(parent, orientation);
    }

    // A child widget Qt already made inside `parent` that the description's `node` stands for.
    static QWidget* matchInternal(const QJsonObject& node, QList<QWidget*>& unclaimed) {
        const QString cls = node.value("class").toString(), name = node.value("name").toString();
        for (qsizetype i = 0; i < unclaimed.size(); ++i) {
            QWidget* w = unclaimed[i];
            if (QLatin1String(w->metaObject()->className()) != cls || w->objectName() != name) continue;
            if (auto* h = qobject_cast<QHeaderView*>(w);
                h && int(h->orientation()) != node.value("orientation").toInt())
                continue;
            unclaimed.removeAt(i);
            return w;
        }
        return nullptr;
    }

    // A font left out is the parent's.
    static QJsonObject fontOf(const QJsonObject& node, const QJsonObject& parentFont) {
        return node.contains("font") ? node.value("font").toObject() : parentFont;
    }

    QWidget* build(const QJsonObject& node, QWidget* parent, const QJsonObject& parentNode,
                   const QString& path, const QJsonObject& parentFont) {
        if (!check(node, path)) return nullptr;
        QWidget* w = create(node, parent);
        configure(node, w, parentNode, parentFont, parent == nullptr);
        buildChildren(node, w, path, fontOf(node, parentFont));
        return w;
    }

    void applyCommon(const QJsonObject& node, QWidget* w, const QJsonObject& parentNode,
                     const QJsonObject& parentFont, bool window) {
        const QJsonObject font = fontOf(node, parentFont);
        // A window (a pop-up menu, ...) takes no font from its parent.
        if (window || node.contains("windowTitle") || !sameFont(font, parentFont)) w->setFont(toFont(font));
        if (node.value("hidden").toBool()) w->setVisible(false);
        if (!node.value("enabled").toBool(true) && parentNode.value("enabled").toBool(true))
            w->setEnabled(false);
    }

    void configure(const QJsonObject& node, QWidget* w, const QJsonObject& parentNode,
                   const QJsonObject& parentFont, bool window) {
        w->setObjectName(node.value("name").toString());
        w->setGeometry(toRect(node.value("geometry")));
        applyCommon(node, w, parentNode, parentFont, window);
        if (window) w->setWindowTitle(node.value("windowTitle").toString());
        if (node.value("autoFillBackground").toBool()) w->setAutoFillBackground(true);
        if (const QJsonObject pal = node.value("palette").toObject(); !pal.isEmpty()) {
            QPalette p = w->palette();
            static const std::pair<const char*, QPalette::ColorRole> roles[] = {
                {"window", QPalette::Window}, {"windowText", QPalette::WindowText},
                {"base", QPalette::Base},     {"text", QPalette::Text},
                {"button", QPalette::Button}, {"buttonText", QPalette::ButtonText},
            };
            for (const auto& [name, role] : roles)
                if (pal.contains(QLatin1String(name)))
                    p.setColor(role, QColor::fromString(pal.value(QLatin1String(name)).toString()));
            w->setPalette(p);
        }
        const QString text = node.value("text").toString();
        if (auto* f = qobject_cast<QFrame*>(w); f && node.contains("frameShape")) {
            f->setFrameShape(QFrame::Shape(node.value("frameShape").toInt()));
            f->setFrameShadow(QFrame::Shadow(node.value("frameShadow").toInt()));
            f->setLineWidth(node.value("lineWidth").toInt(1));
        }
        if (auto* l = qobject_cast<QLabel*>(w)) {
            l->setText(text);
            l->setAlignment(Qt::Alignment(node.value("alignment").toInt(Qt::AlignLeft | Qt::AlignVCenter)));
            if (node.value("wordWrap").toBool()) l->setWordWrap(true);
            if (node.contains("pixmapSize"))
                l->setPixmap(
                    plainIcon(toSize(node.value("pixmapSize"))).pixmap(toSize(node.value("pixmapSize"))));
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            b->setText(text);
            if (node.value("checkable").toBool()) {
                b->setCheckable(true);
                b->setChecked(node.value("checked").toBool());
            }
            if (auto* c = qobject_cast<QCheckBox*>(w); c && node.contains("checkState"))
                c->setCheckState(Qt::CheckState(node.value("checkState").toInt()));
            if (node.contains("iconSize")) {
                const QSize size = toSize(node.value("iconSize"));
                b->setIconSize(size);
                b->setIcon(plainIcon(size));
            }
            if (auto* t = qobject_cast<QToolButton*>(w)) {
                t->setToolButtonStyle(Qt::ToolButtonStyle(node.value("toolButtonStyle").toInt()));
                t->setAutoRaise(node.value("autoRaise").toBool());
                if (node.contains("arrowType"))
                    t->setArrowType(Qt::ArrowType(node.value("arrowType").toInt()));
                if (node.contains("menuName")) {
                    t->setPopupMode(QToolButton::ToolButtonPopupMode(node.value("popupMode").toInt()));
                    buttonMenus_.append({t, node.value("menuName").toString()});
                }
            }
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            if (node.contains("maxLength")) e->setMaxLength(node.value("maxLength").toInt());
            e->setText(text);
            e->setPlaceholderText(node.value("placeholder").toString());
            e->setReadOnly(node.value("readOnly").toBool());
            e->setFrame(node.value("frame").toBool(true));
            e->setAlignment(Qt::Alignment(node.value("alignment").toInt(Qt::AlignLeft | Qt::AlignVCenter)));
            if (node.contains("echoMode"))
                e->setEchoMode(QLineEdit::EchoMode(node.value("echoMode").toInt()));
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            if (node.value("editable").toBool()) c->setEditable(true);
            c->setFrame(node.value("frame").toBool(true));
            c->addItems(toStrings(node.value("items")));
            c->setCurrentIndex(node.value("current").toInt(-1));
            if (c->isEditable()) c->setEditText(text);
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            g->setTitle(node.value("title").toString());
            if (node.contains("checked")) {
                g->setCheckable(true);
                g->setChecked(node.value("checked").toBool());
            }
        } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
            p->setPlainText(text);
            p->setReadOnly(node.value("readOnly").toBool());
        } else if (auto* t = qobject_cast<QTextEdit*>(w)) {
            t->setPlainText(text);
            t->setReadOnly(node.value("readOnly").toBool());
        } else if (auto* p = qobject_cast<QProgressBar*>(w)) {
            const QJsonArray range = node.value("range").toArray();
            p->setRange(range.at(0).toInt(), range.at(1).toInt(100));
            p->setValue(node.value("value").toInt());
            p->setTextVisible(node.value("textVisible").toBool(true));
        } else if (auto* t = qobject_cast<QTabBar*>(w)) {
            t->setShape(QTabBar::Shape(node.value("shape").toInt()));
            t->setExpanding(node.value("expanding").toBool(true));
            t->setDrawBase(node.value("drawBase").toBool(true));
            t->setDocumentMode(node.value("documentMode").toBool());
            t->setUsesScrollButtons(node.value("usesScrollButtons").toBool(true));
            t->setElideMode(Qt::TextElideMode(node.value("elideMode").toInt(Qt::ElideNone)));
            for (const QString& tab : toStrings(node.value("tabs")))
                t->addTab(tab);
            for (const QJsonValue& i : node.value("hiddenTabs").toArray())
                t->setTabVisible(i.toInt(), false);
            t->setCurrentIndex(node.value("current").toInt());
        } else if (auto* s = qobject_cast<QScrollBar*>(w)) {
            const QJsonArray range = node.value("range").toArray();
            s->setRange(range.at(0).toInt(), range.at(1).toInt());
            s->setValue(node.value("value").toInt());
        }
        if (auto* v = qobject_cast<QAbstractItemView*>(w); v && node.contains("view"))
            configureView(node.value("view").toObject(), v);
        // Text a widget of ours painted by hand: labels where it was painted.
        const QJsonObject font = fontOf(node, parentFont);
        for (const QJsonValue& p : node.value("painted").toArray()) {
            auto* l = new QLabel(p.toObject().value("text").toString(), w);
            l->setGeometry(toRect(p.toObject().value("rect")));
            if (const QJsonObject painted = p.toObject().value("font").toObject();
                !painted.isEmpty() && !sameFont(painted, font))
                l->setFont(toFont(painted));
        }
    }

    void configureView(const QJsonObject& view, QAbstractItemView* v) {
        const int rows = view.value("rows").toInt(), columns = view.value("columns").toInt();
        auto* model = new QStandardItemModel(rows, columns, v);
        model->setHorizontalHeaderLabels(toStrings(view.value("headers")));
        const int first = view.value("firstRow").toInt();
        const QJsonArray cells = view.value("cells").toArray();
        const QJsonArray rowHeaders = view.value("rowHeaders").toArray();
        for (int i = 0; i < cells.size() && first + i < rows; ++i) {
            const QJsonObject row = cells.at(i).toObject();
            const QJsonArray texts = row.value("texts").toArray();
            const QJsonArray fg = row.value("foreground").toArray(), bg = row.value("background").toArray();
            for (int c = 0; c < texts.size() && c < columns; ++c) {
                auto* item = new QStandardItem(texts.at(c).toString());
                if (const QString color = fg.at(c).toString(); !color.isEmpty())
                    item->setForeground(QColor::fromString(color));
                if (const QString color = bg.at(c).toString(); !color.isEmpty())
                    item->setBackground(QColor::fromString(color));
                model->setItem(first + i, c, item);
            }
            model->setVerticalHeaderItem(first + i, new QStandardItem(rowHeaders.at(i).toString()));
        }
        v->setModel(model);
        v->setAlternatingRowColors(view.value("alternatingRowColors").toBool());
        v->setSelectionBehavior(
            QAbstractItemView::SelectionBehavior(view.value("selectionBehavior").toInt()));
        v->setSelectionMode(QAbstractItemView::SelectionMode(view.value("selectionMode").toInt()));
        if (auto* t = qobject_cast<QTableView*>(v)) {
            const QJsonArray widths = view.value("widths").toArray();
            for (int c = 0; c < widths.size() && c < columns; ++c)
                t->setColumnWidth(c, widths.at(c).toInt());
            for (const QJsonValue& c : view.value("hiddenColumns").toArray())
                t->setColumnHidden(c.toInt(), true);
            t->setShowGrid(view.value("showGrid").toBool(true));
            const QJsonObject hh = view.value("horizontalHeader").toObject();
            const QJsonObject vh = view.value("verticalHeader").toObject();
            if (hh.value("hidden").toBool())
                t->horizontalHeader()->hide();
            else
                t->horizontalHeader()->setFixedHeight(hh.value("height").toInt());
            if (vh.value("hidden").toBool())
                t->verticalHeader()->hide();
            else
                t->verticalHeader()->setFixedWidth(vh.value("width").toInt());
            t->verticalHeader()->setDefaultSectionSize(vh.value("rowHeight").toInt(30));
        }
        const QJsonArray current = view.value("current").toArray();
        if (current.at(0).toInt(-1) >= 0)
            v->setCurrentIndex(model->index(current.at(0).toInt(), current.at(1).toInt()));
        if (first > 0) {
            v->verticalScrollBar()->setRange(0, rows - 1);
            v->verticalScrollBar()->setValue(first);
        }
    }

    void addActions(const QJsonObject& node, QWidget* w, const QList<QWidget*>& builtChildren) {
        for (const QJsonValue& value : node.value("actions").toArray()) {
            const QJsonObject a = value.toObject();
            QAction* action = nullptr;
            const int menuChild = a.value("menuChild").toInt(-1);
            if (a.value("separator").toBool()) {
                action = new QAction(w);
                action->setSeparator(true);
            } else if (auto* menu = qobject_cast<QMenu*>(builtChildren.value(menuChild))) {
                menu->setTitle(a.value("text").toString());
                action = menu->menuAction();
            } else {
                action = new QAction(a.value("text").toString(), w);
                if (a.value("icon").toBool()) action->setIcon(plainIcon({16, 16}));
            }
            if (a.value("hidden").toBool()) action->setVisible(false);
            if (a.value("disabled").toBool()) action->setEnabled(false);
            w->addAction(action);
        }
    }

    // `nodeFont`: the font of `node` (its own or its parent's).
    void buildChildren(const QJsonObject& node, QWidget* w, const QString& path,
                       const QJsonObject& nodeFont) {
        QList<QWidget*> unclaimed;
        for (QObject* child : w->children())
            if (child->isWidgetType()) unclaimed.append(static_cast<QWidget*>(child));
        const QJsonArray children = node.value("children").toArray();
        QList<QWidget*> built; // per entry of `children`; nullptr when not built
        for (qsizetype i = 0; i < children.size() && error_.isEmpty(); ++i) {
            const QJsonObject child = children.at(i).toObject();
            const QString childPath = QStringLiteral("%1/%2").arg(path).arg(i);
            if (!check(child, childPath)) break;
            if (QWidget* internal = matchInternal(child, unclaimed)) {
                applyCommon(child, internal, node, nodeFont, false);
                buildChildren(child, internal, childPath, fontOf(child, nodeFont));
                built.append(internal);
            } else if (visibleOnly_ && !child.value("shown").toBool()) {
                built.append(nullptr);
            } else {
                built.append(build(child, w, node, childPath, nodeFont));
            }
        }
        if (!error_.isEmpty()) return;
        if (auto* stack = qobject_cast<QStackedWidget*>(w)) {
            // Its pages in their order (a tab widget adds its stack's pages as tabs).
            QList<QWidget*> pages;
            for (const QJsonValue& i : node.value("pages").toArray())
                pages.append(built.value(i.toInt()));
            pages_.insert(stack, pages);
            if (!qobject_cast<QTabWidget*>(w->parentWidget())) {
                for (QWidget* page : pages)
                    if (page) stack->addWidget(page);
                if (QWidget* current = pages.value(node.value("current").toInt()))
                    stack->setCurrentWidget(current);
            }
        }
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            const QStringList texts = toStrings(node.value("tabs"));
            const QList<QWidget*> pages =
                pages_.value(tabs->findChild<QStackedWidget*>(QString(), Qt::FindDirectChildrenOnly));
            for (qsizetype i = 0; i < texts.size(); ++i) {
                QWidget* page = pages.value(i);
                tabs->addTab(page ? page : new QWidget, texts[i]); // a page not built: an empty one
            }
            for (const QJsonValue& i : node.value("hiddenTabs").toArray())
                tabs->setTabVisible(i.toInt(), false);
            tabs->setCurrentIndex(node.value("current").toInt());
        }
        if (node.contains("actions")) addActions(node, w, built);
    }
};

// Prints "painted" once the window's first paint has been handled, then closes the window (as pellan does
// for the start-up timing), after writing the screenshot or printing the tree when asked.
class FirstPaint : public QObject {
public:
    FirstPaint(QWidget* window, std::function<void()> atPaint)
        : QObject(window), atPaint_(std::move(atPaint)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || done_) return false;
        done_ = true;
        auto* window = static_cast<QWidget*>(watched);
        QTimer::singleShot(0, window, [this, window] {
            if (atPaint_) atPaint_();
            std::fputs("painted\n", stdout);
            std::fflush(stdout);
            window->close();
        });
        return false;
    }

private:
    std::function<void()> atPaint_;
    bool done_ = false;
};

int usage() {
    std::fputs("usage: forms_floor_window FILE [--visible-only] [--print-tree] [--screenshot PNG]\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(new FloorStyle);
    QString file, screenshot;
    bool visibleOnly = false, printTreeAtPaint = false;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--visible-only"))
            visibleOnly = true;
        else if (args[i] == QLatin1String("--print-tree"))
            printTreeAtPaint = true;
        else if (args[i] == QLatin1String("--screenshot") && i + 1 < args.size())
            screenshot = args[++i];
        else if (args[i].startsWith(QLatin1String("--")) || !file.isEmpty())
            return usage();
        else
            file = args[i];
    }
    if (file.isEmpty()) return usage();

    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "forms_floor_window: cannot read %s: %s\n", qPrintable(file),
                     qPrintable(in.errorString()));
        return 1;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(in.readAll(), &parseError);
    if (doc.isNull()) {
        std::fprintf(stderr, "forms_floor_window: %s is not JSON: %s at offset %d\n", qPrintable(file),
                     qPrintable(parseError.errorString()), parseError.offset);
        return 1;
    }
    const QJsonObject root = doc.object();
    if (root.value("format").toInt() != 1 || !root.value("window").isObject()) {
        std::fprintf(stderr, "forms_floor_window: %s is not a widget description (format 1 with a window)\n",
                     qPrintable(file));
        return 1;
    }
    FloorBuilder builder(visibleOnly);
    std::unique_ptr<QWidget> window(builder.buildWindow(root.value("window").toObject()));
    if (!window) {
        std::fprintf(stderr, "forms_floor_window: %s: %s\n", qPrintable(file), qPrintable(builder.error()));
        return 1;
    }
    int rc = 0;
    new FirstPaint(window.get(), [&] {
        if (printTreeAtPaint) {
            QStringList lines;
            int widgets = 0, shown = 0;
            printTree(window.get(), 0, lines, widgets, shown);
            std::printf("widgets %d shown %d\n%s\n", widgets, shown, qPrintable(lines.join('\n')));
        }
        if (!screenshot.isEmpty() && !window->grab().save(screenshot, "PNG")) {
            std::fprintf(stderr, "forms_floor_window: cannot write %s\n", qPrintable(screenshot));
            rc = 1;
        }
    });
    window->show();
    const int loop = app.exec();
    return rc ? rc : loop;
}
