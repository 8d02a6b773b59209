#pragma once
// The application: one window program per data folder, the data folder locked against every
// other writer, the frame with the main view inside, and the commands that belong to the
// application rather than to the view (About, and New, Open and Save, which never touch stored
// data).

#include "app/app_options.h"
#include "app/main_frame.h"
#include "app/single_instance.h"
#include "core/clock.h"
#include "core/data_directory_lock.h"
#include "device/hid_backend.h"
#include "settings/user_prompts.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <string>

namespace veldrin {

class CVeldrinView;

struct AppStartup {
    AppOptions options;
    CUserPrompts* prompts = nullptr;
    Clock* clock = nullptr; // the system clock when null
    QString runtimeFolder; // where the single-instance lock lives; empty: the user's runtime folder
    QString resourceFolder;              // language files; empty: found beside the program
    std::shared_ptr<HidBackend> backend; // tests: a recorder of their own
};

class CVeldrinApp : public QObject {
    Q_OBJECT
public:
    enum class StartResult { Running, AlreadyRunning, Failed };

    static constexpr const char* kAlreadyRunningText = "The Next Veldrin is running";
    static constexpr const char* kCreationFailedText = "Failed to create empty document.";

    explicit CVeldrinApp(AppStartup startup);
    ~CVeldrinApp() override;

    // Start-up in order: data folder, single instance, data-folder lock, frame and language files,
    // view and its first update, the window shown, a file named on the command line. Every
    // refusal has been shown through the prompts (and is in failureText()).
    StartResult start();
    const QString& failureText() const { return failure_; }

    CMainFrame* frame() const { return frame_.get(); }
    CVeldrinView* view() const { return view_; }
    const std::string& dataFolder() const { return dataFolder_; }
    SingleInstance* singleInstance() const { return instance_.get(); }

    // Application commands.
    void onAbout();
    void onOpen();
    void openReadOnly(const QString& path);
    QString openFolder() const;

    // Closes the window as the user would (the view then stops its worker).
    void requestClose();
    // Keeps the window's size, position and choices in the user's settings, then stops and joins
    // the worker; the frame stays. Called before the process ends.
    void shutdown();

    // The user's settings file of the window program (in the user's configuration folder).
    static QString userSettingsPath();

private:
    StartResult fail(const QString& text, PromptIcon icon = PromptIcon::Error);
    bool createFrame();
    bool createView();
    void dispatch(int commandId);

    AppStartup startup_;
    CUserPrompts* prompts_;
    Clock* clock_;
    std::string dataFolder_;
    std::string resourceFolder_;
    QString failure_;
    std::unique_ptr<SingleInstance> instance_;
    DataDirectoryLock dataLock_;
    std::unique_ptr<CMainFrame> frame_;
    QPointer<CVeldrinView> view_;
    bool stateSaved_ = false;
};

} // namespace veldrin
