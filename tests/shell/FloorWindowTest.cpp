// pellan's widget description (--dump-widgets) of a known test window and of the program window, and the
// plain Qt floor program (forms_floor_window) rebuilding it.
#include "PellanProcess.h"
#include "TempTree.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

using kvxtest::buildDir;
using kvxtest::PellanRun;

QJsonObject readJson(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

// The first node named `name`, depth first.
QJsonObject findNode(const QJsonObject& node, const QString& name) {
    if (node.value("name").toString() == name) return node;
    for (const QJsonValue& child : node.value("children").toArray())
        if (QJsonObject found = findNode(child.toObject(), name); !found.isEmpty()) return found;
    return {};
}

QStringList strings(const QJsonValue& v) {
    QStringList list;
    for (const QJsonValue& s : v.toArray())
        list.append(s.toString());
    return list;
}

// What a described widget shows, in the floor program's --print-tree form.
QString describedText(const QJsonObject& n, int depth) {
    const QString cls = n.value("class").toString();
    if (depth == 0) return n.value("windowTitle").toString();
    if (cls == "QComboBox")
        return strings(n.value("items")).join('|') + QStringLiteral(" @%1").arg(n.value("current").toInt());
    if (cls == "QTabWidget" || cls == "QTabBar")
        return strings(n.value("tabs")).join('|') + QStringLiteral(" @%1").arg(n.value("current").toInt());
    if (n.contains("view")) {
        const QJsonObject v = n.value("view").toObject();
        QStringList parts{
            QStringLiteral("%1x%2").arg(v.value("rows").toInt()).arg(v.value("columns").toInt())};
        parts += strings(v.value("headers"));
        for (const QJsonValue& row : v.value("cells").toArray())
            for (const QString& t : strings(row.toObject().value("texts")))
                if (!t.isEmpty()) parts.append(t);
        if (cls == "QTableView") parts.append(QStringLiteral("@first %1").arg(v.value("firstRow").toInt()));
        return parts.join('|');
    }
    return n.value("text").toString(n.value("title").toString());
}

// A described font as --print-tree prints it.
QString describedFont(const QJsonObject& f) {
    return QStringLiteral("%1 %2%3")
        .arg(f.value("resolved").toString())
        .arg(f.contains("pixelSize") ? QStringLiteral("%1px").arg(f.value("pixelSize").toInt())
                                     : QStringLiteral("%1pt").arg(f.value("pointSize").toDouble()))
        .arg(f.value("bold").toBool() ? QStringLiteral(" bold") : QString());
}

// The lines --print-tree prints for the description's widgets (only those shown when `shownOnly`); a font
// left out is the parent's.
void describedLines(const QJsonObject& n, int depth, bool shownOnly, QStringList& lines,
                    const QJsonObject& parentFont = {}) {
    if (shownOnly && !n.value("shown").toBool()) return;
    const QJsonObject font = n.contains("font") ? n.value("font").toObject() : parentFont;
    lines.append(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7")
                     .arg(depth)
                     .arg(n.value("class").toString(), n.value("name").toString(),
                          n.value("hidden").toBool() ? QStringLiteral("hidden") : QStringLiteral("-"),
                          n.value("shown").toBool() ? QStringLiteral("shown") : QStringLiteral("-"),
                          describedFont(font), describedText(n, depth).replace('\n', QLatin1String("\\n"))));
    for (const QJsonValue& child : n.value("children").toArray())
        describedLines(child.toObject(), depth + 1, shownOnly, lines, font);
    // Text painted by hand becomes a label in the floor program.
    for (const QJsonValue& p : n.value("painted").toArray())
        lines.append(QStringLiteral("%1\tQLabel\t\t-\t%2\t%3\t%4")
                         .arg(depth + 1)
                         .arg(n.value("shown").toBool() ? QStringLiteral("shown") : QStringLiteral("-"),
                              describedFont(p.toObject().value("font").toObject()),
                              p.toObject().value("text").toString()));
}

int paintedLabels(const QJsonObject& n) {
    int count = int(n.value("painted").toArray().size());
    for (const QJsonValue& child : n.value("children").toArray())
        count += paintedLabels(child.toObject());
    return count;
}

struct FloorRun {
    int exitCode = -1;
    QString header; // "widgets W shown V"
    QStringList lines;
    QString err;
    bool painted = false;
};

FloorRun runFloor(const QStringList& args) {
    QProcess p;
    p.start(buildDir() + "/bin/forms_floor_window", args);
    FloorRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << "forms_floor_window did not finish";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = QString::fromUtf8(p.readAllStandardError());
    QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    r.painted = out.removeAll("painted") == 1;
    if (!out.isEmpty() && out.first().startsWith("widgets ")) r.header = out.takeFirst();
    r.lines = out;
    return r;
}

class FloorWindowTest : public ::testing::Test {
protected:
    kvxtest::TempTree tree;

    void SetUp() override {
        ASSERT_FALSE(buildDir().isEmpty());
        kvxtest::registerBuiltClasses(tree);
    }

    // pellan on the test library's window of controls; the description's path.
    QString dumpTestWindow() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QLDI99C_WINDOW", "widgets");
        const QString file = tree.root() + "/widgets.json";
        const PellanRun r = kvxtest::runPellan(
            {"--module", buildDir() + "/lib/QLDI99C.so", "--first-paint", "--dump-widgets", file}, env);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out.filter("painted").size(), 1) << r.out.join('\n').toStdString();
        return file;
    }

    QString writeFile(const QString& name, const QByteArray& content) {
        const QString file = tree.root() + "/" + name;
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return file;
    }

    // The floor program rebuilds every widget of the description with its class, name, hidden flag and
    // text, and the shown ones alone with --visible-only.
    void expectFloorRebuilds(const QString& file) {
        const QJsonObject doc = readJson(file);
        ASSERT_TRUE(doc.contains("window"));
        const QJsonObject window = doc.value("window").toObject();
        const int labels = paintedLabels(window);
        QStringList expected;
        describedLines(window, 0, false, expected);
        ASSERT_EQ(expected.size(), doc.value("widgets").toInt() + labels);

        const FloorRun all = runFloor({file, "--print-tree"});
        ASSERT_EQ(all.exitCode, 0) << all.err.toStdString();
        EXPECT_TRUE(all.painted);
        EXPECT_EQ(all.header.toStdString(), QStringLiteral("widgets %1 shown %2")
                                                .arg(doc.value("widgets").toInt() + labels)
                                                .arg(doc.value("shown").toInt() + labels)
                                                .toStdString());
        QStringList built = all.lines;
        built.sort();
        expected.sort();
        EXPECT_EQ(built.join('\n').toStdString(), expected.join('\n').toStdString());

        QStringList shown;
        describedLines(window, 0, true, shown);
        ASSERT_EQ(shown.size(), doc.value("shown").toInt() + labels);
        const FloorRun visible = runFloor({file, "--visible-only", "--print-tree"});
        ASSERT_EQ(visible.exitCode, 0) << visible.err.toStdString();
        // Every shown widget, and besides them only parts Qt makes itself inside a shown widget, not shown.
        QStringList visibleShown =
            visible.lines.filter(QRegularExpression("^[^\t]*\t[^\t]*\t[^\t]*\t[^\t]*\tshown\t"));
        visibleShown.sort();
        shown.sort();
        EXPECT_EQ(visibleShown.join('\n').toStdString(), shown.join('\n').toStdString());
        EXPECT_LT(visible.lines.size(), all.lines.size());
    }
};

