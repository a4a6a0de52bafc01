// FieldBinding: what a data-aware control holds to reach its field - the data source and the field
// name as published properties (DataSource, DataField) and the reading and writing of the field's
// text through the platform's field data link.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

namespace kvx {

class TDataSource;
class TField;
class TFieldDataLink;

class FieldBinding : public QObject {
    Q_OBJECT
public:
    explicit FieldBinding(QObject* control);
    ~FieldBinding() override;

    QObject* dataSource() const;
    void setDataSource(QObject* source);
    QString dataField() const;
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
    // Whether `text` fits the field: a string field holds at most Size bytes in its dataset's database
    // code page (a Chinese character takes two), an integer field only what makes an integer.
    bool fits(const QString& text) const;
    bool isIntegerField() const;
    // The control may change the field: bound, field writable, dataset editable, source enabled.
    bool canModify() const;
    // Puts the dataset into edit state (the first keystroke in a control does so); false when it cannot.
    bool edit();
    // Writes text into the field (through its set-text handler); false when refused.
    bool write(const QString& text);
    bool clear();
    // Drops the control's pending change and reports a data change.
    void Reset();
    // The dataset is in edit or insert state.
    bool editing() const;
    // The control holds a change not yet written (typing marks it; writing or reloading clears it).
    bool modified() const;
    void setModified(bool on);
    TField* field() const;
    TDataSource* source() const;

    // Runs a dataset operation for a control: a refusal by a handler (abort) is silent, any other
    // error is shown in an error message box. Returns whether it succeeded.
    static bool guarded(QWidget* parent, const std::function<void()>& op);

signals:
    // The record moved or the field's value changed: the control reloads its text.
    void dataChanged();
    // The dataset changed state (browse, edit, insert, inactive).
    void stateChanged();
    // The dataset is about to post: the control writes what it holds.
    void updateData();

private:
    QWidget* controlWidget() const;

    std::unique_ptr<TFieldDataLink> link_;
    QPointer<QObject> source_;
};

// The published DataField / DataSource accessors of a data-aware control, written once for all of them:
// a control derives from this beside its widget class and hands it the binding it owns (a Qt child).
class DataAwareControl {
public:
    QString DataField() const { return binding_->dataField(); }
    void setDataField(const QString& name) { binding_->setDataField(name); }
    QObject* DataSource() const { return binding_->dataSource(); }
    void setDataSource(QObject* source) { binding_->setDataSource(source); }
    FieldBinding* binding() const { return binding_; }

protected:
    explicit DataAwareControl(FieldBinding* binding) : binding_(binding) {}
    ~DataAwareControl() = default;

    FieldBinding* const binding_;
};

} // namespace kvx
