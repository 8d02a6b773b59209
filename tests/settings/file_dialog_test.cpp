// Qt's own file dialog as the prompts open it: its headings and places whole in each language.

#include "lang/language_table.h"
#include "settings/qt_translations.h"
#include "settings/user_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QListView>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

namespace veldrin {
namespace {

// Each heading or place of the open dialog wider than its room, one per line.
QString cutTexts(const QFileDialog& dialog) {
    QStringList cut;
    const QHeaderView* header = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))->header();
    for (int i = 0; i < header->count(); ++i) {
        if (header->sectionSizeHint(i) > header->sectionSize(i)) {
            cut << header->model()->headerData(i, Qt::Horizontal).toString();
        }
    }
    const auto* places = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    for (int row = 0; row < places->model()->rowCount(); ++row) {
        const QString place = places->model()->index(row, 0).data().toString();
        if (places->fontMetrics().horizontalAdvance(place) + places->iconSize().width() >
            places->viewport()->width()) {
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
        QTimer::singleShot(0, [&cut] { // after the dialog's own first step, which fits it
            QTimer::singleShot(0, [&cut] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                cut = cutTexts(*dialog);
                dialog->reject();
            });
        });
        CWidgetPrompts().chooseFile(nullptr, FileDialogRequest{});
        EXPECT_EQ(cut.toStdString(), "") << language;
    }
    CurrentLanguage::set(kEnglish);
    useQtTranslations(kEnglish);
}

} // namespace
} // namespace veldrin
