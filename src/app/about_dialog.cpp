#include "app/about_dialog.h"

#include "qlang/qlang.h"

#include "app/hyperlink_static.h"
#include "app/pictures.h"
#include "lang/language_table.h"
#include "settings/dialog_units.h"
#include "settings/user_prompts.h"
#include "store/ini_file.h"
#include "store/registry.h"

namespace veldrin {

namespace {

constexpr const char* kLinkKey = "internet";
constexpr std::size_t kLinkMaxLength = 255;
// The program's licence (the file LICENSE), named in every language as it is.
constexpr const char* kLicence = "GPL-3.0-or-later";

QLabel* plainLabel(const QString& caption, const QRect& geometry, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(geometry);
    return label;
}

} // namespace

AboutDialog::AboutDialog(const std::string& mainIniPath, CUserPrompts& prompts, QWidget* parent)
    : QDialog(parent) {
    const DialogUnits du(font());
    setFixedSize(du.x(235), du.y(73));

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap::fromImage(programIconImage(32)));
    icon->setGeometry(du.x(11), du.y(17), 32, 32);

    version_ =
        plainLabel(qlang(text::kVersionLine) + QStringLiteral(", ") + QLatin1String(kLicence),
                   du.rect(40, 10, 119, 8), this);
    info_ = plainLabel(qlang(text::kProgramInfo), du.rect(40, 25, 119, 8), this);
    website_ = plainLabel(qlang(text::kWebsite), du.rect(38, 39, 81, 27), this);
    website_->setWordWrap(true);
    website_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Lines longer than their template width are widened rather than cut.
    for (QLabel* line : {version_, info_}) {
        line->setMinimumWidth(line->sizeHint().width());
        line->adjustSize();
    }

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setGeometry(du.rect(178, 7, 50, 14));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    link_ = new HyperlinkStatic(this);
    link_->setGeometry(du.rect(123, 39, 63, 13));
    const std::string configured =
        IniSnapshot::load(mainIniPath).readString(kWebsiteSection, kLinkKey, "", kLinkMaxLength);
    const QString target = QString::fromStdString(configured);
    link_->setTarget(target);
    link_->setLinkText(target);
    link_->setAutoSize(true);
    link_->setFailureReporter([&prompts](const QString& message) {
        prompts.message(nullptr, message, PromptIcon::Warning);
    });

    setWindowTitle(qlang(text::kAboutTitle));
    const int widest = qMax(version_->geometry().right(), info_->geometry().right()) + du.x(4);
    if (widest > ok_->geometry().left()) {
        // A long translation pushes the button right instead of under the text.
        ok_->move(widest, ok_->y());
        setFixedWidth(qMax(width(), ok_->geometry().right() + du.x(7)));
    }
}

QLabel& AboutDialog::label(int controlId) const {
    switch (controlId) {
    case about_id::kVersionText:
        return *version_;
    case about_id::kInfoText:
        return *info_;
    case about_id::kWebsiteText:
        return *website_;
    default:
        return *link_;
    }
}

} // namespace veldrin
