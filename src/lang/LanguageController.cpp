#include "LanguageController.h"

TLanguageController::TLanguageController(QObject* owner)
    : QObject(owner), package_(std::make_shared<const kvx::lang::PackageDocument>()) {}

TLanguageController::~TLanguageController() = default;

bool TLanguageController::GetActive() const {
    return reader_ && package_->document().document_element();
}

void TLanguageController::SetActive(bool active) {
    if (loading_) {
        streamedActive_ = active;
        return;
    }
    if (active == GetActive()) return;
    if (active)
        Open();
    else
        Close();
}

void TLanguageController::Loaded() {
    if (!loading_) return;
    loading_ = false;
    SetActive(streamedActive_);
}

void TLanguageController::DropDocument() {
    reader_.reset();
    package_ = std::make_shared<const kvx::lang::PackageDocument>();
}

void TLanguageController::Open() {
    emit BeforeOpen(this);
    DropDocument();
    std::shared_ptr<const kvx::lang::PackageDocument> package;
    if (!inlineText_.isEmpty()) {
        package = std::make_shared<const kvx::lang::PackageDocument>(inlineText_.join(u'\n').toUtf8());
    } else {
        if (fileName_.isEmpty())
            throw LanguageControllerError(QStringLiteral("Cannot Find File %1!").arg(fileName_));
        package = kvx::lang::LoadPackageFile(fileName_);
    }
    if (!package->error().isEmpty()) throw LanguageControllerError(package->error());
    package_ = package;
    reader_ = std::make_unique<TLangReader>(
        package_, exclude_, [this](QObject* c, const pugi::xml_node& e) { emit BeforeLoadComponent(c, e); },
        [this](QObject* c, const pugi::xml_node& e) { emit AfterLoadComponent(c, e); });
    emit AfterOpen(this);
}

void TLanguageController::Close() {
    emit BeforeClose(this);
    DropDocument();
    emit AfterClose(this);
}

void TLanguageController::setExcludeControls(const QStringList& names) {
    exclude_ = names;
    if (reader_) reader_->SetExcludeControls(names);
}

void TLanguageController::setFileName(const QString& fileName) {
    if (fileName == fileName_) return;
    fileName_ = fileName;
    if (GetActive()) Close();
}

void TLanguageController::setLangPackage(const QStringList& lines) {
    if (lines == inlineText_) return;
    inlineText_ = lines;
    if (GetActive()) Close();
}

TLangReader* TLanguageController::GetLangReader() {
    if (!GetActive()) throw LanguageControllerError(QStringLiteral("No active LanguageController!"));
    return reader_.get();
}

TKvLangController::TKvLangController(QObject* owner) : TKvLangController(kvx::readSettings(), owner) {}

TKvLangController::TKvLangController(const kvx::Settings& settings, QObject* owner)
    : TLanguageController(owner), settings_(settings) {}

void TKvLangController::SetSettings(const kvx::Settings& settings) {
    if (settings == settings_) return;
    settings_ = settings;
    if (!packageName_.isEmpty()) UpdateFileName();
}

void TKvLangController::setDesignType(TDesignType designType) {
    if (designType == designType_) return;
    designType_ = designType;
    if (!packageName_.isEmpty()) UpdateFileName();
}

void TKvLangController::SetLangPackageName(const QString& name) {
    if (name == packageName_) return;
    packageName_ = name;
    UpdateFileName();
}

void TKvLangController::UpdateFileName() {
    const QString file = kvx::lang::PackageFileName(settings_, designType_, packageName_);
    if (file == FileName()) return;
    setLangPackage({});
    setFileName(file);
    if (GetActive()) SetActive(false);
}
