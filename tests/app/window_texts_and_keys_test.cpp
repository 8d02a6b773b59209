// Every text of the main view and of every dialog fits its control in each language, in the font
// really used, without controls overlapping; and the window is worked from the keyboard.

#include "app/about_dialog.h"
#include "app/veldrin_app.h"
#include "app_test_support.h"
#include "lang/language_table.h"
#include "settings/clear_data_dialog.h"
#include "settings/language_dialog.h"
#include "settings/settings_dialog.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"
#include "support/test_support.h"
#include "view/command_ids.h"
#include "view/display_area.h"
#include "view/veldrin_view.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QToolBar>

#include <functional>
#include <memory>

namespace veldrin {
namespace {

using testing::RecordingPrompts;
using testing::TempDir;

QString describe(const QWidget* widget, const QString& text) {
    return QStringLiteral("%1 %2 \"%3\"")
        .arg(QString::fromLatin1(widget->metaObject()->className()), widget->objectName(), text);
}

// The space in which a button draws its text, as the style lays it out.
int buttonTextWidth(const QAbstractButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QRadioButton*>(&button) != nullptr) {
        contents = QStyle::SE_RadioButtonContents;
    }
    return button.style()->subElementRect(contents, &option, &button).width();
}

int comboTextWidth(const QComboBox& combo) {
    QStyleOptionComboBox option;
    option.initFrom(&combo);
    return combo.style()
        ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &combo)
        .width();
}

// Every shown text under `root` that its widget cuts, and every two shown controls that overlap,
// one per line.
std::string cutOrOverlapping(const QWidget& root) {
    QStringList faults;
    const auto check = [&faults](const QWidget* widget, const QString& text, int room) {
        const int needed = widget->fontMetrics().horizontalAdvance(QString(text).remove('&'));
        if (!text.isEmpty() && needed > room) {
            faults << describe(widget, text) +
                          QStringLiteral(" needs %1 of %2").arg(needed).arg(room);
        }
    };
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&root)) {
            continue;
        }
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            const int room = label->contentsRect().width() - 2 * label->margin();
            if (label->wordWrap() && label->heightForWidth(room) > label->contentsRect().height()) {
                faults << describe(label, label->text()) + QStringLiteral(" wraps out of sight");
            } else if (!label->wordWrap()) {
                check(label, label->text(), room);
            }
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            check(button, button->text(), buttonTextWidth(*button));
        } else if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
            for (int i = 0; i < combo->count(); ++i) {
                check(combo, combo->itemText(i), comboTextWidth(*combo));
            }
        } else if (const auto* header = qobject_cast<const QHeaderView*>(widget)) {
            const int margins = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin);
            for (int i = 0; i < header->count(); ++i) {
                check(header, header->model()->headerData(i, header->orientation()).toString(),
                      header->sectionSize(i) - margins);
            }
        }
    }
    // Controls side by side on the form itself; a plain frame only draws around others, which
    // it holds whole.
    QList<const QWidget*> controls;
    QList<const QWidget*> frames;
    for (const QWidget* widget : root.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (widget->isVisibleTo(&root) && !widget->isWindow()) {
            (widget->metaObject() == &QFrame::staticMetaObject ? frames : controls) << widget;
        }
    }
    for (const QWidget* frame : frames) {
        for (const QWidget* control : controls) {
            const QRect inside = frame->geometry().adjusted(1, 1, -1, -1);
            if (frame->geometry().contains(control->geometry().center()) &&
                !inside.contains(control->geometry())) {
                faults << describe(control, QString()) + QStringLiteral(" crosses a frame");
            }
        }
    }
    for (qsizetype i = 0; i < controls.size(); ++i) {
        if (!root.rect().contains(controls[i]->geometry())) {
            faults << describe(controls[i], QString()) + QStringLiteral(" lies outside");
        }
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            if (controls[i]->geometry().intersects(controls[j]->geometry())) {
                faults << describe(controls[i], QString()) + QStringLiteral(" overlaps ") +
                              describe(controls[j], QString());
            }
        }
    }
    return faults.join('\n').toStdString();
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::writeFile(folder.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n");
        AppStartup startup;
        startup.options.dataDir = QString::fromStdString(folder.path());
        startup.prompts = &prompts;
        startup.clock = &clock;
        startup.runtimeFolder = QString::fromStdString(runtime.path());
        startup.resourceFolder = QString::fromStdString(testing::sourcePath("resources/lang"));
        auto recorder = std::make_shared<sim::SoftwareRecorder>(sim::RecorderConfig{}, clock);
        recorder->unplug();
        startup.backend = sim::makeSimBackend(recorder);
        app = std::make_unique<CVeldrinApp>(startup);
        ASSERT_EQ(app->start(), CVeldrinApp::StartResult::Running);
    }
    void TearDown() override {
        app.reset();
        CurrentLanguage::set(kEnglish);
    }
    void useLanguage(int language) {
        CurrentLanguage::set(language);
        app->view()->applyLanguage();
    }
    void choose(int controlId, int position) {
        auto* combo = qobject_cast<QComboBox*>(app->view()->control(controlId));
        combo->setCurrentIndex(position);
        Q_EMIT combo->activated(position);
    }
    // Each dialog of the window, made as its command makes it.
    std::vector<std::unique_ptr<QDialog>> dialogs() {
        RecorderSettings settings;
        settings.circularMode = 0;
        settings.slots[1].inUse = 1;
        std::vector<std::unique_ptr<QDialog>> made;
        made.push_back(std::make_unique<CSettingsDialog>(settings, clock, prompts, app->frame()));
        made.push_back(std::make_unique<ClearDataDialog>(app->view()->store(), 1, 0, app->frame()));
        made.push_back(std::make_unique<LanguageDialog>(app->frame()));
        made.push_back(
            std::make_unique<AboutDialog>(app->view()->mainIniPath(), prompts, app->frame()));
        return made;
    }

    ManualClock clock;
    RecordingPrompts prompts;
    TempDir runtime;
    TempDir folder;
    std::unique_ptr<CVeldrinApp> app;
};