TEST_F(FloorWindowTest, DescriptionHoldsTheWindowsWidgetsTextsAndGridCells) {
    const QJsonObject doc = readJson(dumpTestWindow());
    ASSERT_EQ(doc.value("format").toInt(), 1);
    const QJsonObject window = doc.value("window").toObject();
    EXPECT_EQ(window.value("class").toString(), "QWidget");
    EXPECT_EQ(window.value("windowTitle").toString(), "Test [DS]");
    EXPECT_FALSE(window.value("hidden").toBool());
    EXPECT_EQ(window.value("geometry").toArray().at(2).toInt(), 420);

    const QJsonObject hidden = findNode(window, "edHidden");
    EXPECT_EQ(hidden.value("class").toString(), "QLineEdit");
    EXPECT_TRUE(hidden.value("hidden").toBool());
    EXPECT_FALSE(hidden.value("shown").toBool());
    EXPECT_EQ(hidden.value("text").toString(), "secret");

    const QJsonObject combo = findNode(window, "cboMode");
    EXPECT_EQ(strings(combo.value("items")), QStringList({"1:不处理", "2:汇出", "3.汇入"}));
    EXPECT_EQ(combo.value("current").toInt(), 1);
    EXPECT_FALSE(combo.value("hidden").toBool());

    EXPECT_EQ(findNode(window, "btnRun").value("iconSize").toArray(), QJsonArray({20, 20}));

    const QJsonObject pages = findNode(window, "pgMain");
    EXPECT_EQ(strings(pages.value("tabs")), QStringList({"浏览", "选项"}));
    EXPECT_EQ(pages.value("current").toInt(), 0);
    // The second page is hidden behind the first; its check box is not hidden itself, but not shown.
    EXPECT_TRUE(findNode(window, "tbsOptions").value("hidden").toBool());
    const QJsonObject check = findNode(window, "chkOn");
    EXPECT_EQ(check.value("class").toString(), "QCheckBox");
    EXPECT_EQ(check.value("text").toString(), "启用");
    EXPECT_EQ(check.value("checkState").toInt(), int(Qt::Checked));
    EXPECT_FALSE(check.value("hidden").toBool());
    EXPECT_FALSE(check.value("shown").toBool());

    // The grid: the model's size and headers, and the cells of the rows in view only.
    const QJsonObject view = findNode(window, "gdMain").value("view").toObject();
    EXPECT_EQ(view.value("rows").toInt(), 40);
    EXPECT_EQ(view.value("columns").toInt(), 3);
    EXPECT_EQ(strings(view.value("headers")), QStringList({"编号", "名称", "备注"}));
    EXPECT_EQ(view.value("widths").toArray().at(1).toInt(), 120);
    // Scrolled to its eleventh row: the rows in view from there.
    EXPECT_EQ(view.value("firstRow").toInt(), 10);
    const QJsonArray cells = view.value("cells").toArray();
    ASSERT_GE(cells.size(), 3);
    EXPECT_LT(cells.size(), 10); // 150 pixels of 20-pixel rows under the header
    EXPECT_EQ(strings(cells.at(0).toObject().value("texts")), QStringList({"R10C0", "R10C1", "R10C2"}));
    EXPECT_EQ(strings(cells.last().toObject().value("texts")).first(),
              QStringLiteral("R%1C0").arg(10 + cells.size() - 1));
    EXPECT_EQ(strings(view.value("rowHeaders")).first(), "11");

    // Text painted by hand, where it was painted (inside the panel).
    const QJsonObject panel = findNode(window, "pnlCaption");
    EXPECT_TRUE(panel.value("ownClass").toString().endsWith("CaptionPanel"))
        << panel.value("ownClass").toString().toStdString();
    EXPECT_EQ(panel.value("class").toString(), "QWidget");
    const QJsonArray painted = panel.value("painted").toArray();
    ASSERT_EQ(painted.size(), 1);
    EXPECT_EQ(painted.at(0).toObject().value("text").toString(), "手绘标题");
    EXPECT_EQ(painted.at(0).toObject().value("font").toObject().value("resolved"),
              window.value("font").toObject().value("resolved"));
    const QJsonArray rect = painted.at(0).toObject().value("rect").toArray();
    EXPECT_GE(rect.at(0).toInt(), 10);
    EXPECT_GE(rect.at(1).toInt(), 0);
    EXPECT_LE(rect.at(1).toInt() + rect.at(3).toInt(), 26);

    // Fonts as set and as resolved; a widget with its parent's font leaves it out.
    EXPECT_FALSE(window.value("font").toObject().value("resolved").toString().isEmpty());
    EXPECT_TRUE(findNode(window, "lblBold").value("font").toObject().value("bold").toBool());
    EXPECT_FALSE(combo.contains("font"));

    // Counts: every widget of the tree; the objects beyond widgets (the action, the grid's model).
    QStringList lines;
    describedLines(window, 0, false, lines);
    EXPECT_EQ(doc.value("widgets").toInt() + 1, lines.size()); // and the painted caption's label
    QStringList shownLines;
    describedLines(window, 0, true, shownLines);
    EXPECT_EQ(doc.value("shown").toInt() + 1, shownLines.size());
    const QJsonObject objects = doc.value("objects").toObject();
    EXPECT_EQ(objects.value("widgets").toInt(), doc.value("widgets").toInt());
    EXPECT_GE(objects.value("actions").toInt(), 1);
    // The grid's model and the combo box's own.
    EXPECT_EQ(objects.value("classes").toObject().value("QStandardItemModel").toInt(), 2);
    EXPECT_EQ(objects.value("total").toInt(),
              objects.value("widgets").toInt() + objects.value("actions").toInt() +
                  objects.value("layouts").toInt() + objects.value("other").toInt());
}

