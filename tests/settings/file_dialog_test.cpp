// Qt's own file dialog as the prompts open it: its headings and its side bar's places whole in
// each language, at the size it opens with.

#include "lang/language_table.h"
#include "settings/qt_translations.h"
#include "settings/user_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QListView>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

namespace veldrin {
namespace {

// What the open dialog cuts: each heading or place wider than its room, one per line.
QString cutTexts(const QFileDialog& dialog) {
    QStringList cut;
    const QHeaderView* header = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))->header();
    for (int i = 0; i < header->count(); ++i) {
        const QString heading = header->model()->headerData(i, Qt::Horizontal).toString();
        if (header->sectionSizeHint(i) > header->sectionSize(i)) {
            cut << heading;
        }
    }
    const auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    for (int row = 0; row < sidebar->model()->rowCount(); ++row) {
        const QString place = sidebar->model()->index(row, 0).data().toString();
        if (sidebar->fontMetrics().horizontalAdvance(place) + sidebar->iconSize().width() >
            sidebar->viewport()->width()) {
            cut << place;
        }
    }
    return cut.join('\n');
}

TEST(FileDialog, HeadingsAndPlacesShowWholeInEachLanguage) {
    for (const int language : {kEnglish, kGerman, kFrench}) {
        CurrentLanguage::set(language);
        useQtTranslations(language);
        QString cut = QStringLiteral("not opened");
        // After the dialog's own first step, which fits it.
        QTimer::singleShot(0, [&cut] {
            QTimer::singleShot(0, [&cut] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                ASSERT_NE(dialog, nullptr);
                cut = cutTexts(*dialog);
                dialog->reject();
            });
        });
        FileDialogRequest request;
        request.filters << QStringLiteral("csv file(*.csv)");
        CWidgetPrompts().chooseFile(nullptr, request);
        EXPECT_EQ(cut.toStdString(), "") << language;
    }
    CurrentLanguage::set(kEnglish);
    useQtTranslations(kEnglish);
}

} // namespace
} // namespace veldrin