TEST_F(WindowTest, EveryTextFitsItsControlInEachLanguage) {
    for (const int language : {kEnglish, kGerman, kFrench}) {
        SCOPED_TRACE(language);
        useLanguage(language);
        for (const int display : {0, 1}) {
            choose(control_id::kDisplayCombo, display);
            for (const int select : {0, 1, 2}) {
                choose(control_id::kSelectCombo, select);
                EXPECT_EQ(cutOrOverlapping(*app->view()), "") << display << select;
            }
        }
        EXPECT_EQ(app->view()->displayArea().geometry().top(), 135);
        for (const auto& dialog : dialogs()) {
            EXPECT_EQ(cutOrOverlapping(*dialog), "") << dialog->windowTitle().toStdString();
        }
    }
}

TEST_F(WindowTest, MenusOpenWithAltAndALetterAndToolbarButtonsAreNamed) {
    // The letters marked in a row of captions: one each, none twice.
    const auto mnemonics = [](const QList<QAction*>& items) {
        QString letters;
        for (const QAction* item : items) {
            const QString caption = item->text();
            const qsizetype at = caption.indexOf(QRegularExpression(QStringLiteral("&[^&]")));
            EXPECT_GE(at, 0) << caption.toStdString();
            if (at >= 0) {
                letters += caption[at + 1].toLower();
            }
        }
        return letters;
    };
    for (const int language : {kEnglish, kGerman, kFrench}) {
        SCOPED_TRACE(language);
        useLanguage(language);
        QList<QAction*> bar = app->frame()->menuBar()->actions();
        bar.removeFirst(); // the empty first item
        const QString letters = mnemonics(bar);
        EXPECT_EQ(QSet<QChar>(letters.begin(), letters.end()).size(), bar.size())
            << letters.toStdString();
        EXPECT_EQ(mnemonics(bar.last()->menu()->actions()).size(), 1);
        for (QAction* button : app->frame()->toolBar()->actions()) {
            if (!button->isSeparator()) {
                EXPECT_EQ(button->toolTip(),
                          app->frame()->commandAction(button->data().toInt())->iconText());
            }
        }
    }
}

TEST_F(WindowTest, TabWalksTheFormInReadingOrderAndEscapeCancelsEveryDialog) {
    // The controls of `form` that Tab reaches, in the order it reaches them from the first.
    const auto tabWalk = [](QWidget& form, QWidget* first) {
        QList<QWidget*> walked;
        QWidget* at = first;
        do {
            if (at->parentWidget() == &form && at->isEnabled() && at->isVisibleTo(&form) &&
                (at->focusPolicy() & Qt::TabFocus) != 0 && !walked.contains(at)) {
                walked << at;
            }
            at = at->nextInFocusChain();
        } while (at != first);
        return walked;
    };
    const auto inReadingOrder = [](const QList<QWidget*>& walked) {
        for (qsizetype i = 1; i < walked.size(); ++i) {
            const QRect a = walked[i - 1]->geometry();
            const QRect b = walked[i]->geometry();
            if (std::pair(a.top(), a.left()) > std::pair(b.top(), b.left())) {
                return false;
            }
        }
        return walked.size() > 3;
    };
    choose(control_id::kSelectCombo, 2); // the pickers take part
    CVeldrinView& view = *app->view();
    EXPECT_TRUE(inReadingOrder(tabWalk(view, view.control(control_id::kRecorderCombo))));

    for (const auto& dialog : dialogs()) {
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        dialog->show();
        if (auto* settings = qobject_cast<CSettingsDialog*>(dialog.get())) {
            EXPECT_TRUE(
                inReadingOrder(tabWalk(*settings, settings->control(settings_ids::kCelsius))));
        }
        QWidget* focus = dialog->focusWidget() != nullptr ? dialog->focusWidget() : dialog.get();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(focus, &escape);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
    }
}

} // namespace
} // namespace veldrin
