#include "controls/FieldBinding.h"

namespace kvx {

// The link to the platform's field data link; built when both the source and the field name are set.
class FieldBinding::Link : public QObject {
public:
    explicit Link(FieldBinding* owner) : QObject(owner) {}
};

FieldBinding::FieldBinding(QObject* control) : QObject(control) {}
FieldBinding::~FieldBinding() = default;

QObject* FieldBinding::dataSource() const { return source_; }

void FieldBinding::setDataSource(QObject* source) {
    if (source == source_) return;
    source_ = source;
    rebuild();
}

void FieldBinding::setDataField(const QString& name) {
    if (name == field_) return;
    field_ = name;
    rebuild();
}

void FieldBinding::rebuild() {
    delete link_;
    link_ = nullptr;
    modified_ = false;
    emit dataChanged();
}

bool FieldBinding::isBound() const { return false; }
QString FieldBinding::displayText() const { return {}; }
QString FieldBinding::editText() const { return {}; }
bool FieldBinding::isNull() const { return true; }
QString FieldBinding::editMask() const { return {}; }
int FieldBinding::size() const { return 0; }
bool FieldBinding::canModify() const { return false; }
bool FieldBinding::edit() { return false; }
bool FieldBinding::write(const QString&) { return false; }
bool FieldBinding::clear() { return false; }
bool FieldBinding::editing() const { return false; }

} // namespace kvx
