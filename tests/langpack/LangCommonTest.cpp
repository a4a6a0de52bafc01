// Package location, document reading in several encodings, and the message lookup.
#include "lang/LangCommon.h"
#include "LangTestSupport.h"
#include "platform/CodePage.h"

#include <gtest/gtest.h>

using namespace kvx::lang;

TEST(PackageLocation, CodePageTableGivesTheLanguageFolder) {
    EXPECT_EQ(LanguageCode("936"), "CHS");
    EXPECT_EQ(LanguageCode("950"), "CHT");
    EXPECT_EQ(LanguageCode("437"), "ENG");
    EXPECT_EQ(LanguageCode("932"), "");
    EXPECT_EQ(LanguageCode(""), "");
    EXPECT_EQ(LanguageCode("9"), "") << "a prefix of a table entry is no entry";
}

TEST(PackageLocation, FolderOfTheConfiguredUICodePage) {
    LangTree lang("950");
    lang.writePackage("CHT", "TfrmX", "<TfrmX/>");
    EXPECT_EQ(LanguageDirectory(dtClient), lang.clientPath() + "MultiLanguage/CHT/");
    EXPECT_EQ(PackageFileName(dtClient, "TfrmX"), lang.clientPath() + "MultiLanguage/CHT/TfrmX.Lng");
    // The server's folder comes from the server configuration; it has no CHT folder here.
    EXPECT_EQ(LanguageDirectory(dtServer), "");
    lang.writePackage("CHT", "TfrmX", "<TfrmX/>", true);
    EXPECT_EQ(LanguageDirectory(dtServer), lang.tree().serverPath() + "MultiLanguage/CHT/");
}

TEST(PackageLocation, MissingFolderOrUnknownCodePageGivesARelativeName) {
    LangTree lang("936"); // no MultiLanguage/CHS folder
    EXPECT_EQ(PackageFileName(dtClient, "TfrmSingle"), "TfrmSingle.Lng");
    EXPECT_EQ(LanguageDirectoryIn(lang.clientPath(), "1252"), "");
    QDir(lang.clientPath()).mkpath("MultiLanguage/CHS");
    EXPECT_EQ(LanguageDirectoryIn(lang.clientPath(), "936"), lang.clientPath() + "MultiLanguage/CHS/");
    EXPECT_EQ(LanguageDirectoryIn(lang.clientPath().chopped(1), "936"),
              lang.clientPath() + "MultiLanguage/CHS/");
}

TEST(PackageDocuments, DeclaredChineseEncodingsAreDecodedBeforeParsing) {
    pugi::xml_document doc;
    const QString text = QStringLiteral("文档传输设置");
    const QByteArray gb = "<?xml version=\"1.0\" encoding=\"GB2312\"?><P Caption=\"" +
                          kvx::codepage::encode(text, 936) + "\"/>";
    ASSERT_EQ(LoadXmlBytes(doc, gb), "");
    EXPECT_EQ(QString::fromUtf8(doc.document_element().attribute("Caption").value()), text);

    const QString trad = QStringLiteral("文件傳輸設定");
    const QByteArray big5 =
        "<?xml version='1.0' encoding='big5'?><P Caption='" + kvx::codepage::encode(trad, 950) + "'/>";
    ASSERT_EQ(LoadXmlBytes(doc, big5), "");
    EXPECT_EQ(QString::fromUtf8(doc.document_element().attribute("Caption").value()), trad);

    ASSERT_EQ(LoadXmlBytes(doc, "\xEF\xBB\xBF<P Caption=\"" + text.toUtf8() + "\"/>"), "");
    EXPECT_EQ(QString::fromUtf8(doc.document_element().attribute("Caption").value()), text);
}

TEST(PackageDocuments, UndeclaredNonUtf8TextIsReadInTheSystemCodePage) {
    kvxtest::ScopedEnv cp("KVX_CODEPAGE", "950");
    pugi::xml_document doc;
    const QString trad = QStringLiteral("確定");
    ASSERT_EQ(LoadXmlBytes(doc, "<P Caption=\"" + kvx::codepage::encode(trad, 950) + "\"/>"), "");
    EXPECT_EQ(QString::fromUtf8(doc.document_element().attribute("Caption").value()), trad);
}

TEST(PackageDocuments, ParseErrorsReportTheParsersReason) {
    pugi::xml_document doc;
    EXPECT_EQ(LoadXmlBytes(doc, "<P><Q></P>"), "Start-end tags mismatch");
    EXPECT_FALSE(doc.document_element());
    EXPECT_EQ(LoadXmlFile(doc, "/nonexistent/x.Lng"), "File was not found");
}

