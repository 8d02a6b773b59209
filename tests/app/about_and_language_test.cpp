// The About box with its web link, and the Language dialog.

#include "app/about_dialog.h"
#include "app/hyperlink_static.h"
#include "app_test_support.h"
#include "core/paths.h"
#include "lang/language_table.h"
#include "settings/language_dialog.h"
#include "store/ini_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QEnterEvent>
#include <QPushButton>

namespace veldrin {
namespace {

using testing::RecordingPrompts;
using testing::TempDir;

class WindowTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(LanguageTable::instance().load(testing::sourcePath("resources/lang"), error))
            << error;
        CurrentLanguage::set(0);
    }
    void TearDown() override { CurrentLanguage::set(0); }
    static QString text(int index) { return QString::fromStdU16String(languageString(index)); }
};

TEST_F(WindowTextTest, OpenFailureNamesTheCause) {
    const struct {
        int code;
        int detail;
    } table[] = {{0, 99},  {2, 102}, {3, 103}, {5, 98},  {8, 108},  {11, 92}, {26, 10},
                 {27, 96}, {28, 94}, {29, 95}, {30, 93}, {31, 107}, {32, 101}};
    for (const auto& row : table) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(openFailureText(row.code), text(112) + "\n\n" + text(row.detail));
    }
    EXPECT_EQ(openFailureText(4), text(112) + "\n\nUnknown error (code 4).");
    CurrentLanguage::set(kFrench);
    EXPECT_EQ(openFailureText(-7), text(112) + "\n\nErreur inconnue (code -7).");
}

TEST_F(WindowTextTest, LinkTurnsVisitedOnSuccessAndExplainsAFailure) {
    HyperlinkStatic link;
    link.setTarget(QStringLiteral("<b>https://example.org</b>"));
    link.setLinkText(link.target());
    EXPECT_EQ(link.currentColour(), HyperlinkStatic::kLinkColour);
    EXPECT_FALSE(Qt::mightBeRichText(link.text()) && link.textFormat() != Qt::PlainText);
    EXPECT_TRUE(link.toolTip().contains("&lt;b&gt;")) << "the tooltip would render markup";
    EXPECT_GE(link.width(), link.fontMetrics().horizontalAdvance(link.text()));
    EXPECT_EQ(link.height(), link.fontMetrics().height());

    QStringList opened;
    QStringList reported;
    int result = open_result::kSuccess;
    link.setOpener([&](const QString& target) {
        opened << target;
        return result;
    });
    link.setFailureReporter([&](const QString& message) { reported << message; });
    link.click();
    EXPECT_EQ(opened, QStringList{link.target()});
    EXPECT_TRUE(link.visited());
    EXPECT_EQ(link.currentColour(), HyperlinkStatic::kVisitedColour);

    result = open_result::kNoAssociation;
    link.click();
    EXPECT_FALSE(link.visited());
    EXPECT_EQ(reported, QStringList{openFailureText(open_result::kNoAssociation)});

    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(&link, &enter);
    EXPECT_NE(link.currentColour(), HyperlinkStatic::kLinkColour);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&link, &leave);
    EXPECT_EQ(link.currentColour(), HyperlinkStatic::kLinkColour);

    // An empty link cannot be clicked.
    HyperlinkStatic empty;
    empty.setOpener([&](const QString&) { return opened << "x", 0; });
    empty.click();
    EXPECT_EQ(opened.size(), 2);
}

TEST_F(WindowTextTest, LocalTargetsThatDoNotExistAreNotFound) {
    EXPECT_EQ(openWithDesktop(QStringLiteral("/nonexistent/veldrin/manual.pdf")),
              open_result::kFileNotFound);
    EXPECT_EQ(openWithDesktop(QString()), open_result::kFileNotFound);
}

TEST_F(WindowTextTest, AboutBoxShowsTheLinkFromMainIniAndTheLanguageTexts) {
    TempDir folder;
    testing::writeFile(folder.file("main.ini"),
                       "[Website]\ninternet=https://example.org/veldrin\n");
    RecordingPrompts prompts;
    CurrentLanguage::set(kGerman);
    AboutDialog about(folder.file("main.ini"), prompts);
    EXPECT_EQ(about.windowTitle(), text(11));
    EXPECT_EQ(about.label(about_id::kVersionText).text(), text(117) + ", GPL-3.0-or-later");
    EXPECT_EQ(about.label(about_id::kInfoText).text(), text(23));
    EXPECT_EQ(about.label(about_id::kWebsiteText).text(), text(63));
    EXPECT_EQ(about.link().text(), "https://example.org/veldrin");
    EXPECT_EQ(about.link().target(), "https://example.org/veldrin");
    EXPECT_EQ(about.link().textFormat(), Qt::PlainText);
    EXPECT_LE(about.label(about_id::kInfoText).geometry().right(), about.okButton().x())
        << "the info line runs under the OK button";

    about.link().setOpener([](const QString&) { return open_result::kAccessDenied; });
    about.link().click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, openFailureText(open_result::kAccessDenied));
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Warning);

    AboutDialog withoutIni(folder.file("missing.ini"), prompts);
    EXPECT_TRUE(withoutIni.link().text().isEmpty());
    EXPECT_EQ(withoutIni.link().width(), 0);
}

TEST_F(WindowTextTest, LanguageDialogChangesAndStoresTheLanguageOnlyOnOk) {
    TempDir folder;
    IniFile ini(folder.file("main.ini"));
    CurrentLanguage::set(kFrench);
    {
        LanguageDialog dialog;
        EXPECT_EQ(dialog.windowTitle(), text(0));
        EXPECT_EQ(dialog.okButton().text(), text(59));
        EXPECT_EQ(dialog.cancelButton().text(), text(14));
        ASSERT_EQ(dialog.combo().count(), 3);
        EXPECT_EQ(dialog.combo().itemText(1), "Allemand");
        EXPECT_EQ(dialog.combo().currentIndex(), kFrench);
        EXPECT_FALSE(dialog.changed());
        // Cancel after a change: nothing changes, nothing is written.
        dialog.combo().setCurrentIndex(kGerman);
        Q_EMIT dialog.combo().activated(kGerman);
        dialog.reject();
        EXPECT_FALSE(applyLanguageDialogResult(dialog, dialog.result(), ini));
        EXPECT_EQ(CurrentLanguage::get(), kFrench);
        EXPECT_FALSE(fileExists(folder.file("main.ini")));
    }
    {
        // OK untouched keeps the language and still writes it.
        LanguageDialog dialog;
        dialog.okButton().click();
        EXPECT_TRUE(applyLanguageDialogResult(dialog, dialog.result(), ini));
        EXPECT_EQ(CurrentLanguage::get(), kFrench);
        EXPECT_EQ(ini.readInt("Language Current", "Lang", -9), kFrench);
    }
    {
        LanguageDialog dialog;
        dialog.combo().setCurrentIndex(kGerman);
        Q_EMIT dialog.combo().activated(kGerman);
        EXPECT_TRUE(dialog.changed());
        dialog.accept();
        EXPECT_TRUE(applyLanguageDialogResult(dialog, dialog.result(), ini));
        EXPECT_EQ(CurrentLanguage::get(), kGerman);
        EXPECT_EQ(ini.readInt("Language Current", "Lang", -9), kGerman);
    }
    LanguageDialog german;
    EXPECT_EQ(german.combo().itemText(0), "Englisch");
    EXPECT_EQ(german.cancelButton().text(), "Abbrechen");
}

} // namespace
} // namespace veldrin