TEST_F(FloorWindowTest, FloorRebuildsTheTestWindow) {
    expectFloorRebuilds(dumpTestWindow());
}

TEST_F(FloorWindowTest, FloorRebuildsTheProgramWindow) {
    QDir().mkpath(tree.clientPath() + "C_PKG");
    ASSERT_TRUE(QFile::link(buildDir() + "/lib/QLDI05C.so", tree.clientPath() + "C_PKG/QLDI05C.so"));
    tree.writeText("client/StaveloC.ini", "[Server Information]\nComputerName=127.0.0.1\n"
                                          "[CodePage]\nUICodePage=936\nDBCodePage=936\n");
    const QString file = tree.root() + "/program.json";
    const PellanRun r = kvxtest::runPellan({"--first-paint", "--dump-widgets", file});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject window = readJson(file).value("window").toObject();
    EXPECT_EQ(window.value("ownClass").toString(), "kvx::TfrmQldi05");
    EXPECT_EQ(findNode(window, "MainMenu").value("class").toString(), "QMenuBar");
    // The first packet is in the browse grid (a table view inside gdHead), though its page is not shown.
    QJsonObject view;
    for (const QJsonValue& child : findNode(window, "gdHead").value("children").toArray())
        if (child.toObject().value("class").toString() == "QTableView")
            view = child.toObject().value("view").toObject();
    EXPECT_EQ(view.value("rows").toInt(), 20);
    EXPECT_EQ(strings(view.value("headers")).first(), "文档编号");
    ASSERT_FALSE(view.value("cells").toArray().isEmpty());
    EXPECT_EQ(strings(view.value("cells").toArray().at(0).toObject().value("texts")).first(), "ACPTA");
    expectFloorRebuilds(file);
}

