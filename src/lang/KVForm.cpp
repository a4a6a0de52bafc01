#include "KVForm.h"

#include "platform/Font.h"
#include "platform/FontSubstitution.h"
#include "platform/PropertySetter.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QMetaObject>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>
#include <vector>

TKVForm::TKVForm(QWidget* parent) : QWidget(parent) {
    kvx::fonts::installFontSubstitutions();
    font_ = new kvx::TFont(this);
    font_->setName(QStringLiteral("宋体"));
    font_->setHeight(-13);
    setFont(font_->font());
    connect(font_, &kvx::TFont::changed, this, [this] { setFont(font_->font()); });

    const TKVForm* owner = nullptr;
    for (QWidget* w = parent; w && !owner; w = w->parentWidget())
        owner = qobject_cast<const TKVForm*>(w);
    const kvx::Settings settings = owner ? owner->settings() : kvx::readSettings();
    converter_ = new TCodeConverter(settings, this, dtClient);
    converter_->setObjectName(QStringLiteral("KvConverter"));
    langController_ = new TKvLangController(settings, this);
    langController_->setObjectName(QStringLiteral("LangController"));
    langController_->SetActive(false);

    qApp->installEventFilter(this);
}

TKVForm::~TKVForm() {
    if (qApp) qApp->removeEventFilter(this);
}

void TKVForm::setSettings(const kvx::Settings& settings) {
    converter_->setSettings(settings);
    langController_->SetSettings(settings);
}

void TKVForm::AfterConstruction() {
    if (created_) return;
    created_ = true;
    FormCreate();
}

QString TKVForm::SysCodePage() const {
    return converter_->SysCodePage();
}
QString TKVForm::UICodePage() const {
    return converter_->UICodePage();
}
int TKVForm::UILangMode() const {
    return converter_->UILangMode();
}
int TKVForm::DataConvMode() const {
    return converter_->DataConvMode();
}

void TKVForm::FormCreate() {
    const bool englishUI = UICodePage() == QStringLiteral("437");
    for (QObject* c : kvx::lang::OwnedComponents(this))
        PrepareComponent(c, englishUI);
}

void TKVForm::PrepareComponent(QObject* c, bool englishUI) {
    using kvx::PropertySetter;
    if (PropertySetter::findProperty(c, QStringLiteral("ImeName")).isValid())
        PropertySetter::set(c, QStringLiteral("ImeName"), QString());
    if (englishUI) {
        if (PropertySetter::objectProperty(c, QStringLiteral("Font"))) {
            PropertySetter::set(c, QStringLiteral("Font.Charset"), QStringLiteral("134"));
            PropertySetter::set(c, QStringLiteral("Font.Name"), QStringLiteral("Tahoma"));
        } else if (auto* w = qobject_cast<QWidget*>(c)) {
            // Plain Qt widgets hold their font as a value; the rule applies to it directly.
            QFont f = w->font();
            f.setFamily(QStringLiteral("Tahoma"));
            w->setFont(f);
        }
    }
    kvx::lang::AddDisabledGlyph(c);
}

void TKVForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    AfterConstruction();
    if (isWindow() && !positioned_) {
        positioned_ = true;
        if (QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    FormShow();
}

void TKVForm::FormShow() {
    if (loadOnShow_) LoadLanguage(this, true);
}

bool TKVForm::FormKeyDown(QKeyEvent*) {
    return false;
}

bool TKVForm::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type t = event->type();
    if (t != QEvent::KeyPress && t != QEvent::ToolTip) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w == this || !isAncestorOf(w)) return false;
    if (t == QEvent::ToolTip) return !showHint_;
    // The same key travelling up from a child to its parents is previewed once.
    const quint64 time = static_cast<QKeyEvent*>(event)->timestamp();
    if (event == previewedKey_ && time == previewedTime_ && previewedAt_ && w != previewedAt_ &&
        w->isAncestorOf(previewedAt_)) {
        previewedAt_ = w;
        return false;
    }
    previewedKey_ = event;
    previewedTime_ = time;
    previewedAt_ = w;
    return keyPreview_ && FormKeyDown(static_cast<QKeyEvent*>(event));
}

