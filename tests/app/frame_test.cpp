// The main frame: menu, toolbar and status bar as laid out, their texts from the language files,
// and the pictures drawn for them.

#include "app/main_frame.h"
#include "app/pictures.h"
#include "lang/language_table.h"
#include "support/test_support.h"
#include "view/command_ids.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace veldrin {
namespace {

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(LanguageTable::instance().load(testing::sourcePath("resources/lang"), error))
            << error;
        CurrentLanguage::set(0);
    }
    void TearDown() override { CurrentLanguage::set(0); }
};

QStringList topLevelTexts(CMainFrame& frame) {
    QStringList texts;
    for (QAction* action : frame.menuBar()->actions()) {
        texts << action->iconText(); // without the mnemonic's '&'
    }
    return texts;
}

// The different letters that Alt opens the items with; each item must have one.
qsizetype mnemonicLetters(const QList<QAction*>& items) {
    QSet<QChar> letters;
    for (const QAction* item : items) {
        const QRegularExpressionMatch mark = QRegularExpression("&([^&])").match(item->text());
        EXPECT_TRUE(mark.hasMatch()) << item->text().toStdString();
        letters << mark.captured(1).front().toLower();
    }
    return letters.size();
}

// A remembered placement larger than the screen, or reaching past its edge, is brought inside
// the available area; one that fits is left alone.
TEST(FramePlacement, ARememberedSizeIsFittedIntoTheAvailableScreen) {
    const QRect screen(0, 0, 1280, 984); // 1280x1024 less a panel
    const struct {
        QRect remembered, fitted;
    } cases[] = {
        {{10, 10, 1000, 720}, {10, 10, 1000, 720}},
        {{10, 10, 1500, 1080}, {0, 0, 1280, 984}},
        {{600, 400, 1000, 720}, {280, 264, 1000, 720}},
        {{-50, -20, 700, 500}, {0, 0, 700, 500}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fitIntoScreen(c.remembered, screen), c.fitted) << c.remembered.x();
    }
    // Another screen's area, left of the primary one.
    EXPECT_EQ(fitIntoScreen({-1500, 0, 1500, 1200}, {-1024, 0, 1024, 768}),
              QRect(-1024, 0, 1024, 768));
}

// A status text wider than its pane ends in an ellipsis and is whole in the tooltip.
TEST_F(FrameTest, ALongStatusTextIsElidedWithTheWholeTextInItsTooltip) {
    CMainFrame frame;
    frame.setStatusPaneWidth(200);
    const QString alarm = QString("Recorder no.: 1  Alarm: ").repeated(6);
    for (const QString& text : {alarm, QString("Ready")}) {
        frame.setStatusText(text);
        const bool cut = text == alarm;
        EXPECT_EQ(frame.statusPane()->text().endsWith(QChar(0x2026)), cut);
        EXPECT_EQ(frame.statusPane()->toolTip(), cut ? text : QString());
    }
}

