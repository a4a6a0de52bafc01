// The language-aware base window: creation steps, disabled images, class-chain packages, messages.
#include "lang/KVForm.h"
#include "LangTestSupport.h"
#include "SampleForm.h"

#include <QLineEdit>
#include <QPalette>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

using namespace kvx::lang;

namespace {

class TfrmPrepare : public TKVForm {
public:
    TfrmPrepare() {
        combo = new TTestComboBox(this);
        auto* panel = new QWidget(this);
        fontLabel = new TTestFontLabel(QStringLiteral("名称"), panel); // owned one level down
        plain = new QLabel(QStringLiteral("说明"), this);
        one = new TTestGlyphButton(this);
        two = new TTestGlyphButton(this);
        QImage img(8, 8, QImage::Format_RGB32);
        img.fill(Qt::white);
        img.setPixel(0, 7, qRgb(255, 0, 255));
        img.setPixel(3, 3, qRgb(0, 0, 0));
        one->SetGlyph(QPixmap::fromImage(img));
        two->SetGlyph(QPixmap::fromImage(img.scaled(16, 8)));
        two->SetNumGlyphs(2);
    }
    TTestComboBox* combo;
    TTestFontLabel* fontLabel;
    QLabel* plain;
    TTestGlyphButton* one;
    TTestGlyphButton* two;
};

QImage pattern() {
    // M = transparent (bottom-left), D = dark, L = light
    //   M D L L M
    //   M L L L M
    //   M M M M M
    const QRgb M = qRgb(255, 0, 255), D = qRgb(0, 0, 0), L = qRgb(250, 250, 250);
    const QRgb rows[3][5] = {{M, D, L, L, M}, {M, L, L, L, M}, {M, M, M, M, M}};
    QImage img(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            img.setPixel(x, y, rows[y][x]);
    return img;
}

QPalette testPalette() {
    QPalette p;
    p.setColor(QPalette::Button, QColor(192, 192, 192));
    p.setColor(QPalette::Light, QColor(255, 255, 255));
    p.setColor(QPalette::Dark, QColor(128, 128, 128));
    return p;
}

} // namespace

TEST(DisabledImage, MarkedPixelsBecomeAnEmbossedSilhouette) {
    const QImage out = DisabledImage(pattern(), testPalette());
    ASSERT_EQ(out.size(), QSize(5, 3));
    const char* expected[3] = {"FSFSF", "FSSSH", "FFHHH"}; // F face, S shadow, H highlight
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const QRgb p = out.pixel(x, y) & 0xFFFFFF;
            const QRgb want = expected[y][x] == 'S'   ? qRgb(128, 128, 128)
                              : expected[y][x] == 'H' ? qRgb(255, 255, 255)
                                                      : qRgb(192, 192, 192);
            EXPECT_EQ(p, want & 0xFFFFFF) << "pixel " << x << "," << y;
        }
}

TEST(DisabledImage, AlphaImagesKeepATransparentBackground) {
    QImage img(4, 4, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    img.setPixel(1, 1, qRgba(20, 20, 20, 255));
    img.setPixel(2, 1, qRgba(240, 240, 240, 255)); // light, next to transparent: outline
    const QImage out = DisabledImage(img, testPalette());
    EXPECT_EQ(qAlpha(out.pixel(0, 0)), 0);
    EXPECT_EQ(out.pixel(1, 1), qRgba(128, 128, 128, 255));
    EXPECT_EQ(out.pixel(2, 1), qRgba(128, 128, 128, 255));
    EXPECT_EQ(out.pixel(3, 2), qRgba(255, 255, 255, 255));
    EXPECT_EQ(qAlpha(out.pixel(3, 3)), 0);
}

TEST(DisabledImage, WidthIsDoubledWithTheOriginalOnTheLeft) {
    const QImage src = pattern();
    const QImage both = WithDisabledImage(src, testPalette());
    ASSERT_EQ(both.size(), QSize(10, 3));
    const QImage disabled = DisabledImage(src, testPalette());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(both.pixel(x, y) & 0xFFFFFF, src.pixel(x, y) & 0xFFFFFF);
            EXPECT_EQ(both.pixel(x + 5, y), disabled.pixel(x, y));
        }
}

