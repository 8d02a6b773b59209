#include "settings/clear_data_dialog.h"

#include "qlang/qlang.h"

#include "lang/language_table.h"
#include "settings/dialog_units.h"
#include "settings/fitting_layout.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace veldrin {

using namespace clear_ids;

namespace {} // namespace

ClearDataDialog::ClearDataDialog(DataStore& store, int32_t maxId, int32_t chosen, QWidget* parent)
    : QDialog(parent), store_(store), maxId_(std::min(maxId, kMaxRegisteredRecorders)) {
    setObjectName(QStringLiteral("clearDataDialog%1").arg(kDialog));
    QFont dialogFont = font();
    dialogFont.setPointSize(10);
    setFont(dialogFont);
    const DialogUnits du(font());
    FittingLayout layout(du);
    CurrentLanguage::get(); // clamps an out-of-range language
    setWindowTitle(qlang(text::kClearPcData));

    auto* numberLabel = new QLabel(qlang(text::kRecorderNumber), this);
    numberLabel->setTextFormat(Qt::PlainText);
    numberLabel->setObjectName(QString::number(kNumberLabel));
    layout.add(numberLabel, 12, 14, 60, 10);
    list_ = new QComboBox(this);
    list_->setEditable(false);
    list_->setObjectName(QString::number(kRecorder));
    layout.add(list_, 76, 12, 60, 14);
    description_ = new QLabel(QStringLiteral("Description"), this);
    description_->setTextFormat(Qt::PlainText);
    description_->setObjectName(QString::number(kDescription));
    layout.add(description_, 12, 34, 163, 30);
    description_->setWordWrap(true);
    auto* ok = new QPushButton(qlang(text::kOk), this);
    ok->setObjectName(QString::number(kOk));
    layout.add(ok, 30, 72, 50, 14);
    ok->setDefault(true);
    auto* cancel = new QPushButton(qlang(text::kCancel), this);
    cancel->setObjectName(QString::number(kCancel));
    layout.add(cancel, 107, 72, 50, 14);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    for (int32_t n = 0; n < maxId_; ++n) {
        list_->addItem(QString::number(n));
    }
    setFixedSize(du.x(187) + layout.apply().width(), du.y(94));
    if (maxId_ <= 0) {
        return; // nothing registered: an empty list, and OK says so
    }
    const int32_t preset = chosen >= 0 && chosen < maxId_ ? chosen : 0;
    list_->setCurrentIndex(static_cast<int>(preset));
    recorderChosen(static_cast<int>(preset));
    connect(list_, &QComboBox::currentIndexChanged, this, &ClearDataDialog::recorderChosen);
}

void ClearDataDialog::recorderChosen(int position) {
    if (position < 0 || position >= maxId_) {
        return;
    }
    chosen_ = position;
    CurrentLanguage::get();
    // A file that cannot be read is reported by the store; its description then shows empty.
    RecorderSettings settings;
    std::u16string description;
    if (store_.readFileSettings(chosen_, settings) != 0) {
        description = settings.description;
    }
    description_->setText(qlang(text::kDescription) + qstr(description));
}

} // namespace veldrin
