// Name=value lines: the string lists in which system parameters and login information are kept.
// A line's name is the text before its first "="; names compare without case.
#pragma once

#include <QStringList>

namespace server {

// Index of the first line named `name`, -1 when there is none.
inline int IndexOfName(const QStringList& lines, const QString& name) {
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        const int eq = line.indexOf(QLatin1Char('='));
        const QStringView lineName = eq < 0 ? QStringView(line) : QStringView(line).left(eq);
        if (lineName.compare(name, Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
}

// Value of the line named `name`; empty when there is none.
inline QString ValueOfName(const QStringList& lines, const QString& name) {
    const int i = IndexOfName(lines, name);
    if (i < 0) return {};
    const QString& line = lines[i];
    const int eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : line.mid(eq + 1);
}

// Replaces the line named `name` by name=value, or appends one.
inline void SetValueOfName(QStringList& lines, const QString& name, const QString& value) {
    const QString line = name + QLatin1Char('=') + value;
    const int i = IndexOfName(lines, name);
    if (i < 0)
        lines.append(line);
    else
        lines[i] = line;
}

} // namespace server
