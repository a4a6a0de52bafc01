#include "KnlBase.h"

#include "KnlRadical.h"
#include "Log.h"
#include "RadicalCD.h"
#include "platform/DataSource.h"
#include "platform/IniFile.h"
#include "server/LibStrs.h"
#include "server/StaveloINI.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

namespace kvx {

bool OpenWithCondition(TClientDataSet* ds, const QString& condition, const QString& order, QString* error) {
    ds->Close();
    const QString cond =
        condition.trimmed().compare(QLatin1String("All"), Qt::CaseInsensitive) == 0 ? QString() : condition;
    const bool gui = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (gui) QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([gui] {
        if (gui) QApplication::restoreOverrideCursor();
    });
    try {
        ds->DataRequest(Variant::fromList({KVStrToWideString(cond, 936), order}));
        ds->Open();
        return true;
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what());
        WriteToAlertFile(QStringLiteral("knlBase-103"), text, QStringLiteral("D"));
        qCWarning(lcData) << "opening" << ds->objectName() << "with a condition failed:" << text;
        if (error) *error = text;
        return false;
    }
}

void FetchNextPacketAtEnd(TClientDataSet* ds, TDataSource* source) {
    if (!ds->Eof() || ds->State() != TDataSetState::dsBrowse) return;
    ds->DisableControls();
    const TDataChangeEvent handler = source ? source->OnDataChange : TDataChangeEvent{};
    if (source) source->OnDataChange = {};
    const auto restore = qScopeGuard([&] {
        if (source) source->OnDataChange = handler;
        ds->EnableControls();
    });
    ds->GetNextPacket();
}

void NextPacketOrLast(TClientDataSet* ds) {
    if (ds->Eof())
        ds->GetNextPacket();
    else
        ds->Last();
}

namespace {

void emptyNested(TClientDataSet* ds);

void deleteAll(TClientDataSet* ds) {
    TControlsDisabled disabled(ds);
    while (!ds->IsEmpty()) {
        ds->Last();
        emptyNested(ds);
        ds->Delete();
    }
}

void emptyNested(TClientDataSet* ds) {
    for (TClientDataSet* nested : ds->NestedDataSets())
        if (nested->Active()) deleteAll(nested);
}

} // namespace

bool DeleteRecordCascade(TClientDataSet* ds, bool nested, bool detachEvents) {
    TDataSetNotifyEvent afterDelete, afterScroll, beforeDelete, beforeScroll;
    if (detachEvents) {
        std::swap(afterDelete, ds->AfterDelete);
        std::swap(afterScroll, ds->AfterScroll);
        std::swap(beforeDelete, ds->BeforeDelete);
        std::swap(beforeScroll, ds->BeforeScroll);
    }
    const auto restore = qScopeGuard([&] {
        if (!detachEvents) return;
        ds->AfterDelete = afterDelete;
        ds->AfterScroll = afterScroll;
        ds->BeforeDelete = beforeDelete;
        ds->BeforeScroll = beforeScroll;
    });
    if (nested && IsNestedDetail(ds)) {
        deleteAll(ds);
    } else if (!ds->IsEmpty()) {
        emptyNested(ds);
        ds->Delete();
    }
    return true;
}

