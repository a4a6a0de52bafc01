// FieldBinding: what a data-aware control holds to reach its field - the data source and the field
// name as published properties (DataSource, DataField) and the reading and writing of the field's
// text through the platform's field data link.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

namespace kvx {

class FieldBinding : public QObject {
    Q_OBJECT
public:
    explicit FieldBinding(QObject* control);
    ~FieldBinding() override;

    QObject* dataSource() const;
    void setDataSource(QObject* source);
    QString dataField() const { return field_; }
    void setDataField(const QString& name);

    // A field is bound: the source has an open dataset with the named field.
    bool isBound() const;
    // The field's text for display, for editing, and its data type name ("String", "Integer", ...).
    QString displayText() const;
    QString editText() const;
    bool isNull() const;
    // The field's edit mask and size (0 when none).
    QString editMask() const;
    int size() const;
    // The control may change the field: bound, field writable, dataset editable, source enabled.
    bool canModify() const;
    // Puts the dataset into edit state (the first keystroke in a control does so); false when it cannot.
    bool edit();
    // Writes text into the field (through its set-text handler); false when refused.
    bool write(const QString& text);
    bool clear();
    // The dataset is in edit or insert state.
    bool editing() const;
    // The control holds a change not yet written.
    bool modified() const { return modified_; }
    void setModified(bool on) { modified_ = on; }

signals:
    // The record moved or the field's value changed: the control reloads its text.
    void dataChanged();
    // The dataset changed state (browse, edit, insert, inactive).
    void stateChanged();
    // The dataset is about to post: the control writes what it holds.
    void updateData();

private:
    class Link;
    void rebuild();

    QString field_;
    bool modified_ = false;
    Link* link_ = nullptr;
    QPointer<QObject> source_;
};

} // namespace kvx
