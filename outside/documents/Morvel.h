// The attachment window "Morvel.Class1": lists the files attached to one record of a program (rows of
// ATTACH by program, company and key string), adds a file, opens one, removes one. The files are copied
// into the document store; the rows are written through the counter object's attachment methods.
//
// Automation members: Init(company, user, program, key string, key names, mode), ParentHandle,
// ShowModal, and AddFile(path) / Files() / RemoveFile(document id) for unattended use.
#pragma once

#include "DocumentStore.h"
#include "platform/Automation.h"

#include <QDialog>

class QTableWidget;

namespace kvxdoc {

struct Attachment {
    QString docId, fileName, creator, date;
};

class AttachmentObject : public kvx::DispatchObject {
public:
    AttachmentObject();

    QList<Attachment> files();
    // Copies the file into the store and records it; returns the new document id.
    QString addFile(const QString& path);
    void removeFile(const QString& docId);
    QString storedPath(const Attachment& a) const;
    int showModal();

private:
    CounterLink link_;
    QString company_, user_, program_, key_, keyNames_, mode_;
    qint64 parentHandle_ = 0;
};

// The window ShowModal shows.
class AttachmentDialog : public QDialog {
    Q_OBJECT
public:
    AttachmentDialog(AttachmentObject& owner, const QString& title, QWidget* parent = nullptr);
    QTableWidget* table() const { return table_; }
    void reload();

private:
    AttachmentObject& owner_;
    QTableWidget* table_;
    QList<Attachment> rows_;
};

} // namespace kvxdoc
