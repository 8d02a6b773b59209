#include "app/app_options.h"

#include "core/period_bound.h"
#include "device/backend_registry.h"

#include <QCommandLineParser>

namespace veldrin {

namespace {

constexpr const char* kSocketPrefix = "socket:";

// A period's end read as veldrin-cli reads it (core/period_bound.h); empty `problem` on success.
std::optional<DateTime> readTimeOption(const char* option, const QString& value, PeriodEnd end,
                                       QString& problem) {
    const PeriodBound bound = readPeriodBound(option, value.toStdString(), end);
    problem = QString::fromStdString(bound.problem);
    return bound.time;
}

// Qt's own options that take a value; the window program hands them to Qt.
bool isQtOptionWithValue(const QString& argument) {
    static const QStringList kWithValue = {
        QStringLiteral("-platform"),        QStringLiteral("-platformpluginpath"),
        QStringLiteral("-platformtheme"),   QStringLiteral("-plugin"),
        QStringLiteral("-qwindowgeometry"), QStringLiteral("-qwindowicon"),
        QStringLiteral("-qwindowtitle"),    QStringLiteral("-display"),
        QStringLiteral("-geometry"),        QStringLiteral("-style"),
        QStringLiteral("-stylesheet"),      QStringLiteral("-session")};
    return kWithValue.contains(argument);
}

bool isQtFlag(const QString& argument) {
    static const QStringList kFlags = {QStringLiteral("-reverse"), QStringLiteral("-nograb"),
                                       QStringLiteral("-dograb"), QStringLiteral("-sync"),
                                       QStringLiteral("-widgetcount")};
    return kFlags.contains(argument);
}

} // namespace

QStringList withoutQtOptions(const QStringList& arguments) {
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (i > 0 && isQtOptionWithValue(argument)) {
            ++i; // and its value
        } else if (i == 0 || !isQtFlag(argument)) {
            kept << argument;
        }
    }
    return kept;
}

// The names of the device layer and those the program added at its start (sim:COUNT, several
// sockets, a folder of sockets): whatever the window's recorders may be reached by.
bool isKnownDevice(const QString& device) {
    const QString socketPrefix = QString::fromLatin1(kSocketPrefix);
    return device == QLatin1String("hid") || device == QLatin1String("sim") ||
           (device.startsWith(socketPrefix) && device.size() > socketPrefix.size()) ||
           BackendRegistry::process().knows(device.toStdString());
}

