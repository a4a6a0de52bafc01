// TClientDataSet: the platform's multi-tier client dataset.
//
// Records are rows of Variants held by the dataset (packet columns first, then one slot per calculated
// or internal-calculated field). The visible order is a permutation of record numbers: the natural
// order (fetch and insert order) or the order of the active index. Bookmarks are record numbers, so
// they survive sorting, fetching and other records' deletion. Deleted and changed records stay in the
// store with their original values until the changes are applied or cancelled (the change log).
//
// The remote side is a ProviderEndpoint: DataRequest hands (condition, order) to the provider,
// opening fetches the first packet of PacketRecords rows, GetNextPacket the following ones, and
// ApplyUpdates sends the change log as a Delta and merges what the server stored.
//
// A dataset that hangs on a TDataSetField of a master (DataSetField) is a nested detail: it shows the
// nested rows of the master's current record and writes its changes back into that record, so that
// they travel with the master's delta (the dataset field's old and new row arrays).
#pragma once

#include "DataPacket.h"
#include "Field.h"
#include "RecordOrder.h"
#include "RecordStore.h"

#include <QFlags>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <vector>

namespace kvx {

class TClientDataSet;
class TDataSource;
using TDataSet = TClientDataSet;         // the one dataset class of the platform
using TwwClientDataSet = TClientDataSet; // the grid package's name for it

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsCalcFields };

enum TLocateOption { loCaseInsensitive = 1, loPartialKey = 2 };
Q_DECLARE_FLAGS(TLocateOptions, TLocateOption)

enum TIndexOption { ixPrimary = 1, ixUnique = 2, ixDescending = 4, ixCaseInsensitive = 8 };
Q_DECLARE_FLAGS(TIndexOptions, TIndexOption)

enum class TUpdateKind { ukModify, ukInsert, ukDelete };
enum class TReconcileAction { raSkip, raAbort, raMerge, raCorrect, raCancel, raRefresh };

// Events the dataset sends to its data sources and their links.
enum class TDataEvent {
    deFieldChange,    // a field's value changed (info: the field)
    deRecordChange,   // the active record changed in place
    deDataSetChange,  // the records or their order changed
    deDataSetScroll,  // the cursor moved
    deLayoutChange,   // fields were added, removed or moved
    deUpdateRecord,   // before a post: controls write their pending edits
    deUpdateState,    // the state changed
    deCheckBrowseMode // leaving edit/insert
};

// A bookmark is the record number in the store; -1 is no bookmark.
using TBookmark = qint64;

class TIndexDef {
public:
    QString Name;
    QString Fields;
    QString DescFields;    // fields sorted descending (besides ixDescending for all)
    QString CaseInsFields; // fields compared without case (besides ixCaseInsensitive for all)
    TIndexOptions Options;
};

class TIndexDefs {
public:
    TIndexDef& Add(const QString& name, const QString& fields, TIndexOptions options = {});
    int Count() const { return int(items_.size()); }
    TIndexDef& operator[](int i) { return items_[size_t(i)]; }
    const TIndexDef& operator[](int i) const { return items_[size_t(i)]; }
    int IndexOf(const QString& name) const; // case-insensitive, -1 when none
    TIndexDef* Find(const QString& name);   // nullptr when none
    void Delete(int i) { items_.erase(items_.begin() + i); }
    void Clear() { items_.clear(); }

private:
    std::vector<TIndexDef> items_;
};

// Field definitions: what a locally created dataset (CreateDataSet) gets as fields, and what a
// remote dataset received with its first packet.
class TFieldDefs {
public:
    FieldDesc& Add(const QString& name, FieldType type, int size = 0, bool required = false);
    int Count() const { return int(defs_.size()); }
    const FieldDesc& operator[](int i) const { return defs_[i]; }
    int IndexOf(const QString& name) const;
    void Clear() { defs_.clear(); }
    const QList<FieldDesc>& list() const { return defs_; }
    void assign(const QList<FieldDesc>& defs) { defs_ = defs; }

private:
    QList<FieldDesc> defs_;
};

// The failed change as the reconcile handler sees it: old, new and current (server) values by field.
class TReconcileRecord {
public:
    QList<FieldDesc> fields;
    Row oldValues, newValues, curValues;
    Variant OldValue(const QString& field) const;
    Variant NewValue(const QString& field) const; // Unassigned when the change left the field alone
    Variant CurValue(const QString& field) const; // Unassigned when the server has no current row
    void SetNewValue(const QString& field, const Variant& v); // used with raCorrect

private:
    int indexOf(const QString& field) const;
};

struct EReconcileError {
    QString Message;
    QString Context;
    int ErrorCode = 0;
    int PreviousError = 0;
    TReconcileRecord Record;
};

