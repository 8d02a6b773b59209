// veldrin: the window program.

#include "app/app_options.h"
#include "app/pictures.h"
#include "app/report_run.h"
#include "app/termination_signals.h"
#include "app/veldrin_app.h"
#include "settings/user_prompts.h"
#include "sim/sim_registration.h"

#include <QApplication>

#include <clocale>
#include <cstdio>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitRefused = 2;

QStringList rawArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

void printInvalidOptions(const QString& problem) {
    std::fprintf(stderr, "veldrin: %s\nTry 'veldrin --help'.\n", problem.toLocal8Bit().constData());
}

// Qt ends the process with an abort when it cannot reach a display; say why instead.
bool displayReachable(const QStringList& arguments) {
    const bool platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
                                arguments.contains(QStringLiteral("-platform"));
    return platformChosen || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv) {
    using namespace veldrin;
    sim::registerSimBackend();
    // Help, version and a wrong option need no display: answered before the window system is
    // opened, which would end the process when it cannot reach a display.
    {
        const QStringList raw = rawArguments(argc, argv);
        const AppOptionsOutcome early = parseAppOptions(withoutQtOptions(raw));
        if (early.kind == AppOptionsOutcome::Help || early.kind == AppOptionsOutcome::Version) {
            std::fputs(early.text.toLocal8Bit().constData(), stdout);
            return kExitOk;
        }
        if (early.kind == AppOptionsOutcome::Invalid) {
            printInvalidOptions(early.text);
            return kExitUsage;
        }
        // A report draws off screen only, also where there is no display at all.
        if (early.kind == AppOptionsOutcome::Run && !early.options.reportPath.isEmpty()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        } else if (!displayReachable(raw)) {
            std::fputs("veldrin: no display (DISPLAY and WAYLAND_DISPLAY are unset); veldrin-cli "
                       "works without one.\n",
                       stderr);
            return kExitUsage;
        }
    }

    QApplication qtApp(argc, argv);
    // Numbers are formatted the same under every locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("veldrin"));
    // No display name: the window system would append it to every dialog's own title.
    QApplication::setApplicationVersion(QStringLiteral(VELDRIN_VERSION));
    QApplication::setWindowIcon(programIcon());
    // The desktop entry (and so the icon and the window grouping) under its installed id.
    QApplication::setDesktopFileName(QStringLiteral("org.veldrin.Veldrin"));

    // Qt has taken its own options (such as -platform) out of the arguments by now.
    const AppOptionsOutcome parsed = parseAppOptions(QApplication::arguments());
    if (parsed.kind == AppOptionsOutcome::Invalid) {
        printInvalidOptions(parsed.text);
        return kExitUsage;
    }

    if (!parsed.options.reportPath.isEmpty()) {
        const ReportRunResult report = runReport(parsed.options, SystemClock::instance());
        if (!report.written) {
            std::fprintf(stderr, "veldrin: %s\n", report.message.toLocal8Bit().constData());
            return kExitRefused;
        }
        return kExitOk;
    }

    TerminationSignals termination;
    CWidgetPrompts prompts;
    AppStartup startup;
    startup.options = parsed.options;
    startup.prompts = &prompts;
    CVeldrinApp app(startup);
    // Also during start-up: a signal then ends the message box that may be open.
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app,
                     [&app] { app.requestClose(); });
    switch (app.start()) {
    case CVeldrinApp::StartResult::Running:
        break;
    case CVeldrinApp::StartResult::AlreadyRunning:
        return kExitOk; // the running window has been brought forward
    case CVeldrinApp::StartResult::Failed:
        return kExitRefused;
    }
    const int status = qtApp.exec();
    app.shutdown();
    return status;
}
