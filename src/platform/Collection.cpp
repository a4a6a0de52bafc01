#include "platform/Collection.h"

#include <utility>

namespace kvx {

TCollectionItem::TCollectionItem(TCollection* owner) : QObject(owner), collection_(owner) {}

int TCollectionItem::Index() const {
    return collection_ ? collection_->IndexOf(this) : -1;
}

void TCollectionItem::setIndex(int index) {
    if (collection_) collection_->Move(Index(), index);
}

void TCollectionItem::notifyChanged() {
    if (collection_) collection_->itemChangedAt(Index());
}

TCollection::TCollection(Factory factory, QObject* parent) : QObject(parent), factory_(std::move(factory)) {}

TCollection::~TCollection() {
    qDeleteAll(std::exchange(items_, {}));
}

TCollectionItem* TCollection::Item(int index) const {
    return index >= 0 && index < items_.size() ? items_[index] : nullptr;
}

TCollectionItem* TCollection::Add() {
    TCollectionItem* item = factory_ ? factory_(this) : new TCollectionItem(this);
    item->setParent(this);
    items_.append(item);
    listChanged();
    return item;
}

void TCollection::Delete(int index) {
    if (index < 0 || index >= items_.size()) return;
    delete items_.takeAt(index);
    listChanged();
}

void TCollection::Clear() {
    if (items_.isEmpty()) return;
    const auto old = std::exchange(items_, {});
    qDeleteAll(old);
    listChanged();
}

void TCollection::Move(int from, int to) {
    if (from < 0 || from >= items_.size()) return;
    to = qBound(0, to, int(items_.size()) - 1);
    if (from == to) return;
    items_.move(from, to);
    listChanged();
}

void TCollection::listChanged() {
    if (updateCount_ > 0) {
        listChangedPending_ = true;
        return;
    }
    emit changed();
}

void TCollection::itemChangedAt(int index) {
    if (updateCount_ > 0) {
        if (!changedItems_.contains(index)) changedItems_.append(index);
        return;
    }
    emit itemChanged(index);
}

void TCollection::EndUpdate() {
    if (updateCount_ == 0 || --updateCount_ > 0) return;
    const bool list = std::exchange(listChangedPending_, false);
    const QList<int> items = std::exchange(changedItems_, {});
    if (list) {
        emit changed();
        return;
    }
    for (int i : items)
        emit itemChanged(i);
}

} // namespace kvx
