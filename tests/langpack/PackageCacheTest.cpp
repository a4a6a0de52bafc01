// Parsed packages shared while their file is unchanged, and the element index that stands in for "//name".
#include "LangTestSupport.h"
#include "lang/LangCommon.h"
#include "lang/LanguageController.h"

#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QWidget>
#include <gtest/gtest.h>

using namespace kvx::lang;

namespace {

// Dates a file back so that it counts as settled (not changed within the last moments).
void ageFile(const QString& path, int seconds = 60) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        f.setFileTime(QDateTime::currentDateTime().addSecs(-seconds), QFileDevice::FileModificationTime));
}

void rewrite(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QString caption(const std::shared_ptr<const PackageDocument>& doc) {
    return QString::fromUtf8(doc->document().document_element().attribute("Caption").value());
}

} // namespace

TEST(PackageCache, SettledFileIsParsedOnceAndAChangedFileAgain) {
    LangTree lang("936");
    const QString file = lang.writePackage("CHS", "TfrmA", "<TfrmA Caption=\"one\"/>");
    ageFile(file, 120);
    const auto first = LoadPackageFile(file);
    EXPECT_EQ(LoadPackageFile(file), first) << "an unchanged file is not parsed again";
    EXPECT_EQ(caption(first), "one");

    // Same size, other text, an older time stamp than before: still a change.
    rewrite(file, "<TfrmA Caption=\"two\"/>");
    ageFile(file, 60);
    const auto second = LoadPackageFile(file);
    EXPECT_NE(second, first);
    EXPECT_EQ(caption(second), "two");
    EXPECT_EQ(caption(first), "one") << "a reader holding the old document keeps it intact";

    rewrite(file, "<TfrmA Caption=\"three, longer\"/>");
    ageFile(file, 60);
    EXPECT_EQ(caption(LoadPackageFile(file)), "three, longer");
}

TEST(PackageCache, FileChangedJustNowIsReadEveryTime) {
    // Two writes within one time-stamp tick look alike by size and time: such a file is never trusted.
    LangTree lang("936");
    const QString file = lang.writePackage("CHS", "TfrmA", "<TfrmA Caption=\"aaa\"/>");
    EXPECT_EQ(caption(LoadPackageFile(file)), "aaa");
    rewrite(file, "<TfrmA Caption=\"bbb\"/>");
    EXPECT_EQ(caption(LoadPackageFile(file)), "bbb");
    EXPECT_EQ(GetMessageFromFile(file, "X", "def"), "def");
    rewrite(file, "<TfrmA><X Msg=\"m1\"/></TfrmA>");
    EXPECT_EQ(GetMessageFromFile(file, "X", "def"), "m1");
    rewrite(file, "<TfrmA><X Msg=\"m2\"/></TfrmA>");
    EXPECT_EQ(GetMessageFromFile(file, "X", "def"), "m2");
}

TEST(PackageCache, MissingRemovedAndBrokenFiles) {
    LangTree lang("936");
    EXPECT_EQ(LoadPackageFile("")->error(), "File was not found");
    EXPECT_EQ(LoadPackageFile(lang.clientPath() + "nothing.Lng")->error(), "File was not found");
    EXPECT_EQ(LoadPackageFile(lang.clientPath())->error(), "File was not found") << "a folder is no package";

    const QString file = lang.writePackage("CHS", "TfrmB", "<TfrmB Caption=\"x\"/>");
    ageFile(file);
    ASSERT_TRUE(LoadPackageFile(file)->error().isEmpty());
    QFile::remove(file);
    EXPECT_EQ(LoadPackageFile(file)->error(), "File was not found") << "a cached document outlives no file";
    EXPECT_EQ(GetMessageFromFile(file, "TfrmB", "def"), "def");

    lang.writePackage("CHS", "TfrmB", "<TfrmB><X></TfrmB>");
    ageFile(file);
    EXPECT_EQ(LoadPackageFile(file)->error(), "Start-end tags mismatch");
    EXPECT_FALSE(LoadPackageFile(file)->document().document_element());
}

TEST(PackageCache, ElementIsWhatTheNameQuerySelects) {
    // Document order, not depth: the nested edA comes before the later top-level one; the document element
    // itself counts; names that are no plain identifiers are left to the query.
    const QByteArray xml =
        "<Root Caption=\"r\"><pnl><edA Caption=\"deep\"/><Root Caption=\"inner\"/></pnl>"
        "<edA Caption=\"late\"/><edB/><!-- edC --><x.y Caption=\"dot\"/><a-b Caption=\"dash\"/>"
        "<_u Caption=\"under\"/><e1 Caption=\"digit\"/></Root>";
    const PackageDocument doc(xml);
    ASSERT_TRUE(doc.error().isEmpty());
    const QStringList names = {"Root", "pnl", "edA", "edB", "edC", "x.y",    "a-b", "_u",
                               "e1",   "1e",  "",    "*",   "a b", "edA[2]", "x:y", "ROOT"};
    for (const QString& name : names) {
        const pugi::xml_node viaQuery =
            name.isEmpty() ? pugi::xml_node() : SelectFirst(doc.document(), "//" + name).node();
        EXPECT_EQ(doc.element(name), viaQuery) << qPrintable(name);
    }
    EXPECT_STREQ(doc.element("edA").attribute("Caption").value(), "deep");
    EXPECT_STREQ(doc.element("Root").attribute("Caption").value(), "r");
    EXPECT_FALSE(doc.element("edC")) << "a comment is no element";
    EXPECT_FALSE(doc.element("ROOT")) << "names are case-sensitive";
}

TEST(PackageCache, ControllerReappliesAPackageChangedBetweenShows) {
    LangTree lang("936");
    const QString file = lang.writePackage("CHS", "TfrmC", "<TfrmC><lbl text=\"first\"/></TfrmC>");
    ageFile(file);
    QWidget form;
    auto* label = new QLabel(&form);
    label->setObjectName("lbl");
    TKvLangController controller;
    auto apply = [&] {
        controller.SetActive(false);
        controller.SetLangPackageName("TfrmC");
        controller.SetActive(true);
        controller.GetLangReader()->Apply(&form);
    };
    apply();
    EXPECT_EQ(label->property("text").toString(), "first");
    rewrite(file, "<TfrmC><lbl text=\"second\"/></TfrmC>");
    ageFile(file, 30);
    apply();
    EXPECT_EQ(label->property("text").toString(), "second");
}
