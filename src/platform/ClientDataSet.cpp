#include "ClientDataSet.h"

#include "CodePage.h"
#include "DataSource.h"
#include "Logging.h"

#include <QScopeGuard>
#include <algorithm>
#include <climits>
#include <exception>
#include <utility>

namespace kvx {

namespace {

QStringList splitNames(const QString& names) {
    QStringList out;
    for (const QString& n : names.split(';', Qt::SkipEmptyParts)) {
        const QString t = n.trimmed();
        if (!t.isEmpty()) out << t;
    }
    return out;
}

bool containsName(const QString& list, const QString& name) {
    for (const QString& n : splitNames(list))
        if (n.compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

int compareValues(const Variant& a, const Variant& b, bool caseInsensitive) {
    if (caseInsensitive && a.isString() && b.isString()) {
        const int c = a.toString().compare(b.toString(), Qt::CaseInsensitive);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    return a.compare(b);
}

bool isEditing(TDataSetState s) {
    return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert;
}

Row headOf(const Row& row, int n) {
    return n >= row.size() ? row : row.mid(0, n);
}

} // namespace

// --- TIndexDefs, TFieldDefs, TReconcileRecord ------------------------------------------------------

TIndexDef& TIndexDefs::Add(const QString& name, const QString& fields, TIndexOptions options) {
    TIndexDef d;
    d.Name = name;
    d.Fields = fields;
    d.Options = options;
    items_.push_back(d);
    return items_.back();
}

int TIndexDefs::IndexOf(const QString& name) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].Name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

TIndexDef* TIndexDefs::Find(const QString& name) {
    const int i = IndexOf(name);
    return i < 0 ? nullptr : &items_[size_t(i)];
}

FieldDesc& TFieldDefs::Add(const QString& name, FieldType type, int size, bool required) {
    FieldDesc d(name, type, size);
    d.required = required;
    defs_.append(d);
    return defs_.last();
}

int TFieldDefs::IndexOf(const QString& name) const {
    for (int i = 0; i < defs_.size(); ++i)
        if (defs_[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

int TReconcileRecord::indexOf(const QString& field) const {
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(field, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

Variant TReconcileRecord::OldValue(const QString& field) const {
    const int i = indexOf(field);
    return i >= 0 && i < oldValues.size() ? oldValues[i] : Variant();
}

Variant TReconcileRecord::NewValue(const QString& field) const {
    const int i = indexOf(field);
    return i >= 0 && i < newValues.size() ? newValues[i] : Variant();
}

Variant TReconcileRecord::CurValue(const QString& field) const {
    const int i = indexOf(field);
    return i >= 0 && i < curValues.size() ? curValues[i] : Variant();
}

void TReconcileRecord::SetNewValue(const QString& field, const Variant& v) {
    const int i = indexOf(field);
    if (i < 0) throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(field));
    if (newValues.size() < fields.size()) newValues.resize(fields.size());
    newValues[i] = v;
}

// --- construction ----------------------------------------------------------------------------------

TClientDataSet::TClientDataSet(QObject* owner) : QObject(owner) {}

TClientDataSet::~TClientDataSet() {
    for (TField* f : fields_) {
        f->dataSet_ = nullptr;
        f->slot_ = -1;
    }
    fields_.clear();
    const QList<TDataSource*> sources = dataSources_;
    dataSources_.clear();
    for (TDataSource* ds : sources)
        if (ds) ds->dataSetDestroyed(this);
    if (masterField_ && masterField_->nested_ == this) masterField_->nested_ = nullptr;
}

int TClientDataSet::CodePage() const {
    return codePage_ > 0 ? codePage_ : codepage::systemCodePage();
}

void TClientDataSet::checkActive() const {
    if (!Active()) throw EDatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void TClientDataSet::checkEditing() const {
    if (!isEditing(state_)) throw EDatabaseError(QStringLiteral("Dataset not in edit or insert mode"));
}

void TClientDataSet::setState(TDataSetState s) {
    if (state_ == s) return;
    state_ = s;
    modified_ = false;
    notify(TDataEvent::deUpdateState);
}

void TClientDataSet::notify(TDataEvent e, TField* field) {
    if (disableCount_ > 0) {
        pendingChange_ = true;
        if (e == TDataEvent::deLayoutChange) pendingLayout_ = true;
        return;
    }
    emit dataEvent(e, field);
    if (dataSources_.isEmpty()) return;
    // Sources registered meanwhile wait for the next event; sources leaving meanwhile are blanked
    // and dropped once the outermost notification is over.
    ++notifying_;
    struct Done {
        TClientDataSet* ds;
        ~Done() {
            if (--ds->notifying_ == 0 && ds->sourcesBlanked_) {
                ds->dataSources_.removeAll(nullptr);
                ds->sourcesBlanked_ = false;
            }
        }
    } done{this};
    const qsizetype n = dataSources_.size();
    for (qsizetype i = 0; i < n && i < dataSources_.size(); ++i)
        if (TDataSource* ds = dataSources_[i]) ds->notifyDataEvent(e, field);
}

void TClientDataSet::registerDataSource(TDataSource* ds) {
    if (ds && !dataSources_.contains(ds)) dataSources_.append(ds);
}

void TClientDataSet::unregisterDataSource(TDataSource* ds) {
    if (notifying_ == 0) {
        dataSources_.removeAll(ds);
        return;
    }
    for (TDataSource*& s : dataSources_)
        if (s == ds) {
            s = nullptr;
            sourcesBlanked_ = true;
        }
}

// --- fields ----------------------------------------------------------------------------------------

TField* TClientDataSet::FindField(const QString& name) const {
    for (TField* f : fields_)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0) return f;
    return nullptr;
}

TField* TClientDataSet::FieldByName(const QString& name) const {
    TField* f = FindField(name);
    if (!f) {
        const QString prefix = objectName().isEmpty() ? QString() : objectName() + QStringLiteral(": ");
        throw EDatabaseError(prefix + QStringLiteral("Field '%1' not found").arg(name));
    }
    return f;
}

void TClientDataSet::attachField(TField* field) {
    if (!fields_.contains(field)) fields_.append(field);
}

void TClientDataSet::detachField(TField* field) {
    fields_.removeAll(field);
    dynamicFields_.removeAll(field);
    fieldListChanged();
}

void TClientDataSet::moveField(TField* field, int index) {
    const int from = int(fields_.indexOf(field));
    if (from < 0) return;
    const int to = std::clamp(index, 0, int(fields_.size()) - 1);
    if (from == to) return;
    fields_.move(from, to);
    fieldListChanged();
}

void TClientDataSet::fieldListChanged() {
    if (!Active()) return;
    if (fieldUpdates_ > 0) {
        fieldsChanged_ = true;
        return;
    }
    notify(TDataEvent::deLayoutChange);
}

void TClientDataSet::EndFieldUpdate() {
    if (fieldUpdates_ == 0 || --fieldUpdates_ > 0) return;
    if (std::exchange(fieldsChanged_, false)) fieldListChanged();
}

TFieldUpdate::TFieldUpdate(const QList<TClientDataSet*>& dataSets) : exceptions_(std::uncaught_exceptions()) {
    for (TClientDataSet* ds : dataSets)
        if (ds) {
            ds->BeginFieldUpdate();
            dataSets_ << ds;
        }
}

TFieldUpdate::~TFieldUpdate() noexcept(false) {
    // Every batch ends, even when the refresh of an earlier dataset fails; the first failure is passed on.
    std::exception_ptr failure;
    for (const QPointer<TClientDataSet>& ds : dataSets_) {
        if (!ds) continue;
        try {
            ds->EndFieldUpdate();
        } catch (const std::exception& e) {
            if (!failure) failure = std::current_exception();
            qCWarning(lcPlatform) << "controls not refreshed after a field-layout batch:" << e.what();
        }
    }
    if (failure && std::uncaught_exceptions() == exceptions_) std::rethrow_exception(failure);
}

template <class F> void TClientDataSet::forEachNested(F fn) const {
    for (qsizetype i = 0; i < fields_.size(); ++i) {
        TField* f = fields_[i];
        if (f->DataType() != FieldType::DataSet) continue;
        if (auto* df = qobject_cast<TDataSetField*>(f))
            if (df->nested_) fn(df->nested_.data());
    }
}

QList<TClientDataSet*> TClientDataSet::NestedDataSets() const {
    QList<TClientDataSet*> out;
    forEachNested([&](TClientDataSet* n) { out << n; });
    return out;
}

void TClientDataSet::SetDataSetField(TDataSetField* field) {
    if (Active()) throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    if (masterField_ && masterField_->nested_ == this) masterField_->nested_ = nullptr;
    masterField_ = field;
    masterDataSet_ = field ? field->DataSet() : nullptr;
    masterFieldName_ = field ? field->FieldName() : QString();
    if (field) field->nested_ = this;
}

TClientDataSet* TClientDataSet::masterDataSet() const {
    return masterField_ ? masterField_->DataSet() : nullptr;
}

// --- opening and closing ---------------------------------------------------------------------------

void TClientDataSet::SetActive(bool active) {
    if (active == Active()) return;
    if (active) {
        if (masterDataSet_ || masterField_) {
            TClientDataSet* master = masterDataSet_.data();
            if (!master || !master->Active())
                throw EDatabaseError(
                    QStringLiteral("Cannot open a nested dataset while its master is closed"));
            auto* field = qobject_cast<TDataSetField*>(master->FindField(masterFieldName_));
            if (!field) throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(masterFieldName_));
            masterField_ = field;
            field->nested_ = this;
        }
        if (BeforeOpen) BeforeOpen(this);
        auto undoOpen = qScopeGuard([this] {
            closeCursor();
            localCreate_ = false;
        });
        openCursor();
        undoOpen.dismiss();
        bof_ = true;
        eof_ = order_.empty();
        cur_ = order_.empty() ? -1 : 0;
        setState(TDataSetState::dsBrowse);
        notify(TDataEvent::deDataSetChange);
        if (AfterOpen) AfterOpen(this);
        if (!IsEmpty() && AfterScroll) AfterScroll(this);
    } else {
        if (BeforeClose) BeforeClose(this);
        for (TClientDataSet* n : NestedDataSets())
            n->Close();
        setState(TDataSetState::dsInactive);
        closeCursor();
        localCreate_ = false;
        if (AfterClose) AfterClose(this);
    }
}

void TClientDataSet::CreateDataSet() {
    if (Active()) Close();
    localCreate_ = true;
    Open();
}

Variant TClientDataSet::DataRequest(const Variant& data) {
    if (!remote_) throw EDatabaseError(QStringLiteral("Remote server not assigned"));
    lastRequest_ = data;
    requestPending_ = true;
    return remote_->dataRequest(providerName_, data);
}

void TClientDataSet::openCursor() {
    store_.clear();
    natural_.clear();
    order_.clear();
    editBuf_.clear();
    editId_ = -1;
    DataPacket first;
    QList<FieldDesc> defs;
    if (masterField_) {
        defs = masterField_->childDefs;
        if (defs.isEmpty()) defs = fieldDefs_.list();
        allFetched_ = true;
    } else if (remote_ && !localCreate_) {
        if (!requestPending_) remote_->dataRequest(providerName_, lastRequest_);
        requestPending_ = false;
        first = remote_->getRecords(providerName_, packetRecords_);
        defs = first.fields;
        allFetched_ = first.eof;
    } else {
        defs = fieldDefs_.list();
        if (defs.isEmpty())
            for (TField* f : fields_)
                if (f->FieldKind() == TField::fkData) {
                    FieldDesc d(f->FieldName(), f->DataType(), f->Size());
                    d.required = f->Required();
                    if (auto* df = qobject_cast<TDataSetField*>(f)) d.children = df->childDefs;
                    defs << d;
                }
        if (defs.isEmpty()) throw EDatabaseError(QStringLiteral("Missing data provider or data packet"));
        allFetched_ = true;
    }
    fieldDefs_.assign(defs);
    bindFields(defs);
    if (masterField_)
        loadFromMaster();
    else
        appendPacket(std::move(first));
    resolveIndex();
    rebuildOrder();
}

void TClientDataSet::bindFields(const QList<FieldDesc>& defs) {
    packetCols_ = int(defs.size());
    bool hasDataFields = false;
    for (TField* f : fields_)
        if (f->FieldKind() == TField::fkData) hasDataFields = true;
    if (!hasDataFields) {
        // Packet fields first; fields placed explicitly before opening keep their positions.
        QList<TField*> placed = fields_;
        fields_.clear();
        for (const FieldDesc& d : defs) {
            TField* f = createField(d.type, this);
            f->fieldName_ = d.name;
            f->size_ = d.size;
            f->required_ = d.required;
            f->readOnly_ = d.readOnly;
            f->visible_ = !d.hidden;
            if (auto* df = qobject_cast<TDataSetField*>(f)) df->childDefs = d.children;
            f->dataSet_ = this;
            fields_.append(f);
            dynamicFields_ << f;
        }
        std::stable_sort(placed.begin(), placed.end(), [](TField* a, TField* b) {
            return (a->wantedIndex_ < 0 ? INT_MAX : a->wantedIndex_) <
                   (b->wantedIndex_ < 0 ? INT_MAX : b->wantedIndex_);
        });
        for (TField* f : placed) {
            if (f->wantedIndex_ >= 0)
                fields_.insert(std::min(int(fields_.size()), f->wantedIndex_), f);
            else
                fields_.append(f);
        }
    }
    int calc = 0;
    for (TField* f : fields_) {
        switch (f->FieldKind()) {
        case TField::fkData: {
            int idx = -1;
            for (int i = 0; i < defs.size(); ++i)
                if (defs[i].name.compare(f->FieldName(), Qt::CaseInsensitive) == 0) idx = i;
            if (idx < 0) throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(f->FieldName()));
            f->slot_ = idx;
            if (auto* df = qobject_cast<TDataSetField*>(f))
                if (!defs[idx].children.isEmpty()) df->childDefs = defs[idx].children;
            break;
        }
        case TField::fkCalculated:
        case TField::fkInternalCalc:
            f->slot_ = packetCols_ + calc++;
            break;
        case TField::fkLookup:
            f->slot_ = -1;
            break;
        }
    }
    calcSlots_ = calc;
}

Row TClientDataSet::newRow() const {
    return Row(rowWidth(), Variant::null());
}

void TClientDataSet::appendPacket(DataPacket&& packet) {
    const int width = rowWidth();
    for (Row& row : packet.rows) {
        const qsizetype had = row.size();
        if (had != width) {
            row.resize(width);
            for (qsizetype i = had; i < width; ++i)
                row[i] = Variant::null();
        }
        natural_.push_back(store_.append(std::move(row)));
    }
}

void TClientDataSet::closeCursor() {
    store_.release();
    natural_.clear();
    order_.clear();
    editBuf_.clear();
    editId_ = -1;
    cur_ = -1;
    bof_ = eof_ = true;
    modified_ = false;
    const QList<TField*> dyn = dynamicFields_;
    dynamicFields_.clear();
    for (TField* f : dyn) {
        fields_.removeAll(f);
        f->dataSet_ = nullptr;
        delete f;
    }
    for (TField* f : fields_)
        f->slot_ = -1;
    packetCols_ = calcSlots_ = 0;
    sortCols_.clear();
    allFetched_ = true;
}

// --- packets ---------------------------------------------------------------------------------------

bool TClientDataSet::HasMorePackets() const {
    return Active() && remote_ && !masterField_ && !localCreate_ && !allFetched_ && packetRecords_ != 0;
}

int TClientDataSet::GetNextPacket() {
    checkActive();
    if (!HasMorePackets()) return 0;
    DataPacket p = remote_->getRecords(providerName_, packetRecords_);
    allFetched_ = p.eof;
    const int added = int(p.rows.size());
    if (added == 0) {
        allFetched_ = true;
        return 0;
    }
    const int curId = cur_ >= 0 && cur_ < int(order_.size()) ? order_[size_t(cur_)] : -1;
    const int firstNew = int(store_.size());
    appendPacket(std::move(p));
    if (hasIndex()) {
        mergeIntoIndex(firstNew);
    } else {
        for (int id = firstNew; id < int(store_.size()); ++id)
            order_.push_back(id);
    }
    if (curId >= 0)
        cur_ = order_.positionOf(curId);
    else if (cur_ < 0 && !order_.empty())
        cur_ = 0;
    if (state_ == TDataSetState::dsInsert && !hasIndex())
        insertPos_ = std::min(insertPos_, int(order_.size()));
    eof_ = false;
    if (order_.empty()) bof_ = eof_ = true;
    notify(TDataEvent::deDataSetChange);
    return added;
}

void TClientDataSet::FetchAll() {
    checkActive();
    const int saved = packetRecords_;
    packetRecords_ = -1;
    const auto restore = qScopeGuard([this, saved] { packetRecords_ = saved; });
    while (HasMorePackets())
        if (GetNextPacket() == 0) break;
}

// --- order and indexes -----------------------------------------------------------------------------

void TClientDataSet::SetIndexFieldNames(const QString& names) {
    const QString oldNames = indexFieldNames_, oldName = indexName_;
    indexFieldNames_ = names;
    if (!names.isEmpty()) indexName_.clear();
    if (!Active()) return;
    const int id = cur_ >= 0 && cur_ < int(order_.size()) ? order_[size_t(cur_)] : -1;
    // The restore can raise itself, so it stays out of a scope guard.
    try {
        resolveIndex();
    } catch (...) {
        indexFieldNames_ = oldNames;
        indexName_ = oldName;
        resolveIndex();
        throw;
    }
    rebuildOrder();
    keepCursorOn(id);
    notify(TDataEvent::deDataSetChange);
}

void TClientDataSet::SetIndexName(const QString& name) {
    if (Active() && !name.isEmpty() &&
        name.compare(QLatin1String("DEFAULT_ORDER"), Qt::CaseInsensitive) != 0 && !indexDefs_.Find(name))
        throw EDatabaseError(QStringLiteral("Index '%1' not found").arg(name));
    indexName_ = name;
    if (!name.isEmpty()) indexFieldNames_.clear();
    if (!Active()) return;
    const int id = cur_ >= 0 && cur_ < int(order_.size()) ? order_[size_t(cur_)] : -1;
    resolveIndex();
    rebuildOrder();
    keepCursorOn(id);
    notify(TDataEvent::deDataSetChange);
}

void TClientDataSet::resolveIndex() {
    sortCols_.clear();
    auto add = [this](const QString& name, bool desc, bool ci) {
        TField* f = FieldByName(name);
        if (f->slot() < 0 || f->FieldKind() == TField::fkCalculated)
            throw EDatabaseError(QStringLiteral("Field '%1' cannot be used in an index").arg(name));
        sortCols_.push_back(SortCol{f->slot(), desc, ci});
    };
    if (!indexFieldNames_.isEmpty()) {
        for (const QString& n : splitNames(indexFieldNames_))
            add(n, false, false);
    } else if (!indexName_.isEmpty()) {
        const TIndexDef* d = indexDefs_.Find(indexName_);
        if (!d) return;
        for (const QString& n : splitNames(d->Fields))
            add(n, d->Options.testFlag(ixDescending) || containsName(d->DescFields, n),
                d->Options.testFlag(ixCaseInsensitive) || containsName(d->CaseInsFields, n));
    }
}

int TClientDataSet::compareRows(const Row& a, const Row& b) const {
    for (const SortCol& c : sortCols_) {
        int r = compareValues(a[c.slot], b[c.slot], c.caseIns);
        if (r) return c.desc ? -r : r;
    }
    return 0;
}

void TClientDataSet::rebuildOrder() {
    std::vector<int> order;
    order.reserve(size_t(natural_.size()));
    natural_.forEach([&](int id) {
        const Record& r = store_[id];
        if (!r.deleted && !r.purged) order.push_back(id);
    });
    if (hasIndex()) {
        if (sortCols_.size() == 1 && !sortCols_[0].caseIns) {
            // One plain column: sort positions over a contiguous copy of the keys (fewer cache misses
            // than reaching every key through its record).
            const int slot = sortCols_[0].slot;
            const bool desc = sortCols_[0].desc;
            std::vector<Variant> keys;
            keys.reserve(order.size());
            for (int id : order)
                keys.push_back(store_[id].values[slot]);
            std::vector<int> perm(order.size());
            for (size_t i = 0; i < perm.size(); ++i)
                perm[i] = int(i);
            std::stable_sort(perm.begin(), perm.end(), [&keys, desc](int a, int b) {
                const int c = keys[size_t(a)].compare(keys[size_t(b)]);
                return desc ? c > 0 : c < 0;
            });
            std::vector<int> sorted(order.size());
            for (size_t i = 0; i < perm.size(); ++i)
                sorted[i] = order[size_t(perm[i])];
            order.swap(sorted);
        } else {
            std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
                return compareRows(store_[a].values, store_[b].values) < 0;
            });
        }
    }
    order_.assign(order);
}

void TClientDataSet::mergeIntoIndex(int firstNew) {
    auto less = [this](int a, int b) { return compareRows(store_[a].values, store_[b].values) < 0; };
    std::vector<int> fresh;
    fresh.reserve(size_t(store_.size() - firstNew));
    for (int id = firstNew; id < int(store_.size()); ++id)
        fresh.push_back(id);
    std::stable_sort(fresh.begin(), fresh.end(), less);
    if (fresh.size() * 16 > size_t(order_.size())) {
        // A packet large against what is there: one linear merge.
        std::vector<int> all = order_.toVector();
        const long old = long(all.size());
        all.insert(all.end(), fresh.begin(), fresh.end());
        std::inplace_merge(all.begin(), all.begin() + old, all.end(), less);
        order_.assign(all);
        return;
    }
    // A small packet: each row goes after its equals, so the result equals a stable merge. The rows
    // come sorted, so each one's place is at or after the previous one's: search on from there.
    int from = -1;
    for (int id : fresh) {
        const Row& values = store_[id].values;
        auto before = [&](int other) { return compareRows(values, store_[other].values) >= 0; };
        const int pos = from < 0 ? order_.partitionPoint(before) : order_.partitionPointFrom(from, before);
        order_.insert(pos, id);
        from = pos + 1;
    }
}

int TClientDataSet::sortedPosition(const Row& values, int excludeId) const {
    return order_.partitionPoint(
        [&](int id) { return id == excludeId || compareRows(values, store_[id].values) >= 0; });
}

const Row& TClientDataSet::originalOf(int id) const {
    const Row& kept = store_.original(id);
    return kept.isEmpty() ? store_[id].values : kept;
}

void TClientDataSet::prefetchAhead(int pos, int step, bool texts) const {
    // A walk does too much per record for the processor to reach the next records on its own. Reading
    // or copying a text touches its heap block besides the row, so that is asked for one step later,
    // once the row holding its address has arrived.
    const int n = order_.size();
    const int far = pos + 2 * step, near = pos + step;
    if (far >= 0 && far < n) {
        const Row& row = store_[order_[far]].values;
        // From the array's header (its reference count, stored just before the values): copying the row
        // for an edit touches it.
        const char* p = reinterpret_cast<const char*>(row.constData()) - sizeof(QArrayData);
        const char* end = reinterpret_cast<const char*>(row.constData() + row.size());
        for (; p < end; p += 64)
            __builtin_prefetch(p);
    }
    if (texts && near >= 0 && near < n)
        for (const Variant& v : store_[order_[near]].values)
            __builtin_prefetch(v.sharedBlock());
}

bool TClientDataSet::inPlace(int pos) const {
    const Row& values = store_[order_[pos]].values;
    if (pos > 0 && compareRows(store_[order_[pos - 1]].values, values) > 0) return false;
    return pos + 1 >= order_.size() || compareRows(values, store_[order_[pos + 1]].values) <= 0;
}

void TClientDataSet::reposition(int id) {
    if (!hasIndex()) return;
    const int pos = order_.positionOf(id);
    if (pos < 0 || inPlace(pos)) return;
    order_.erase(pos);
    order_.insert(sortedPosition(store_[id].values, id), id);
}

void TClientDataSet::keepCursorOn(int id) {
    if (order_.empty()) {
        cur_ = -1;
        bof_ = eof_ = true;
        return;
    }
    int pos = id >= 0 ? positionOf(id) : -1;
    if (pos < 0) pos = std::clamp(cur_, 0, int(order_.size()) - 1);
    cur_ = pos;
}

int TClientDataSet::positionOf(TBookmark b) const {
    if (b < 0 || b >= qint64(store_.size())) return -1;
    return order_.positionOf(int(b));
}

TBookmark TClientDataSet::bookmarkAt(int position) const {
    return position >= 0 && position < int(order_.size()) ? order_[size_t(position)] : -1;
}

// --- cursor ----------------------------------------------------------------------------------------

int TClientDataSet::RecNo() const {
    if (!Active() || state_ == TDataSetState::dsInsert || cur_ < 0) return -1;
    return cur_ + 1;
}

void TClientDataSet::SetRecNo(int recNo) {
    checkActive();
    if (order_.empty()) return;
    scrollTo(std::clamp(recNo, 1, int(order_.size())) - 1);
}

void TClientDataSet::scrollTo(int position) {
    CheckBrowseMode();
    if (BeforeScroll) BeforeScroll(this);
    const bool moved = position != cur_;
    cur_ = position;
    bof_ = eof_ = false;
    if (moved) {
        notify(TDataEvent::deDataSetScroll);
        reloadNested();
    }
    if (AfterScroll) AfterScroll(this);
}

void TClientDataSet::First() {
    checkActive();
    CheckBrowseMode();
    if (BeforeScroll) BeforeScroll(this);
    cur_ = order_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = order_.empty();
    notify(TDataEvent::deDataSetScroll);
    reloadNested();
    if (AfterScroll) AfterScroll(this);
}

void TClientDataSet::Last() {
    checkActive();
    CheckBrowseMode();
    if (BeforeScroll) BeforeScroll(this);
    if (fetchOnDemand_ && HasMorePackets()) FetchAll();
    cur_ = int(order_.size()) - 1;
    eof_ = true;
    bof_ = order_.empty();
    notify(TDataEvent::deDataSetScroll);
    reloadNested();
    if (AfterScroll) AfterScroll(this);
}

int TClientDataSet::MoveBy(int distance) {
    checkActive();
    CheckBrowseMode();
    const bool copying = std::exchange(postedSinceMove_, false);
    int result = 0;
    if (BeforeScroll) BeforeScroll(this);
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        bof_ = eof_ = false;
        int target = cur_ + distance;
        if (distance > 0) {
            while (target >= int(order_.size()) && fetchOnDemand_ && HasMorePackets())
                if (GetNextPacket() == 0) break;
            if (target >= int(order_.size())) {
                target = int(order_.size()) - 1;
                eof_ = true;
            }
        } else if (target < 0) {
            target = 0;
            bof_ = true;
        }
        if (order_.empty()) {
            cur_ = -1;
            bof_ = eof_ = true;
        } else {
            result = target - cur_;
            cur_ = target;
            if (distance == 1 || distance == -1) prefetchAhead(cur_, distance, copying);
        }
        if (result != 0) {
            notify(TDataEvent::deDataSetScroll);
            reloadNested();
        }
        if (AfterScroll) AfterScroll(this);
    }
    return result;
}

void TClientDataSet::Refresh() {
    checkActive();
    CheckBrowseMode();
    const int id = cur_ >= 0 && cur_ < int(order_.size()) ? order_[size_t(cur_)] : -1;
    rebuildOrder();
    keepCursorOn(id);
    notify(TDataEvent::deDataSetChange);
}

// --- bookmarks and searching -----------------------------------------------------------------------

TBookmark TClientDataSet::Bookmark() const {
    if (!Active()) return -1;
    return activeBookmark();
}

TBookmark TClientDataSet::activeBookmark() const {
    if (peekRow_) return peekId_;
    if (state_ == TDataSetState::dsInsert) return -1;
    if (state_ == TDataSetState::dsEdit) return editId_;
    return cur_ >= 0 && cur_ < int(order_.size()) ? order_[size_t(cur_)] : -1;
}

void TClientDataSet::GotoBookmark(TBookmark b) {
    checkActive();
    const int pos = positionOf(b);
    if (pos < 0) throw EDatabaseError(QStringLiteral("Record not found"));
    scrollTo(pos);
}

bool TClientDataSet::BookmarkValid(TBookmark b) const {
    return Active() && positionOf(b) >= 0;
}

int TClientDataSet::CompareBookmarks(TBookmark a, TBookmark b) const {
    const int pa = positionOf(a), pb = positionOf(b);
    return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

namespace {

// Key values of a search, converted once.
struct SearchKey {
    Variant value;
    QString text;
    bool null = false;
    bool asText = false;
};

std::vector<SearchKey> prepareKeys(const QList<Variant>& vals, TLocateOptions options) {
    std::vector<SearchKey> keys;
    for (const Variant& v : vals) {
        SearchKey k;
        k.value = v;
        k.null = v.isEmptyOrNull();
        k.asText = v.isString() || options;
        if (!k.null && !v.isArray() && !v.isDispatch()) k.text = v.toString();
        keys.push_back(k);
    }
    return keys;
}

} // namespace

bool TClientDataSet::matches(const Row& row, const std::vector<int>& keySlots, const QList<Variant>& vals,
                             TLocateOptions options) const {
    const std::vector<SearchKey> keys = prepareKeys(vals, options);
    return matchesPrepared(row, keySlots, &keys, options);
}

bool TClientDataSet::matchesPrepared(const Row& row, const std::vector<int>& keySlots, const void* prepared,
                                     TLocateOptions options) const {
    const auto& keys = *static_cast<const std::vector<SearchKey>*>(prepared);
    const Qt::CaseSensitivity cs =
        options.testFlag(loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    for (size_t k = 0; k < keySlots.size(); ++k) {
        const Variant& fv = row[keySlots[k]];
        const SearchKey& key = keys[k];
        if (key.null) {
            if (!fv.isEmptyOrNull()) return false;
            continue;
        }
        if (fv.isEmptyOrNull()) return false;
        if (key.asText || fv.isString()) {
            if (fv.isArray() || fv.isDispatch()) return false;
            const QString a = fv.toString();
            if (options.testFlag(loPartialKey)) {
                if (!a.startsWith(key.text, cs)) return false;
            } else if (a.size() != key.text.size() || a.compare(key.text, cs) != 0) {
                return false;
            }
        } else if (!(fv == key.value)) {
            return false;
        }
    }
    return true;
}

bool TClientDataSet::Locate(const QString& keyFields, const Variant& values, TLocateOptions options) {
    checkActive();
    CheckBrowseMode();
    const QStringList names = splitNames(keyFields);
    if (names.isEmpty()) return false;
    QList<Variant> vals;
    if (values.isArray() && values.dimCount() == 1 &&
        (names.size() > 1 || values.highBound() >= values.lowBound()))
        vals = values.toList();
    else
        vals << values;
    if (vals.size() < names.size())
        throw EDatabaseError(
            QStringLiteral("Locate needs one value for each of the fields %1").arg(keyFields));
    std::vector<int> keySlots;
    QList<TField*> computed;
    for (const QString& n : names) {
        TField* f = FieldByName(n);
        keySlots.push_back(f->slot());
        if (f->slot() < 0 || f->FieldKind() == TField::fkCalculated) computed << f;
    }
    if (computed.isEmpty()) {
        const std::vector<SearchKey> keys = prepareKeys(vals, options);
        for (int pos = 0; pos < order_.size(); ++pos) {
            if (matchesPrepared(store_[order_[pos]].values, keySlots, &keys, options)) {
                scrollTo(int(pos));
                return true;
            }
        }
        return false;
    }
    // Calculated or lookup fields: compare field values with each record made active in turn.
    for (int pos = 0; pos < order_.size(); ++pos) {
        bool hit = false;
        withRecordAt(int(pos), [&] {
            Row values;
            std::vector<int> idx;
            for (int k = 0; k < names.size(); ++k) {
                values << FieldByName(names[k])->Value();
                idx.push_back(k);
            }
            hit = matches(values, idx, vals, options);
        });
        if (hit) {
            scrollTo(int(pos));
            return true;
        }
    }
    return false;
}

Variant TClientDataSet::Lookup(const QString& keyFields, const Variant& values, const QString& resultFields) {
    checkActive();
    const QStringList names = splitNames(keyFields);
    QList<Variant> vals;
    if (values.isArray() && values.dimCount() == 1)
        vals = values.toList();
    else
        vals << values;
    std::vector<int> keySlots;
    for (const QString& n : names) {
        TField* f = FieldByName(n);
        if (f->slot() < 0)
            throw EDatabaseError(QStringLiteral("Field '%1' cannot be used for lookup").arg(n));
        keySlots.push_back(f->slot());
    }
    if (vals.size() < names.size()) return Variant::null();
    const QStringList results = splitNames(resultFields);
    const std::vector<SearchKey> keys = prepareKeys(vals, {});
    for (int pos = 0; pos < order_.size(); ++pos) {
        if (!matchesPrepared(store_[order_[pos]].values, keySlots, &keys, {})) continue;
        Variant out;
        withRecordAt(int(pos), [&] {
            if (results.size() == 1) {
                out = FieldByName(results[0])->Value();
            } else {
                VariantList items;
                for (const QString& r : results)
                    items << FieldByName(r)->Value();
                out = Variant::fromList(items);
            }
        });
        return out;
    }
    return Variant::null();
}

TClientDataSet::PeekScope::PeekScope(const TClientDataSet* d, int position)
    : ds(d), savedRow(d->peekRow_), savedId(d->peekId_),
      active(position >= 0 && position < d->order_.size()) {
    if (!active) return;
    const int id = d->order_.at(position);
    d->peekRow_ = &d->store_[id].values;
    d->peekId_ = id;
}

TClientDataSet::PeekScope::~PeekScope() {
    ds->peekRow_ = savedRow;
    ds->peekId_ = savedId;
}

// --- field values ----------------------------------------------------------------------------------

const Row* TClientDataSet::activeRow() const {
    if (peekRow_) return peekRow_;
    if (state_ == TDataSetState::dsCalcFields) return calcRow_;
    if (isEditing(state_)) return &editBuf_;
    if (cur_ >= 0 && cur_ < int(order_.size())) return &store_[order_[cur_]].values;
    return nullptr;
}

void TClientDataSet::writeField(TField* field, const Variant& value) {
    if (state_ == TDataSetState::dsCalcFields) {
        if (field->FieldKind() != TField::fkData && field->slot() >= 0 && calcRow_)
            (*calcRow_)[field->slot()] = value;
        return;
    }
    checkEditing();
    if (field->ReadOnly())
        throw EDatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(field->DisplayName()));
    if (field->slot() < 0 || field->slot() >= editBuf_.size())
        throw EDatabaseError(QStringLiteral("Field '%1' has no value here").arg(field->DisplayName()));
    if (field->OnValidate) {
        validatingField_ = field;
        validatingValue_ = value;
        const auto done = qScopeGuard([this] {
            validatingField_ = nullptr;
            validatingValue_ = Variant();
        });
        field->OnValidate(field);
    }
    editBuf_[field->slot()] = value;
    if (field->FieldKind() == TField::fkData || field->FieldKind() == TField::fkInternalCalc)
        modified_ = true;
    notify(TDataEvent::deFieldChange, field);
    if (field->OnChange) field->OnChange(field);
}

Variant TClientDataSet::oldValueOf(const TField* field) const {
    const int id = state_ == TDataSetState::dsEdit ? editId_ : int(activeBookmark());
    if (id < 0 || field->slot() < 0) return Variant::null();
    const Row& src = originalOf(id);
    return field->slot() < src.size() ? src[field->slot()] : Variant::null();
}

void TClientDataSet::calculateFields() const {
    if (!OnCalcFields || state_ == TDataSetState::dsCalcFields) return;
    const Row* row = activeRow();
    if (!row) return;
    auto* self = const_cast<TClientDataSet*>(this);
    self->calcSavedState_ = state_;
    self->state_ = TDataSetState::dsCalcFields;
    calcRow_ = const_cast<Row*>(row);
    struct Restore {
        TClientDataSet* ds;
        ~Restore() {
            ds->state_ = ds->calcSavedState_;
            ds->calcRow_ = nullptr;
        }
    } restore{self};
    OnCalcFields(self);
}

// --- editing ---------------------------------------------------------------------------------------

void TClientDataSet::nestedCheckBrowseMode() {
    forEachNested([](TClientDataSet* n) {
        if (n->Active()) n->CheckBrowseMode();
    });
}

void TClientDataSet::CheckBrowseMode() {
    checkActive();
    nestedCheckBrowseMode();
    if (isEditing(state_)) {
        UpdateRecord();
        if (modified_)
            Post();
        else
            Cancel();
    }
}

void TClientDataSet::UpdateRecord() {
    checkEditing();
    notify(TDataEvent::deUpdateRecord);
}

void TClientDataSet::Append() {
    doInsert(true);
}

void TClientDataSet::Insert() {
    doInsert(false);
}

void TClientDataSet::doInsert(bool append) {
    checkActive();
    CheckBrowseMode();
    if (readOnly_) throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    if (BeforeInsert) BeforeInsert(this);
    if (BeforeScroll) BeforeScroll(this);
    returnPos_ = cur_;
    if (append || cur_ < 0) {
        insertPos_ = int(order_.size());
        insertNatural_ = int(natural_.size());
    } else {
        insertPos_ = cur_;
        const int id = order_[size_t(cur_)];
        insertNatural_ = natural_.positionOf(id);
    }
    editBuf_ = newRow();
    editId_ = -1;
    setState(TDataSetState::dsInsert);
    bof_ = eof_ = false;
    // The restore notifies the data links, which can raise, so it stays out of a scope guard.
    try {
        if (OnNewRecord) OnNewRecord(this);
    } catch (...) {
        editBuf_.clear();
        setState(TDataSetState::dsBrowse);
        keepCursorOn(bookmarkAt(returnPos_));
        notify(TDataEvent::deDataSetChange);
        throw;
    }
    modified_ = false;
    notify(TDataEvent::deDataSetChange);
    reloadNested();
    if (AfterInsert) AfterInsert(this);
    if (AfterScroll) AfterScroll(this);
}

void TClientDataSet::Edit() {
    checkActive();
    if (isEditing(state_)) return;
    if (IsEmpty()) {
        Append();
        return;
    }
    if (readOnly_) throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    if (BeforeEdit) BeforeEdit(this);
    editId_ = order_[size_t(cur_)];
    editBuf_ = store_[editId_].values;
    setState(TDataSetState::dsEdit);
    notify(TDataEvent::deRecordChange);
    if (AfterEdit) AfterEdit(this);
}

void TClientDataSet::checkRequired() const {
    for (TField* f : fields_) {
        if (f->FieldKind() != TField::fkData || !f->Required() || f->slot() < 0) continue;
        if (editBuf_[f->slot()].isEmptyOrNull())
            throw EDatabaseError(QStringLiteral("Field '%1' must have a value").arg(f->DisplayName()));
    }
}

void TClientDataSet::Post() {
    checkActive();
    nestedCheckBrowseMode();
    UpdateRecord();
    notify(TDataEvent::deCheckBrowseMode);
    if (BeforePost) BeforePost(this);
    checkRequired();
    if (state_ == TDataSetState::dsInsert) {
        const int id = store_.append(std::move(editBuf_), kvx::UpdateStatus::Inserted);
        natural_.insert(std::clamp(insertNatural_, 0, natural_.size()), id);
        const int pos =
            hasIndex() ? sortedPosition(store_.back().values, id) : std::clamp(insertPos_, 0, order_.size());
        order_.insert(pos, id);
        cur_ = pos;
    } else {
        Record& r = store_[editId_];
        if (r.status == kvx::UpdateStatus::Unmodified) {
            store_.setOriginal(editId_, r.values);
            r.status = kvx::UpdateStatus::Modified;
        }
        r.values = std::move(editBuf_);
        if (hasIndex() && !inPlace(cur_)) {
            order_.erase(cur_);
            const int pos = sortedPosition(r.values, editId_);
            order_.insert(pos, editId_);
            cur_ = pos;
        }
    }
    editBuf_.clear();
    editId_ = -1;
    postedSinceMove_ = true;
    setState(TDataSetState::dsBrowse);
    bof_ = eof_ = false;
    notify(TDataEvent::deDataSetChange);
    if (masterField_) writeBackToMaster();
    reloadNested();
    if (AfterPost) AfterPost(this);
}

void TClientDataSet::Cancel() {
    checkActive();
    if (!isEditing(state_)) return;
    forEachNested([](TClientDataSet* n) {
        if (n->Active() && isEditing(n->state_)) n->Cancel();
    });
    notify(TDataEvent::deCheckBrowseMode);
    if (BeforeCancel) BeforeCancel(this);
    const bool wasInsert = state_ == TDataSetState::dsInsert;
    editBuf_.clear();
    editId_ = -1;
    setState(TDataSetState::dsBrowse);
    if (wasInsert) keepCursorOn(bookmarkAt(returnPos_));
    bof_ = eof_ = order_.empty();
    notify(TDataEvent::deDataSetChange);
    reloadNested();
    if (AfterCancel) AfterCancel(this);
}

void TClientDataSet::Delete() {
    checkActive();
    if (state_ == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (order_.empty())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    if (readOnly_) throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    notify(TDataEvent::deCheckBrowseMode);
    if (BeforeDelete) BeforeDelete(this);
    if (BeforeScroll) BeforeScroll(this);
    if (state_ == TDataSetState::dsEdit) {
        editBuf_.clear();
        editId_ = -1;
    }
    const int id = order_[size_t(cur_)];
    Record& r = store_[id];
    r.deleted = true;
    if (r.status == kvx::UpdateStatus::Inserted) {
        r.purged = true;
        r.values.clear();
        if (natural_.contains(id)) natural_.erase(natural_.positionOf(id));
    } else {
        // A deleted record keeps its values: they are its original unless it was changed before.
        r.status = kvx::UpdateStatus::Deleted;
    }
    order_.erase(cur_);
    if (cur_ >= int(order_.size())) cur_ = int(order_.size()) - 1;
    setState(TDataSetState::dsBrowse);
    bof_ = eof_ = order_.empty();
    notify(TDataEvent::deDataSetChange);
    if (masterField_) writeBackToMaster();
    reloadNested();
    if (AfterDelete) AfterDelete(this);
    if (AfterScroll) AfterScroll(this);
}

void TClientDataSet::EmptyDataSet() {
    checkActive();
    if (isEditing(state_)) Cancel();
    store_.clear();
    natural_.clear();
    order_.clear();
    cur_ = -1;
    bof_ = eof_ = true;
    notify(TDataEvent::deDataSetChange);
    if (masterField_) writeBackToMaster();
    reloadNested();
}

// --- change log ------------------------------------------------------------------------------------

int TClientDataSet::ChangeCount() const {
    int n = 0;
    for (int id = 0; id < store_.size(); ++id) {
        const Record& r = store_[id];
        if (!r.purged && r.status != kvx::UpdateStatus::Unmodified) ++n;
    }
    return n;
}

kvx::UpdateStatus TClientDataSet::UpdateStatus() const {
    if (state_ == TDataSetState::dsInsert) return kvx::UpdateStatus::Inserted;
    const TBookmark id = activeBookmark();
    return id >= 0 ? store_[id].status : kvx::UpdateStatus::Unmodified;
}

TUpdateKind TClientDataSet::updateKindOf(kvx::UpdateStatus s) const {
    switch (s) {
    case kvx::UpdateStatus::Inserted:
        return TUpdateKind::ukInsert;
    case kvx::UpdateStatus::Deleted:
        return TUpdateKind::ukDelete;
    default:
        return TUpdateKind::ukModify;
    }
}

void TClientDataSet::restoreRecord(int id, bool leaveNatural) {
    Record& r = store_[id];
    switch (r.status) {
    case kvx::UpdateStatus::Inserted:
        r.purged = r.deleted = true;
        r.values.clear();
        if (!leaveNatural && natural_.contains(id)) natural_.erase(natural_.positionOf(id));
        break;
    case kvx::UpdateStatus::Modified:
    case kvx::UpdateStatus::Deleted:
        if (store_.hasOriginal(id)) {
            r.values = store_.original(id);
            store_.dropOriginal(id);
        }
        r.deleted = false;
        break;
    case kvx::UpdateStatus::Unmodified:
        return;
    }
    r.status = kvx::UpdateStatus::Unmodified;
}

void TClientDataSet::CancelUpdates() {
    if (!Active()) return;
    if (isEditing(state_)) Cancel();
    const int keep = int(activeBookmark());
    bool dropped = false;
    for (int id = 0; id < store_.size(); ++id) {
        Record& r = store_[id];
        if (r.purged) continue;
        dropped = dropped || r.status == kvx::UpdateStatus::Inserted;
        restoreRecord(id, true);
    }
    if (dropped) {
        // The inserted records leave the natural order in one pass, not one block scan each.
        std::vector<int> kept;
        kept.reserve(size_t(natural_.size()));
        natural_.forEach([&](int id) {
            if (!store_[id].purged) kept.push_back(id);
        });
        natural_.assign(kept);
    }
    rebuildOrder();
    keepCursorOn(keep);
    bof_ = eof_ = order_.empty();
    notify(TDataEvent::deDataSetChange);
    if (masterField_) writeBackToMaster();
    reloadNested();
}

void TClientDataSet::RevertRecord() {
    checkActive();
    if (isEditing(state_)) Cancel();
    const int id = int(activeBookmark());
    if (id < 0) return;
    // The current record is visible: an inserted one leaves both orders, a changed one takes its
    // fetched values back and its place among them; no other record moves.
    const kvx::UpdateStatus was = store_[id].status;
    const int pos = order_.positionOf(id);
    restoreRecord(id);
    if (was == kvx::UpdateStatus::Inserted) {
        if (pos >= 0) order_.erase(pos);
    } else if (was != kvx::UpdateStatus::Unmodified) {
        reposition(id);
    }
    keepCursorOn(id);
    notify(TDataEvent::deDataSetChange);
    if (masterField_) writeBackToMaster();
    reloadNested();
}

void TClientDataSet::MergeChangeLog() {
    for (int id = 0; id < store_.size(); ++id) {
        Record& r = store_[id];
        if (r.purged) continue;
        if (r.status == kvx::UpdateStatus::Deleted) {
            r.purged = true;
            r.values.clear();
        }
        if (r.status != kvx::UpdateStatus::Unmodified) store_.dropOriginal(id);
        r.status = kvx::UpdateStatus::Unmodified;
    }
}

Delta TClientDataSet::buildDelta(std::vector<TBookmark>* records) const {
    Delta d;
    d.fields = fieldDefs_.list();
    for (int id = 0; id < store_.size(); ++id) {
        const Record& r = store_[id];
        if (r.purged || r.status == kvx::UpdateStatus::Unmodified) continue;
        const Row& original = originalOf(id);
        DeltaRow dr;
        dr.status = r.status;
        switch (r.status) {
        case kvx::UpdateStatus::Inserted:
            dr.newValues = headOf(r.values, packetCols_);
            break;
        case kvx::UpdateStatus::Modified:
            dr.oldValues = headOf(original, packetCols_);
            for (int c = 0; c < packetCols_; ++c)
                dr.newValues << (r.values[c].identical(original[c]) ? Variant() : r.values[c]);
            break;
        case kvx::UpdateStatus::Deleted:
            dr.oldValues = headOf(original, packetCols_);
            break;
        case kvx::UpdateStatus::Unmodified:
            break;
        }
        d.rows.append(dr);
        if (records) records->push_back(TBookmark(id));
    }
    return d;
}

int TClientDataSet::ApplyUpdates(int maxErrors) {
    checkActive();
    if (TClientDataSet* master = masterDataSet()) {
        CheckBrowseMode();
        return master->ApplyUpdates(maxErrors);
    }
    CheckBrowseMode();
    if (!remote_) throw EDatabaseError(QStringLiteral("Remote server not assigned"));
    std::vector<TBookmark> ids;
    const Delta delta = buildDelta(&ids);
    if (delta.rows.isEmpty()) return 0;
    const ApplyResult result = remote_->applyUpdates(providerName_, delta, maxErrors);
    const int keep = int(activeBookmark());
    // Only the records whose index key the server or a reconcile action changed take a new place; a
    // deleted record coming back is rare enough for a rebuild of the order.
    std::vector<int> moved;
    bool rebuild = false;
    auto valuesChanged = [&](int id, const Row& before) {
        if (hasIndex() && compareRows(before, store_[id].values) != 0) moved.push_back(id);
    };

    for (const auto& [index, row] : result.applied) {
        if (index < 0 || index >= int(ids.size())) continue;
        const int id = int(ids[size_t(index)]);
        Record& r = store_[id];
        if (r.status == kvx::UpdateStatus::Deleted) {
            r.purged = true;
            r.values.clear();
        } else {
            bool keyMoves = false; // (no copy of the old values: the row is written in place)
            for (const SortCol& k : sortCols_)
                if (k.slot < packetCols_ && k.slot < row.size() && !row[k.slot].isUnassigned() &&
                    compareValues(row[k.slot], r.values[k.slot], k.caseIns) != 0)
                    keyMoves = true;
            for (int c = 0; c < packetCols_ && c < row.size(); ++c)
                if (!row[c].isUnassigned()) r.values[c] = row[c];
            if (keyMoves) moved.push_back(id);
        }
        store_.dropOriginal(id);
        r.status = kvx::UpdateStatus::Unmodified;
    }

    bool aborted = false;
    for (const ReconcileError& e : result.errors) {
        if (aborted) break;
        if (e.deltaIndex < 0 || e.deltaIndex >= int(ids.size())) continue;
        const int id = int(ids[size_t(e.deltaIndex)]);
        Record& r = store_[id];
        if (r.purged || r.status == kvx::UpdateStatus::Unmodified) continue;
        const DeltaRow& dr = delta.rows[e.deltaIndex];
        EReconcileError err;
        err.Message = e.message;
        err.Context = e.context;
        err.ErrorCode = e.errorCode;
        err.PreviousError = e.previousError;
        err.Record.fields = delta.fields;
        err.Record.oldValues = dr.oldValues;
        err.Record.newValues = dr.newValues;
        err.Record.curValues = e.currentValues;
        TReconcileAction action = TReconcileAction::raSkip;
        if (OnReconcileError) OnReconcileError(this, err, updateKindOf(r.status), action);
        Record& rec = store_[id];
        const Row before = rec.values;
        switch (action) {
        case TReconcileAction::raSkip:
            break;
        case TReconcileAction::raAbort:
            aborted = true;
            break;
        case TReconcileAction::raCancel:
            if (rec.status == kvx::UpdateStatus::Inserted) {
                if (const int pos = order_.positionOf(id); pos >= 0) order_.erase(pos);
            } else if (rec.deleted) {
                rebuild = true; // it comes back
            }
            restoreRecord(id);
            if (!rec.purged && !rebuild) valuesChanged(id, before);
            break;
        case TReconcileAction::raRefresh:
            if (e.currentValues.isEmpty()) {
                if (const int pos = order_.positionOf(id); pos >= 0) order_.erase(pos);
                rec.purged = rec.deleted = true;
                rec.values.clear();
                if (natural_.contains(id)) natural_.erase(natural_.positionOf(id));
            } else {
                for (int c = 0; c < packetCols_ && c < e.currentValues.size(); ++c)
                    rec.values[c] = e.currentValues[c];
                if (rec.deleted)
                    rebuild = true;
                else
                    valuesChanged(id, before);
                rec.deleted = false;
            }
            store_.dropOriginal(id);
            rec.status = kvx::UpdateStatus::Unmodified;
            break;
        case TReconcileAction::raMerge:
            // The server's current row becomes the original; the client's own changes stay on top.
            if (e.currentValues.isEmpty() || rec.status == kvx::UpdateStatus::Inserted) break;
            for (int c = 0; c < packetCols_ && c < e.currentValues.size(); ++c) {
                const bool changedHere = c < dr.newValues.size() && !dr.newValues[c].isUnassigned();
                if (!changedHere && rec.status == kvx::UpdateStatus::Modified)
                    rec.values[c] = e.currentValues[c];
            }
            valuesChanged(id, before);
            {
                Row serverRow = headOf(e.currentValues, packetCols_);
                while (serverRow.size() < rowWidth())
                    serverRow << Variant::null();
                store_.setOriginal(id, std::move(serverRow));
            }
            break;
        case TReconcileAction::raCorrect:
            if (rec.status == kvx::UpdateStatus::Deleted) break;
            for (int c = 0; c < packetCols_ && c < err.Record.newValues.size(); ++c)
                if (!err.Record.newValues[c].isUnassigned()) rec.values[c] = err.Record.newValues[c];
            valuesChanged(id, before);
            break;
        }
    }

    if (rebuild) {
        rebuildOrder();
    } else if (!moved.empty()) {
        // All of them leave first: what stays is in order, so each finds its place after its equals.
        std::sort(moved.begin(), moved.end());
        moved.erase(std::unique(moved.begin(), moved.end()), moved.end());
        std::vector<int> back;
        for (int id : moved)
            if (const int pos = order_.positionOf(id); pos >= 0) {
                order_.erase(pos);
                back.push_back(id);
            }
        for (int id : back)
            order_.insert(sortedPosition(store_[id].values, id), id);
    }
    keepCursorOn(keep);
    if (order_.empty()) bof_ = eof_ = true;
    notify(TDataEvent::deDataSetChange);
    reloadNested();
    return std::max(result.errorCount, int(result.errors.size()));
}

// --- controls --------------------------------------------------------------------------------------

void TClientDataSet::DisableControls() {
    if (disableCount_++ == 0) {
        disableState_ = state_;
        pendingChange_ = pendingLayout_ = false;
    }
}

void TClientDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ > 0) return;
    const bool layout = pendingLayout_;
    pendingChange_ = pendingLayout_ = false;
    if (state_ != disableState_) notify(TDataEvent::deUpdateState);
    if (disableState_ != TDataSetState::dsInactive && Active())
        notify(layout ? TDataEvent::deLayoutChange : TDataEvent::deDataSetChange);
}

// --- nested datasets -------------------------------------------------------------------------------

Variant TClientDataSet::rowsAsVariant() const {
    VariantList rows;
    natural_.forEach([&](int id) {
        const Record& r = store_[id];
        if (!r.deleted && !r.purged) rows << Variant::fromList(headOf(r.values, packetCols_));
    });
    return Variant::fromList(rows);
}

void TClientDataSet::loadFromMaster() {
    store_.clear();
    natural_.clear();
    TClientDataSet* master = masterDataSet();
    if (!master || !master->Active() || !masterField_) return;
    masterRecord_ = int(master->activeBookmark());
    const Variant v = masterField_->Value();
    if (!v.isArray() || v.dimCount() != 1) return;
    DataPacket p;
    for (const Variant& row : v.toList())
        if (row.isArray()) p.rows << row.toList();
    appendPacket(std::move(p));
}

void TClientDataSet::reloadFromMaster() {
    if (isEditing(state_)) {
        editBuf_.clear();
        editId_ = -1;
        state_ = TDataSetState::dsBrowse;
        notify(TDataEvent::deUpdateState);
    }
    loadFromMaster();
    rebuildOrder();
    cur_ = order_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = order_.empty();
    modified_ = false;
    notify(TDataEvent::deDataSetChange);
    reloadNested();
}

void TClientDataSet::reloadNested() {
    forEachNested([](TClientDataSet* n) {
        if (n->Active()) n->reloadFromMaster();
    });
}

void TClientDataSet::writeBackToMaster() {
    TClientDataSet* master = masterDataSet();
    if (!master || !master->Active() || !masterField_ || masterField_->slot() < 0) return;
    const int slot = masterField_->slot();
    const Variant rows = rowsAsVariant();
    if (isEditing(master->state_)) {
        master->editBuf_[slot] = rows;
        master->modified_ = true;
    } else {
        const int id = int(master->activeBookmark());
        if (id < 0) return;
        Record& r = master->store_[id];
        if (r.status == kvx::UpdateStatus::Unmodified) {
            master->store_.setOriginal(id, r.values);
            r.status = kvx::UpdateStatus::Modified;
        }
        r.values[slot] = rows;
        if (master->masterField_) master->writeBackToMaster();
    }
    master->notify(TDataEvent::deRecordChange, masterField_);
}

} // namespace kvx