bool TKVForm::KeyPreviewed(const QKeyEvent* event) const {
    return event == previewedKey_ && event->timestamp() == previewedTime_ && previewedAt_ &&
           isAncestorOf(previewedAt_);
}

void TKVForm::TranslateOnce() {
    if (translated_) return;
    converter_->DoTranslate(this, QString(), true);
    translated_ = true;
}

int TKVForm::MessageDlg(const QString& text, kvx::MsgDlgType type, kvx::MsgDlgButtons buttons) {
    return converter_->MessageDlg(text, type, buttons);
}

QString TKVForm::GetMessage(const QString& packageName, const QString& key, QString& text,
                            bool convertDefault, const QString& def) {
    QString fallback = def;
    if (convertDefault) fallback = converter_->ConvertUIString(kvx::Variant(def)).toString();
    text =
        ::GetMessage(langController_->settings(), langController_->DesignType(), packageName, key, fallback);
    return text;
}

QString TKVForm::ScreenText(const QString& text) const {
    const QStringList chain = ClassChain(this, true, true);
    for (auto it = chain.crbegin(); it != chain.crend(); ++it) {
        const QString found = kvx::lang::GetScreenTextFromFile(
            kvx::lang::PackageFileName(langController_->settings(), langController_->DesignType(), *it),
            text);
        if (!found.isNull()) return found;
    }
    return {};
}

QStringList TKVForm::ClassChain(const QObject* obj, bool chain, bool withRoot) {
    const auto bareName = kvx::lang::BareClassName;
    // Qt's own classes (QWidget, QDialog, QObject, ...) are the general classes the walk stops at.
    auto isGeneral = [](const QMetaObject* mo) { return mo->className()[0] == 'Q'; };
    QStringList names;
    if (!obj) return names;
    const QMetaObject* mo = obj->metaObject();
    if (!chain) return {bareName(mo)};
    for (; mo && !isGeneral(mo); mo = mo->superClass()) {
        if (!withRoot && mo == &TKVForm::staticMetaObject) break;
        names.prepend(bareName(mo));
    }
    return names;
}

void TKVForm::LoadLanguage(QObject* obj, bool chain) {
    LoadPackages(obj, ClassChain(obj, chain, true));
}

void TKVForm::LoadLanguageWithoutRoot(QObject* obj, bool chain) {
    LoadPackages(obj, ClassChain(obj, chain, false));
}

void TKVForm::LoadPackages(QObject* obj, const QStringList& names) {
    QPointer<QObject> guard(obj);
    for (const QString& name : names) {
        if (!guard) return;
        langController_->SetLangPackageName(name);
        if (!QFile::exists(langController_->FileName())) continue;
        // A package that cannot be read is skipped like a missing one; the others still apply.
        try {
            langController_->SetActive(true);
            langController_->GetLangReader()->Apply(obj);
        } catch (const LanguageControllerError& e) {
            qWarning("language package %s: %s", qPrintable(langController_->FileName()),
                     qPrintable(e.message()));
        }
    }
}

// ---- helpers