using TDataSetNotifyEvent = std::function<void(TDataSet* dataSet)>;
using TReconcileErrorEvent = std::function<void(TClientDataSet* dataSet, EReconcileError& error,
                                                TUpdateKind kind, TReconcileAction& action)>;

class TClientDataSet : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(int PacketRecords READ PacketRecords WRITE SetPacketRecords)
    Q_PROPERTY(bool FetchOnDemand READ FetchOnDemand WRITE SetFetchOnDemand)
    Q_PROPERTY(QString ProviderName READ ProviderName WRITE SetProviderName)
    Q_PROPERTY(QString IndexFieldNames READ IndexFieldNames WRITE SetIndexFieldNames)
    Q_PROPERTY(QString IndexName READ IndexName WRITE SetIndexName)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
    Q_PROPERTY(bool ValidateWithMask READ ValidateWithMask WRITE SetValidateWithMask)
    Q_PROPERTY(int CodePage READ CodePage WRITE SetCodePage)

public:
    explicit TClientDataSet(QObject* owner = nullptr);
    ~TClientDataSet() override;

    // --- Opening -------------------------------------------------------------------------------
    bool Active() const { return state_ != TDataSetState::dsInactive; }
    void SetActive(bool active);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    // Creates an empty local dataset from FieldDefs (or from the persistent fields) and opens it.
    void CreateDataSet();
    TDataSetState State() const { return state_; }

    // --- Remote side ---------------------------------------------------------------------------
    ProviderEndpoint* RemoteServer() const { return remote_; }
    void SetRemoteServer(ProviderEndpoint* server) { remote_ = server; }
    QString ProviderName() const { return providerName_; }
    void SetProviderName(const QString& name) { providerName_ = name; }
    // Hands `data` to the provider; the next open reads from the first row with it. Returns the
    // provider's answer.
    Variant DataRequest(const Variant& data);
    int PacketRecords() const { return packetRecords_; } // -1 all, 0 metadata only
    void SetPacketRecords(int n) { packetRecords_ = n; }
    bool FetchOnDemand() const { return fetchOnDemand_; }
    void SetFetchOnDemand(bool v) { fetchOnDemand_ = v; }
    // Fetches the next packet; returns the number of records added (0 when the provider had no more).
    int GetNextPacket();
    // Fetches packets until the provider has no more.
    void FetchAll();
    // Whether the provider may have more rows than fetched.
    bool HasMorePackets() const;

    // --- Fields --------------------------------------------------------------------------------
    const QList<TField*>& Fields() const { return fields_; }
    int FieldCount() const { return int(fields_.size()); }
    TField* FindField(const QString& name) const;   // case-insensitive; nullptr when none
    TField* FieldByName(const QString& name) const; // raises EDatabaseError when none
    Variant FieldValues(const QString& name) const { return FieldByName(name)->Value(); }
    TFieldDefs& FieldDefs() { return fieldDefs_; }
    // Nested detail datasets on this dataset's dataset fields.
    QList<TClientDataSet*> NestedDataSets() const;
    TDataSetField* DataSetField() const { return masterField_; }
    void SetDataSetField(TDataSetField* field);
    int CodePage() const; // database code page for string sizes (system code page by default)
    void SetCodePage(int cp) { codePage_ = cp; }

    // --- Records and cursor --------------------------------------------------------------------
    int RecordCount() const { return Active() ? int(order_.size()) : 0; }
    bool IsEmpty() const { return RecordCount() == 0 && state_ != TDataSetState::dsInsert; }
    int RecNo() const; // 1-based position in the current order; -1 when there is no current record
    void SetRecNo(int recNo);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    int MoveBy(int distance);
    // Resynchronises controls with the data (re-sorts on the active index).
    void Refresh();

    // --- Bookmarks -----------------------------------------------------------------------------
    TBookmark Bookmark() const;
    void SetBookmark(TBookmark b) { GotoBookmark(b); }
    TBookmark GetBookmark() const { return Bookmark(); }
    void GotoBookmark(TBookmark b); // raises EDatabaseError for a bookmark of no visible record
    void FreeBookmark(TBookmark) {}
    bool BookmarkValid(TBookmark b) const;
    int CompareBookmarks(TBookmark a, TBookmark b) const; // by position in the current order
    // Position (0-based) of a bookmark in the current order, -1 when not visible.
    int positionOf(TBookmark b) const;
    TBookmark bookmarkAt(int position) const;

    // --- Searching -----------------------------------------------------------------------------
    // Fields separated by ";"; `values` is one value or an array with one value per field.
    bool Locate(const QString& keyFields, const Variant& values, TLocateOptions options = {});
    // The result field(s) of the first matching record without moving the cursor; Null when none.
    Variant Lookup(const QString& keyFields, const Variant& values, const QString& resultFields);

    // --- Editing -------------------------------------------------------------------------------
    void Append();
    void Insert();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    // Posts an edit when the record was modified, cancels it otherwise.
    void CheckBrowseMode();
    void UpdateRecord(); // data links write their pending edits
    bool Modified() const { return modified_; }
    bool CanModify() const { return !readOnly_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v) { readOnly_ = v; }
    bool ValidateWithMask() const { return validateWithMask_; }
    void SetValidateWithMask(bool v) { validateWithMask_ = v; }
    // Removes every record (locally, without a change log).
    void EmptyDataSet();

    // --- Change log ----------------------------------------------------------------------------
    int ChangeCount() const; // changed, inserted and deleted records
    TUpdateKind updateKindOf(kvx::UpdateStatus s) const;
    kvx::UpdateStatus UpdateStatus() const; // of the current record
    void CancelUpdates();
    void RevertRecord();   // cancels the change of the current record
    void MergeChangeLog(); // accepts every change locally
    // Sends the change log to the provider; returns the number of errors. Posts a pending edit first.
    int ApplyUpdates(int maxErrors);
    Delta buildDelta(std::vector<TBookmark>* records = nullptr) const;

    // --- Indexes -------------------------------------------------------------------------------
    QString IndexFieldNames() const { return indexFieldNames_; }
    void SetIndexFieldNames(const QString& names);
    QString IndexName() const { return indexName_; }
    void SetIndexName(const QString& name);
    TIndexDefs& IndexDefs() { return indexDefs_; }

    // --- Controls ------------------------------------------------------------------------------
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }
    // Field-layout batch: label, width, format, order and visibility changes of fields made between
    // BeginFieldUpdate and the matching EndFieldUpdate reach the data sources as one layout change when
    // the outermost batch ends, none when nothing changed. Other events pass at once.
    void BeginFieldUpdate() { ++fieldUpdates_; }
    void EndFieldUpdate();
    bool InFieldUpdate() const { return fieldUpdates_ > 0; }

    // --- Events (take off by copying and clearing, put back by assigning) --------------------------
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;
    TReconcileErrorEvent OnReconcileError;

    // --- Used by fields, data sources and models ----------------------------------------------
    const Row* activeRow() const;
    // Stores a converted value: checks state and read-only, runs OnValidate, marks the record
    // modified, notifies the data links and runs OnChange.
    void writeField(TField* field, const Variant& value);
    Variant oldValueOf(const TField* field) const;
    void fieldListChanged();
    void moveField(TField* field, int index);
    void attachField(TField* field);
    void detachField(TField* field);
    void registerDataSource(TDataSource* ds);
    void unregisterDataSource(TDataSource* ds);
    // Runs `fn` with the record at `position` of the current order as the active record (for
    // grids painting rows other than the current one).
    template <class F> void withRecordAt(int position, F&& fn) const {
        const PeekScope scope(this, position);
        if (scope.active) fn();
    }
    // Bookmark of the active record (the record painted by withRecordAt, else the current one).
    TBookmark activeBookmark() const;
    bool validating(const TField* f) const { return validatingField_ == f; }
    const Variant& validatingValue() const { return validatingValue_; }
    bool inCalcFields() const { return state_ == TDataSetState::dsCalcFields; }
    void calculateFields() const;
    TClientDataSet* masterDataSet() const;

