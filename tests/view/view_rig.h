#pragma once
// A main view on simulated time over the in-process software recorder, with a frame and prompts
// that record what they are asked to show.

#include "core/clock.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"
#include "support/test_support.h"
#include "view/veldrin_view.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veldrin::testing {

// Wednesday 2011-06-15 14:37:12 UTC.
constexpr int64_t kWednesday = 1308148632;

// Widgets may be touched only on the window thread; the frame and the prompts check that every
// call reaches them there.
inline void expectWindowThread() {
    EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
}

class RecordingFrame final : public CFrameServices {
public:
    void setStatusText(const QString& text) override {
        expectWindowThread();
        statusTexts << text;
    }
    void setStatusPaneWidth(int width) override { paneWidth = width; }
    void setRecorderAttached(bool value) override {
        expectWindowThread();
        attached = value;
    }
    void setAttachedCount(int count) override {
        attachedCount = count;
        setRecorderAttached(count > 0);
    }
    void applyLanguageToFrame() override { ++languageApplied; }
    void showDocumentName(const QString& fileName) override { documentName = fileName; }
    void setBackEnabled(bool enabled) override { backEnabled = enabled; }

    QStringList statusTexts;
    int paneWidth = -1;
    bool attached = false;
    int attachedCount = 0;
    int languageApplied = 0;
    QString documentName;
    bool backEnabled = false;
};

class RecordingPrompts final : public CUserPrompts {
public:
    void message(QWidget*, const QString& text, PromptIcon, const QString&) override {
        expectWindowThread();
        messages << text;
    }
    bool ask(QWidget*, const QString&, const QString&) override { return false; }
    // Answers file dialogs with `chosenFiles` in turn (and `chosenFilters`, if any), then cancels.
    QString chooseFile(QWidget*, const FileDialogRequest& request, QString* filter) override {
        fileRequests.push_back(request);
        if (filter != nullptr && !chosenFilters.isEmpty()) {
            *filter = chosenFilters.takeFirst();
        }
        return chosenFiles.isEmpty() ? QString() : chosenFiles.takeFirst();
    }

    QStringList messages;
    QStringList chosenFiles;
    QStringList chosenFilters;
    std::vector<FileDialogRequest> fileRequests;
};

class ViewRig {
public:
    // `plugged`: whether the blank recorder (300 records at 1 minute) is attached at start;
    // `count` such recorders behind one backend, the others unplugged at start.
    explicit ViewRig(bool plugged = false, int64_t start = kWednesday, int count = 1);
    ~ViewRig();

    // Builds the view (a new program start on the same folder) and runs its start-up.
    CVeldrinView& start();
    CVeldrinView& view() { return *view_; }

    // Hands the queued reports and notices to the view until `done` holds (bounded in real time;
    // the worker itself runs on the simulated clock).
    bool pumpUntil(const std::function<bool()>& done);
    bool pumpUntilIdle();
    // One second of simulated time and the view's tick.
    void tick();

    template <class T> T* control(int id) { return qobject_cast<T*>(view_->control(id)); }
    std::string file(const std::string& name) const { return dir.file(name); }

    ScopedTimeZone tz{"UTC0"};
    ManualClock clock;
    TempDir dir;
    std::shared_ptr<sim::SoftwareRecorder> recorder;
    std::vector<std::shared_ptr<sim::SoftwareRecorder>> recorders; // recorders[0] is `recorder`
    RecordingFrame frame;
    RecordingPrompts prompts;

private:
    std::unique_ptr<CVeldrinView> view_;
};

// A data file with these settings and records.
void writeDataFile(const std::string& path, const RecorderSettings& settings,
                   const RecordList& records);
HistoryRecord recordAt(const DateTime& time, double celsius, int humidity);

} // namespace veldrin::testing
