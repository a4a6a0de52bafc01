// An in-memory scheme store standing in for the data module's saved conditions, with the server's
// rules (unique name per user and program, owners alone change a scheme, group sharing), and a window
// menu that records the dialog's hooks.
#pragma once

#include "query/QBESchemes.h"

#include <QStringList>

class MemorySchemeStore : public kvx::TQBESchemeStore {
public:
    QString user = QStringLiteral("CLERK");
    QHash<QString, QString> groups{{"CLERK", "SALES"}, {"MGR", "SALES"}, {"BUYER", "PURCH"}};
    QList<kvx::TQBEScheme> rows;
    QString failWith; // the next changing call answers this
    QStringList calls;

    QString UserID() const override { return user; }
    QString Load(QList<kvx::TQBEScheme>& out) override {
        calls << "Load";
        out.clear();
        for (const auto& s : rows)
            if (s.creator == user || (s.shared && groups.value(s.creator) == groups.value(user))) out << s;
        return {};
    }
    QString Insert(const QString& name, const QString& text, int page, bool replace) override {
        calls << "Insert " + name;
        if (QString f = take(); !f.isEmpty()) return f;
        if (auto* s = own(name)) {
            if (!replace) return "exists";
            s->text = text;
            s->activePage = page;
            return {};
        }
        rows << kvx::TQBEScheme{name, user, "20261209", text, page, false, false};
        return {};
    }
    QString Delete(const QString& name) override {
        calls << "Delete " + name;
        if (QString f = take(); !f.isEmpty()) return f;
        for (int i = 0; i < rows.size(); ++i)
            if (rows[i].name == name && rows[i].creator == user) {
                rows.removeAt(i);
                return {};
            }
        return "no such scheme";
    }
    QString Rename(const QString& oldName, const QString& newName) override {
        calls << "Rename " + oldName + " -> " + newName;
        if (QString f = take(); !f.isEmpty()) return f;
        if (own(newName)) return "exists";
        kvx::TQBEScheme* s = own(oldName);
        if (!s) return "no such scheme";
        s->name = newName;
        return {};
    }
    bool Exists(const QString& name) override { return own(name) != nullptr; }
    std::optional<kvx::TQBEScheme> Find(const QString& name, const QString& creator) override {
        for (const auto& s : rows)
            if (s.name == name && s.creator == creator) return s;
        return std::nullopt;
    }
    QString Share(const QString& name, bool shared) override {
        calls << QStringLiteral("Share %1 %2").arg(name).arg(shared);
        kvx::TQBEScheme* s = own(name);
        if (!s) return "no such scheme";
        s->shared = shared;
        return {};
    }
    QString SetDefault(const QString& name, bool on) override {
        calls << QStringLiteral("Default %1 %2").arg(name).arg(on);
        if (!own(name)) return "no such scheme";
        for (auto& s : rows)
            if (s.creator == user) s.isDefault = on && s.name == name;
        return {};
    }
    kvx::TQBEScheme* own(const QString& name) {
        for (auto& s : rows)
            if (s.name == name && s.creator == user) return &s;
        return nullptr;
    }

private:
    QString take() {
        QString f = failWith;
        failWith.clear();
        return f;
    }
};

class RecordingSchemeMenu : public kvx::TQBESchemeMenu {
public:
    int rebuilds = 0;
    QList<QPair<QString, QString>> renames;
    void SchemeMenuRebuild() override { ++rebuilds; }
    void SchemeMenuRename(const QString& o, const QString& n) override { renames << qMakePair(o, n); }
};