signals:
    void dataEvent(kvx::TDataEvent event, kvx::TField* field);

private:
    // Makes a record the active one for reading while it lives (no allocation per row).
    struct PeekScope {
        PeekScope(const TClientDataSet* ds, int position);
        ~PeekScope();
        PeekScope(const PeekScope&) = delete;
        PeekScope& operator=(const PeekScope&) = delete;
        const TClientDataSet* ds;
        const Row* savedRow;
        TBookmark savedId;
        bool active;
    };

    using Record = RecordStore::Record;

    void openCursor();
    void closeCursor();
    void bindFields(const QList<FieldDesc>& defs);
    void appendPacket(DataPacket&& packet);
    int rowWidth() const { return packetCols_ + calcSlots_; }
    Row newRow() const;
    void setState(TDataSetState s);
    void notify(TDataEvent e, TField* field = nullptr);
    void checkActive() const;
    void checkEditing() const;
    void doInsert(bool append);
    void rebuildOrder(); // order_ from natural_ and the active index
    bool hasIndex() const { return !sortCols_.empty(); }
    void resolveIndex();
    int sortedPosition(const Row& values, int excludeId) const;
    // Whether the record at `pos` still sorts between its neighbours (a posted record then stays).
    bool inPlace(int pos) const;
    // Ahead of a walk by `step` (1 or -1) from `pos`: the values of the record two steps on and, for a walk
    // that edits (copying each record's texts), the texts of the record one step on (whose values the
    // previous step asked for).
    void prefetchAhead(int pos, int step, bool texts) const;
    // The record's values as fetched: the kept original of a changed record, else its values.
    const Row& originalOf(int id) const;
    void mergeIntoIndex(int firstNew); // records from firstNew on join the active index
    int compareRows(const Row& a, const Row& b) const;
    void reloadNested();
    void loadFromMaster();
    void writeBackToMaster();
    Variant rowsAsVariant() const;
    void restoreRecord(int id, bool leaveNatural = false); // leaveNatural: the caller rebuilds natural_
    bool matches(const Row& row, const std::vector<int>& keySlots, const QList<Variant>& vals,
                 TLocateOptions options) const;
    bool matchesPrepared(const Row& row, const std::vector<int>& keySlots, const void* prepared,
                         TLocateOptions options) const;
    void scrollTo(int position); // sets the cursor, clears Bof/Eof
    void checkRequired() const;
    void keepCursorOn(int id);
    // A visible record whose values changed in place: it stays while it still sorts between its
    // neighbours, else it goes after the records with an equal key (as a post does). O(log n).
    void reposition(int id);
    void nestedCheckBrowseMode();
    template <class F> void forEachNested(F fn) const; // the nested detail datasets, without building a list
    void reloadFromMaster();

    TDataSetState state_ = TDataSetState::dsInactive;
    QList<TField*> fields_;
    QList<TField*> dynamicFields_; // created from the packet; deleted on close
    TFieldDefs fieldDefs_;
    int packetCols_ = 0;
    int calcSlots_ = 0;
    int codePage_ = 0;

    RecordStore store_;
    RecordOrder natural_; // visible records in fetch/insert order
    RecordOrder order_;   // visible records in the current order
    int cur_ = -1;
    bool bof_ = true, eof_ = true;

    Row editBuf_;
    int editId_ = -1;    // record being edited
    int insertPos_ = -1; // position in order_ where an inserted record appears
    int insertNatural_ = -1;
    int returnPos_ = -1; // position to return to when an insert is cancelled
    bool modified_ = false;
    bool postedSinceMove_ = false; // a walk that posts every record copies the texts of each
    bool readOnly_ = false;
    bool validateWithMask_ = false;
    mutable const Row* peekRow_ = nullptr;
    mutable Row* calcRow_ = nullptr;
    mutable TDataSetState calcSavedState_ = TDataSetState::dsInactive;
    bool localCreate_ = false;
    TDataSetState disableState_ = TDataSetState::dsInactive;
    bool pendingLayout_ = false;
    int fieldUpdates_ = 0;
    bool fieldsChanged_ = false; // a layout change waits for the end of the field-layout batch
    mutable TBookmark peekId_ = -1;
    const TField* validatingField_ = nullptr;
    Variant validatingValue_;

    ProviderEndpoint* remote_ = nullptr;
    QString providerName_;
    int packetRecords_ = -1;
    bool fetchOnDemand_ = true;
    bool allFetched_ = true;
    bool requestPending_ = false;
    Variant lastRequest_;

    QString indexFieldNames_, indexName_;
    TIndexDefs indexDefs_;
    struct SortCol {
        int slot;
        bool desc;
        bool caseIns;
    };
    std::vector<SortCol> sortCols_;

    int disableCount_ = 0;
    bool pendingChange_ = false;
    QList<TDataSource*> dataSources_; // entries blanked while notifying are dropped afterwards
    int notifying_ = 0;
    bool sourcesBlanked_ = false;

    QPointer<TDataSetField> masterField_;
    QPointer<TClientDataSet> masterDataSet_; // the link survives the master's field being recreated
    QString masterFieldName_;
    int masterRecord_ = -1; // master record whose nested rows are shown
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TLocateOptions)
Q_DECLARE_OPERATORS_FOR_FLAGS(TIndexOptions)

// Holds a field-layout batch on each of some datasets for a scope. Ending it may refresh controls; an
// error of that refresh propagates unless the scope is already left by an exception (then it is logged).
class TFieldUpdate {
public:
    explicit TFieldUpdate(const QList<TClientDataSet*>& dataSets);
    explicit TFieldUpdate(TClientDataSet* dataSet) : TFieldUpdate(QList<TClientDataSet*>{dataSet}) {}
    ~TFieldUpdate() noexcept(false);
    TFieldUpdate(const TFieldUpdate&) = delete;
    TFieldUpdate& operator=(const TFieldUpdate&) = delete;

private:
    QList<QPointer<TClientDataSet>> dataSets_;
    int exceptions_;
};

} // namespace kvx
