// TCollection: an owned, ordered list of items that published properties expose (grid columns,
// status-bar panels). Property paths address its items as "Items_N" (or "Columns_N" on the owner).
#pragma once

#include <QList>
#include <QObject>
#include <functional>

namespace kvx {

class TCollection;

class TCollectionItem : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Index READ Index WRITE setIndex)
public:
    explicit TCollectionItem(TCollection* owner);
    TCollection* Collection() const { return collection_; }
    int Index() const;
    void setIndex(int index);

protected:
    // Items call this when a published property changed, so that views refresh.
    void notifyChanged();

private:
    TCollection* collection_;
};

class TCollection : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Count READ Count)
public:
    using Factory = std::function<TCollectionItem*(TCollection*)>;
    TCollection(Factory factory, QObject* parent = nullptr);
    ~TCollection() override;

    int Count() const { return items_.size(); }
    TCollectionItem* Item(int index) const;
    template <class T> T* itemAs(int index) const { return qobject_cast<T*>(Item(index)); }
    int IndexOf(const TCollectionItem* item) const {
        return items_.indexOf(const_cast<TCollectionItem*>(item));
    }

    TCollectionItem* Add();
    void Delete(int index);
    void Clear();
    void Move(int from, int to);

    // Between BeginUpdate and the matching EndUpdate no signal is sent; the last EndUpdate sends one
    // changed() for any change of the list (views rebuild once), else itemChanged once per changed item.
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    // A change of any item or of the order; itemChanged for a property change of one item.
signals:
    void changed();
    void itemChanged(int index);

private:
    friend class TCollectionItem;
    void listChanged();
    void itemChangedAt(int index);

    Factory factory_;
    QList<TCollectionItem*> items_;
    int updateCount_ = 0;
    bool listChangedPending_ = false;
    QList<int> changedItems_; // while updating, in order of first change
};

} // namespace kvx
