#include "settings/qt_translations.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QWidget>

namespace veldrin {

namespace {

constexpr int kGermanIndex = 1;
constexpr int kFrenchIndex = 2;

QTranslator& qtTranslator() {
    static QTranslator translator;
    return translator;
}

QString& catalogue() {
    static QString loaded;
    return loaded;
}

} // namespace

QLocale interfaceLocale(int language) {
    switch (language) {
    case kGermanIndex:
        return QLocale(QLocale::German, QLocale::Germany);
    case kFrenchIndex:
        return QLocale(QLocale::French, QLocale::France);
    default:
        return QLocale(QLocale::English, QLocale::UnitedStates);
    }
}

bool useQtTranslations(int language) {
    const QLocale locale = interfaceLocale(language);
    QLocale::setDefault(locale);
    // Widgets made before the switch (the main view's calendars) take the new locale as well.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        window->setLocale(locale);
    }
    QTranslator& translator = qtTranslator();
    QCoreApplication::removeTranslator(&translator);
    catalogue().clear();
    if (locale.language() == QLocale::English) {
        return true;
    }
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        return false;
    }
    QCoreApplication::installTranslator(&translator);
    catalogue() = translator.filePath();
    return true;
}

QString loadedQtCatalogue() {
    return catalogue();
}

} // namespace veldrin
