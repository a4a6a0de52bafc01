// TKVForm: the root class of every window. It owns the window's code converter (KvConverter) and
// language controller (LangController); after construction it prepares its controls (input-method
// names cleared, English-UI fonts, disabled images for image buttons); it converts its texts to the UI
// code page once on request and applies the language packages of its class chain each time it is shown.
//
// The class chain is the meta-object chain: every class of the window hierarchy carries Q_OBJECT and is
// named as its package ("TKVForm", "TfrmRadical", ...). Windows are created through TKVForm::Create<T>()
// (or call AfterConstruction() after constructing them); a window shown without it runs its creation
// steps before the first show.
#pragma once

#include "CodeConverter.h"
#include "LanguageController.h"
#include "platform/DialogService.h"
#include "platform/Font.h"

#include <QHash>
#include <QImage>
#include <QKeyEvent>
#include <QPalette>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class TKVForm : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE setHint)
    Q_PROPERTY(kvx::TFont* Font READ Font)
    Q_PROPERTY(bool KeyPreview READ KeyPreview WRITE setKeyPreview)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE setShowHint)
public:
    // Takes the settings of the window that owns it (a dialog its owner's), else kvx::readSettings().
    explicit TKVForm(QWidget* parent = nullptr);
    ~TKVForm() override;

    // Constructs a window and runs its creation steps.
    template <class T, class... Args> static T* Create(Args&&... args) {
        T* form = new T(std::forward<Args>(args)...);
        form->AfterConstruction();
        return form;
    }
    // The same on settings handed down (the program's start reads them once).
    template <class T, class... Args> static T* CreateWith(const kvx::Settings& settings, Args&&... args) {
        T* form = new T(std::forward<Args>(args)...);
        form->setSettings(settings);
        form->AfterConstruction();
        return form;
    }
    // Runs FormCreate once, after the whole class chain has built its components.
    void AfterConstruction();
    bool Created() const { return created_; }

    const kvx::Settings& settings() const { return converter_->settings(); }
    // Hands new settings to the converter and the language controller.
    void setSettings(const kvx::Settings& settings);

    TCodeConverter* KvConverter() const { return converter_; }
    TKvLangController* LangController() const { return langController_; }

    QString Caption() const { return windowTitle(); }
    void setCaption(const QString& caption) { setWindowTitle(caption); }
    QString Hint() const { return toolTip(); }
    void setHint(const QString& hint) { setToolTip(hint); }
    kvx::TFont* Font() const { return font_; }
    bool KeyPreview() const { return keyPreview_; }
    void setKeyPreview(bool on) { keyPreview_ = on; }
    bool ShowHint() const { return showHint_; }
    void setShowHint(bool on) { showHint_ = on; }

    // Converts the window's texts to the UI code page the first time it is called.
    void TranslateOnce();
    bool Translated() const { return translated_; }
    bool LoadOnShow() const { return loadOnShow_; }
    void SetLoadOnShow(bool on) { loadOnShow_ = on; }

    // A message dialog in the UI font, captioned like this window; returns the modal result.
    int MessageDlg(const QString& text, kvx::MsgDlgType type, kvx::MsgDlgButtons buttons);

    QString SysCodePage() const;
    QString UICodePage() const;
    int UILangMode() const;
    int DataConvMode() const;

    // Applies the packages of obj's class chain (chain set) or of its own class only, from the most
    // general class to obj's class, stopping before the general window class.
    virtual void LoadLanguage(QObject* obj, bool chain);
    // The same without the root window's own package (the walk stops before TKVForm as well).
    virtual void LoadLanguageWithoutRoot(QObject* obj, bool chain);

    // The message key of a package; def (converted to the UI code page when convertDefault is set) when
    // the package has none. Returns the text in text and as the result.
    QString GetMessage(const QString& packageName, const QString& key, QString& text, bool convertDefault,
                       const QString& def);

    // The window's own wording of a text from outside it (screen settings), from the ScreenTexts of the
    // packages of its class chain, the most derived class first; a null text when none has it.
    QString ScreenText(const QString& text) const;

    // Package names of obj's class chain, most general first.
    static QStringList ClassChain(const QObject* obj, bool chain, bool withRoot);

protected:
    // Creation steps for every component the window owns (see AfterConstruction).
    virtual void FormCreate();
    // Each time the window is shown: the language packages of its class chain when load-on-show is set.
    virtual void FormShow();
    // Key preview: sees the keys of the window's controls first; true consumes the key.
    virtual bool FormKeyDown(QKeyEvent* event);

    // Whether a key event that reached the window itself was previewed already on its way up from a child.
    bool KeyPreviewed(const QKeyEvent* event) const;

    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TCodeConverter* converter_ = nullptr;
    TKvLangController* langController_ = nullptr;
    kvx::TFont* font_ = nullptr;
    bool created_ = false;
    bool translated_ = false;
    bool loadOnShow_ = true;
    bool keyPreview_ = true;
    bool showHint_ = true;
    bool positioned_ = false;
    // The key event last previewed and the widget it was sent to: Qt hands an unhandled key to each
    // parent in turn, and the window previews it only once.
    const QEvent* previewedKey_ = nullptr;
    QPointer<QWidget> previewedAt_;
    quint64 previewedTime_ = 0;

    void LoadPackages(QObject* obj, const QStringList& names);
    void PrepareComponent(QObject* component, bool englishUI);
};

namespace kvx::lang {

// Every component obj owns, depth first in creation order (obj itself excluded).
QList<QObject*> OwnedComponents(const QObject* obj);

// The components below a root by name, each name's components in the order QObject::findChild searches
// (a node's children, then each child's subtree). A snapshot for many lookups while the tree stays as it
// is: find<T>(name) gives what root->findChild<T>(name) gives, without walking the tree per name.
class ComponentIndex {
public:
    explicit ComponentIndex(const QObject* root);
    template <class T> T find(const QString& name) const {
        for (QObject* o : byName_.value(name))
            if (T t = qobject_cast<T>(o)) return t;
        return nullptr;
    }

private:
    QHash<QString, QList<QObject*>> byName_;
    void add(const QObject* parent);
};

// The disabled variant of a button image: pixels that are dark, or light and next to the transparent
// colour, become an embossed silhouette (highlight one pixel right and down, shadow on top) on the
// button face. Images with an alpha channel take fully transparent pixels as the transparent colour and
// keep a transparent background; others take the colour of their bottom-left pixel.
QImage DisabledImage(const QImage& image, const QPalette& palette);
// The image doubled in width: the image as it was on the left, its disabled variant on the right.
QImage WithDisabledImage(const QImage& image, const QPalette& palette);
// When an image button holds exactly one image, appends the disabled one and sets its glyph count to 2.
// False when the component is no image button or holds no single image.
bool AddDisabledGlyph(QObject* component);

} // namespace kvx::lang
