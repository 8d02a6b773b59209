// Screenshots of the main window and of every dialog in German and French, for a person to look
// at: cut, overlapping or untranslated text. Not part of the test run (the tests of the app leave
// it out); scripts/screenshots runs it under Xvfb at several scale factors and names the folder
// in VELDRIN_SCREENSHOT_DIR.

#include "app/about_dialog.h"
#include "app/main_frame.h"
#include "app/veldrin_app.h"
#include "chart/chart_area.h"
#include "lang/language_table.h"
#include "settings/clear_data_dialog.h"
#include "settings/language_dialog.h"
#include "settings/settings_dialog.h"
#include "settings/user_prompts.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"
#include "store/data_file.h"
#include "support/test_support.h"
#include "view/command_ids.h"
#include "view/veldrin_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTimer>

#include <functional>

namespace veldrin {
namespace {

// A day of records up to the manual clock's now (2011-06-15 14:30), warmest after noon.
RecordList dayOfRecords() {
    RecordList records;
    for (int m = 0; m < 14 * 60 + 30; m += 10) {
        HistoryRecord r;
        r.setTime(DateTime::fromFields(2011, 6, 15, m / 60, m % 60));
        r.setDownloadTime(DateTime::fromFields(2011, 6, 15, 14, 30));
        r.temperature = 19.0 + (m % 300) * 0.02;
        r.humidity = static_cast<int8_t>(45 + (m % 170) / 10);
        r.interval = 10;
        records.push_back(r);
    }
    return records;
}

// The image, and the window title (which the image lacks) in titles.txt.
void save(QWidget& widget, const QString& folder, const QString& name) {
    widget.grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
    QFile titles(QDir(folder).filePath(QStringLiteral("titles.txt")));
    if (titles.open(QIODevice::Append | QIODevice::Text)) {
        titles.write(
            (name + QStringLiteral(": ") + widget.window()->windowTitle() + '\n').toUtf8());
    }
}

// Saves the next modal dialog that `command` opens and closes it.
void saveModalOf(const std::function<void()>& command, const QString& folder, const QString& name) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            QApplication::processEvents();
            save(*dialog, folder, name);
            dialog->reject();
            poll->deleteLater();
        }
    });
    poll->start(50);
    command();
}

TEST(WindowScreenshots, MainWindowAndEveryDialogInGermanAndFrench) {
    const QString folder = qEnvironmentVariable("VELDRIN_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        GTEST_SKIP() << "VELDRIN_SCREENSHOT_DIR names no folder";
    }
    QDir().mkpath(folder);
    QFile::remove(QDir(folder).filePath(QStringLiteral("titles.txt")));
    ManualClock clock;
    CWidgetPrompts prompts;
    testing::TempDir runtime;
    testing::TempDir data;
    testing::writeFile(data.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n"
                                              "[Website]\ninternet=https://example.org/veldrin\n"
                                              "[Alarm Limits 0]\nTempHigh=24.5\nHumLow=35\n");
    testing::writeFile(data.file("0.dat"), encodeDataFile(RecorderSettings{}, dayOfRecords(), 0));
    AppStartup startup;
    startup.options.dataDir = QString::fromStdString(data.path());
    startup.prompts = &prompts;
    startup.clock = &clock;
    startup.runtimeFolder = QString::fromStdString(runtime.path());
    startup.resourceFolder = QString::fromStdString(testing::sourcePath("resources/lang"));
    auto recorder = std::make_shared<sim::SoftwareRecorder>(sim::RecorderConfig{}, clock);
    recorder->unplug();
    startup.backend = sim::makeSimBackend(recorder);
    CVeldrinApp app(startup);
    ASSERT_EQ(app.start(), CVeldrinApp::StartResult::Running);
    CVeldrinView& view = *app.view();

    for (const auto& [language, code] : {std::pair(kGerman, "de"), std::pair(kFrench, "fr")}) {
        CurrentLanguage::set(language);
        view.applyLanguage();
        const QString suffix = QLatin1Char('-') + QLatin1String(code);
        QApplication::processEvents();
        save(*app.frame(), folder, QStringLiteral("main") + suffix);
        auto* display = qobject_cast<QComboBox*>(view.control(control_id::kDisplayCombo));
        display->setCurrentIndex(1); // the list
        Q_EMIT display->activated(1);
        QApplication::processEvents();
        save(*app.frame(), folder, QStringLiteral("main-list") + suffix);
        display->setCurrentIndex(0);
        Q_EMIT display->activated(0);

        RecorderSettings settings;
        settings.slots[1].inUse = 1;
        CSettingsDialog setting(settings, clock, prompts, app.frame());
        ClearDataDialog clear(view.store(), 1, 0, app.frame());
        LanguageDialog languages(app.frame());
        AboutDialog about(view.mainIniPath(), prompts, app.frame());
        const std::pair<QDialog*, const char*> shown[] = {
            {&setting, "setting"}, {&clear, "clear"}, {&languages, "language"}, {&about, "about"}};
        for (const auto& [dialog, name] : shown) {
            dialog->show();
            QApplication::processEvents();
            save(*dialog, folder, QLatin1String(name) + suffix);
            dialog->hide();
        }
        saveModalOf([&] { view.onAlarmLimits(); }, folder, QStringLiteral("alarm-limits") + suffix);
        saveModalOf([&] { view.onStatistics(); }, folder, QStringLiteral("statistics") + suffix);
        saveModalOf([&] { view.onExport(); }, folder, QStringLiteral("export") + suffix);
        saveModalOf([&] { view.onSetting(); }, folder, QStringLiteral("message") + suffix);

        // The chart zoomed in to one minute around the lowest temperature: its one record.
        for (const int key : {int(Qt::Key_Home), 0, 1, 2, 3, 4, 5, 6, 7}) {
            QKeyEvent press(QEvent::KeyPress, key == Qt::Key_Home ? key : int(Qt::Key_Plus),
                            Qt::NoModifier);
            QApplication::sendEvent(&view.chartArea(), &press);
        }
        QApplication::processEvents();
        save(*app.frame(), folder, QStringLiteral("main-one-minute") + suffix);
        for (int step = 0; step < 8; ++step) { // back to the window before the zoom
            view.onBack();
        }
    }
    CurrentLanguage::set(kEnglish);
}

} // namespace
} // namespace veldrin
