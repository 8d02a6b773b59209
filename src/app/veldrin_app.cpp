#include "app/veldrin_app.h"

#include "core/paths.h"
#include "lang/language_table.h"
#include "view/command_ids.h"
#include "view/veldrin_view.h"

#include "app/about_dialog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QScrollArea>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>

namespace veldrin {

namespace {

constexpr const char* kProgramName = "veldrin";
constexpr const char* kOpenFolderKey = "Files/OpenFolder";

} // namespace

QString CVeldrinApp::userSettingsPath() {
    // Read at every start, so that XDG_CONFIG_HOME (a test's temporary one, too) is honoured.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/veldrin/veldrin.ini");
}

CVeldrinApp::CVeldrinApp(AppStartup startup)
    : startup_(std::move(startup)), prompts_(startup_.prompts),
      clock_(startup_.clock ? startup_.clock : &SystemClock::instance()) {}

CVeldrinApp::~CVeldrinApp() {
    shutdown();
    frame_.reset(); // the view with it, before the lock is let go
}

CVeldrinApp::StartResult CVeldrinApp::fail(const QString& text, PromptIcon icon) {
    failure_ = text;
    std::fprintf(stderr, "%s: %s\n", kProgramName, text.toLocal8Bit().constData());
    std::fflush(stderr);
    if (prompts_) {
        prompts_->message(nullptr, text, icon);
    }
    return StartResult::Failed;
}

CVeldrinApp::StartResult CVeldrinApp::start() {
    std::string error;
    if (!resolveDataDirectory(startup_.options.dataDir.toStdString(), dataFolder_, error)) {
        return fail(QString::fromStdString(error));
    }

    instance_ = std::make_unique<SingleInstance>(QString::fromStdString(dataFolder_),
                                                 startup_.runtimeFolder);
    switch (instance_->claim()) {
    case SingleInstance::Outcome::First:
        break;
    case SingleInstance::Outcome::AlreadyRunning:
        failure_ = QString::fromLatin1(kAlreadyRunningText);
        if (prompts_) {
            prompts_->message(nullptr, failure_, PromptIcon::Warning);
        }
        return StartResult::AlreadyRunning;
    case SingleInstance::Outcome::Failed:
        return fail(instance_->errorText());
    }

    std::string detail;
    const QString folder = QString::fromStdString(dataFolder_);
    switch (dataLock_.tryAcquire(dataFolder_, kProgramName, detail)) {
    case DataDirectoryLock::Result::acquired:
        break;
    case DataDirectoryLock::Result::heldElsewhere:
        return fail(QStringLiteral("The data folder %1 is in use by %2. Only one program may "
                                   "write it at a time.")
                        .arg(folder, QString::fromStdString(detail)));
    case DataDirectoryLock::Result::unusable:
        return fail(QStringLiteral("The data folder %1 cannot be used: %2")
                        .arg(folder, QString::fromStdString(detail)));
    }

    if (!createFrame() || !createView()) {
        return StartResult::Failed;
    }
    {
        const QSettings remembered(userSettingsPath(), QSettings::IniFormat);
        frame_->restorePlacement(remembered);
        view_->restoreState(remembered);
    }
    connect(instance_.get(), &SingleInstance::raiseRequested, frame_.get(),
            &CMainFrame::restoreAndRaise);
    connect(frame_.get(), &CMainFrame::commandRequested, this, &CVeldrinApp::dispatch);
    connect(frame_.get(), &CMainFrame::fileDropped, this, &CVeldrinApp::openReadOnly);
    frame_->show();
    // The keyboard starts at the first control of the form, the recorder number, not the chart.
    if (QWidget* first = view_->control(control_id::kRecorderCombo)) {
        first->setFocus(Qt::OtherFocusReason);
    }
    if (!startup_.options.documentPath.isEmpty()) {
        openReadOnly(startup_.options.documentPath);
    }
    CurrentLanguage::get(); // clamps a stored value outside 0..2
    return StartResult::Running;
}

bool CVeldrinApp::createFrame() {
    resourceFolder_ = startup_.resourceFolder.isEmpty() ? resolveResourceDirectory()
                                                        : startup_.resourceFolder.toStdString();
    std::string error;
    if (!LanguageTable::instance().load(resourceFolder_, error)) {
        fail(QString::fromLatin1(kCreationFailedText) + QStringLiteral("\n\n") +
             QString::fromStdString(error));
        return false;
    }
    frame_ = std::make_unique<CMainFrame>();
    return true;
}

bool CVeldrinApp::createView() {
    ViewStartup startup;
    startup.dataFolder = dataFolder_;
    startup.resourceFolder = resourceFolder_;
    startup.device = startup_.options.device.toStdString();
    startup.languageOption = startup_.options.language;
    startup.clock = clock_;
    startup.prompts = prompts_;
    startup.backend = startup_.backend;
    // A window smaller than the form scrolls it, so that every control stays within reach.
    auto* form = new QScrollArea(frame_.get());
    form->setFrameShape(QFrame::NoFrame);
    form->setWidgetResizable(true);
    view_ = new CVeldrinView(startup, *frame_, form);
    form->setWidget(view_);
    frame_->setCentralWidget(form);
    if (!view_->initialUpdate()) {
        const QString reason = view_->startupError();
        fail(reason.isEmpty() ? QString::fromLatin1(kCreationFailedText) : reason);
        frame_.reset();
        return false;
    }
    return true;
}

void CVeldrinApp::dispatch(int commandId) {
    if (!view_) {
        return;
    }
    switch (commandId) {
    case command_id::kExport:
        view_->onExport();
        break;
    case command_id::kSetting:
        view_->onSetting();
        break;
    case command_id::kClearPcData:
        view_->onClearPcData();
        break;
    case command_id::kLanguage:
        view_->onLanguage();
        break;
    case command_id::kAlarmLimits:
        view_->onAlarmLimits();
        break;
    case command_id::kStatistics:
        view_->onStatistics();
        break;
    case command_id::kCompareRecorders:
        view_->onCompareRecorders();
        break;
    case command_id::kAbout:
        onAbout();
        break;
    case command_id::kBack:
        view_->onBack();
        break;
    case command_id::kOpen:
        onOpen();
        break;
    default:
        // New and Save would replace or rewrite the document; here the document is the stored
        // history, so both leave it alone.
        break;
    }
}

void CVeldrinApp::onAbout() {
    AboutDialog about(joinPath(dataFolder_, "main.ini"), *prompts_, frame_.get());
    about.exec();
}

// The Open dialog starts where the user last opened a file, otherwise in the user's documents:
// never in the live data folder, whose files are not documents to open.
QString CVeldrinApp::openFolder() const {
    const QSettings remembered(userSettingsPath(), QSettings::IniFormat);
    const QString folder = remembered.value(QLatin1String(kOpenFolderKey)).toString();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        return folder;
    }
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void CVeldrinApp::onOpen() {
    FileDialogRequest request;
    request.save = false;
    request.directory = openFolder();
    // The data files of the recorders are the same kind of file as the document type.
    request.filters = {QStringLiteral("Veldr Files (*.vrn *.dat)"),
                       QStringLiteral("All files (*)")};
    const QString path = prompts_->chooseFile(frame_.get(), request);
    if (!path.isEmpty()) {
        QSettings remembered(userSettingsPath(), QSettings::IniFormat);
        remembered.setValue(QLatin1String(kOpenFolderKey), QFileInfo(path).absolutePath());
        openReadOnly(path);
    }
}

void CVeldrinApp::openReadOnly(const QString& path) {
    if (view_) {
        view_->openDocumentReadOnly(path);
    }
}

void CVeldrinApp::requestClose() {
    if (frame_) {
        frame_->close();
    }
    // Ends every running loop, that of a dialog or message box open at the time included (even
    // during start-up, before the main loop runs, where quit() would do nothing).
    QCoreApplication::exit(0);
}

void CVeldrinApp::shutdown() {
    if (view_ && !stateSaved_) {
        stateSaved_ = true;
        QSettings remembered(userSettingsPath(), QSettings::IniFormat);
        frame_->savePlacement(remembered);
        view_->saveState(remembered);
    }
    if (view_) {
        view_->shutdown();
    }
}

} // namespace veldrin