TEST(KVFormCreate, ClearsInputMethodsAndAddsDisabledImages) {
    LangTree lang("936");
    std::unique_ptr<TfrmPrepare> f(TKVForm::Create<TfrmPrepare>());
    EXPECT_TRUE(f->Created());
    EXPECT_EQ(f->combo->imeName, "");
    EXPECT_EQ(f->one->NumGlyphs(), 2);
    EXPECT_EQ(f->one->Glyph().size(), QSize(16, 8));
    EXPECT_EQ(f->one->Glyph().toImage().pixel(3, 3) & 0xFFFFFF, 0u) << "left half unchanged";
    EXPECT_EQ(f->two->NumGlyphs(), 2);
    EXPECT_EQ(f->two->Glyph().size(), QSize(16, 8)) << "a button with two images is left alone";
    // 936: design fonts stay.
    EXPECT_NE(f->fontLabel->Font()->Name(), "Tahoma");
    // Creation runs once.
    f->one->SetNumGlyphs(1);
    f->AfterConstruction();
    EXPECT_EQ(f->one->Glyph().size(), QSize(16, 8));
}

TEST(KVFormCreate, EnglishInterfaceGetsTahomaWithCharset134) {
    LangTree lang("437");
    std::unique_ptr<TfrmPrepare> f(TKVForm::Create<TfrmPrepare>());
    EXPECT_EQ(f->UICodePage(), "437");
    EXPECT_EQ(f->fontLabel->Font()->Name(), "Tahoma");
    EXPECT_EQ(f->fontLabel->Font()->Charset(), 134);
    EXPECT_EQ(f->plain->font().family(), "Tahoma");
}

TEST(KVFormCreate, RunsBeforeTheFirstShowWhenNotCreatedExplicitly) {
    LangTree lang("936");
    TfrmPrepare f;
    EXPECT_FALSE(f.Created());
    f.show();
    EXPECT_TRUE(f.Created());
    EXPECT_EQ(f.one->NumGlyphs(), 2);
}

TEST(KVFormPackages, ClassChainFromTheMostGeneralClass) {
    LangTree lang("936");
    std::unique_ptr<TfrmLangSample> f(TKVForm::Create<TfrmLangSample>());
    EXPECT_EQ(TKVForm::ClassChain(f.get(), true, true),
              (QStringList{"TKVForm", "TfrmLangBase", "TfrmLangSample"}));
    EXPECT_EQ(TKVForm::ClassChain(f.get(), true, false), (QStringList{"TfrmLangBase", "TfrmLangSample"}));
    EXPECT_EQ(TKVForm::ClassChain(f.get(), false, true), (QStringList{"TfrmLangSample"}));
    EXPECT_EQ(TKVForm::ClassChain(f->gdMain, true, true), (QStringList{"TTestGrid"}));
}

TEST(KVFormPackages, LaterClassWinsAndMissingOrBrokenPackagesAreSkipped) {
    LangTree lang("437");
    lang.writePackage("ENG", "TKVForm", "<TKVForm ToolTip='root' Caption='Root'/>");
    lang.writePackage("ENG", "TfrmLangBase",
                      "<TfrmLangBase Caption='Base'><btnOK Text='Okay'/></TfrmLangBase>");
    lang.writePackage("ENG", "TfrmLangSample", "<TfrmLangSample Caption='Sample'/>");
    std::unique_ptr<TfrmLangSample> f(TKVForm::Create<TfrmLangSample>());
    f->LoadLanguage(f.get(), true);
    EXPECT_EQ(f->windowTitle(), "Sample");
    EXPECT_EQ(f->toolTip(), "root");
    EXPECT_EQ(f->btnOK->text(), "Okay");

    // Without the root package.
    std::unique_ptr<TfrmLangSample> g(TKVForm::Create<TfrmLangSample>());
    g->LoadLanguageWithoutRoot(g.get(), true);
    EXPECT_EQ(g->windowTitle(), "Sample");
    EXPECT_EQ(g->toolTip(), "");

    // Only the object's own class.
    std::unique_ptr<TfrmLangSample> h(TKVForm::Create<TfrmLangSample>());
    h->LoadLanguage(h.get(), false);
    EXPECT_EQ(h->btnOK->text(), "确定");

    // A missing and a broken package in the chain: the others still apply.
    QFile::remove(lang.clientPath() + "MultiLanguage/ENG/TKVForm.Lng");
    lang.writePackage("ENG", "TfrmLangBase",
                      "<TfrmLangBase Caption='Base'><btnOK Text='Okay'></TfrmLangBase>");
    std::unique_ptr<TfrmLangSample> k(TKVForm::Create<TfrmLangSample>());
    k->LoadLanguage(k.get(), true);
    EXPECT_EQ(k->windowTitle(), "Sample");
    EXPECT_EQ(k->btnOK->text(), "确定");
}

