#pragma once
// Every message box and file dialog of the window goes through this interface, so that tests
// capture what would be shown (and answer it) without a modal loop.

#include <QString>
#include <QStringList>

class QWidget;

namespace veldrin {

enum class PromptIcon { None, Information, Warning, Error, Question };

struct FileDialogRequest {
    QString caption;
    QString directory;
    QString fileName;      // proposed name
    QString defaultSuffix; // without the dot
    QStringList filters;   // "CSV (*.csv)"
    bool save = true;      // false: open an existing file
};

// The ending a filter such as "CSV (*.csv)" names (its first pattern), without the dot; empty
// when it names none.
QString filterSuffix(const QString& filter);

class CUserPrompts {
public:
    virtual ~CUserPrompts() = default;
    // A message with an OK button; the caption is "Veldrin" unless one is given. Text is plain.
    virtual void message(QWidget* parent, const QString& text, PromptIcon icon,
                         const QString& caption = QString()) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool ask(QWidget* parent, const QString& text, const QString& caption = QString()) = 0;
    // The chosen path, or an empty string when cancelled. Save dialogs confirm overwriting.
    virtual QString chooseFile(QWidget* parent, const FileDialogRequest& request,
                               QString* chosenFilter = nullptr) = 0;
};

// The real dialogs: QMessageBox with plain text, a QFileDialog object whose default ending
// follows the filter chosen in it.
class CWidgetPrompts : public CUserPrompts {
public:
    void message(QWidget* parent, const QString& text, PromptIcon icon,
                 const QString& caption = QString()) override;
    bool ask(QWidget* parent, const QString& text, const QString& caption = QString()) override;
    QString chooseFile(QWidget* parent, const FileDialogRequest& request,
                       QString* chosenFilter = nullptr) override;
};

} // namespace veldrin
