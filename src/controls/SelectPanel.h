// TSelectPanel: a selection panel - the available items on the left, the chosen ones on the right and
// three image buttons between them (choose, remove, remove all). BeginWords and FinalWords are the texts
// placed before and after the chosen items when they are joined (SelectedText); HintWord is the caption
// shown above the lists.
#pragma once

#include "controls/Control.h"
#include "controls/ImageLibrary.h"

#include <memory>

class QLabel;
class QListWidget;
class QToolButton;

namespace kvx {

class TSelectPanel : public TControl {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE setItems)
    Q_PROPERTY(QStringList Selected READ Selected WRITE setSelected)
    Q_PROPERTY(QStringList BeginWords READ BeginWords WRITE setBeginWords)
    Q_PROPERTY(QStringList FinalWords READ FinalWords WRITE setFinalWords)
    Q_PROPERTY(QString HintWord READ HintWord WRITE setHintWord)
    Q_PROPERTY(QString Separator READ Separator WRITE setSeparator)
public:
    explicit TSelectPanel(QWidget* parent = nullptr);
    ~TSelectPanel() override;

    QStringList Items() const { return items_; }
    void setItems(const QStringList& items);
    QStringList Selected() const { return selected_; }
    void setSelected(const QStringList& s);
    QStringList BeginWords() const { return beginWords_; }
    void setBeginWords(const QStringList& w) { beginWords_ = w; }
    QStringList FinalWords() const { return finalWords_; }
    void setFinalWords(const QStringList& w) { finalWords_ = w; }
    QString HintWord() const { return hintWord_; }
    void setHintWord(const QString& w);
    QString Separator() const { return separator_; }
    void setSeparator(const QString& s) { separator_ = s; }

    // The chosen items joined by the separator, between the begin and final words.
    QString SelectedText() const;

    // Moves the highlighted available items to the chosen list; removes the highlighted chosen item;
    // empties the chosen list.
    Q_INVOKABLE void AddSelected();
    Q_INVOKABLE void RemoveSelected();
    Q_INVOKABLE void ClearSelected();

    QListWidget* sourceList() const { return source_; }
    QListWidget* selectedList() const { return chosen_; }
    QToolButton* addButton() const { return add_; }
    QToolButton* removeButton() const { return remove_; }
    QToolButton* clearButton() const { return clear_; }

signals:
    void Change();

private:
    void refill();

    QStringList items_, selected_, beginWords_, finalWords_;
    QString hintWord_, separator_ = ",";
    QLabel* hint_;
    QListWidget* source_;
    QListWidget* chosen_;
    QToolButton *add_, *remove_, *clear_;
    std::unique_ptr<ButtonGlyph> addGlyph_, removeGlyph_, clearGlyph_;
};

} // namespace kvx