TEST(KVFormPackages, NoPackagesKeepTheDesignTexts) {
    LangTree lang("437");
    std::unique_ptr<TfrmLangSample> f(TKVForm::Create<TfrmLangSample>());
    f->show();
    EXPECT_EQ(f->windowTitle(), "文档传输设置");
    EXPECT_EQ(f->btnCancel->text(), "取消");
}

TEST(KVFormPackages, EachShowAppliesThePackagesUnlessLoadOnShowIsOff) {
    LangTree lang("437");
    lang.writePackage("ENG", "TfrmLangSample", "<TfrmLangSample Caption='Sample'/>");
    std::unique_ptr<TfrmLangSample> f(TKVForm::Create<TfrmLangSample>());
    EXPECT_TRUE(f->LoadOnShow());
    f->show();
    EXPECT_EQ(f->windowTitle(), "Sample");
    f->hide();
    f->setWindowTitle("changed");
    f->show();
    EXPECT_EQ(f->windowTitle(), "Sample");
    f->hide();
    f->setWindowTitle("changed");
    f->SetLoadOnShow(false);
    f->show();
    EXPECT_EQ(f->windowTitle(), "changed");
}

TEST(KVFormMessages, PackageMessageOrTheDefault) {
    LangTree lang("437");
    lang.writePackage("ENG", "TfrmLangSample",
                      "<TfrmLangSample><sSave Msg='Save?'/><sEmpty/></TfrmLangSample>");
    std::unique_ptr<TfrmLangSample> f(TKVForm::Create<TfrmLangSample>());
    QString text;
    EXPECT_EQ(f->GetMessage("TfrmLangSample", "sSave", text, true, "保存吗？"), "Save?");
    EXPECT_EQ(text, "Save?");
    EXPECT_EQ(f->GetMessage("TfrmLangSample", "sEmpty", text, true, "保存吗？"), "保存吗？");
    EXPECT_EQ(text, "保存吗？");
}

TEST(KVFormKeys, KeyPreviewSeesKeysBeforeTheControls) {
    LangTree lang("936");
    struct Form : TKVForm {
        QLineEdit* edit = new QLineEdit(this);
        QList<int> seen;
        bool FormKeyDown(QKeyEvent* e) override {
            seen << e->key();
            return e->key() == Qt::Key_A;
        }
    };
    std::unique_ptr<Form> f(TKVForm::Create<Form>());
    f->show();
    QTest::keyClick(f->edit, Qt::Key_A);
    QTest::keyClick(f->edit, Qt::Key_B);
    EXPECT_EQ(f->seen, (QList<int>{Qt::Key_A, Qt::Key_B}));
    EXPECT_EQ(f->edit->text(), "b");
    f->setKeyPreview(false);
    QTest::keyClick(f->edit, Qt::Key_A);
    EXPECT_EQ(f->seen.size(), 2);
    EXPECT_EQ(f->edit->text(), "ba");
}

