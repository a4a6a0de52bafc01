#include "UserDefines.h"

#include <QRegularExpression>
#include <pugixml.hpp>
#include <sstream>

namespace kvxsrv {

namespace {
QString scopeOf(const QString& program) {
    const QString p = program.trimmed().toUpper();
    return (p.isEmpty() || p == QLatin1String(UserDefines::kAllPrograms) || p == QLatin1String("*"))
               ? QStringLiteral("*")
               : p;
}

bool parse(pugi::xml_document& doc, const QString& text) {
    return bool(doc.load_string(text.toUtf8().constData()));
}

QString toText(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration);
    return QString::fromStdString(out.str());
}

bool validName(const QString& n) {
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.-]*$"));
    return re.match(n).hasMatch();
}

// Splits a path into its section and the element names below it; empty section when malformed.
QStringList splitPath(const QString& path) {
    const QStringList parts = path.trimmed().split(QLatin1Char('/'));
    for (const QString& p : parts)
        if (!validName(p)) return {};
    return parts;
}
} // namespace

QString UserDefines::section(const QString& company, const QString& user, const QString& scope,
                             const QString& name, bool* found) {
    const QVariant v = s_.scalar(
        QStringLiteral("SELECT UD005 FROM USRDEF WHERE UD001 = ? AND UD002 = ? AND UD003 = ? AND UD004 = ?"),
        {company, user, scope, name});
    *found = v.isValid();
    return v.toString();
}

QString UserDefines::get(const QString& company, const QString& user, const QString& program,
                         const QString& path) {
    const QStringList parts = splitPath(path);
    if (parts.isEmpty()) return {};
    bool found = false;
    QString text;
    // The program's own section first, then the one written for all programs.
    for (const QString& scope : {scopeOf(program), QStringLiteral("*")}) {
        if (found) break;
        text = section(company, user, scope, parts[0], &found);
        if (found && parts.size() > 1) {
            pugi::xml_document doc;
            pugi::xml_node e = parse(doc, text) ? doc.document_element() : pugi::xml_node();
            for (int i = 1; i < parts.size() && e; ++i)
                e = e.child(parts[i].toUtf8().constData());
            found = bool(e);
            text = found ? QString::fromUtf8(e.text().get()) : QString();
        }
    }
    return found ? text : QString();
}

QString UserDefines::set(const QString& company, const QString& user, const QString& program,
                         const QString& path, const QString& value) {
    if (company.trimmed().isEmpty() || user.trimmed().isEmpty())
        return QStringLiteral("公司和用户不可空白 (company and user are required)");
    const QString scope = scopeOf(program);
    if (scope.size() > 10 && scope != QLatin1String("*"))
        return QStringLiteral("程序代号过长 (program code too long): %1").arg(program);
    QString name, text;
    if (path.trimmed() == QLatin1String(".")) {
        pugi::xml_document doc;
        const pugi::xml_parse_result parsed = doc.load_string(value.toUtf8().constData());
        if (!parsed || !doc.document_element())
            return QStringLiteral("设置内容不是有效的XML (the value is not an XML document): %1")
                .arg(QString::fromUtf8(parsed.description()));
        name = QString::fromUtf8(doc.document_element().name());
        if (!validName(name)) return QStringLiteral("设置路径无效 (invalid section name): %1").arg(name);
        text = value;
    } else {
        const QStringList parts = splitPath(path);
        if (parts.isEmpty()) return QStringLiteral("设置路径无效 (invalid path): %1").arg(path);
        name = parts[0];
        bool found = false;
        pugi::xml_document doc;
        const QString current = section(company, user, scope, name, &found);
        if (!found || !parse(doc, current) || !doc.document_element()) {
            doc.reset();
            doc.append_child(name.toUtf8().constData());
        }
        pugi::xml_node e = doc.document_element();
        for (int i = 1; i < parts.size(); ++i) {
            const QByteArray n = parts[i].toUtf8();
            pugi::xml_node child = e.child(n.constData());
            e = child ? child : e.append_child(n.constData());
        }
        // The element's (or, for a bare section name, the section's) whole content becomes the value.
        while (e.first_child())
            e.remove_child(e.first_child());
        e.text().set(value.toUtf8().constData());
        text = toText(doc);
    }
    try {
        Storage::Transaction tx(s_);
        s_.exec(
            QStringLiteral("DELETE FROM USRDEF WHERE UD001 = ? AND UD002 = ? AND UD003 = ? AND UD004 = ?"),
            {company.trimmed(), user.trimmed(), scope, name});
        s_.exec(
            QStringLiteral("INSERT INTO USRDEF (UD001, UD002, UD003, UD004, UD005) VALUES (?, ?, ?, ?, ?)"),
            {company.trimmed(), user.trimmed(), scope, name, text});
        tx.commit();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

} // namespace kvxsrv
