// Every text of the main view and of every dialog fits its control in each language, in the font
// really used, without controls overlapping; Tab and Escape work the forms and dialogs.

#include "app/about_dialog.h"
#include "app/veldrin_app.h"
#include "app_test_support.h"
#include "lang/language_table.h"
#include "settings/alarm_limits_dialog.h"
#include "settings/clear_data_dialog.h"
#include "settings/language_dialog.h"
#include "settings/settings_dialog.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"
#include "support/test_support.h"
#include "view/command_ids.h"
#include "view/display_area.h"
#include "view/statistics_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>

#include <algorithm>

namespace veldrin {
namespace {

// The room in which `widget` draws its text, as the style lays it out (-1: not a text control).
int textRoom(const QWidget& widget) {
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        return label->contentsRect().width() - 2 * label->margin();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool radio = qobject_cast<const QRadioButton*>(button) != nullptr;
        return button->style()
            ->subElementRect(radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents,
                             &option, button)
            .width();
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(&widget)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        return combo->style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
            .width();
    }
    return -1;
}

QStringList shownTexts(const QWidget& widget) {
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        return {label->wordWrap() ? QString() : label->text()};
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        return {button->text().remove('&')};
    }
    QStringList texts;
    if (const auto* combo = qobject_cast<const QComboBox*>(&widget)) {
        for (int i = 0; i < combo->count(); ++i) {
            texts << combo->itemText(i);
        }
    }
    return texts;
}

// Every shown text under `root` that its widget cuts, every two shown controls that overlap and
// every control that crosses the frame drawn around it; one per line.
std::string cutOrOverlapping(const QWidget& root) {
    QStringList faults;
    const auto name = [](const QWidget* w) {
        return QString::fromLatin1(w->metaObject()->className()) + ' ' + w->objectName();
    };
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&root)) {
            continue;
        }
        for (const QString& text : shownTexts(*widget)) {
            if (widget->fontMetrics().horizontalAdvance(text) > textRoom(*widget)) {
                faults << name(widget) + " cuts \"" + text + '"';
            }
        }
        if (const auto* header = qobject_cast<const QHeaderView*>(widget)) {
            const int margins = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin);
            for (int i = 0; i < header->count(); ++i) {
                const QString text = header->model()->headerData(i, Qt::Horizontal).toString();
                if (header->fontMetrics().horizontalAdvance(text) + margins >
                    header->sectionSize(i)) {
                    faults << "heading cuts \"" + text + '"';
                }
            }
        }
    }
    QList<const QWidget*> controls;
    QList<const QWidget*> frames; // plain frames only draw around others
    for (const QWidget* w : root.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isVisibleTo(&root) && !w->isWindow()) {
            (w->metaObject() == &QFrame::staticMetaObject ? frames : controls) << w;
        }
    }
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QRect at = controls[i]->geometry();
        if (!root.rect().contains(at)) {
            faults << name(controls[i]) + " lies outside";
        }
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            if (at.intersects(controls[j]->geometry())) {
                faults << name(controls[i]) + " overlaps " + name(controls[j]);
            }
        }
        for (const QWidget* frame : frames) {
            if (frame->geometry().contains(at.center()) &&
                !frame->geometry().adjusted(1, 1, -1, -1).contains(at)) {
                faults << name(controls[i]) + " crosses its frame";
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
        AlarmLimits limits;
        limits.tempHigh = 25.5;
        limits.humLow = 30;
        made.push_back(
            std::make_unique<CAlarmLimitsDialog>(limits, false, 1, prompts, app->frame()));
        // Beyond the limit throughout, shown from 12:10 to 12:20: an event cut at both edges,
        // with both notes under the events.
        RecordList records(4);
        for (std::size_t i = 0; i < records.size(); ++i) {
            records[i].setTime(DateTime::fromFields(2011, 6, 15, 12, static_cast<int>(10 * i)));
            records[i].temperature = 26.0;
        }
        made.push_back(std::make_unique<CStatisticsDialog>(
            computeStatistics(records, records[1].time(), records[2].time(), false, limits), limits,
            QStringLiteral("2011-06-15"), app->frame()));
        return made;
    }

    ManualClock clock;
    testing::RecordingPrompts prompts;
    testing::TempDir runtime;
    testing::TempDir folder;
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
            dialog->show(); // at the size it opens with, its layout done
            EXPECT_EQ(cutOrOverlapping(*dialog), "") << dialog->windowTitle().toStdString();
            if (qobject_cast<CStatisticsDialog*>(dialog.get()) != nullptr) {
                const auto labels = dialog->findChildren<QLabel*>();
                EXPECT_EQ(
                    std::count_if(labels.begin(), labels.end(),
                                  [](const QLabel* l) { return l->text().startsWith(cutMark()); }),
                    2); // the notes on the marks of the cut event
            }
        }
    }
}

TEST_F(WindowTest, TabWalksTheFormInReadingOrderAndEscapeCancelsEveryDialog) {
    // Whether Tab, from `first`, reaches the enabled controls of `form` line by line.
    const auto readingOrder = [](const QWidget& form, QWidget* first) {
        QList<QWidget*> walked;
        for (QWidget* at = first; walked.isEmpty() || at != first; at = at->nextInFocusChain()) {
            if (at->parentWidget() == &form && at->isEnabled() && at->isVisibleTo(&form) &&
                (at->focusPolicy() & Qt::TabFocus) != 0 && !walked.contains(at)) {
                walked << at;
            }
        }
        return walked.size() > 3 &&
               std::is_sorted(walked.begin(), walked.end(), [](QWidget* a, QWidget* b) {
                   return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
               });
    };
    // The keyboard starts at the recorder number.
    EXPECT_EQ(app->frame()->focusWidget(), app->view()->control(control_id::kRecorderCombo));
    choose(control_id::kSelectCombo, 2); // the pickers take part
    EXPECT_TRUE(readingOrder(*app->view(), app->view()->control(control_id::kRecorderCombo)));

    for (const auto& dialog : dialogs()) {
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        dialog->show();
        if (auto* settings = qobject_cast<CSettingsDialog*>(dialog.get())) {
            EXPECT_TRUE(readingOrder(*settings, settings->control(settings_ids::kCelsius)));
        }
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog->focusWidget() ? dialog->focusWidget() : dialog.get(),
                                    &escape);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
    }
}

} // namespace
} // namespace veldrin
