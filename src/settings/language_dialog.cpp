#include "settings/language_dialog.h"

#include "qlang/qlang.h"

#include "lang/language_table.h"
#include "settings/dialog_units.h"
#include "settings/fitting_layout.h"
#include "store/ini_file.h"
#include "store/registry.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace veldrin {

namespace {

constexpr const char* kLangKey = "Lang";

} // namespace

LanguageDialog::LanguageDialog(QWidget* parent) : QDialog(parent) {
    const DialogUnits du(font());
    FittingLayout layout(du);

    ok_ = layout.add(new QPushButton(this), 131, 7, 50, 14);
    ok_->setDefault(true);
    cancel_ = layout.add(new QPushButton(this), 131, 24, 50, 14);
    combo_ = new QComboBox(this);
    combo_->setObjectName(QStringLiteral("languageCombo"));
    // A drop-down list is as high as its closed field; the template's height is the open list's.
    layout.add(combo_, 39, 28, 48, 14);
    note_ = layout.add(new QLabel(this), 17, 58, 152, 21);
    note_->setTextFormat(Qt::PlainText);

    selection_ = CurrentLanguage::get();
    changed_ = false;
    ok_->setText(qlang(text::kOk));
    cancel_->setText(qlang(text::kCancel));
    setWindowTitle(qlang(text::kLanguageTitle));
    for (int language = 0; language < kLanguageCount; ++language) {
        combo_->addItem(qlang(text::kFirstLanguageName + language));
    }
    combo_->setCurrentIndex(selection_);
    setFixedSize(du.x(188) + layout.apply().width(), du.y(95));
    combo_->resize(combo_->width(), combo_->sizeHint().height());
    // Only the user's choices count as a change, not the filling above.
    connect(combo_, &QComboBox::activated, this, &LanguageDialog::onSelectionChanged);
    connect(ok_, &QPushButton::clicked, this, &LanguageDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &LanguageDialog::reject);
    combo_->setFocus();
}

void LanguageDialog::onSelectionChanged(int position) {
    selection_ = position;
    changed_ = true;
}

void LanguageDialog::accept() {
    onSelectionChanged(combo_->currentIndex());
    QDialog::accept();
}

bool applyLanguageDialogResult(const LanguageDialog& dialog, int dialogResult, IniFile& mainIni) {
    if (dialogResult != QDialog::Accepted) {
        return false;
    }
    if (dialog.changed()) {
        CurrentLanguage::set(dialog.selection());
    }
    mainIni.writeInt(kLanguageSection, kLangKey, CurrentLanguage::get());
    return true;
}

bool runLanguageCommand(QWidget* parent, IniFile& mainIni) {
    LanguageDialog dialog(parent);
    const int result = dialog.exec();
    return applyLanguageDialogResult(dialog, result, mainIni);
}

} // namespace veldrin