bool FindEmptyRequiredField(TClientDataSet* ds, const QString& spec, TField*& field) {
    field = nullptr;
    for (const QString& group : spec.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int colon = group.indexOf(QLatin1Char(':'));
        if (colon < 0) continue;
        if (group.left(colon).trimmed().compare(ds->objectName(), Qt::CaseInsensitive) != 0) continue;
        for (const QString& name : group.mid(colon + 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            TField* f = ds->FindField(name.trimmed());
            if (!f || f->ReadOnly() || !f->Visible() || !f->IsDataField()) continue;
            if (f->Text().trimmed().isEmpty()) {
                field = f;
                return true;
            }
        }
        return false;
    }
    return false;
}

int FindToken(const QString& word, const QString& text) {
    if (word.isEmpty()) return 0;
    static const QString separators = QStringLiteral("\r\n ,:;");
    int from = 0;
    while (true) {
        const int p = text.indexOf(word, from);
        if (p < 0) return 0;
        const bool before = p == 0 || separators.contains(text[p - 1]);
        const int end = p + int(word.size());
        const bool after = end >= text.size() || separators.contains(text[end]);
        if (before && after) return p + 1;
        from = p + 1;
    }
}

// --- grid views -------------------------------------------------------------------------------------------

namespace {

QString withSlash(QString path) {
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path;
}

QString sectionOf(TClientDataSet* ds, int bodyIndex) {
    const QString name = ds->objectName();
    if (bodyIndex >= 0 && name.toUpper().contains(QLatin1String("CDSBODY")))
        return name + QLatin1Char('_') + QString::number(bodyIndex);
    return name;
}

} // namespace

QString GridViewBaseFolder() {
    TStaveloIniC ini;
    const QString configFile = (ini.ConfigPath.isEmpty() ? ini.ClientPath : withSlash(ini.ConfigPath)) +
                               QStringLiteral("StaveloC.ini");
    const QString def = ini.ClientPath + QStringLiteral("c_Data/");
    const IniFile file(configFile);
    const QString path =
        file.readString(QStringLiteral("Client Components"), QStringLiteral("GridViewDataPath"), def);
    return withSlash(path.isEmpty() ? def : MakeFullPath(path, ini.ClientPath));
}

QString GridViewFolder(const QString& subFolder) {
    const QString base = GridViewBaseFolder();
    return subFolder.isEmpty() ? base : base + subFolder + QLatin1Char('/');
}

void SaveGridView(const QString& subFolder, const QString& baseName, TClientDataSet* ds, int bodyIndex) {
    if (ds->objectName().isEmpty()) return;
    const QString folder = GridViewFolder(subFolder);
    if (!QDir().mkpath(folder)) {
        qCWarning(lcData) << "cannot create the grid-view folder" << folder;
        return;
    }
    IniFile file(folder + baseName + QStringLiteral(".ugs"));
    const QString section = sectionOf(ds, bodyIndex);
    file.eraseSection(section);
    for (TField* f : ds->Fields()) {
        QString value = QString::number(f->Index()) + QLatin1Char(';') + QString::number(f->DisplayWidth());
        if (f->IsNumeric()) value += QLatin1Char(';') + f->DisplayFormat();
        if (!file.writeString(section, f->FieldName(), value))
            qCWarning(lcData) << "cannot write the grid-view file" << file.fileName();
    }
}

void LoadGridView(const QString& subFolder, const QString& baseName, TClientDataSet* ds, int bodyIndex) {
    try {
        const QString fileName = baseName + QStringLiteral(".ugs");
        QString path = GridViewFolder(subFolder) + fileName;
        if (!QFileInfo::exists(path)) path = GridViewBaseFolder() + fileName;
        if (!QFileInfo::exists(path)) return;
        const IniFile file(path);
        const TFieldUpdate batch(ds); // the grids follow the whole view at once
        for (const QString& line : file.readSectionValues(sectionOf(ds, bodyIndex))) {
            const int eq = line.indexOf(QLatin1Char('='));
            if (eq < 0) continue;
            const QString value = line.mid(eq + 1);
            if (value.isEmpty()) continue;
            TField* f = ds->FindField(line.left(eq).trimmed());
            if (!f) continue;
            const QStringList parts = value.split(QLatin1Char(';'));
            bool okIndex = false, okWidth = false;
            const int index = parts.value(0).trimmed().toInt(&okIndex);
            const int width = parts.value(1).trimmed().toInt(&okWidth);
            if (!okIndex || !okWidth) continue; // malformed entry
            const QString format = parts.mid(2).join(QLatin1Char(';'));
            f->SetDisplayWidth(width);
            if (f->IsNumeric() && !format.trimmed().isEmpty()) f->SetDisplayFormat(format);
            if (index >= 0 && index < ds->FieldCount()) f->SetIndex(index);
        }
    } catch (const std::exception& e) {
        qCWarning(lcData) << "grid view of" << ds->objectName() << "not loaded:" << e.what();
    }
}

QList<VariantList> AnswerRows(const Variant& v) {
    QList<VariantList> rows;
    if (!v.isArray()) return rows;
    if (v.dimCount() == 2) {
        for (int i = v.lowBound(1); i <= v.highBound(1); ++i) {
            VariantList row;
            for (int j = v.lowBound(2); j <= v.highBound(2); ++j)
                row.append(v.at(i, j));
            rows.append(row);
        }
        return rows;
    }
    for (const Variant& r : v.toList())
        rows.append(r.isArray() ? r.toList() : VariantList{r});
    return rows;
}

} // namespace kvx