TEST_F(FrameTest, MenuHasSixItemsTheFirstEmptyAndDisabledAndFollowsTheLanguage) {
    CMainFrame frame;
    EXPECT_EQ(frame.size(), QSize(900, 660));
    EXPECT_EQ(frame.windowTitle(), "Veldrin");
    const QList<QAction*> items = frame.menuBar()->actions();
    ASSERT_EQ(items.size(), frame_id::kMenuItemCount);
    EXPECT_TRUE(items[0]->text().isEmpty());
    EXPECT_FALSE(items[0]->isEnabled());
    const int commands[] = {command_id::kExport, command_id::kSetting, command_id::kClearPcData,
                            command_id::kLanguage};
    for (int position = 1; position <= 4; ++position) {
        EXPECT_EQ(items[position]->data().toInt(), commands[position - 1]);
        EXPECT_TRUE(items[position]->icon().isNull()) << "a menu bar shows the icon, not the text";
    }
    // The Setting menu: the recorder's settings and the alarm commands.
    ASSERT_NE(items[2]->menu(), nullptr);
    QList<int> settingCommands;
    for (QAction* action : items[2]->menu()->actions()) {
        settingCommands << action->data().toInt();
    }
    EXPECT_EQ(settingCommands,
              QList<int>({command_id::kSetting, command_id::kAlarmLimits, command_id::kStatistics,
                          command_id::kCompareRecorders}));
    ASSERT_NE(items[5]->menu(), nullptr);
    ASSERT_EQ(items[5]->menu()->actions().size(), 1);
    EXPECT_EQ(items[5]->menu()->actions()[0]->data().toInt(), command_id::kAbout);

    frame.applyLanguageToFrame();
    EXPECT_EQ(topLevelTexts(frame),
              QStringList({"", "Export", "Settings", "Clear PC Data", "Language", "Help"}));
    EXPECT_EQ(frame.commandAction(command_id::kAbout)->iconText(), "About Veldrin");

    CurrentLanguage::set(kGerman);
    frame.applyLanguageToFrame();
    EXPECT_EQ(topLevelTexts(frame), QStringList({"", "Exportieren", "Einstellungen",
                                                 "PC-Daten löschen", "Sprache", "Hilfe"}));
    EXPECT_EQ(frame.commandAction(command_id::kAbout)->iconText(), "Über Veldrin");
    EXPECT_EQ(frame.windowTitle(), QString::fromStdU16String(languageString(115)));
    EXPECT_FALSE(items[0]->isEnabled());

    for (const int language : {kEnglish, kGerman, kFrench}) {
        CurrentLanguage::set(language);
        frame.applyLanguageToFrame();
        EXPECT_EQ(mnemonicLetters(items.mid(1)), items.size() - 1) << language;
        EXPECT_EQ(mnemonicLetters(items[5]->menu()->actions()), 1) << language;
        // Qt's own buttons and dialogs speak the language as well.
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel") == "Cancel",
                  language == kEnglish)
            << language;
    }
}

TEST_F(FrameTest, ToolbarButtonsRunTheMenuCommandsAndAreNamedInTheirTooltips) {
    CMainFrame frame;
    frame.applyLanguageToFrame();
    frame.show();
    frame.setBackEnabled(true); // as once the chart has moved
    QList<int> commands;
    QObject::connect(&frame, &CMainFrame::commandRequested,
                     [&commands](int id) { commands << id; });
    QList<int> order;
    QList<QToolButton*> buttons;
    for (QAction* action : frame.toolBar()->actions()) {
        if (action->isSeparator()) {
            order << 0;
            continue;
        }
        order << action->data().toInt();
        auto* button = qobject_cast<QToolButton*>(frame.toolBar()->widgetForAction(action));
        ASSERT_NE(button, nullptr);
        buttons << button;
    }
    EXPECT_EQ(order,
              QList<int>({command_id::kExport, command_id::kSetting, command_id::kClearPcData, 0,
                          command_id::kAbout, 0, command_id::kBack}));
    for (QToolButton* button : buttons) {
        EXPECT_EQ(button->size(), QSize(27, 24));
        button->click();
        if (commands.last() == command_id::kBack) {
            // Back is on no menu: its tooltip is all that names it.
            EXPECT_EQ(button->toolTip(), QString::fromStdU16String(languageString(220)));
            continue;
        }
        const QAction* item = frame.commandAction(button->defaultAction()->data().toInt());
        EXPECT_EQ(button->toolTip(), item->iconText());
        EXPECT_FALSE(button->toolTip().isEmpty());
    }
    ASSERT_EQ(commands.size(), 5);
    EXPECT_EQ(commands[3], command_id::kAbout);

    // New, Open and Save are there for their keys only.
    for (const int id : {command_id::kNew, command_id::kOpen, frame_id::kSave}) {
        ASSERT_NE(frame.commandAction(id), nullptr);
        EXPECT_FALSE(frame.commandAction(id)->shortcut().isEmpty());
    }
    EXPECT_EQ(frame.commandAction(command_id::kOpen)->shortcut(), QKeySequence("Ctrl+O"));
}

