#include "DataSource.h"

namespace kvx {

// --- TDataSource -----------------------------------------------------------------------------------

TDataSource::TDataSource(QObject* owner) : QObject(owner) {}

TDataSource::~TDataSource() {
    if (dataSet_) dataSet_->unregisterDataSource(this);
    const QList<TDataLink*> links = links_;
    links_.clear();
    for (TDataLink* l : links)
        l->detachFromSource();
}

void TDataSource::SetDataSet(TClientDataSet* dataSet) {
    if (dataSet_ == dataSet) return;
    if (dataSet_) dataSet_->unregisterDataSource(this);
    dataSet_ = dataSet;
    if (dataSet_) dataSet_->registerDataSource(this);
    activeChanged();
}

void TDataSource::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    activeChanged();
}

TDataSetState TDataSource::State() const {
    return dataSet_ && enabled_ ? dataSet_->State() : TDataSetState::dsInactive;
}

void TDataSource::Edit() {
    if (autoEdit_ && State() == TDataSetState::dsBrowse) dataSet_->Edit();
}

void TDataSource::activeChanged() {
    for (TDataLink* l : QList<TDataLink*>(links_))
        l->dataEvent(TDataEvent::deUpdateState, nullptr);
    if (OnStateChange) OnStateChange(this);
    emit stateChange();
}

void TDataSource::dataSetDestroyed(TClientDataSet* dataSet) {
    if (dataSet_ != dataSet) return;
    dataSet_ = nullptr;
    activeChanged();
}

void TDataSource::addLink(TDataLink* link) {
    if (!links_.contains(link)) links_.append(link);
}

void TDataSource::removeLink(TDataLink* link) {
    links_.removeAll(link);
}

void TDataSource::notifyDataEvent(TDataEvent event, TField* field) {
    if (!enabled_) return;
    switch (event) {
    case TDataEvent::deUpdateState:
        notifyLinks(event, field);
        if (OnStateChange) OnStateChange(this);
        emit stateChange();
        return;
    case TDataEvent::deUpdateRecord:
        notifyLinks(event, field);
        if (OnUpdateData) OnUpdateData(this);
        emit updateData();
        return;
    case TDataEvent::deCheckBrowseMode:
        notifyLinks(event, field);
        return;
    default:
        break;
    }
    notifyLinks(event, field);
    TField* changed = event == TDataEvent::deFieldChange ? field : nullptr;
    if (OnDataChange) OnDataChange(this, changed);
    emit dataChange(changed);
}

void TDataSource::notifyLinks(TDataEvent event, TField* field) {
    for (TDataLink* l : QList<TDataLink*>(links_))
        if (links_.contains(l)) l->dataEvent(event, field);
}

// --- TDataLink -------------------------------------------------------------------------------------

TDataLink::~TDataLink() {
    if (dataSource_) dataSource_->removeLink(this);
}

void TDataLink::SetDataSource(TDataSource* ds) {
    if (dataSource_ == ds) return;
    if (dataSource_) dataSource_->removeLink(this);
    dataSource_ = ds;
    if (dataSource_) dataSource_->addLink(this);
    updateActive();
}

bool TDataLink::Edit() {
    if (!readOnly_ && dataSource_ && !editing_) dataSource_->Edit();
    return editing_;
}

void TDataLink::updateActive() {
    const bool active = dataSource_ && dataSource_->State() != TDataSetState::dsInactive;
    if (active != active_) {
        active_ = active;
        ActiveChanged();
    }
    updateEditing();
}

void TDataLink::updateEditing() {
    const TDataSetState s = dataSource_ ? dataSource_->State() : TDataSetState::dsInactive;
    const bool editing =
        active_ && (s == TDataSetState::dsEdit || s == TDataSetState::dsInsert) && !readOnly_;
    if (editing != editing_) {
        editing_ = editing;
        EditingChanged();
    }
}

void TDataLink::dataEvent(TDataEvent event, TField* field) {
    switch (event) {
    case TDataEvent::deUpdateState:
        updateActive();
        break;
    case TDataEvent::deUpdateRecord:
        if (active_) UpdateData();
        break;
    case TDataEvent::deCheckBrowseMode:
        if (active_) CheckBrowseMode();
        break;
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
        if (active_) RecordChanged(field);
        break;
    case TDataEvent::deDataSetChange:
        if (active_) DataSetChanged();
        break;
    case TDataEvent::deDataSetScroll:
        if (active_) DataSetScrolled(0);
        break;
    case TDataEvent::deLayoutChange:
        if (active_) LayoutChanged();
        break;
    }
}

// --- TFieldDataLink --------------------------------------------------------------------------------

TFieldDataLink::~TFieldDataLink() {
    QObject::disconnect(focusConnection_);
}

void TFieldDataLink::SetFieldName(const QString& name) {
    if (fieldName_ == name) return;
    fieldName_ = name;
    resolveField();
    modified_ = false;
    if (OnDataChange) OnDataChange();
}

void TFieldDataLink::resolveField() {
    QObject::disconnect(focusConnection_);
    field_ = nullptr;
    if (Active() && !fieldName_.isEmpty()) field_ = DataSet()->FindField(fieldName_);
    fieldGuard_ = field_;
    if (field_)
        focusConnection_ = QObject::connect(field_, &TField::focusRequested, field_, [this](TField*) {
            if (OnFocusControl) OnFocusControl();
        });
}

bool TFieldDataLink::CanModify() const {
    return Active() && !ReadOnly() && fieldGuard_ && !field_->ReadOnly() && DataSet()->CanModify() &&
           field_->FieldKind() != TField::fkCalculated && field_->FieldKind() != TField::fkLookup;
}

void TFieldDataLink::Reset() {
    modified_ = false;
    if (OnDataChange) OnDataChange();
}

void TFieldDataLink::UpdateRecord() {
    UpdateData();
}

void TFieldDataLink::ActiveChanged() {
    resolveField();
    modified_ = false;
    if (OnActiveChange) OnActiveChange();
    if (OnDataChange) OnDataChange();
}

void TFieldDataLink::EditingChanged() {
    if (OnEditingChange) OnEditingChange();
}

void TFieldDataLink::LayoutChanged() {
    resolveField();
    RecordChanged(nullptr);
}

void TFieldDataLink::RecordChanged(TField* field) {
    if (field && field != field_) return;
    if (!fieldGuard_ && field_) resolveField();
    modified_ = false;
    if (OnDataChange) OnDataChange();
}

void TFieldDataLink::UpdateData() {
    if (!modified_) return;
    if (OnUpdateData) OnUpdateData();
    modified_ = false;
}

} // namespace kvx
