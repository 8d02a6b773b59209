// Window tests run on the offscreen platform with one application object for the whole run, with
// the shipped language files loaded, and settings in a folder of their own.

#include "lang/language_table.h"
#include "support/test_support.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's file dialog keeps its state in the user's settings: a folder of the run's own instead.
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    std::string error;
    if (!veldrin::LanguageTable::instance().load(veldrin::testing::sourcePath("resources/lang"),
                                                 error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return RUN_ALL_TESTS();
}