TEST_F(FloorWindowTest, MissingOrMalformedDescriptionIsAClearError) {
    const FloorRun missing = runFloor({tree.root() + "/none.json"});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_FALSE(missing.painted);
    EXPECT_TRUE(missing.err.contains("cannot read")) << missing.err.toStdString();

    const FloorRun broken = runFloor({writeFile("broken.json", "{\"format\": 1, \"window\": {")});
    EXPECT_NE(broken.exitCode, 0);
    EXPECT_TRUE(broken.err.contains("is not JSON")) << broken.err.toStdString();

    const FloorRun other = runFloor({writeFile("other.json", "{\"format\": 1, \"widgets\": []}")});
    EXPECT_NE(other.exitCode, 0);
    EXPECT_TRUE(other.err.contains("not a widget description")) << other.err.toStdString();

    // A child without geometry: named by its place in the tree.
    const FloorRun partial = runFloor({writeFile(
        "partial.json", "{\"format\": 1, \"window\": {\"class\": \"QWidget\", \"geometry\": [0, 0, 100, 50], "
                        "\"children\": [{\"class\": \"QLabel\", \"text\": \"x\"}]}}")});
    EXPECT_NE(partial.exitCode, 0);
    EXPECT_FALSE(partial.painted);
    EXPECT_TRUE(partial.err.contains("window/0 (QLabel): no geometry")) << partial.err.toStdString();

    const FloorRun noFile = runFloor({});
    EXPECT_NE(noFile.exitCode, 0);
    EXPECT_TRUE(noFile.err.contains("usage")) << noFile.err.toStdString();
}

TEST_F(FloorWindowTest, UnwritableDescriptionFailsPellan) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QLDI99C_WINDOW", "widgets");
    const PellanRun r = kvxtest::runPellan({"--module", buildDir() + "/lib/QLDI99C.so", "--first-paint",
                                            "--dump-widgets", tree.root() + "/no/such/folder/widgets.json"},
                                           env);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("cannot write")) << r.err.toStdString();
}

} // namespace
