#include "controls/ImageLibrary.h"

#include "platform/DialogService.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QImageReader>

// The resource set lives in this static library: its initialiser must be referenced to be linked in, and
// Q_INIT_RESOURCE must be used outside any namespace.
static void initButtonImages() {
    Q_INIT_RESOURCE(ButtonImages);
}

namespace kvx {

namespace {

const QString kResourceDir = QStringLiteral(":/kvx/button-images");

QString overrideDir() {
    return qEnvironmentVariable("KVX_BMP_DIR");
}

int highestFileNumber(const QString& dir) {
    // "<n>.png" files only; the highest n.
    int best = 0;
    if (dir.isEmpty()) return 0;
    const QStringList files = QDir(dir).entryList({"*.png"}, QDir::Files);
    for (const QString& f : files) {
        bool ok = false;
        const int n = QFileInfo(f).completeBaseName().toInt(&ok);
        if (ok && n > best) best = n;
    }
    return best;
}

// The number of images compiled in: 1..n without gaps.
int builtinCount() {
    static const int count = [] {
        initButtonImages();
        int n = 0;
        while (QFileInfo::exists(QStringLiteral("%1/%2.png").arg(kResourceDir).arg(n + 1)))
            ++n;
        return n;
    }();
    return count;
}

// Read as PNG by Qt's built-in reader without format detection: with detection on, naming the format
// still makes Qt load every image-format plugin (gif, ico, jpeg with libjpeg) to ask whether it reads
// PNG. Only a file that is not a PNG after all is read with detection, as before.
bool loadPng(QPixmap& bmp, const QString& file) {
    QImageReader png(file, QByteArrayLiteral("png"));
    png.setAutoDetectImageFormat(false);
    QImage img = png.read();
    if (img.isNull()) img.load(file, "PNG");
    if (img.isNull()) return false;
    bmp = QPixmap::fromImage(img);
    return true;
}

} // namespace

int ImageLibrary::GetMaxBmpID() {
    return qMax(builtinCount(), highestFileNumber(overrideDir()));
}

bool ImageLibrary::LoadBmp(QPixmap& bmp, int n) {
    if (n <= 0 || n > GetMaxBmpID()) return false;
    const QString dir = overrideDir();
    if (!dir.isEmpty()) {
        const QString file = QDir(dir).filePath(QString::number(n) + ".png");
        if (QFileInfo::exists(file)) return loadPng(bmp, file);
    }
    if (n > builtinCount()) return false;
    return loadPng(bmp, QStringLiteral("%1/%2.png").arg(kResourceDir).arg(n));
}

QString ImageLibrary::loadErrorText() {
    return QString::fromUtf8("读取 BMP 发生错误");
}

void ButtonGlyph::attach(QAbstractButton* button) {
    button_ = button;
    if (!button_) return;
    if (!text_.isEmpty()) button_->setText(text_);
    refresh();
}

void ButtonGlyph::setText(const QString& text) {
    text_ = text;
    if (button_) button_->setText(text);
}

void ButtonGlyph::setIndex(int n) {
    index_ = n;
    setText(QString::number(n));
    if (n <= 0 || n > ImageLibrary::GetMaxBmpID()) {
        glyph_ = QPixmap();
        numGlyphs_ = 1;
        refresh();
        return;
    }
    QPixmap img;
    if (!ImageLibrary::LoadBmp(img, n)) {
        MessageRequest req;
        req.type = MsgDlgType::Error;
        req.buttons = mbOK;
        req.text = ImageLibrary::loadErrorText();
        req.parent = button_ ? button_->window() : nullptr;
        DialogService::instance().showMessage(req);
        return;
    }
    setText(QString());
    glyph_ = img;
    numGlyphs_ = img.height() > 0 ? qMax(1, img.width() / img.height()) : 1;
    refresh();
}

void ButtonGlyph::setGlyph(const QPixmap& p) {
    glyph_ = p;
    refresh();
}

void ButtonGlyph::setNumGlyphs(int n) {
    numGlyphs_ = qMax(1, n);
    refresh();
}

void ButtonGlyph::refresh() {
    if (!button_) return; // shown when a button is attached
    if (glyph_.isNull()) {
        button_->setIcon(QIcon());
        return;
    }
    // The glyphs stand side by side: normal, disabled (when there are two or more).
    const int w = glyph_.width() / numGlyphs_;
    QIcon icon;
    icon.addPixmap(glyph_.copy(0, 0, w, glyph_.height()), QIcon::Normal);
    if (numGlyphs_ >= 2) icon.addPixmap(glyph_.copy(w, 0, w, glyph_.height()), QIcon::Disabled);
    button_->setIcon(icon);
    button_->setIconSize(QSize(w, glyph_.height()));
}

} // namespace kvx
