#include "XlsxReader.h"

#include <QProcess>
#include <QRegularExpression>

#include <pugixml.hpp>

namespace kvxtest {

namespace {

QString builtinFormat(int id) {
    switch (id) {
    case 0:
        return QStringLiteral("General");
    case 1:
        return QStringLiteral("0");
    case 2:
        return QStringLiteral("0.00");
    case 3:
        return QStringLiteral("#,##0");
    case 4:
        return QStringLiteral("#,##0.00");
    case 49:
        return QStringLiteral("@");
    default:
        return QStringLiteral("builtin:%1").arg(id);
    }
}

QString rgbOf(const pugi::xml_node& color) {
    const QString argb = QString::fromUtf8(color.attribute("rgb").value());
    return argb.size() == 8 ? argb.mid(2).toUpper() : argb.toUpper();
}

// "AB12" -> (12, 28)
QPair<int, int> position(const QString& ref) {
    int col = 0, i = 0;
    while (i < ref.size() && ref[i].isLetter())
        col = col * 26 + (ref[i++].toUpper().unicode() - 'A' + 1);
    return {ref.mid(i).toInt(), col};
}

QString textOf(const pugi::xml_node& node) {
    // <t> directly, or rich-text runs <r><t>.
    QString out;
    for (pugi::xml_node t : node.children("t"))
        out += QString::fromUtf8(t.text().get());
    for (pugi::xml_node r : node.children("r"))
        out += QString::fromUtf8(r.child("t").text().get());
    return out;
}

} // namespace

QByteArray XlsxReader::part(const QString& name) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), file_, name});
    if (!unzip.waitForFinished(120000) || unzip.exitCode() != 0) return {};
    return unzip.readAllStandardOutput();
}

XlsxReader::XlsxReader(const QString& fileName) : file_(fileName) {
    pugi::xml_document wb, rels, styles, shared;
    const QByteArray wbXml = part(QStringLiteral("xl/workbook.xml"));
    if (wbXml.isEmpty() || !wb.load_buffer(wbXml.constData(), size_t(wbXml.size()))) {
        error_ = QStringLiteral("no workbook part in ") + fileName;
        return;
    }
    const QByteArray relXml = part(QStringLiteral("xl/_rels/workbook.xml.rels"));
    rels.load_buffer(relXml.constData(), size_t(relXml.size()));
    QMap<QString, QString> targets;
    for (pugi::xml_node r : rels.child("Relationships").children("Relationship"))
        targets.insert(QString::fromUtf8(r.attribute("Id").value()),
                       QString::fromUtf8(r.attribute("Target").value()));

    // Styles: number formats, fonts, fills, cell formats.
    QMap<int, QString> numFmts;
    QList<QPair<QString, QPair<bool, bool>>> fonts; // colour, (bold, italic)
    QStringList fills;
    struct Xf {
        int numFmt = 0, font = 0, fill = 0;
    };
    QList<Xf> xfs;
    const QByteArray stXml = part(QStringLiteral("xl/styles.xml"));
    if (styles.load_buffer(stXml.constData(), size_t(stXml.size()))) {
        const pugi::xml_node ss = styles.child("styleSheet");
        for (pugi::xml_node f : ss.child("numFmts").children("numFmt"))
            numFmts.insert(f.attribute("numFmtId").as_int(),
                           QString::fromUtf8(f.attribute("formatCode").value()));
        for (pugi::xml_node f : ss.child("fonts").children("font"))
            fonts.append({rgbOf(f.child("color")), {bool(f.child("b")), bool(f.child("i"))}});
        for (pugi::xml_node f : ss.child("fills").children("fill")) {
            const pugi::xml_node p = f.child("patternFill");
            fills.append(QString::fromUtf8(p.attribute("patternType").value()) == QLatin1String("solid")
                             ? rgbOf(p.child("fgColor"))
                             : QString());
        }
        for (pugi::xml_node x : ss.child("cellXfs").children("xf"))
            xfs.append({x.attribute("numFmtId").as_int(), x.attribute("fontId").as_int(),
                        x.attribute("fillId").as_int()});
    }
    QStringList sharedStrings;
    const QByteArray shXml = part(QStringLiteral("xl/sharedStrings.xml"));
    if (!shXml.isEmpty() && shared.load_buffer(shXml.constData(), size_t(shXml.size())))
        for (pugi::xml_node si : shared.child("sst").children("si"))
            sharedStrings.append(textOf(si));

    for (pugi::xml_node s : wb.child("workbook").child("sheets").children("sheet")) {
        sheetNames_.append(QString::fromUtf8(s.attribute("name").value()));
        QString target = targets.value(QString::fromUtf8(s.attribute("r:id").value()));
        if (target.startsWith(QLatin1Char('/')))
            target = target.mid(1);
        else
            target = QStringLiteral("xl/") + target;
        pugi::xml_document sheet;
        const QByteArray xml = part(target);
        QMap<QPair<int, int>, XlsxCell> cells;
        if (!sheet.load_buffer(xml.constData(), size_t(xml.size()))) {
            error_ = QStringLiteral("sheet part %1 unreadable").arg(target);
            return;
        }
        for (pugi::xml_node row : sheet.child("worksheet").child("sheetData").children("row"))
            for (pugi::xml_node c : row.children("c")) {
                XlsxCell cell;
                const QString t = QString::fromUtf8(c.attribute("t").value());
                if (t == QLatin1String("s")) {
                    cell.type = QStringLiteral("s");
                    cell.value = sharedStrings.value(c.child("v").text().as_int());
                } else if (t == QLatin1String("inlineStr") || t == QLatin1String("str")) {
                    cell.type = QStringLiteral("s");
                    cell.value = t == QLatin1String("str") ? QString::fromUtf8(c.child("v").text().get())
                                                           : textOf(c.child("is"));
                } else if (t == QLatin1String("b")) {
                    cell.type = QStringLiteral("b");
                    cell.value = QString::fromUtf8(c.child("v").text().get());
                } else {
                    cell.type = c.child("v") ? QStringLiteral("n") : QString();
                    cell.value = QString::fromUtf8(c.child("v").text().get());
                }
                const int s = c.attribute("s").as_int();
                const Xf xf = s < xfs.size() ? xfs[s] : Xf();
                cell.numberFormat =
                    numFmts.contains(xf.numFmt) ? numFmts.value(xf.numFmt) : builtinFormat(xf.numFmt);
                if (xf.font < fonts.size() && xf.font > 0) {
                    cell.fontColor = fonts[xf.font].first;
                    cell.bold = fonts[xf.font].second.first;
                    cell.italic = fonts[xf.font].second.second;
                }
                if (xf.fill < fills.size()) cell.fillColor = fills[xf.fill];
                cells.insert(position(QString::fromUtf8(c.attribute("r").value())), cell);
            }
        sheets_.append(cells);
    }
}

int XlsxReader::rowCount(int sheet) const {
    int n = 0;
    for (auto it = sheets_[sheet].begin(); it != sheets_[sheet].end(); ++it)
        n = std::max(n, it.key().first);
    return n;
}

} // namespace kvxtest
