// The window tests need a QApplication; they run on the offscreen platform.
#include "lang/language_table.h"
#include "support/test_support.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    std::string error;
    if (!veldrin::LanguageTable::instance().load(veldrin::testing::sourcePath("resources/lang"),
                                                 error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
