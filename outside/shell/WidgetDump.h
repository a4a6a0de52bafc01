// WidgetDump: a JSON description of a shown window's widget tree, for rebuilding the same window in plain
// Qt Widgets (bench/forms/FloorWindow.cpp).
//
// Each widget is described by its nearest Qt class (the first class of its meta-object chain that a Qt
// library defines), its own class, name, whether it is hidden, its geometry and font, and what it shows:
// texts, combo items, tabs, check state, icon size, and for item views the model's size, header texts,
// column widths and the cells of the rows in view. Widgets of ours that are plain Qt containers but paint
// text by hand carry the texts they paint, with where ("painted"). The document also counts the objects the
// window owns that are not widgets (actions, layouts, data sets, ...).
//
// {"format": 1, "widgets": W, "shown": V, "objects": {"total", "widgets", "actions", "menus", "other",
//  "classes": {class: count}}, "window": node}
// node: {"class", "ownClass", "name", "hidden", "shown", "enabled" (when false), "geometry": [x, y, w, h],
//        "font": {"family", "resolved", "pointSize", "pixelSize", "bold", "italic"} (left out when the same
//        as the parent's), ...what it shows, "children": [node, ...]}
// The document is compact: the floor program reads it inside its measured start.
#pragma once

#include <QJsonObject>
#include <QString>

class QWidget;

namespace pellan {

// The nearest class of `w`'s meta-object chain that Qt defines ("QLineEdit" for a line edit of ours).
QString nearestQtClass(const QWidget* w);

// The description of `window` and everything it owns.
QJsonObject describeWindow(QWidget* window);

// Writes describeWindow(window) to `file`; an error text, empty on success.
QString dumpWidgets(QWidget* window, const QString& file);

} // namespace pellan
