// PhraseWindow: the common-phrase window. Lists the user's phrases, narrowed by the text box (which starts
// with the field's text); Enter or a double-click picks the current phrase, or the typed text when no
// phrase matches; "新增" stores the typed text as a phrase, "删除" removes the selected one; Esc cancels.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace pellan {

// Where the phrases of one user live; errors raise std::exception with a readable text.
class PhraseStore {
public:
    virtual ~PhraseStore() = default;
    virtual QStringList phrases() = 0;
    virtual void add(const QString& phrase) = 0;
    virtual void remove(const QString& phrase) = 0;
};

class PhraseWindow : public QDialog {
    Q_OBJECT
public:
    PhraseWindow(PhraseStore& store, const QString& text, QWidget* parent = nullptr);

    QString chosenText() const { return chosen_; }
    QStringList shownPhrases() const;
    // The last store error shown in the window, empty when none.
    QString lastError() const { return lastError_; }

    QLineEdit* textBox() const { return text_; }
    QListWidget* list() const { return list_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* deleteButton() const { return delete_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PhraseStore& store_;
    QStringList all_;
    QString chosen_;
    QString lastError_;
    QLineEdit* text_;
    QListWidget* list_;
    QPushButton* add_;
    QPushButton* delete_;

    void reload();
    void refilter();
    void pick();
    void addPhrase();
    void deletePhrase();
    bool guarded(const std::function<void()>& f);
};

} // namespace pellan
