// Data sources and data links: how data-aware controls and grids follow a client dataset.
//
// A TDataSource connects one dataset with any number of data links. The dataset reports its events
// (TDataEvent) to its data sources; an enabled data source runs its own handlers and passes the event
// on to its links, which turn it into the calls a control needs (record changed, scrolled, editing
// changed, update your pending edit, ...). A TFieldDataLink binds one control to one field.
#pragma once

#include "ClientDataSet.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <functional>

namespace kvx {

class TDataLink;

using TDataChangeEvent = std::function<void(class TDataSource* sender, TField* field)>;
using TDataSourceNotifyEvent = std::function<void(class TDataSource* sender)>;

class TDataSource : public QObject {
    Q_OBJECT
    Q_PROPERTY(kvx::TClientDataSet* DataSet READ DataSet WRITE SetDataSet)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool AutoEdit READ AutoEdit WRITE SetAutoEdit)

public:
    explicit TDataSource(QObject* owner = nullptr);
    ~TDataSource() override;

    TClientDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TClientDataSet* dataSet);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool AutoEdit() const { return autoEdit_; }
    void SetAutoEdit(bool v) { autoEdit_ = v; }
    // The dataset's state, dsInactive without an active dataset or while disabled.
    TDataSetState State() const;
    // Puts the dataset into edit state when AutoEdit is on and it is browsing.
    void Edit();

    TDataChangeEvent OnDataChange; // field is the changed field, or nullptr for the whole record
    TDataSourceNotifyEvent OnStateChange;
    TDataSourceNotifyEvent OnUpdateData;

    // Used by the dataset and the links.
    void notifyDataEvent(TDataEvent event, TField* field);
    void dataSetDestroyed(TClientDataSet* dataSet);
    void addLink(TDataLink* link);
    void removeLink(TDataLink* link);
    const QList<TDataLink*>& links() const { return links_; }

signals:
    void dataChange(kvx::TField* field);
    void stateChange();
    void updateData();

private:
    void notifyLinks(TDataEvent event, TField* field);
    void activeChanged();

    QPointer<TClientDataSet> dataSet_;
    bool enabled_ = true;
    bool autoEdit_ = true;
    QList<TDataLink*> links_;
};

// Base of the links: override the hooks a control needs.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* ds);
    TClientDataSet* DataSet() const { return dataSource_ ? dataSource_->DataSet() : nullptr; }
    // Active: an enabled data source on an open dataset.
    bool Active() const { return active_; }
    bool Editing() const { return editing_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v) { readOnly_ = v; }
    // Puts the dataset into edit state (AutoEdit permitting); returns whether it is editing.
    bool Edit();

    // Called by the data source.
    void dataEvent(TDataEvent event, TField* field);
    void detachFromSource() {
        dataSource_ = nullptr;
        updateActive();
    }

protected:
    virtual void ActiveChanged() {}
    virtual void EditingChanged() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int /*distance*/) { DataSetChanged(); }
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField* /*field*/) {}
    virtual void UpdateData() {}
    virtual void CheckBrowseMode() {}

private:
    void updateActive();
    void updateEditing();

    TDataSource* dataSource_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool readOnly_ = false;
};

// Binds one control to one field of the data source's dataset. The control supplies handlers:
// OnDataChange (show the field's value), OnEditingChange, OnUpdateData (write the pending text into
// the field, called before a post), OnActiveChange, OnFocusControl.
class TFieldDataLink : public TDataLink {
public:
    TFieldDataLink() = default;
    ~TFieldDataLink() override;

    QString FieldName() const { return fieldName_; }
    void SetFieldName(const QString& name);
    TField* Field() const { return field_; }
    QObject* Control() const { return control_; }
    void SetControl(QObject* control) { control_ = control; }
    // The field can be written: active link, writable dataset and field, not read-only.
    bool CanModify() const;
    // Marks the control's text as changed; UpdateRecord writes it.
    void Modified() { modified_ = true; }
    bool IsModified() const { return modified_; }
    // Discards the control's pending change and shows the field again.
    void Reset();
    // Writes a pending change now (OnUpdateData).
    void UpdateRecord();

    std::function<void()> OnDataChange;
    std::function<void()> OnEditingChange;
    std::function<void()> OnUpdateData;
    std::function<void()> OnActiveChange;
    std::function<void()> OnFocusControl;

protected:
    void ActiveChanged() override;
    void EditingChanged() override;
    void LayoutChanged() override;
    void RecordChanged(TField* field) override;
    void UpdateData() override;

private:
    void resolveField();

    QString fieldName_;
    TField* field_ = nullptr;
    QPointer<TField> fieldGuard_;
    QMetaObject::Connection focusConnection_;
    QObject* control_ = nullptr;
    bool modified_ = false;
};

} // namespace kvx
