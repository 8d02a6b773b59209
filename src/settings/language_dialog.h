#pragma once
// The Language command's dialog: one of the three interface languages, chosen from a list that
// names them in the language in use. Confirming makes it current and stores it in main.ini.

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace veldrin {

class IniFile;

namespace language_dialog_id {
constexpr int kCombo = 1021;
constexpr int kNote = 1030;
} // namespace language_dialog_id

class LanguageDialog : public QDialog {
    Q_OBJECT
public:
    explicit LanguageDialog(QWidget* parent = nullptr);

    int selection() const { return selection_; }
    bool changed() const { return changed_; }

    QComboBox& combo() const { return *combo_; }
    QPushButton& okButton() const { return *ok_; }
    QPushButton& cancelButton() const { return *cancel_; }

    void accept() override;

private:
    void onSelectionChanged(int position);

    QComboBox* combo_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* note_ = nullptr;
    int selection_ = 0;
    bool changed_ = false;
};

// What OK leads to: the chosen language becomes current (when the combo was touched or OK
// pressed) and the current language is written to main.ini, even when it is the same again. A
// failed write is not reported: the language still changes for this run. Returns true when the
// dialog ended with OK (the main window then repaints in the language now current).
bool applyLanguageDialogResult(const LanguageDialog& dialog, int dialogResult, IniFile& mainIni);

// The whole command: the dialog run modally over `parent`, then the result applied.
bool runLanguageCommand(QWidget* parent, IniFile& mainIni);

} // namespace veldrin