namespace kvx::lang {

namespace {
void appendOwned(const QObject* obj, QList<QObject*>& out) {
    for (QObject* child : obj->children()) {
        out << child;
        appendOwned(child, out);
    }
}
} // namespace

QList<QObject*> OwnedComponents(const QObject* obj) {
    QList<QObject*> out;
    if (obj) appendOwned(obj, out);
    return out;
}

ComponentIndex::ComponentIndex(const QObject* root) {
    if (root) add(root);
}

void ComponentIndex::add(const QObject* parent) {
    const QObjectList& children = parent->children();
    for (QObject* child : children)
        byName_[child->objectName()].append(child);
    for (QObject* child : children)
        add(child);
}

QImage DisabledImage(const QImage& image, const QPalette& palette) {
    if (image.isNull()) return {};
    const bool alpha = image.hasAlphaChannel();
    const QImage src = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const int w = src.width(), h = src.height();
    // Pixels read and written as the 32-bit words of the two formats (RGB32 keeps its alpha byte 0xff).
    auto at = [&](int x, int y) { return reinterpret_cast<const QRgb*>(src.constScanLine(y))[x]; };
    const QRgb key = at(0, h - 1);
    auto transparent = [&](int x, int y) {
        const QRgb p = at(std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1));
        return alpha ? qAlpha(p) == 0 : (p & 0xFFFFFF) == (key & 0xFFFFFF);
    };
    // Marked pixels: dark ones, and light ones next to the transparent colour (the outline).
    std::vector<char> marked(std::size_t(w) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (transparent(x, y)) continue;
            const QRgb p = at(x, y);
            const bool dark = qRed(p) + qGreen(p) + qBlue(p) < 384;
            marked[std::size_t(y) * w + x] = dark || transparent(x - 1, y) || transparent(x + 1, y) ||
                                             transparent(x, y - 1) || transparent(x, y + 1);
        }
    // Embossed silhouette: the mask in the highlight colour one pixel right and down, then in the shadow
    // colour in place, on the button face.
    QImage out(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    out.fill(alpha ? QColor(Qt::transparent) : palette.color(QPalette::Button));
    const QRgb opaque = alpha ? 0 : 0xff000000;
    const QRgb highlight = palette.color(QPalette::Light).rgba() | opaque;
    const QRgb shadow = palette.color(QPalette::Dark).rgba() | opaque;
    for (int y = 0; y + 1 < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y + 1));
        for (int x = 0; x + 1 < w; ++x)
            if (marked[std::size_t(y) * w + x]) line[x + 1] = highlight;
    }
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
            if (marked[std::size_t(y) * w + x]) line[x] = shadow;
    }
    return out;
}

QImage WithDisabledImage(const QImage& image, const QPalette& palette) {
    if (image.isNull()) return {};
    const QImage disabled = DisabledImage(image, palette);
    QImage both(image.width() * 2, image.height(), disabled.format());
    both.fill(Qt::transparent);
    const QImage left = image.convertToFormat(disabled.format());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            both.setPixel(x, y, left.pixel(x, y));
            both.setPixel(image.width() + x, y, disabled.pixel(x, y));
        }
    return both;
}

bool AddDisabledGlyph(QObject* component) {
    if (!component) return false;
    // Most components have no glyph: the remembered (caseless) lookup answers before the by-name reads.
    if (component->dynamicPropertyNames().isEmpty() &&
        !PropertySetter::findProperty(component, QStringLiteral("NumGlyphs")).isValid())
        return false;
    const QVariant numGlyphs = component->property("NumGlyphs");
    const QVariant glyph = component->property("Glyph");
    if (!numGlyphs.isValid() || !glyph.isValid() || numGlyphs.toInt() != 1) return false;
    QImage image;
    if (glyph.canConvert<QPixmap>() && glyph.metaType() == QMetaType::fromType<QPixmap>())
        image = glyph.value<QPixmap>().toImage();
    else if (glyph.canConvert<QImage>())
        image = glyph.value<QImage>();
    if (image.isNull()) return false;
    const auto* w = qobject_cast<const QWidget*>(component);
    const QImage both = WithDisabledImage(image, w ? w->palette() : QApplication::palette());
    if (glyph.metaType() == QMetaType::fromType<QPixmap>())
        component->setProperty("Glyph", QPixmap::fromImage(both));
    else
        component->setProperty("Glyph", both);
    component->setProperty("NumGlyphs", 2);
    return true;
}

} // namespace kvx::lang