TEST(PackageDocuments, InvalidXPathSelectsNothing) {
    pugi::xml_document doc;
    ASSERT_EQ(LoadXmlBytes(doc, "<P><a/></P>"), "");
    EXPECT_TRUE(SelectFirst(doc, "//a"));
    EXPECT_FALSE(SelectFirst(doc, "//a b[")); // a component name that is no XML name
    EXPECT_FALSE(SelectFirst(pugi::xml_node(), "//a"));
}

TEST(MessageLookup, ReadsTheMsgAttributeOfTheFirstElementNamedByTheKey) {
    LangTree lang("437");
    lang.writePackage("ENG", "TdmRadical", R"(<TdmRadical>
        <sCreator Msg="Created by"/>
        <sCreator Msg="second one"/>
        <sNoMsg Caption="not a message"/>
        <group><sNested Msg="Nested text"/></group>
      </TdmRadical>)");
    EXPECT_EQ(GetMessage(dtClient, "TdmRadical", "sCreator", "建立者"), "Created by");
    EXPECT_EQ(GetMessage(dtClient, "TdmRadical", "sNested", "x"), "Nested text");
    EXPECT_EQ(GetMessage(dtClient, "TdmRadical", "sNoMsg", "默认"), "默认") << "element without Msg";
    EXPECT_EQ(GetMessage(dtClient, "TdmRadical", "sAbsent", "默认"), "默认");
    EXPECT_EQ(GetMessage(dtClient, "TdmMissing", "sCreator", "默认"), "默认") << "no package file";
    EXPECT_EQ(GetMessage(dtClient, "TdmRadical", "bad key[", "默认"), "默认") << "a key that is no XML name";
}

TEST(MessageLookup, UnreadablePackageGivesTheDefault) {
    LangTree lang("437");
    lang.writePackage("ENG", "TfrmBroken", "<TfrmBroken><sKey Msg='x'></TfrmBroken");
    EXPECT_EQ(GetMessage(dtClient, "TfrmBroken", "sKey", "默认"), "默认");
}

TEST(ScreenTexts, APackageWordsATextByItsExactSource) {
    LangTree lang("437");
    lang.writePackage("ENG", "TfrmQldi05", R"(<TfrmQldi05>
        <说明 Msg="not a screen text"/>
        <ScreenTexts><Text Source="说明" Msg="Description"/><Text Source="说明" Msg="second"/>
          <Text Source="备注 " Msg="Note"/><Text Source="无译文"/></ScreenTexts>
        <ScreenTexts><Text Source="类别" Msg="Kind"/></ScreenTexts>
      </TfrmQldi05>)");
    const QString file = PackageFileName(dtClient, "TfrmQldi05");
    EXPECT_EQ(GetScreenTextFromFile(file, QString::fromUtf8("说明")), "Description");
    EXPECT_EQ(GetScreenTextFromFile(file, QString::fromUtf8("类别")), "Kind") << "a later list";
    // Sources match exactly; an entry without a message and an unknown text give nothing.
    EXPECT_TRUE(GetScreenTextFromFile(file, QString::fromUtf8("备注")).isNull());
    EXPECT_TRUE(GetScreenTextFromFile(file, QString::fromUtf8("无译文")).isNull());
    EXPECT_TRUE(GetScreenTextFromFile(file, QString::fromUtf8("其他")).isNull());
    EXPECT_TRUE(GetScreenTextFromFile(file, "").isNull());
    EXPECT_TRUE(
        GetScreenTextFromFile(PackageFileName(dtClient, "TfrmNone"), QString::fromUtf8("说明")).isNull());
}

TEST(ScreenTexts, HanCharactersAreWhatAnEnglishInterfaceCannotShow) {
    EXPECT_FALSE(HasHanCharacters("Remark (F2) - 100% [x]"));
    EXPECT_FALSE(HasHanCharacters(""));
    EXPECT_FALSE(HasHanCharacters(QString::fromUtf8("Café señor")));
    EXPECT_TRUE(HasHanCharacters(QString::fromUtf8("说明")));
    EXPECT_TRUE(HasHanCharacters(QString::fromUtf8("Remark 說")));
    EXPECT_TRUE(HasHanCharacters(QString::fromUtf8("a，b"))); // full-width comma
    EXPECT_TRUE(HasHanCharacters(QString::fromUtf8("【x】")));
    EXPECT_TRUE(HasHanCharacters(QString::fromUcs4(U"\U00020000"))); // extension B
}
