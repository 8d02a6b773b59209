#pragma once
// What the window tests share: a prompts object that records instead of showing, and waiting on
// the event loop for something the window thread will do.

#include "settings/user_prompts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>
#include <vector>

namespace veldrin::testing {

struct ShownMessage {
    QString text;
    PromptIcon icon;
    QString caption;
};

class RecordingPrompts : public CUserPrompts {
public:
    void message(QWidget*, const QString& text, PromptIcon icon, const QString& caption) override {
        messages.push_back({text, icon, caption});
    }
    bool ask(QWidget*, const QString&, const QString&) override { return false; }
    QString chooseFile(QWidget*, const FileDialogRequest& request, QString*) override {
        fileRequests.push_back(request);
        return chosenFile;
    }
    std::vector<ShownMessage> messages;
    std::vector<FileDialogRequest> fileRequests;
    QString chosenFile;
};

// Runs the event loop until `done` holds (true) or events stop coming for good (false). It waits
// for events, never for a time; the deadline only ends a test that would hang.
inline bool processEventsUntil(const std::function<bool()>& done, int limitMs = 5000) {
    QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace veldrin::testing
