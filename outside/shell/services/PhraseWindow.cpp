#include "PhraseWindow.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace pellan {

PhraseWindow::PhraseWindow(PhraseStore& store, const QString& text, QWidget* parent)
    : QDialog(parent), store_(store), text_(new QLineEdit(text, this)), list_(new QListWidget(this)),
      add_(new QPushButton(QStringLiteral("新增"), this)),
      delete_(new QPushButton(QStringLiteral("删除"), this)) {
    setObjectName(QStringLiteral("frmPhrase"));
    setWindowTitle(QStringLiteral("常用语"));
    text_->setObjectName(QStringLiteral("edPhrase"));
    list_->setObjectName(QStringLiteral("lstPhrase"));
    add_->setObjectName(QStringLiteral("btnAdd"));
    delete_->setObjectName(QStringLiteral("btnDelete"));
    add_->setAutoDefault(false);
    delete_->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(delete_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(420, 320);

    connect(text_, &QLineEdit::textChanged, this, &PhraseWindow::refilter);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        chosen_ = item->text();
        accept();
    });
    connect(add_, &QPushButton::clicked, this, &PhraseWindow::addPhrase);
    connect(delete_, &QPushButton::clicked, this, &PhraseWindow::deletePhrase);
    text_->installEventFilter(this);
    list_->installEventFilter(this);
    reload();
    text_->setFocus();
}

bool PhraseWindow::guarded(const std::function<void()>& f) {
    try {
        f();
        lastError_.clear();
        return true;
    } catch (const std::exception& e) {
        lastError_ = QString::fromUtf8(e.what());
        setToolTip(lastError_);
        return false;
    }
}

void PhraseWindow::reload() {
    guarded([this] { all_ = store_.phrases(); });
    refilter();
}

QStringList PhraseWindow::shownPhrases() const {
    QStringList out;
    for (int i = 0; i < list_->count(); ++i)
        out << list_->item(i)->text();
    return out;
}

void PhraseWindow::refilter() {
    const QString needle = text_->text().trimmed();
    list_->clear();
    for (const QString& p : all_)
        if (needle.isEmpty() || p.contains(needle, Qt::CaseInsensitive)) list_->addItem(p);
    // With no match the whole list stays in view, so that another phrase can still be chosen.
    if (list_->count() == 0)
        for (const QString& p : all_)
            list_->addItem(p);
    if (list_->count() > 0 && !needle.isEmpty() && all_.filter(needle, Qt::CaseInsensitive).size() > 0)
        list_->setCurrentRow(0);
}

void PhraseWindow::pick() {
    QListWidgetItem* item = list_->currentItem();
    chosen_ = item ? item->text() : text_->text();
    accept();
}

void PhraseWindow::addPhrase() {
    const QString p = text_->text().trimmed();
    if (p.isEmpty() || all_.contains(p)) return;
    if (guarded([&] { store_.add(p); })) reload();
}

void PhraseWindow::deletePhrase() {
    QListWidgetItem* item = list_->currentItem();
    if (!item) return;
    const QString p = item->text();
    if (guarded([&] { store_.remove(p); })) reload();
}

bool PhraseWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            pick();
            return true;
        }
        if (watched == text_ && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up) &&
            list_->count() > 0) {
            const int row =
                qBound(0, list_->currentRow() + (key->key() == Qt::Key_Down ? 1 : -1), list_->count() - 1);
            list_->setCurrentRow(row);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace pellan
