#include "settings/user_prompts.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QListView>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace veldrin {

namespace {

constexpr int kFileDialogWidth = 880;
constexpr int kFileDialogHeight = 520;

QMessageBox::Icon toBoxIcon(PromptIcon icon) {
    switch (icon) {
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Warning:
        return QMessageBox::Warning;
    case PromptIcon::Error:
        return QMessageBox::Critical;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QString captionOrDefault(const QString& caption) {
    return caption.isEmpty() ? QStringLiteral("Veldrin") : caption;
}

// Room beside an entry of the side bar for its icon and the view's margins.
constexpr int kSidebarRoom = 48;

// Qt's own file dialog sizes its columns and its side bar for English texts: each column is
// widened to show its heading whole, and the side bar its places, in the language in use.
void fitFileDialogTexts(QFileDialog& dialog) {
    if (auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = tree->header();
        for (int i = 0; i < header->count(); ++i) {
            header->resizeSection(i, std::max(header->sectionSize(i), header->sectionSizeHint(i)));
        }
    }
    auto* sidebar = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
    auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"));
    if (sidebar == nullptr || splitter == nullptr || splitter->count() != 2) {
        return;
    }
    int widest = 0;
    for (int row = 0; row < sidebar->model()->rowCount(); ++row) {
        const QString place = sidebar->model()->index(row, 0).data().toString();
        widest = std::max(widest, sidebar->fontMetrics().horizontalAdvance(place));
    }
    QList<int> sizes = splitter->sizes();
    const int wanted = widest + sidebar->iconSize().width() + kSidebarRoom;
    if (sizes[0] < wanted && sizes[1] > wanted - sizes[0]) {
        sizes[1] -= wanted - sizes[0];
        sizes[0] = wanted;
        splitter->setSizes(sizes);
    }
}

} // namespace

void CWidgetPrompts::message(QWidget* parent, const QString& text, PromptIcon icon,
                             const QString& caption) {
    QMessageBox box(toBoxIcon(icon), captionOrDefault(caption), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText); // texts come from editable files
    box.exec();
}

bool CWidgetPrompts::ask(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, captionOrDefault(caption), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

QString filterSuffix(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

QString CWidgetPrompts::chooseFile(QWidget* parent, const FileDialogRequest& request,
                                   QString* chosenFilter) {
    QFileDialog dialog(parent, request.caption, request.directory);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setNameFilters(request.filters);
    // A name typed without an ending takes that of the chosen filter, and the dialog asks about
    // replacing the file of that name.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        const QString suffix = filterSuffix(f);
        if (!suffix.isEmpty())
            dialog.setDefaultSuffix(suffix);
    });
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    // Wide and tall enough for the name, size, type and date columns to show whole in German and
    // French, as far as the screen allows.
    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    const QSize roomy = dialog.sizeHint().expandedTo(QSize(kFileDialogWidth, kFileDialogHeight));
    dialog.resize(screen != nullptr ? roomy.boundedTo(screen->availableSize()) : roomy);
    // Once shown, when the side bar and the columns have their sizes.
    QTimer::singleShot(0, &dialog, [&dialog] { fitFileDialogTexts(dialog); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    if (chosenFilter)
        *chosenFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}

} // namespace veldrin
