#include "settings/user_prompts.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>

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
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    if (chosenFilter)
        *chosenFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}

} // namespace veldrin
