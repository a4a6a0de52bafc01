#include "Morvel.h"

#include "platform/DialogService.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QUuid>
#include <QVBoxLayout>

namespace kvxdoc {

using kvx::Variant;
using kvx::VariantList;

namespace {
QString textOf(const Variant& v) {
    return v.isEmptyOrNull() ? QString() : v.toString();
}
} // namespace

AttachmentObject::AttachmentObject() : DispatchObject(QStringLiteral("Morvel.Class1")) {
    addMethod(QStringLiteral("Init"), [this](VariantList& a) {
        company_ = textOf(arg(a, 0));
        user_ = textOf(arg(a, 1));
        program_ = textOf(arg(a, 2));
        key_ = textOf(arg(a, 3));
        keyNames_ = textOf(arg(a, 4));
        mode_ = textOf(arg(a, 5));
        return Variant();
    });
    addProperty(
        QStringLiteral("ParentHandle"), [this] { return Variant(parentHandle_); },
        [this](const Variant& v) { parentHandle_ = v.toIntDef(0); });
    addMethod(QStringLiteral("ShowModal"), [this](VariantList&) { return Variant(showModal()); });
    addMethod(QStringLiteral("AddFile"),
              [this](VariantList& a) { return Variant(addFile(textOf(arg(a, 0)))); });
    addMethod(QStringLiteral("RemoveFile"), [this](VariantList& a) {
        removeFile(textOf(arg(a, 0)));
        return Variant();
    });
    addMethod(QStringLiteral("Files"), [this](VariantList&) {
        VariantList out;
        for (const Attachment& f : files())
            out << Variant::fromList({f.docId, f.fileName, f.creator, f.date});
        return Variant::fromList(out);
    });
}

QList<Attachment> AttachmentObject::files() {
    QList<Attachment> out;
    const Variant rows = link_.call(QStringLiteral("Attachments"), {program_, company_, key_});
    if (!rows.isArray()) return out;
    for (const Variant& r : rows.toList()) {
        const VariantList c = r.toList();
        out.append({textOf(c.value(0)), textOf(c.value(1)), textOf(c.value(2)), textOf(c.value(3))});
    }
    return out;
}

QString AttachmentObject::storedPath(const Attachment& a) const {
    return QDir(StoreFolder())
        .filePath(QStringLiteral("attach/%1/%2/%3").arg(company_, a.docId, QFileInfo(a.fileName).fileName()));
}

QString AttachmentObject::addFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile()) kvx::refuse(QStringLiteral("文件不存在: %1").arg(path));
    if (program_.isEmpty() || key_.isEmpty())
        kvx::refuse(QStringLiteral("Morvel.Class1: Init must name a program and a record"));
    const QString docId =
        QStringLiteral("ATT") + QUuid::createUuid().toString(QUuid::Id128).left(16).toUpper();
    const Attachment a{docId, info.fileName(), user_,
                       QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))};
    const QString target = storedPath(a);
    if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(path, target))
        kvx::refuse(QStringLiteral("无法复制文件到 %1").arg(target));
    try {
        link_.call(QStringLiteral("AddAttachment"),
                   {program_, company_, key_, docId, a.fileName, user_, a.date});
    } catch (...) {
        QFile::remove(target);
        throw;
    }
    return docId;
}

void AttachmentObject::removeFile(const QString& docId) {
    for (const Attachment& a : files())
        if (a.docId == docId) {
            link_.call(QStringLiteral("RemoveAttachment"), {program_, company_, key_, docId});
            QFile::remove(storedPath(a));
            QDir().rmdir(QFileInfo(storedPath(a)).absolutePath());
            return;
        }
}

int AttachmentObject::showModal() {
    QWidget* parent = parentHandle_ ? QWidget::find(WId(parentHandle_)) : nullptr;
    AttachmentDialog dialog(*this, QStringLiteral("附件 - %1 [%2]").arg(program_, key_), parent);
    return dialog.exec();
}

AttachmentDialog::AttachmentDialog(AttachmentObject& owner, const QString& title, QWidget* parent)
    : QDialog(parent), owner_(owner), table_(new QTableWidget(this)) {
    setObjectName(QStringLiteral("frmAttachments"));
    setWindowTitle(title);
    resize(520, 300);
    table_->setObjectName(QStringLiteral("gdFiles"));
    table_->setColumnCount(3);
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("文件名"), QStringLiteral("建立者"), QStringLiteral("日期")});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* add = new QPushButton(QStringLiteral("新增(&A)"), this);
    auto* open = new QPushButton(QStringLiteral("打开(&O)"), this);
    auto* remove = new QPushButton(QStringLiteral("删除(&D)"), this);
    auto* close = new QPushButton(QStringLiteral("关闭(&C)"), this);
    add->setObjectName(QStringLiteral("btnAdd"));
    open->setObjectName(QStringLiteral("btnOpen"));
    remove->setObjectName(QStringLiteral("btnRemove"));
    close->setObjectName(QStringLiteral("btnClose"));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {add, open, remove})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    const auto guarded = [this](const std::function<void()>& op) {
        try {
            op();
            reload();
        } catch (const std::exception& e) {
            kvx::MessageRequest r;
            r.type = kvx::MsgDlgType::Error;
            r.text = QString::fromUtf8(e.what());
            r.caption = windowTitle();
            r.parent = this;
            kvx::DialogService::instance().showMessage(r);
        }
    };
    connect(add, &QPushButton::clicked, this, [this, guarded] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("新增附件"));
        if (!path.isEmpty()) guarded([&] { owner_.addFile(path); });
    });
    connect(open, &QPushButton::clicked, this, [this] {
        const int row = table_->currentRow();
        if (row >= 0 && row < rows_.size())
            QDesktopServices::openUrl(QUrl::fromLocalFile(owner_.storedPath(rows_[row])));
    });
    connect(remove, &QPushButton::clicked, this, [this, guarded] {
        const int row = table_->currentRow();
        if (row >= 0 && row < rows_.size()) guarded([&] { owner_.removeFile(rows_[row].docId); });
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    guarded([] {});
}

void AttachmentDialog::reload() {
    rows_.clear();
    table_->setRowCount(0);
    rows_ = owner_.files();
    table_->setRowCount(int(rows_.size()));
    for (int i = 0; i < rows_.size(); ++i) {
        table_->setItem(i, 0, new QTableWidgetItem(rows_[i].fileName));
        table_->setItem(i, 1, new QTableWidgetItem(rows_[i].creator));
        table_->setItem(i, 2, new QTableWidgetItem(rows_[i].date));
    }
}

} // namespace kvxdoc

extern "C" Q_DECL_EXPORT kvx::Dispatch* CreateMorvelAttachments(const char*) {
    return new kvxdoc::AttachmentObject();
}