TEST(KVFormTranslate, TranslatesOnceToTheBig5Interface) {
    LangTree lang("950");
    std::unique_ptr<TfrmLangSample> f(TKVForm::Create<TfrmLangSample>());
    ASSERT_EQ(f->UILangMode(), 2);
    EXPECT_FALSE(f->Translated());
    f->TranslateOnce();
    EXPECT_TRUE(f->Translated());
    EXPECT_EQ(f->btnOK->text(), "確定");
    EXPECT_EQ(f->gbOptions->title(), "選項");
    f->btnOK->setText("确定");
    f->TranslateOnce();
    EXPECT_EQ(f->btnOK->text(), "确定") << "later calls do nothing";
}

TEST(KVFormMessages, DefaultIsConvertedOnlyWhenAsked) {
    LangTree lang("950");
    std::unique_ptr<TfrmLangSample> f(TKVForm::Create<TfrmLangSample>());
    QString text;
    EXPECT_EQ(f->GetMessage("TfrmLangSample", "sMissing", text, true, "确定删除这条记录吗？"),
              "確定刪除這條記錄嗎？");
    EXPECT_EQ(f->GetMessage("TfrmLangSample", "sMissing", text, false, "确定删除这条记录吗？"),
              "确定删除这条记录吗？");
}

TEST(KVFormMessages, MessageDialogIsCaptionedLikeTheWindow) {
    LangTree lang("936");
    std::unique_ptr<TfrmLangSample> f(TKVForm::Create<TfrmLangSample>());
    auto& dialogs = kvx::DialogService::instance();
    dialogs.clear();
    dialogs.queueAnswer(kvx::mrNo);
    EXPECT_EQ(f->MessageDlg("是否保存修改？", kvx::MsgDlgType::Confirmation, kvx::mbYes | kvx::mbNo),
              kvx::mrNo);
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown().last().caption, "文档传输设置");
    EXPECT_TRUE(dialogs.shown().last().text.startsWith("是否保存修改？"));
    EXPECT_EQ(f->MessageDlg("", kvx::MsgDlgType::Information, kvx::mbOK), 0) << "an empty text shows nothing";
    EXPECT_EQ(dialogs.shown().size(), 1);
}

TEST(KVFormSettings, ReadOnceAtCreationDialogsTakeTheirOwnersSettings) {
    LangTree lang("950");
    std::unique_ptr<TfrmLangSample> owner(TKVForm::Create<TfrmLangSample>());
    EXPECT_EQ(owner->UILangMode(), 2);
    lang.tree().writeText("client/StaveloC.ini", "[CodePage]\nUICodePage=437\n");
    EXPECT_EQ(owner->UICodePage(), "950"); // read once, not at each question

    auto* dialog = TKVForm::Create<TfrmLangSample>(owner.get());
    EXPECT_EQ(dialog->settings(), owner->settings());
    EXPECT_EQ(dialog->UICodePage(), "950");
    EXPECT_EQ(dialog->LangController()->settings(), owner->settings());

    std::unique_ptr<TfrmLangSample> unowned(TKVForm::Create<TfrmLangSample>());
    EXPECT_EQ(unowned->UICodePage(), "437");

    LangTree other("936");
    other.writePackage("CHS", "TfrmLangSample", "<TfrmLangSample/>");
    kvx::Settings handed = owner->settings();
    handed.client = kvx::CodePages::from(kvx::CodePage::Gbk, kvx::CodePage::Gbk, kvx::CodePage::Gbk);
    handed.clientPath = other.clientPath();
    std::unique_ptr<TfrmLangSample> given(TKVForm::CreateWith<TfrmLangSample>(handed));
    EXPECT_EQ(given->UILangMode(), 0);
    EXPECT_EQ(given->KvConverter()->Translator(), nullptr);
    EXPECT_EQ(given->LangController()->settings().clientPath, handed.clientPath);
    // Packages are looked for under the handed client path, in the handed UI code page's folder.
    given->LangController()->SetLangPackageName(QStringLiteral("TfrmLangSample"));
    EXPECT_EQ(given->LangController()->FileName(),
              other.clientPath() + QStringLiteral("MultiLanguage/CHS/TfrmLangSample.Lng"));
}

