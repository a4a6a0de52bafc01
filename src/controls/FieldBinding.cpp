#include "controls/FieldBinding.h"

#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "platform/DataSource.h"
#include "platform/DialogService.h"
#include "platform/Field.h"

#include <QRegularExpression>
#include <QWidget>

namespace kvx {

FieldBinding::FieldBinding(QObject* control) : QObject(control), link_(std::make_unique<TFieldDataLink>()) {
    link_->SetControl(control);
    link_->OnDataChange = [this] { emit dataChanged(); };
    link_->OnEditingChange = [this] { emit stateChanged(); };
    link_->OnActiveChange = [this] { emit stateChanged(); };
    link_->OnUpdateData = [this] { emit updateData(); };
    link_->OnFocusControl = [this] {
        if (QWidget* w = controlWidget(); w && w->isEnabled()) w->setFocus();
    };
}

FieldBinding::~FieldBinding() {
    // The link leaves its data source before the control goes.
    link_->OnDataChange = nullptr;
    link_->OnEditingChange = nullptr;
    link_->OnActiveChange = nullptr;
    link_->OnUpdateData = nullptr;
    link_->OnFocusControl = nullptr;
    link_->SetDataSource(nullptr);
}

QWidget* FieldBinding::controlWidget() const {
    return qobject_cast<QWidget*>(parent());
}

QObject* FieldBinding::dataSource() const {
    return source_;
}

void FieldBinding::setDataSource(QObject* source) {
    if (source == source_) return;
    source_ = source;
    link_->SetDataSource(qobject_cast<TDataSource*>(source));
    emit stateChanged();
    emit dataChanged();
}

QString FieldBinding::dataField() const {
    return link_->FieldName();
}

void FieldBinding::setDataField(const QString& name) {
    if (name == link_->FieldName()) return;
    link_->SetFieldName(name); // reports a data change
    emit stateChanged();
}

TField* FieldBinding::field() const {
    return link_->Active() ? link_->Field() : nullptr;
}
TDataSource* FieldBinding::source() const {
    return link_->DataSource();
}

bool FieldBinding::isBound() const {
    return field() != nullptr;
}
QString FieldBinding::displayText() const {
    return field() ? field()->DisplayText() : QString();
}
QString FieldBinding::editText() const {
    return field() ? field()->Text() : QString();
}
bool FieldBinding::isNull() const {
    return !field() || field()->IsNull();
}
QString FieldBinding::editMask() const {
    return field() ? field()->EditMask() : QString();
}

int FieldBinding::size() const {
    const TField* f = field();
    return f && f->IsStringKind() ? f->Size() : 0;
}

bool FieldBinding::isIntegerField() const {
    const TField* f = field();
    if (!f) return false;
    switch (f->DataType()) {
    case FieldType::Smallint:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::LargeInt:
        return true;
    default:
        return false;
    }
}

bool FieldBinding::fits(const QString& text) const {
    const TField* f = field();
    if (!f) return true;
    if (isIntegerField()) {
        static const QRegularExpression integer(QStringLiteral("^\\s*[+-]?[0-9]*\\s*$"));
        return integer.match(text).hasMatch();
    }
    if (f->DataType() != FieldType::String && f->DataType() != FieldType::FixedChar) return true;
    if (f->Size() <= 0 || text.size() * 4 <= f->Size()) return true;
    const int cp = f->DataSet() ? f->DataSet()->CodePage() : codepage::systemCodePage();
    return codepage::encode(text, cp).size() <= f->Size();
}

bool FieldBinding::canModify() const {
    return link_->CanModify();
}
bool FieldBinding::editing() const {
    return link_->Editing();
}
bool FieldBinding::modified() const {
    return link_->IsModified();
}

void FieldBinding::setModified(bool on) {
    if (on) link_->Modified();
}

bool FieldBinding::guarded(QWidget* parent, const std::function<void()>& op) {
    QString message;
    try {
        op();
        return true;
    } catch (const EAbort&) {
        return false;
    } catch (const EDatabaseError& e) {
        message = e.message();
    } catch (const std::exception& e) {
        message = QString::fromLocal8Bit(e.what());
    }
    MessageRequest req;
    req.type = MsgDlgType::Error;
    req.buttons = mbOK;
    req.text = message;
    req.parent = parent ? parent->window() : nullptr;
    DialogService::instance().showMessage(req);
    return false;
}

void FieldBinding::Reset() {
    link_->Reset();
}

bool FieldBinding::edit() {
    if (!canModify()) return false;
    if (link_->Editing()) return true;
    bool editing = false;
    guarded(controlWidget(), [&] { editing = link_->Edit(); });
    return editing;
}

bool FieldBinding::write(const QString& text) {
    if (!edit()) return false;
    TField* f = field();
    return guarded(controlWidget(), [&] { f->SetText(text); });
}

bool FieldBinding::clear() {
    if (!edit()) return false;
    TField* f = field();
    return guarded(controlWidget(), [&] { f->Clear(); });
}

} // namespace kvx
