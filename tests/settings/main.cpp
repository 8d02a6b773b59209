// Window tests run on the offscreen platform with one application object for the whole run, and
// with the shipped language files loaded.

#include "lang/language_table.h"
#include "support/test_support.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <string>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
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