TEST(ComponentIndex, FindsWhatFindChildFinds) {
    // Names repeat at several depths and on several classes: a deep one in the first child's subtree comes
    // before a shallow one in the second's; a name held by an object of another class is passed over.
    QWidget root;
    auto* c1 = new QWidget(&root);
    c1->setObjectName("c1");
    auto* c2 = new QWidget(&root);
    c2->setObjectName("c2");
    auto* plain = new QObject(&root);
    plain->setObjectName("n");
    auto* g1 = new QWidget(c1);
    g1->setObjectName("g");
    auto* deep = new QLabel(g1);
    deep->setObjectName("n");
    auto* shallow = new QLabel(c2);
    shallow->setObjectName("n");
    auto* edit = new QLineEdit(c2);
    edit->setObjectName("g");
    auto* unnamed = new QLabel(c1);
    (void)unnamed;

    const ComponentIndex index(&root);
    for (const char* name : {"n", "g", "c1", "c2", "missing"}) {
        EXPECT_EQ(index.find<QObject*>(name), root.findChild<QObject*>(name)) << name;
        EXPECT_EQ(index.find<QWidget*>(name), root.findChild<QWidget*>(name)) << name;
        EXPECT_EQ(index.find<QLabel*>(name), root.findChild<QLabel*>(name)) << name;
        EXPECT_EQ(index.find<QLineEdit*>(name), root.findChild<QLineEdit*>(name)) << name;
    }
    EXPECT_EQ(index.find<QObject*>("n"), plain);
    EXPECT_EQ(index.find<QLabel*>("n"), deep);
    EXPECT_EQ(index.find<QLineEdit*>("g"), edit);
    EXPECT_EQ(ComponentIndex(nullptr).find<QObject*>("n"), nullptr);
}

// The silhouette drawn pixel by pixel through QImage's own accessors, as a reference.
static QImage referenceDisabled(const QImage& image, const QPalette& palette) {
    const bool alpha = image.hasAlphaChannel();
    const QImage src = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const int w = src.width(), h = src.height();
    const QRgb key = src.pixel(0, h - 1);
    auto transparent = [&](int x, int y) {
        const QRgb p = src.pixel(std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1));
        return alpha ? qAlpha(p) == 0 : (p & 0xFFFFFF) == (key & 0xFFFFFF);
    };
    auto marked = [&](int x, int y) {
        if (transparent(x, y)) return false;
        const QRgb p = src.pixel(x, y);
        return qRed(p) + qGreen(p) + qBlue(p) < 384 || transparent(x - 1, y) || transparent(x + 1, y) ||
               transparent(x, y - 1) || transparent(x, y + 1);
    };
    QImage out(w, h, src.format());
    out.fill(alpha ? QColor(Qt::transparent) : palette.color(QPalette::Button));
    for (int y = 0; y + 1 < h; ++y)
        for (int x = 0; x + 1 < w; ++x)
            if (marked(x, y)) out.setPixel(x + 1, y + 1, palette.color(QPalette::Light).rgba());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (marked(x, y)) out.setPixel(x, y, palette.color(QPalette::Dark).rgba());
    return out;
}

TEST(DisabledImage, EqualsThePixelByPixelSilhouetteForAnyImage) {
    QPalette translucent = testPalette();
    translucent.setColor(QPalette::Light, QColor(255, 255, 200, 100));
    quint32 seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (const QSize size : {QSize(1, 1), QSize(1, 5), QSize(18, 18), QSize(36, 18), QSize(7, 3)})
        for (const QImage::Format format :
             {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888})
            for (const QPalette& palette : {testPalette(), translucent}) {
                QImage img(size, format);
                for (int y = 0; y < size.height(); ++y)
                    for (int x = 0; x < size.width(); ++x) {
                        const quint32 r = next() >> 8;
                        // A third of the pixels take the key colour or full transparency.
                        img.setPixel(x, y, r % 3 == 0 ? qRgba(255, 0, 255, 0) : (r | 0xff000000u) & ~0x10u);
                    }
                SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " " << format);
                EXPECT_EQ(DisabledImage(img, palette), referenceDisabled(img, palette));
            }
}