AppOptionsOutcome parseAppOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Reads out USB temperature-and-humidity recorders and shows their history."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help and end."));
    const QCommandLineOption versionOption(QStringLiteral("version"),
                                           QStringLiteral("Show the version and end."));
    const QCommandLineOption dataDirOption(
        QStringLiteral("data-dir"),
        QStringLiteral("The data folder (main.ini and the data files). Default: "
                       "$VELDRIN_DATA_DIR, the program's folder when it holds main.ini or a file "
                       "named portable, else $XDG_DATA_HOME/veldrin or ~/.local/share/veldrin."),
        QStringLiteral("DIR"));
    const QCommandLineOption deviceOption(
        QStringLiteral("device"),
        QStringLiteral("The recorder: hid (every USB recorder attached), sim (a software "
                       "recorder with a few days of history), sim:COUNT (that many), "
                       "socket:PATH[,PATH...] (software recorder programs) or socket-dir:DIR "
                       "(every socket in a folder)."),
        QStringLiteral("hid|sim|socket:PATH"), QStringLiteral("hid"));
    const QCommandLineOption langOption(
        QStringLiteral("lang"),
        QStringLiteral("Interface language: 0 English, 1 German, 2 French (not stored)."),
        QStringLiteral("0|1|2"));
    const QCommandLineOption reportOption(
        QStringLiteral("report"),
        QStringLiteral("Write the report of a recorder as a PDF file and end, without a window "
                       "(no display needed)."),
        QStringLiteral("OUT.pdf"));
    const QCommandLineOption recorderOption(QStringLiteral("recorder"),
                                            QStringLiteral("The recorder number of --report."),
                                            QStringLiteral("N"));
    const QCommandLineOption fromOption(
        QStringLiteral("from"),
        QStringLiteral("Start of the report's period, \"YYYY-MM-DD HH:MM[:SS]\" (or with T "
                       "between date and time) or a date alone, local time (default: the first "
                       "record)."),
        QStringLiteral("TIME"));
    const QCommandLineOption toOption(
        QStringLiteral("to"),
        QStringLiteral("End of the report's period, inclusive: a date alone takes in that whole "
                       "day (default: the last record)."),
        QStringLiteral("TIME"));
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    parser.addOption(dataDirOption);
    parser.addOption(deviceOption);
    parser.addOption(langOption);
    parser.addOption(reportOption);
    parser.addOption(recorderOption);
    parser.addOption(fromOption);
    parser.addOption(toOption);
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A data file to show read-only."),
                                 QStringLiteral("[file]"));

    AppOptionsOutcome outcome;
    auto invalid = [&outcome](const QString& text) {
        outcome.kind = AppOptionsOutcome::Invalid;
        outcome.text = text;
        return outcome;
    };
    if (!parser.parse(arguments)) {
        return invalid(parser.errorText());
    }
    if (parser.isSet(helpOption)) {
        outcome.kind = AppOptionsOutcome::Help;
        // Without an application object Qt cannot name the program itself.
        outcome.text = parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                 QStringLiteral("veldrin"));
        return outcome;
    }
    if (parser.isSet(versionOption)) {
        outcome.kind = AppOptionsOutcome::Version;
        outcome.text = QStringLiteral("veldrin " VELDRIN_VERSION "\n");
        return outcome;
    }
    AppOptions& options = outcome.options;
    options.dataDir = parser.value(dataDirOption);
    if (parser.isSet(dataDirOption) && options.dataDir.isEmpty()) {
        return invalid(QStringLiteral("--data-dir needs a folder"));
    }
    options.device = parser.value(deviceOption);
    if (!isKnownDevice(options.device)) {
        return invalid(
            QStringLiteral("--device: \"%1\" is not hid, sim or socket:PATH").arg(options.device));
    }
    if (parser.isSet(langOption)) {
        const QString value = parser.value(langOption);
        if (value != QLatin1String("0") && value != QLatin1String("1") &&
            value != QLatin1String("2")) {
            return invalid(QStringLiteral("--lang: \"%1\" is not 0, 1 or 2").arg(value));
        }
        options.language = value.toInt();
    }
    if (parser.isSet(reportOption)) {
        options.reportPath = parser.value(reportOption);
        bool number = false;
        options.recorder = parser.value(recorderOption).toInt(&number);
        if (options.reportPath.isEmpty()) {
            return invalid(QStringLiteral("--report needs a file name"));
        }
        if (!parser.isSet(recorderOption) || !number || options.recorder < 0) {
            return invalid(QStringLiteral("--report needs --recorder N (a recorder number)"));
        }
        QString problem;
        if (parser.isSet(fromOption)) {
            options.from =
                readTimeOption("--from", parser.value(fromOption), PeriodEnd::start, problem);
        }
        if (problem.isEmpty() && parser.isSet(toOption)) {
            options.to = readTimeOption("--to", parser.value(toOption), PeriodEnd::end, problem);
        }
        if (problem.isEmpty() && options.from && options.to) {
            problem = QString::fromStdString(periodOrderProblem(*options.from, *options.to));
        }
        if (!problem.isEmpty()) {
            return invalid(problem);
        }
    } else if (parser.isSet(recorderOption) || parser.isSet(fromOption) || parser.isSet(toOption)) {
        return invalid(QStringLiteral("--recorder, --from and --to belong to --report"));
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        return invalid(QStringLiteral("only one file may be named"));
    }
    if (!positional.isEmpty()) {
        options.documentPath = positional.constFirst();
    }
    return outcome;
}

} // namespace veldrin