TEST_F(FrameTest, StatusPanesKeepTheirWidthsAndTexts) {
    CMainFrame frame;
    frame.show();
    EXPECT_EQ(frame.statusPane()->text(), "Ready");
    // The idle text follows a language switch until something is reported there.
    CurrentLanguage::set(kGerman);
    frame.applyLanguageToFrame();
    EXPECT_EQ(frame.statusPane()->text(), "Bereit");
    frame.setStatusText("Download");
    CurrentLanguage::set(kFrench);
    frame.applyLanguageToFrame();
    EXPECT_EQ(frame.statusPane()->text(), "Download");
    CurrentLanguage::set(kEnglish);
    EXPECT_EQ(frame.statusPane()->textFormat(), Qt::PlainText);
    EXPECT_EQ(frame.statusPane()->width(), 900 - 150);
    EXPECT_EQ(frame.connectionPane()->width(), 80);

    frame.resize(1200, 700);
    frame.setStatusPaneWidth(1200 - 150);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.statusPane()->width(), 1050);
    EXPECT_EQ(frame.connectionPane()->width(), 80);

    // Menu prompts never replace pane 0: no message, and the panes stay visible.
    QStatusTipEvent tip(QStringLiteral("a prompt"));
    QCoreApplication::sendEvent(&frame, &tip);
    frame.setStatusText(QStringLiteral("<b>12 records</b>"));
    EXPECT_TRUE(frame.statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(frame.statusPane()->isVisible());
    EXPECT_EQ(frame.statusPane()->text(), "<b>12 records</b>");

    EXPECT_FALSE(frame.connectionPane()->recorderAttached());
    const QImage before = frame.connectionPane()->grab().toImage();
    frame.setRecorderAttached(true);
    EXPECT_TRUE(frame.connectionPane()->recorderAttached());
    EXPECT_NE(frame.connectionPane()->grab().toImage(), before);
}

TEST_F(FrameTest, OnlyADroppedLocalFileCounts) {
    EXPECT_EQ(
        droppedLocalFile({QUrl("https://example.org/a.vrn"), QUrl::fromLocalFile("/d/1.dat")}),
        "/d/1.dat");
    EXPECT_TRUE(droppedLocalFile({QUrl("https://example.org/a.vrn")}).isEmpty());
    EXPECT_TRUE(droppedLocalFile({}).isEmpty());
}

TEST(Pictures, HaveTheirSizesAndAreNotBlank) {
    const struct {
        QImage image;
        QSize size;
    } pictures[] = {
        {statusPicture(false), QSize(200, 48)},
        {statusPicture(true), QSize(103, 25)},
        {toolbarImage(command_id::kExport), QSize(27, 24)},
        {toolbarImage(command_id::kSetting), QSize(27, 24)},
        {toolbarImage(command_id::kClearPcData), QSize(27, 24)},
        {toolbarImage(command_id::kAbout), QSize(27, 24)},
        {toolbarImage(command_id::kBack), QSize(27, 24)},
        {programIconImage(48), QSize(48, 48)},
    };
    for (const auto& p : pictures) {
        EXPECT_EQ(p.image.size(), p.size);
        QSet<QRgb> colours;
        for (int y = 0; y < p.image.height(); ++y) {
            for (int x = 0; x < p.image.width(); ++x) {
                colours.insert(p.image.pixel(x, y));
            }
        }
        EXPECT_GE(colours.size(), 3) << "a picture of one or two colours says nothing";
    }
    EXPECT_NE(toolbarImage(command_id::kExport), toolbarImage(command_id::kAbout));
    EXPECT_TRUE(toolbarImage(command_id::kLanguage).isNull());
}

} // namespace
} // namespace veldrin
